#pragma once
// The MPSSE command set of the FTDI chips, as far as the link uses it and
// needs to walk a command stream: the opcodes, and the length of each command
// with whether it sends bytes back. The simulated engine (sim/MpsseEngine)
// keeps its own table on purpose, so that it checks this one; a test holds
// the two to the same lengths.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace mpsse {

// Shifts (0x10..0x3F): bit 0 out on the falling edge, bit 1 bit mode, bit 2 in
// on the falling edge, bit 3 LSB first, bit 4 writes, bit 5 reads.
constexpr uint8_t kBytesOutFalling = 0x11;
constexpr uint8_t kBitsOutFalling = 0x13;
constexpr uint8_t kBytesInRising = 0x20;
constexpr uint8_t kBitsInRising = 0x22;

constexpr uint8_t kSetLow = 0x80;   // value, direction of ADBUS0..7
constexpr uint8_t kReadLow = 0x81;
constexpr uint8_t kSetHigh = 0x82;  // value, direction of ACBUS0..7
constexpr uint8_t kReadHigh = 0x83;
constexpr uint8_t kLoopbackOn = 0x84;
constexpr uint8_t kLoopbackOff = 0x85;
constexpr uint8_t kSetDivisor = 0x86;  // low, high
constexpr uint8_t kSendImmediate = 0x87;
constexpr uint8_t kDivideBy5Off = 0x8A;
constexpr uint8_t kDivideBy5On = 0x8B;
constexpr uint8_t kThreePhaseOn = 0x8C;
constexpr uint8_t kThreePhaseOff = 0x8D;
constexpr uint8_t kAdaptiveOn = 0x96;
constexpr uint8_t kAdaptiveOff = 0x97;

// An opcode the engine does not know is answered with kBadCommand and the opcode.
constexpr uint8_t kBadCommand = 0xFA;
// The bit mode that enters MPSSE.
constexpr uint8_t kBitModeMpsse = 0x02;

struct Command {
    std::size_t length = 0;  // 0: the command needs more bytes than given to tell
    bool answers = false;    // the engine sends bytes back for it
};

// The command at data[0..size), or nothing for an opcode that is not an MPSSE
// command (the engine answers it as a bad command). size must be at least 1.
std::optional<Command> Measure(const uint8_t* data, std::size_t size);

}  // namespace mpsse
