#include "device/blocks/FaultLog.h"

#include <algorithm>

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace faultlog {
namespace {

constexpr int kNoOperand = -1;

std::optional<int> HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

// A command with no operand followed by `count` data bytes, in one cable lock.
bool Send(CTovin_I2C_Port& port, uint8_t command, const uint8_t* data, int count)
{
    CCableLock lock;
    return port.BeginCommand(command, kNoOperand) && port.WriteBytes(data, count);
}

// A command (and operand) followed by a read of `count` bytes, in one cable
// lock. A command that is not acknowledged leaves the buffer zero-filled.
bool Fetch(CTovin_I2C_Port& port, uint8_t command, int operand, uint8_t* buffer, int count)
{
    CCableLock lock;
    if (!port.BeginCommand(command, operand)) {
        std::fill(buffer, buffer + count, uint8_t{0});
        return false;
    }
    return port.ReadBytes(buffer, count);
}

}  // namespace

std::optional<uint16_t> ParseUnlockCode(std::string_view text)
{
    if (text.size() != 4) return std::nullopt;
    uint16_t code = 0;
    for (const char c : text) {
        const std::optional<int> digit = HexDigit(c);
        if (!digit) return std::nullopt;
        code = static_cast<uint16_t>(code << 4 | *digit);
    }
    return code;
}

Flags DecodeRecord(const Record& record)
{
    Flags flags;
    for (int c = 0; c < kChannels; ++c)
        for (int k = 0; k < 2; ++k) flags.comparators[c][k] = RecordBit(record, kChannelList[c].bitA + k);
    for (int h = 0; h < kHvouts; ++h) flags.hvout[h] = RecordBit(record, HvoutBit(h));
    for (int g = 0; g < kGpios; ++g) flags.gpio[g] = RecordBit(record, GpioBit(g));
    return flags;
}

std::vector<std::string> SetFlagNames(const Flags& flags, bool hasGpio7)
{
    std::vector<std::string> names;
    for (int c = 0; c < kChannels; ++c)
        for (int k = 0; k < 2; ++k)
            if (flags.comparators[c][k]) names.push_back(std::string(kChannelList[c].name) + (k == 0 ? " A" : " B"));
    for (int h = 0; h < kHvouts; ++h)
        if (flags.hvout[h]) names.push_back("HVOUT" + std::to_string(h + 1));
    for (int g = 0; g < kGpios; ++g)
        if (flags.gpio[g] && (hasGpio7 || g != kGpio7)) names.push_back("GPIO" + std::to_string(g + 1));
    return names;
}

void FillDemoPattern(Records& records)
{
    // One flag per record: the A comparators of VMON1..VMON9 and HVMON, then
    // both comparators of TMON1, TMON2 and TMON int.
    for (int k = 0; k < kDemoRecords; ++k) {
        const int bit = k < kVoltageChannels ? kChannelList[k].bitA
                                             : TmonBit((k - kVoltageChannels) / 2, (k - kVoltageChannels) % 2);
        SetRecordBit(records[k], bit, true);
    }
}

Status ReadStatus(CTovin_I2C_Port& port)
{
    uint8_t bytes[2] = {};
    Status status;
    status.answered = Fetch(port, kCmdStatus, kNoOperand, bytes, 2);
    status.status0 = bytes[0];
    status.status1 = bytes[1];
    return status;
}

bool IsMemoryFull(CTovin_I2C_Port& port)
{
    const Status status = ReadStatus(port);
    return status.answered && (status.status1 & kStatus1Full) != 0;
}

namespace {

// READ_FAULT_ENABLE; `answered` tells whether any attempt was acknowledged
// all through, so that a refused command is told from a wrong answer.
bool ReadEnable(CTovin_I2C_Port& port, bool on, bool& answered)
{
    const uint8_t operand = on ? kEnableOperand : kDisableOperand;
    const uint8_t expected = on ? kEnabledAnswer : kDisabledAnswer;
    answered = false;
    for (int attempt = 0; attempt < kEnableAttempts; ++attempt) {
        CCableLock lock;
        if (!port.BeginCommand(kCmdReadEnable, operand)) continue;
        uint8_t answer = 0;
        if (!port.ReadBytes(&answer, 1)) continue;
        answered = true;
        if (answer == expected) return true;
    }
    return false;
}

}  // namespace

bool SetReadEnable(CTovin_I2C_Port& port, bool on)
{
    bool answered = false;
    return ReadEnable(port, on, answered);
}

LogRead ReadLog(CTovin_I2C_Port& port, Records& records)
{
    CCableLock lock;
    LogRead read;
    read.status = ReadStatus(port);
    read.count = StatusCount(read.status.status1);
    if (read.count == 0) return read;
    if (!SetReadEnable(port, true)) {
        read.enableFailed = true;
        return read;
    }
    if (StatusUnusable(read.status.status0, read.status.status1)) {
        read.unusable = true;
        read.count = 0;
    } else {
        // A read the device did not answer leaves zeros, as the port gives them.
        std::array<uint8_t, kRecordBytes * kMaxRecords> bytes{};
        read.recordsAnswered = Fetch(port, kCmdReadRecords, kNoOperand, bytes.data(), kRecordBytes * read.count);
        for (int r = 0; r < read.count; ++r)
            std::copy_n(bytes.begin() + r * kRecordBytes, kRecordBytes, records[r].begin());
    }
    SetReadEnable(port, false);
    return read;
}

LogRead ReadDemoLog(Records& records)
{
    FillDemoPattern(records);
    LogRead read;
    read.status.answered = true;
    read.status.status1 = Status1ForCount(kDemoRecords);
    read.count = kDemoRecords;
    return read;
}

std::string EraseStepText(EraseStep step)
{
    switch (step) {
    case EraseStep::None: break;
    case EraseStep::Unlock: return "the unlock command (0x04)";
    case EraseStep::ReadEnable:
    case EraseStep::ReadDisable: return "READ_FAULT_ENABLE (0x74)";
    case EraseStep::Erase: return "the erase command (0x71)";
    case EraseStep::EndErase: return "the end-of-erase command (0x05)";
    }
    return {};
}

EraseOutcome EraseResult::Outcome() const
{
    if (notAcknowledged != EraseStep::None || !after.answered) return EraseOutcome::NotAcknowledged;
    if (!enabled) return EraseOutcome::ReadEnableFailed;
    if (CountFromStatus(after.status0, after.status1) != 0) return EraseOutcome::NotErased;
    return EraseOutcome::Erased;
}

EraseResult EraseLog(CTovin_I2C_Port& port, uint16_t unlockCode)
{
    CCableLock lock;
    const uint8_t code[2] = {static_cast<uint8_t>(unlockCode >> 8), static_cast<uint8_t>(unlockCode & 0xFF)};
    EraseResult result;
    const auto step = [&result](bool acknowledged, EraseStep which) {
        if (!acknowledged && result.notAcknowledged == EraseStep::None) result.notAcknowledged = which;
    };
    step(Send(port, kCmdUnlock, code, 2), EraseStep::Unlock);
    bool answered = false;
    if (ReadEnable(port, true, answered)) {
        step(Send(port, kCmdErase, nullptr, 0), EraseStep::Erase);
        // Only a refused command counts here; the log was opened and erased.
        ReadEnable(port, false, answered);
        step(answered, EraseStep::ReadDisable);
        result.enabled = true;
    } else {
        step(answered, EraseStep::ReadEnable);
    }
    step(Send(port, kCmdEndErase, nullptr, 0), EraseStep::EndErase);
    result.after = ReadStatus(port);
    return result;
}

}  // namespace faultlog
