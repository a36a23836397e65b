#include "link/MpsseChannel.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using namespace first_contact;

// The answer to kBytes: FA AA, after FA and the opcode for each of the clock
// set-up commands when the chip is one without them (an FT2232D runs at the
// table's clock anyway). Whether the bytes so far can still become one.
bool SyncAnswerSoFar(const std::vector<uint8_t>& bytes, bool* complete)
{
    *complete = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = bytes[i];
        if (i % 2 == 0) {
            if (b != kBadCommand)
                return false;
            continue;
        }
        if (b == kSyncOpcode) {
            *complete = i + 1 == bytes.size();
            return *complete;
        }
        if (std::find(std::begin(kBytes), std::end(kBytes) - 1, b) == std::end(kBytes) - 1)
            return false;
    }
    return true;
}

std::string HexBytes(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return "nothing";
    std::string text;
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        if (i > 0)
            text += ' ';
        text += pair;
    }
    return text;
}

}  // namespace

bool RunMpsseFirstContact(CMpsseChannelCalls& channel, char letter, std::string* failure)
{
    const std::string name = std::string("channel ") + letter;
    // Another program may have left the channel in any mode, with any clock
    // set-up and with replies nobody read.
    if (!channel.SetBitMode(0x00, kResetMode) || !channel.SetBitMode(0x00, kMpsseMode)) {
        *failure = name + " did not enter MPSSE mode (" + channel.LastError() + ")";
        return false;
    }
    channel.PurgeReceive();
    if (!channel.Write(kBytes, uint32_t(sizeof kBytes))) {
        *failure = name + " did not take the MPSSE set-up (" + channel.LastError() + ")";
        return false;
    }
    // At most FA and an opcode for each command sent.
    const size_t longest = 2 * sizeof kBytes;
    std::vector<uint8_t> answer;
    const uint64_t start = channel.NowMicroseconds();
    bool complete = false;
    while (SyncAnswerSoFar(answer, &complete) && !complete && answer.size() < longest) {
        uint8_t byte = 0;
        const int n = channel.ReadWaiting(&byte, 1);
        if (n < 0)
            break;
        if (n > 0) {
            answer.push_back(byte);
            continue;
        }
        if (channel.NowMicroseconds() - start >= kTimeoutUs)
            break;
        channel.SleepMicroseconds(kPollUs);
    }
    if (complete)
        return true;
    *failure = "the MPSSE engine of " + name + " did not answer in step (the bad command AA was answered " +
               HexBytes(answer) + ", not FA AA): re-plug the cable";
    return false;
}

// A read transaction of the link ends with STOP, so its data byte would sit in
// the chip until the latency timer fires. Walking the commands instead of
// always appending 0x87 keeps the added byte out of writes that are not MPSSE
// commands or that stop in the middle of a command, where it would be sent as
// data, and out of writes that expect nothing back.
bool MpsseWriteNeedsSendImmediate(const uint8_t* data, size_t size)
{
    bool pending = false;
    size_t at = 0;
    while (at < size) {
        const std::optional<mpsse::Command> command = mpsse::Measure(data + at, size - at);
        if (!command || command->length == 0)
            return false;
        if (command->answers)
            pending = true;
        else if (data[at] == mpsse::kSendImmediate)
            pending = false;
        at += command->length;
    }
    return pending;
}

std::string DescribeChannelOpenFailure(ChannelOpenFailure kind, const std::string& cause)
{
    switch (kind) {
    case ChannelOpenFailure::Busy:
        return "another program holds this channel of the cable (" + cause +
               "): close it (another zent2-i2c or zent2-cli, OpenOCD, an FPGA or JTAG tool) and try again";
    case ChannelOpenFailure::Gone:
        return "the cable went away while it was being opened (" + cause + "): plug it in again";
    case ChannelOpenFailure::Other:
        break;
    }
    return "the USB device did not open (" + cause + ")";
}

std::string UnlistedDeviceFailure(int index, size_t listed, const std::string& serial)
{
    if (listed == 0)
        return serial.empty() ? "no FTDI device found" : "no cable with the serial number " + serial + " is attached";
    return "device " + std::to_string(index) + " is not listed: only " + std::to_string(listed) +
           (listed == 1 ? " FTDI channel is" : " FTDI channels are") + " attached";
}
