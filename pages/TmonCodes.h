#pragma once
// Conversions of the temperature monitor page, kept free of any window: the
// threshold code <-> Threshold box entry mapping, the R3/R4/R5 threshold
// packing with the bits the page does not own, and the comparator bits.
// Threshold codes are 9-bit two's complement whole degrees Celsius.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tmon {

constexpr int kMonitors = 3;     // 0 = TMON1, 1 = TMON2, 2 = TMON int
constexpr int kComparators = 6;  // TMON1 A, TMON1 B, TMON2 A, TMON2 B, TMON int A, TMON int B
constexpr int kEntries = 220;    // 155 °C down to -64 °C
constexpr int kHighestDegrees = 155;
constexpr int kLowestDegrees = -64;

// Entry of the Threshold box that a code selects; a code outside -64..155 °C
// selects the 0 °C entry (155).
int EntryFromCode(int code);
// Code of an entry; an entry outside 0..219 (no selection) gives code 0.
int CodeFromEntry(int entry);
// Degrees shown by an entry (155 - entry).
int EntryDegrees(int entry);
// "%d °C" (UTF-8 degree sign) of an entry, and the 220 texts of a box.
std::string EntryText(int entry);
std::vector<std::string> ThresholdListTexts();

// Degrees of a 9-bit two's complement code (bits above 8 ignored), and back.
int DegreesOfCode(int code);
int CodeOfDegrees(int degrees);

// Threshold registers of monitor t: R3 at Config3Register(t), R4 and R5 after it.
int Config3Register(int monitor);  // 59, 68, 77
int Config4Register(int monitor);
int Config5Register(int monitor);

struct Thresholds {
    int codeA = 0;
    int codeB = 0;
    bool operator==(const Thresholds&) const = default;
};

struct ThresholdRegisters {
    uint8_t r3 = 0;
    uint8_t r4 = 0;
    uint8_t r5 = 0;
    bool operator==(const ThresholdRegisters&) const = default;
};

// R3 bits 7..1 = A bits 8..2; R4 bits 7..2 = B bits 8..3, bits 1..0 = A
// bits 1..0; R5 bits 2..0 = B bits 2..0.
Thresholds DecodeThresholds(uint8_t r3, uint8_t r4, uint8_t r5);
// R3 bit 0 and R5 bits 7..3 are not the page's: they are carried over from
// the registers as last read. Codes are cut to 9 bits.
ThresholdRegisters EncodeThresholds(Thresholds codes, uint8_t lastR3, uint8_t lastR5);

// Comparator outputs: bit t of TMON stat A / TMON stat B for monitor t.
constexpr int kStatARegister = 0x86;
constexpr int kStatBRegister = 0x87;
using ComparatorStates = std::array<bool, kComparators>;

struct StatRegisters {
    uint8_t statA = 0;
    uint8_t statB = 0;
    bool operator==(const StatRegisters&) const = default;
};
ComparatorStates DecodeComparatorStats(uint8_t statA, uint8_t statB);
// Bits 0..2 of each register; every other bit is 0.
StatRegisters EncodeComparatorStats(const ComparatorStates& states);

}  // namespace tmon
