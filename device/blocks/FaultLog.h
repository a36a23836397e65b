#pragma once
// The fault-log block of an HMU device, its EEPROM as seen over I2C: command
// bytes, the read-enable handshake, the erase unlock code, the status bits and
// the bit positions of a 7-byte fault record. Shared by the fault log page,
// the command-line companion and the simulated device so that all speak the
// same protocol.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/blocks/Gpio.h"

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

// The erase unlock code the devices expect, sent as the two data bytes of
// kCmdUnlock, high byte first. A board that expects another code is served
// through the "Fault Log Unlock Code" setting (or the command line); this is
// the code used when none is given.
constexpr uint16_t kUnlockCode = 0x3CA5;
constexpr uint8_t kUnlockFirst = static_cast<uint8_t>(kUnlockCode >> 8);
constexpr uint8_t kUnlockSecond = static_cast<uint8_t>(kUnlockCode & 0xFF);
constexpr uint16_t UnlockCodeOf(uint8_t first, uint8_t second)
{
    return static_cast<uint16_t>(first << 8 | second);
}
// Exactly four hex digits ("3CA5", either case); nothing for any other text.
std::optional<uint16_t> ParseUnlockCode(std::string_view text);

// Status bytes.
constexpr uint8_t kStatus0Busy = 0x01;       // log not readable now: treat as empty
constexpr uint8_t kStatus1CountMask = 0x0F;  // number of records, 0..15
constexpr uint8_t kStatus1Full = 0x10;       // 16 records
constexpr uint8_t kStatus1Invalid = 0x80;    // log not valid: treat as empty

constexpr int kRecordBytes = 7;
constexpr int kMaxRecords = 16;

// Number of records status byte 1 announces: 16 when its full bit is set,
// else bits 3..0. The unusable flags are not looked at.
constexpr int StatusCount(uint8_t status1)
{
    return (status1 & kStatus1Full) ? kMaxRecords : (status1 & kStatus1CountMask);
}
// The log is busy or not valid: whatever the count says, it reads as empty.
constexpr bool StatusUnusable(uint8_t status0, uint8_t status1)
{
    return (status0 & kStatus0Busy) || (status1 & kStatus1Invalid);
}
// Number of records the status bytes announce (0 when the log is to be
// treated as empty).
constexpr int CountFromStatus(uint8_t status0, uint8_t status1)
{
    return StatusUnusable(status0, status1) ? 0 : StatusCount(status1);
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

// What a record holds, channel by channel. The fifteen comparator channels
// are in the order the fault log page and the command line list them.
constexpr int kChannels = 15;
constexpr int kHvouts = 4;
constexpr int kGpios = gpio::kPins;
constexpr int kGpio7 = gpio::kGpio7;  // not usable on a device identified as having none

struct Channel {
    const char* name;
    int bitA;  // comparator B is the next bit
};
constexpr std::array<Channel, kChannels> kChannelList = {{
    {"VMON1", VmonBit(0, 0)}, {"VMON2", VmonBit(1, 0)}, {"VMON3", VmonBit(2, 0)},
    {"VMON4", VmonBit(3, 0)}, {"VMON5", VmonBit(4, 0)}, {"VMON6", VmonBit(5, 0)},
    {"VMON7", VmonBit(6, 0)}, {"VMON8", VmonBit(7, 0)}, {"VMON9", VmonBit(8, 0)},
    {"HVMON", VmonBit(9, 0)},
    {"TMON1", TmonBit(0, 0)}, {"TMON2", TmonBit(1, 0)}, {"TMON int", TmonBit(2, 0)},
    {"IMON1", ImonBit(0, 0)}, {"HIMON", ImonBit(1, 0)},
}};
constexpr int kFirstVoltageChannel = 0;       // VMON1..VMON9, HVMON
constexpr int kVoltageChannels = 10;
constexpr int kFirstOtherChannel = 10;        // TMON1, TMON2, TMON int, IMON1, HIMON

struct Flags {
    std::array<std::array<bool, 2>, kChannels> comparators{};  // [channel][A, B]
    std::array<bool, kHvouts> hvout{};
    std::array<bool, kGpios> gpio{};
    bool operator==(const Flags&) const = default;
};

// Unpacks a record.
Flags DecodeRecord(const Record& record);
// The flags that are set, named "VMON1 A", "TMON int B", "HVOUT2", "GPIO4",
// channels first, then HVOUT1..4 and GPIO1..10. GPIO7 is left out of a
// device that has none.
std::vector<std::string> SetFlagNames(const Flags& flags, bool hasGpio7);

using Records = std::array<Record, kMaxRecords>;

// The demonstration log: sixteen records, each with one flag ORed in (the
// other bits stay as they were): VMON1 A .. VMON9 A, HVMON A, TMON1 A and B,
// TMON2 A and B, TMON int A and B.
constexpr int kDemoRecords = kMaxRecords;
void FillDemoPattern(Records& records);

// Device sequences, on the port's current device. Each command transaction
// runs inside its own cable lock; callers hold one around a whole sequence.

struct Status {
    uint8_t status0 = 0;
    uint8_t status1 = 0;
    bool answered = false;  // both transactions acknowledged
};
Status ReadStatus(CTovin_I2C_Port& port);

// The log holds 16 records (bit 4 of status byte 1): the "memory full" check.
// False when the device does not answer.
bool IsMemoryFull(CTovin_I2C_Port& port);

// READ_FAULT_ENABLE: up to three attempts, each the command with its operand
// and a one-byte read that must give the enabled or disabled answer. An
// attempt whose command is not acknowledged counts as failed.
constexpr int kEnableAttempts = 3;
bool SetReadEnable(CTovin_I2C_Port& port, bool on);

struct LogRead {
    Status status;
    int count = 0;             // records to show, 0..16
    bool enableFailed = false; // the status announced records but the log would not open
    bool unusable = false;     // the log opened, but the status marks it busy or not valid
    bool recordsAnswered = true;
    // Every read was acknowledged: a false here means the count and records
    // are not the device's.
    bool Answered() const { return status.answered && recordsAnswered; }
};
// The status, then, when it announces records: READ_FAULT_ENABLE on, the
// records (count 0 instead when the status marks the log unusable),
// READ_FAULT_ENABLE off. When the log would not open the announced count
// stays and the records keep what they held.
LogRead ReadLog(CTovin_I2C_Port& port, Records& records);
// The demonstration log in place of a device's.
LogRead ReadDemoLog(Records& records);

// The commands of an erase, in the order they are sent.
enum class EraseStep { None, Unlock, ReadEnable, Erase, ReadDisable, EndErase };
// "the unlock command (0x04)", "READ_FAULT_ENABLE (0x74)", "the erase
// command (0x71)", "the end-of-erase command (0x05)"; empty for None.
std::string EraseStepText(EraseStep step);

enum class EraseOutcome {
    Erased,            // every command acknowledged, and the status shows an empty log
    NotAcknowledged,   // a command (EraseResult::notAcknowledged) or the status read was not acknowledged
    ReadEnableFailed,  // READ_FAULT_ENABLE answered, but not with the log opened: no erase was sent
    NotErased,         // all acknowledged, yet the log holds records (another unlock code?)
};

struct EraseResult {
    bool enabled = false;   // READ_FAULT_ENABLE opened the log, so the erase was sent
    // The first command the device did not acknowledge (None: all were).
    EraseStep notAcknowledged = EraseStep::None;
    Status after;           // the status read once the sequence has ended
    EraseOutcome Outcome() const;
    bool Erased() const { return Outcome() == EraseOutcome::Erased; }
};
// The unlock code, READ_FAULT_ENABLE on and, when it opened, the erase and
// READ_FAULT_ENABLE off; the closing command in every case. Then the status
// is read, so that an erase the device did not carry out (a wrong unlock
// code) is not taken for one; nor is one whose commands were not all
// acknowledged, whatever the status shows.
EraseResult EraseLog(CTovin_I2C_Port& port, uint16_t unlockCode = kUnlockCode);

}  // namespace faultlog
