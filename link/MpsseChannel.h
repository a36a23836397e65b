#pragma once
// One MPSSE channel of a USB FTDI chip as both USB backends (libftdi1 and
// FTDI's D2XX driver) open and feed it: the first-contact set-up that puts a
// channel into a known state whatever another program left in it, the
// send-immediate a write needs, and the words for a channel that does not open.
// The backends differ in the calls they make; what they do with them is here,
// once.

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Mpsse.h"

namespace first_contact {

constexpr uint8_t kResetMode = 0x00;
constexpr uint8_t kMpsseMode = mpsse::kBitModeMpsse;
// Replies that are not pushed out by a send-immediate would otherwise wait the
// chip's default 16 ms.
constexpr uint8_t kLatencyMs = 1;
// What every channel is sent as it opens, after its bit mode was reset, MPSSE
// entered and its receive buffer purged: the clock set-up the link's divisor
// table assumes (divide by 5 on, adaptive clocking off, three-phase clocking
// off), then a bad opcode whose answer proves that the engine runs and that
// replies are in step.
constexpr uint8_t kBytes[] = {mpsse::kDivideBy5On, mpsse::kAdaptiveOff, mpsse::kThreePhaseOff, 0xAA};
constexpr uint8_t kBadCommand = mpsse::kBadCommand;
constexpr uint8_t kSyncOpcode = 0xAA;
// How long the answer may take, and the pause between two looks for it.
constexpr uint64_t kTimeoutUs = 250000;
constexpr uint32_t kPollUs = 250;
// How long a counted read waits for its bytes.
constexpr uint64_t kReadTimeoutUs = 1000000;

}  // namespace first_contact

// The calls on one freshly opened channel that the set-up needs; each backend
// forwards them to its library.
class CMpsseChannelCalls {
public:
    virtual ~CMpsseChannelCalls() = default;
    virtual bool SetBitMode(uint8_t mask, uint8_t mode) = 0;
    // Drops what the chip holds for the host; a failure is not fatal here.
    virtual void PurgeReceive() = 0;
    // True when every byte was handed to the chip.
    virtual bool Write(const uint8_t* data, uint32_t size) = 0;
    // Bytes that have arrived, at most size, without waiting for more: the
    // count, 0 when none, negative when the channel failed.
    virtual int ReadWaiting(uint8_t* data, uint32_t size) = 0;
    // The library's words for its last failure, e.g. "libftdi: usb bulk write failed".
    virtual std::string LastError() = 0;
    virtual uint64_t NowMicroseconds() = 0;
    virtual void SleepMicroseconds(uint32_t microseconds) = 0;
};

// Resets the bit mode, enters MPSSE, purges the receive buffer, sends
// first_contact::kBytes and waits for FA AA (after FA and the opcode for each
// clock set-up command on a chip without them). False, with the words for the
// user in *failure, when the channel did not take the set-up or the engine did
// not answer in step in time.
bool RunMpsseFirstContact(CMpsseChannelCalls& channel, char letter, std::string* failure);

// True when a write of these MPSSE command bytes makes the chip answer and no
// send-immediate (0x87) follows the last command that answers. False as well
// when the bytes are not a whole run of commands the link knows (a command
// cut off at the end, an unknown opcode): an added byte could land inside it.
bool MpsseWriteNeedsSendImmediate(const uint8_t* data, size_t size);

// Why a channel did not open, in words for the user; cause is the library's
// own account ("libftdi: ..., code -5; errno 16: ...", "D2XX: FT_DEVICE_NOT_OPENED").
enum class ChannelOpenFailure {
    Busy,   // another program holds the channel
    Gone,   // the cable went away while it was being opened
    Other,
};
std::string DescribeChannelOpenFailure(ChannelOpenFailure kind, const std::string& cause);

// Why device index could not be opened when it is not in a listing of
// `listed` devices; serial is the cable the user asked for (empty: any).
std::string UnlistedDeviceFailure(int index, size_t listed, const std::string& serial);
