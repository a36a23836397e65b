#pragma once
// The user electronic signature of an HMU device: eight bytes at positions
// 0x70..0x77 of the signature space, read one at a time with the signature
// command; the byte at 0x70 is the least significant. And the three ways the
// signature is shown.

#include <cstdint>
#include <string>

class CTovin_I2C_Port;

namespace signature {

constexpr uint8_t kFirstPosition = 0x70;
constexpr int kBytes = 8;
constexpr uint8_t Position(int byte) { return static_cast<uint8_t>(kFirstPosition + byte); }

// Configuration register "Writeprotect Usertag".
constexpr int kWriteProtectRegister = 102;

// Sixteen upper-case hex digits in byte pairs: "0x01 23 45 67 89 AB CD EF".
std::string HexText(uint64_t value);
// Decimal digits with "," between groups of three: "18,446,744,073,709,551,615".
std::string DecimalText(uint64_t value);
// 64 binary digits, bit 63 first, in sixteen groups of four, each after a blank.
std::string BinaryText(uint64_t value);

// The signature of the port's current device, byte by byte under one cable
// lock; check FailedTransactions() for a byte that did not come.
uint64_t Read(CTovin_I2C_Port& port);

}  // namespace signature
