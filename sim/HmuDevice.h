#pragma once
// One HMU device on the simulated bus, as the program sees it through its
// command bytes.
//
// A write transaction carries the command byte, then the operand for the
// commands that take one (0x31, 0x32, 0x33, 0x51, 0x52, 0x25, 0x74), then
// data. A read transaction, after a repeated START or a fresh START, returns
// the data of the last command; the command stays current across STOPs, so a
// read may follow in a separate transaction. Bytes a command does not use are
// acknowledged and ignored; bytes read beyond a command's data read 0. An
// unknown command byte is acknowledged, does nothing and reads 0.
//
// Configuration registers (0..102) are written into a pending copy; the update
// command 0x35 makes it the active one. Only the active copy drives the
// device (comparators, amplifier gain), while a 0x33 read returns the pending
// copy, so a page reads back what it wrote before it applied it. Register
// numbers the device does not have read 0 and take no writes.
//
// Measured values (input voltages, sense voltages, temperatures) are set from
// outside, normally by the board; comparators are worked out from them and
// the active configuration whenever they are read.

#include <array>
#include <cstdint>
#include <vector>

#include "device/blocks/FaultLog.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Trim.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Vmon.h"
#include "device/HmuCommands.h"
#include "sim/I2cTarget.h"

// What the device measures.
struct HmuInputs {
    std::array<double, 10> vmonVolts{};   // VMON1..VMON9, HVMON at the pins
    std::array<double, 2> senseVolts{};   // across the IMON1 and HIMON1 sense resistors
    std::array<double, 3> temperatures{}; // TMON1, TMON2, internal, degrees Celsius
};

// Comparator outputs, 1 = the input is above its threshold.
struct HmuComparators {
    vmon::ComparatorStates vmon{};                 // j = 2c + k
    std::array<std::array<bool, 2>, 2> imon{};     // [IMON1, HIMON1][A, B]
    tmon::ComparatorStates tmon{};                 // TMON1 A, B, TMON2 A, B, int A, B
    bool operator==(const HmuComparators&) const = default;
};

// A fault record of the comparators and pin states, in the EEPROM layout.
// hvoutStates bits 0..3 are HVOUT1..4, gpioStates bits 0..9 GPIO1..10.
faultlog::Record MakeFaultRecord(const HmuComparators& comparators, uint8_t hvoutStates,
                                 uint16_t gpioStates);

class CHmuDevice : public CI2cTarget {
public:
    static constexpr int kConfigRegisters = hmu::kConfigRegisters;
    static constexpr int kSignatureBytes = signature::kBytes;
    static constexpr int kTrimCells = trim::kCells;
    // Selector bit 7 routes the input through this attenuator; the code is
    // not rescaled, so a reading taken this way shows an eighth of the input.
    static constexpr double kAttenuation = 1.0 / 8.0;
    static constexpr uint8_t kDefaultIdentification = 0x8A;


    CHmuDevice();

    // CI2cTarget.
    void OnStart(bool repeated) override;
    bool OnAddress(bool read) override;
    bool OnWrite(uint8_t byte) override;
    uint8_t OnRead() override;
    void OnStop() override;

    // Measured values.
    void SetInputs(const HmuInputs& inputs) { m_inputs = inputs; }
    const HmuInputs& Inputs() const { return m_inputs; }

    // Configuration as stored in the device: sets the pending and the active
    // copy at once, as the device's own non-volatile setup does at power-up.
    void SetConfiguration(int reg, uint8_t value);
    uint8_t PendingConfiguration(int reg) const;
    uint8_t ActiveConfiguration(int reg) const;
    int UpdateCount() const { return m_updates; }

    // Monitor registers as the master would read them, without side effects
    // on the ready counters.
    uint8_t MonitorRegister(int reg) const;
    void SetMonitorRegister(int reg, uint8_t value);  // plain registers only

    void SetIdentification(uint8_t id) { m_identification = id; }
    uint8_t Identification() const { return m_identification; }
    void SetSignature(uint64_t signature) { m_signature = signature; }
    uint64_t Signature() const { return m_signature; }
    uint16_t TrimTarget(int cell) const;

    // Read-ready timing: the conversion result shows ready at the n-th read of
    // ADC value Low after ADC MUX is written (1 = the first read, 0 = at
    // once); a monitor record shows ready at the n-th read of Monitor select.
    void SetAdcReadyAfterPolls(int polls) { m_adcReadyAfter = polls; }
    void SetRecordReadyAfterPolls(int polls) { m_recordReadyAfter = polls; }

    // Comparators from the active configuration and the inputs. A VMON
    // comparator trips above the over-voltage table value of its code; window
    // mode and the glitch filter do not change it here. An IMON comparator
    // trips when the sense voltage is above its trip point, a TMON one when
    // the temperature is above its threshold.
    HmuComparators Comparators() const;
    // The 10-bit code a conversion of this selector gives now.
    int ConversionCode(uint8_t selector) const;

    // Pin states that go into fault records (bits as in MakeFaultRecord).
    void SetOutputStates(uint8_t hvoutStates, uint16_t gpioStates);

    // Fault log. Adding to a full log (16 records) fails.
    bool AddFaultRecord(const faultlog::Record& record);
    // Logs the comparators and pin states as they are now.
    bool CaptureFault();
    const std::vector<faultlog::Record>& FaultRecords() const { return m_faults; }
    void ClearFaultRecords() { m_faults.clear(); }
    // Extra status bits ORed into the status bytes (faultlog::kStatus0Busy,
    // kStatus1Invalid), for logs that must read as unusable.
    void SetFaultStatusFlags(uint8_t status0, uint8_t status1);
    bool FaultReadEnabled() const { return m_faultReadEnabled; }
    bool EraseUnlocked() const { return m_eraseUnlocked; }
    // The code the erase must be unlocked with (a board may expect another
    // than the one the devices come with).
    void SetUnlockCode(uint16_t code) { m_unlockCode = code; }

private:
    enum class Expect { Nothing, Command, Operand, Data };

    static bool TakesOperand(uint8_t command);
    void OnCommand();
    void OnOperand();
    void OnData(uint8_t byte);
    uint8_t ReadData(int index);
    uint8_t ReadMonitor(int reg);  // with the side effects of a master's read
    void WriteMonitor(int reg, uint8_t value);
    bool IsPlainMonitorRegister(int reg) const;
    void StartConversion(uint8_t selector);
    uint8_t FaultStatus(int index) const;

    HmuInputs m_inputs;
    std::array<uint8_t, kConfigRegisters> m_pending{};
    std::array<uint8_t, kConfigRegisters> m_active{};
    int m_updates = 0;

    // The transaction in progress and the command it carries.
    Expect m_expect = Expect::Nothing;
    int m_command = -1;
    int m_operand = -1;
    std::vector<uint8_t> m_data;  // data bytes of the current write
    int m_readIndex = 0;

    // Monitor registers.
    uint8_t m_adcMux = 0;
    int m_adcResult = 0;      // the code the result registers show
    int m_adcPending = 0;     // the code of the conversion in progress
    bool m_adcReady = false;
    int m_adcPolls = 0;
    int m_adcReadyAfter = 1;
    uint8_t m_recordSelect = 0;
    int m_recordPolls = 0;
    int m_recordReadyAfter = 1;
    uint8_t m_imonAverageControl = 0;
    uint8_t m_imonAverageSelect = 0;
    uint8_t m_outputControl = 0;

    uint8_t m_identification = kDefaultIdentification;
    uint64_t m_signature = 0;
    std::array<uint16_t, kTrimCells> m_trimTargets{};

    uint8_t m_hvoutStates = 0;
    uint16_t m_gpioStates = 0;
    std::vector<faultlog::Record> m_faults;
    uint8_t m_faultStatus0 = 0;
    uint8_t m_faultStatus1 = 0;
    bool m_faultReadEnabled = false;
    uint8_t m_enableAnswer = faultlog::kDisabledAnswer;
    bool m_eraseUnlocked = false;
    uint16_t m_unlockCode = faultlog::kUnlockCode;
};
