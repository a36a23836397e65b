#pragma once
// The simulated I2C bus at bit level. It only sees the levels of SCL and of
// the master's SDA output, with their times, and works out START, repeated
// START, STOP, the address byte, data bytes and acknowledge bits from the
// changes, as a device on a real bus does. SDA is the wired AND of the master
// and every target.
//
// Targets attach by the project's 8-bit write address (0xC0 for HMU0); the
// target answers both that address and the read address one above it. Its
// hooks run inside the bus's pin handling: they must not attach or detach
// targets or drive the pins themselves.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/BusTrace.h"
#include "sim/I2cTarget.h"

class CI2cBus {
public:
    // For InjectAddressNack: the address is refused until told otherwise.
    static constexpr int kAlways = -1;
    // A target changes SDA this long after the SCL edge it answers.
    static constexpr uint64_t kTargetDelayNs = 10;

    CI2cBus() = default;
    CI2cBus(const CI2cBus&) = delete;
    CI2cBus& operator=(const CI2cBus&) = delete;

    // Adds a target at an even 8-bit write address. False for an odd address
    // or a null target. Two targets may share an address (both then drive the
    // bus, as on real hardware).
    bool Attach(uint8_t writeAddress, std::shared_ptr<CI2cTarget> target);
    // Removes every target at that write address; false when there was none.
    bool Detach(uint8_t writeAddress);
    void DetachAll();

    // The master's pins. Changes are applied in call order; timeNs is the time
    // of the change (kept strictly after the previous change on the bus).
    void SetScl(bool level, uint64_t timeNs);
    void SetMasterSda(bool level, uint64_t timeNs);

    bool Scl() const { return m_scl; }
    bool Sda() const { return m_sda; }
    bool MasterSda() const { return m_masterSda; }
    // True between a START and the next STOP.
    bool InTransaction() const { return m_inTransaction; }
    uint64_t LastChangeNs() const { return m_lastChangeNs; }

    // Fault injection, by the exact 8-bit address byte seen on the bus
    // (0xC0 the write, 0xC1 the read address): the next `times` address bytes
    // equal to it are not acknowledged, kAlways for every one, 0 to cancel.
    // A refused address is not passed to its target at all.
    void InjectAddressNack(uint8_t addressByte, int times);

    // Decoded events as compact text: "S C0 A 33 A Sr C1 A 5A N P". Only the
    // newest are kept (at least the last MaxEvents() / 2), so that a program
    // that runs for days on the simulated board does not grow by them; a log
    // that lost its oldest events since the last clear starts with "... ".
    static constexpr size_t kDefaultMaxEvents = 100'000;
    std::string EventLog() const;
    const std::vector<std::string>& Events() const { return m_events; }
    void ClearEventLog()
    {
        m_events.clear();
        m_droppedEvents = 0;
    }
    void SetMaxEvents(size_t maxEvents) { m_maxEvents = maxEvents < 2 ? 2 : maxEvents; }
    size_t MaxEvents() const { return m_maxEvents; }
    // Events dropped since the last clear.
    uint64_t DroppedEvents() const { return m_droppedEvents; }

    // Counters. Address bytes are counted by their exact byte, acknowledged
    // or not; SCL cycles are rising edges of SCL.
    int AddressCount(uint8_t addressByte) const;
    const std::map<uint8_t, int>& AddressCounts() const { return m_addressCounts; }
    uint64_t SclCycles() const { return m_sclCycles; }
    // Transactions begun (a START after a STOP or at the start; a repeated
    // START continues its transaction). Never reset: callers take differences.
    uint64_t Transactions() const { return m_transactions; }
    void ResetCounters();

    CBusTrace& Trace() { return m_trace; }
    const CBusTrace& Trace() const { return m_trace; }
    void StartTrace() { m_trace.Start(m_lastChangeNs, m_scl, m_sda); }
    void StopTrace() { m_trace.Stop(); }
    void ClearTrace() { m_trace.Clear(); }
    bool WriteVcd(const std::string& path) const { return m_trace.WriteVcd(path); }

private:
    struct Slot {
        uint8_t address7;
        std::shared_ptr<CI2cTarget> target;
        bool selected = false;  // acknowledged its address in this transaction
        bool driveLow = false;  // pulling SDA low
        uint8_t outByte = 0;    // byte being sent to the master
    };

    uint64_t NextTime(uint64_t timeNs);
    void UpdateSda(uint64_t timeNs);
    void OnSclRise();
    void OnSclFall(uint64_t timeNs);
    void OnStart(uint64_t timeNs);
    void OnStop(uint64_t timeNs);
    void CommitByte();
    void ReleaseTargets();
    bool TakeInjectedNack(uint8_t addressByte);
    void Log(std::string token);

    std::vector<Slot> m_slots;

    bool m_scl = true;
    bool m_masterSda = true;
    bool m_sda = true;
    uint64_t m_lastChangeNs = 0;

    // Transaction state as a device on the bus sees it.
    bool m_inTransaction = false;
    bool m_addressPhase = false;
    bool m_readDirection = false;
    bool m_byteCommitted = false;  // eight bits taken, the acknowledge clock is next
    bool m_ackSampled = false;     // the acknowledge clock has risen
    bool m_masterAcked = false;    // the master's answer to the last byte it read
    int m_bits = 0;                // data bits sampled in the current byte
    uint8_t m_shift = 0;

    std::map<uint8_t, int> m_injectedNacks;
    std::map<uint8_t, int> m_addressCounts;
    uint64_t m_sclCycles = 0;
    uint64_t m_transactions = 0;
    std::vector<std::string> m_events;
    size_t m_maxEvents = kDefaultMaxEvents;
    uint64_t m_droppedEvents = 0;
    CBusTrace m_trace;
};
