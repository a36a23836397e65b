#pragma once
// A small EEPROM-like device for bus tests: 256 byte registers behind an
// address pointer. The first byte written after the write address sets the
// pointer; further bytes are stored at the pointer, reads return bytes from
// it; both advance it (wrapping at 256).

#include <array>
#include <cstdint>
#include <vector>

#include "sim/I2cTarget.h"

class CTestTarget : public CI2cTarget {
public:
    void OnStart(bool repeated) override;
    bool OnAddress(bool read) override;
    bool OnWrite(uint8_t byte) override;
    uint8_t OnRead() override;
    void OnMasterAck(bool ack) override;
    void OnStop() override;

    uint8_t Byte(uint8_t reg) const { return m_memory[reg]; }
    void SetByte(uint8_t reg, uint8_t value) { m_memory[reg] = value; }
    uint8_t Pointer() const { return m_pointer; }

    // Every byte written to this device since construction or ClearHistory,
    // pointer bytes included, and every byte it sent.
    const std::vector<uint8_t>& Written() const { return m_written; }
    const std::vector<uint8_t>& Sent() const { return m_sent; }
    int Starts() const { return m_starts; }
    int RepeatedStarts() const { return m_repeatedStarts; }
    int Stops() const { return m_stops; }
    int Addressed() const { return m_addressed; }
    int MasterAcks() const { return m_masterAcks; }
    int MasterNacks() const { return m_masterNacks; }
    void ClearHistory();

    // The next `count` written data bytes are refused (not acknowledged, not
    // stored), as a device that is busy would.
    void RefuseWrites(int count) { m_refuseWrites = count; }

private:
    std::array<uint8_t, 256> m_memory{};
    uint8_t m_pointer = 0;
    bool m_expectPointer = false;
    int m_refuseWrites = 0;
    std::vector<uint8_t> m_written;
    std::vector<uint8_t> m_sent;
    int m_starts = 0;
    int m_repeatedStarts = 0;
    int m_stops = 0;
    int m_addressed = 0;
    int m_masterAcks = 0;
    int m_masterNacks = 0;
};
