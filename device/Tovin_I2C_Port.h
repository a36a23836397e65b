#pragma once
// The one object through which the program reads and writes devices: HMU
// devices by command bytes at base + 2n, the main device by plain byte
// registers. Every transaction is tried up to five times. In demo mode the
// operations with a simulated answer ask the demo register file instead of
// the bus; what the file does not simulate still goes to the bus.
//
// Device errors are never thrown: operations return plain values and the port
// keeps a sticky error flag (0 none, 1 acknowledge failure, 0x80 no cable).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "device/DemoRegisterFile.h"
#include "device/HmuCommands.h"
#include "link/I2C_FTDI.h"

class CTovin_I2C_Port {
public:
    static constexpr int kHmuDevices = 8;
    static constexpr int kHmuRegisters = CDemoRegisterFile::kRegisters;
    static constexpr int kMainRegisters = CDemoRegisterFile::kMainRegisters;
    static constexpr int kAttempts = 5;
    static constexpr int kMaxReadBytes = 134;   // a longer read no longer fits one exchange
    static constexpr int kMaxWriteBytes = 157;

    static constexpr int kErrorAck = 1;
    static constexpr int kErrorNoCable = 0x80;

    explicit CTovin_I2C_Port(std::shared_ptr<CFtdiDriver> driver);
    virtual ~CTovin_I2C_Port();

    CTovin_I2C_Port(const CTovin_I2C_Port&) = delete;
    CTovin_I2C_Port& operator=(const CTovin_I2C_Port&) = delete;

    // Settings and state.
    void SetHmuBase(int address) { m_hmuBase = address; }
    void SetHmuIndex(int index) { m_hmuIndex = index; }
    void SetMainAddress(int address) { m_mainAddress = address; }
    void SetDemoMode(bool demo) { m_demoMode = demo; }
    int GetHmuBase() const { return m_hmuBase; }
    int GetHmuIndex() const { return m_hmuIndex; }
    int GetMainAddress() const { return m_mainAddress; }
    bool GetDemoMode() const { return m_demoMode; }
    CI2C_FTDI& GetLink() { return *m_link; }
    // The 8-bit write address of HMU n: only its low byte goes on the bus.
    int HmuAddress(int index) const
    {
        return static_cast<int>((static_cast<unsigned>(m_hmuBase) + 2u * static_cast<unsigned>(index)) & 0xFFu);
    }
    FtdiStatus OpenCable();
    void CheckCable();
    int GetError() const { return Demo() ? 0 : m_error; }
    void ClearError() { m_error = 0; }
    // Transactions that failed all their attempts so far, whatever the
    // operation; a caller compares it before and after a reading to tell a
    // device that stopped answering from a reading of 0.
    uint64_t FailedTransactions() const { return m_failedTransactions; }
    // Conversions and monitor records whose ready bit never came: the value
    // returned is then 0 or a stale one, which the caller cannot tell apart.
    uint64_t UnreadyResults() const { return m_unreadyResults; }
    // The blocks' polled sequences count a result whose ready bit never came.
    void CountUnreadyResult() { ++m_unreadyResults; }
    // The demo register file while demo mode is on, otherwise null: a block
    // sequence with a demo answer of its own asks it instead of the bus.
    CDemoRegisterFile* DemoFile() { return Demo(); }

    // Transactions with the current HMU device.
    bool BeginCommand(int command, int operand);
    bool ReadBytes(uint8_t* buffer, int count);
    bool WriteBytes(const uint8_t* buffer, int count);
    uint8_t* ReadBlock(int command, int operand, uint8_t* buffer, int count);
    uint8_t ReadRegister(int command, int reg);
    void WriteRegister(int command, int reg, int value);
    void MaskedWrite(int reg, int value, int mask);
    void UpdateConfiguration();

    // Probes and the main device.
    bool Probe(int address);
    bool ProbeHmu(int index) { return Probe(HmuAddress(index)); }
    bool ProbeMain() { return Probe(m_mainAddress); }
    void WriteMain(int reg, int value);
    uint8_t ReadMain(int reg);

private:
    // START, write address, command and operand: what a retried write repeats.
    struct CommandPhase {
        uint8_t address;
        uint8_t command;
        int operand;  // negative: none
    };

    // queue() or queue(attempt number) puts one attempt's steps in the link's queue.
    template <class Queue>
    bool Attempt(Queue&& queue);
    void QueueCommandPhase(const CommandPhase& phase);
    uint8_t HmuWriteAddress() const { return static_cast<uint8_t>(HmuAddress(m_hmuIndex)); }
    // The demo register file while demo mode is on, otherwise null.
    CDemoRegisterFile* Demo() { return m_demoMode ? &m_demoFile : nullptr; }
    const CDemoRegisterFile* Demo() const { return m_demoMode ? &m_demoFile : nullptr; }

    std::unique_ptr<CI2C_FTDI> m_link;
    int32_t m_hmuBase = 0xC0;
    int32_t m_hmuIndex = 0;
    int32_t m_mainAddress = 0x40;
    int32_t m_error = 0;
    bool m_demoMode = true;
    uint64_t m_failedTransactions = 0;
    uint64_t m_unreadyResults = 0;
    // The command phase BeginCommand left open, until a read or write ends it.
    std::optional<CommandPhase> m_openCommand;

    CDemoRegisterFile m_demoFile;
};
