#pragma once
// The fault-log block of an HMU device, its EEPROM as seen over I2C: command
// bytes, the read-enable handshake, the erase unlock code, the status bits and
// the bit positions of a 7-byte fault record. Shared by the fault log page,
// the command-line companion and the simulated device so that all speak the
// same protocol.

#include <array>
#include <cstdint>

class CTovin_I2C_Port;

namespace faultlog {

// Commands (each a command transaction on the device; none takes a register).
constexpr uint8_t kCmdStatus = 0x03;       // read 2 bytes: status 0, status 1
constexpr uint8_t kCmdReadEnable = 0x74;   // operand: enable or disable, then read 1 byte
constexpr uint8_t kCmdReadRecords = 0x76;  // read 7 bytes per stored record
constexpr uint8_t kCmdUnlock = 0x04;       // write the 2-byte unlock code
constexpr uint8_t kCmdErase = 0x71;        // erase (needs the unlock first)
constexpr uint8_t kCmdEndErase = 0x05;     // ends the erase sequence, locks again

// READ_FAULT_ENABLE operands and the byte the device answers with.
constexpr uint8_t kEnableOperand = 0xB7;
constexpr uint8_t kDisableOperand = 0x00;
constexpr uint8_t kEnabledAnswer = 0xF0;
constexpr uint8_t kDisabledAnswer = 0x00;

// The erase unlock code, sent as the two data bytes of kCmdUnlock in this
// order. Kept as two constants so that it never appears as one literal.
constexpr uint8_t kUnlockFirst = 0x3C;
constexpr uint8_t kUnlockSecond = 0xA5;

// Status bytes.
constexpr uint8_t kStatus0Busy = 0x01;       // log not readable now: treat as empty
constexpr uint8_t kStatus1CountMask = 0x0F;  // number of records, 0..15
constexpr uint8_t kStatus1Full = 0x10;       // 16 records
constexpr uint8_t kStatus1Invalid = 0x80;    // log not valid: treat as empty

constexpr int kRecordBytes = 7;
constexpr int kMaxRecords = 16;

// Number of records the status bytes announce (0 when the log is to be
// treated as empty).
constexpr int CountFromStatus(uint8_t status0, uint8_t status1)
{
    if ((status0 & kStatus0Busy) || (status1 & kStatus1Invalid)) return 0;
    return (status1 & kStatus1Full) ? kMaxRecords : (status1 & kStatus1CountMask);
}

// Status byte 1 for a number of records (0..16).
constexpr uint8_t Status1ForCount(int count)
{
    if (count >= kMaxRecords) return kStatus1Full;
    return static_cast<uint8_t>(count < 0 ? 0 : count);
}

// A record: bytes r0..r6 in the order the device sends them, one 56-bit
// number with r0 the most significant byte.
using Record = std::array<uint8_t, kRecordBytes>;

// Bit positions in that number. Comparators: 0 = A, 1 = B.
// Temperature monitors: 0 = TMON1, 1 = TMON2, 2 = internal.
constexpr int TmonBit(int monitor, int comparator)
{
    return (monitor == 2 ? 3 : 5 + 2 * monitor) + comparator;
}
// Voltage inputs: 0..8 = VMON1..VMON9, 9 = HVMON.
constexpr int VmonBit(int channel, int comparator)
{
    return 9 + 2 * channel + comparator;
}
// Current monitors: 0 = IMON1, 1 = HIMON1.
constexpr int ImonBit(int monitor, int comparator)
{
    return (monitor == 0 ? 31 : 29) + comparator;
}
constexpr int HvoutBit(int output) { return 33 + output; }  // HVOUT1..4 = 0..3
constexpr int GpioBit(int pin) { return 37 + pin; }         // GPIO1..10 = 0..9

constexpr bool RecordBit(const Record& record, int bit)
{
    if (bit < 0 || bit >= 8 * kRecordBytes) return false;
    return ((record[kRecordBytes - 1 - bit / 8] >> (bit % 8)) & 1) != 0;
}

constexpr void SetRecordBit(Record& record, int bit, bool on)
{
    if (bit < 0 || bit >= 8 * kRecordBytes) return;
    uint8_t& byte = record[kRecordBytes - 1 - bit / 8];
    const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
    byte = static_cast<uint8_t>(on ? (byte | mask) : (byte & ~mask));
}

// The log holds 16 records (bit 4 of status byte 1): the "memory full"
// check, on the port's current device in a cable lock of its own. False when
// the device does not answer.
bool IsMemoryFull(CTovin_I2C_Port& port);

}  // namespace faultlog
