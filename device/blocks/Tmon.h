#pragma once
// The temperature monitor block of an HMU device (TMON1, TMON2, internal):
// its registers, the threshold code <-> Threshold box entry mapping, the
// R3/R4/R5 threshold packing with the bits the page does not own, the
// comparator bits, and the read and write sequences of the temperature page.
// Threshold codes are 9-bit two's complement whole degrees Celsius.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CTovin_I2C_Port;

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

// Configuration registers: nine per monitor, "TMON1 Config0" (56), "TMON2
// Config0" (65), "TMON Int Config0" (74). The thresholds are in Config3..5
// (R3, R4, R5).
constexpr int kFirstConfigRegister = 56;
constexpr int kConfigRegistersPerMonitor = 9;
constexpr int ConfigRegister(int monitor, int index)
{
    return kFirstConfigRegister + kConfigRegistersPerMonitor * monitor + index;
}
constexpr int Config3Register(int monitor) { return ConfigRegister(monitor, 3); }
constexpr int Config4Register(int monitor) { return ConfigRegister(monitor, 4); }
constexpr int Config5Register(int monitor) { return ConfigRegister(monitor, 5); }

// Measurement monitor registers of monitor t: high at 0x80 + 2t, low after it.
constexpr uint8_t kRegMeasFirst = 0x80;
constexpr uint8_t MeasHighRegister(int monitor) { return static_cast<uint8_t>(kRegMeasFirst + 2 * monitor); }
constexpr uint8_t MeasLowRegister(int monitor) { return static_cast<uint8_t>(MeasHighRegister(monitor) + 1); }

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
constexpr uint8_t kStatARegister = 0x86;
constexpr uint8_t kStatBRegister = 0x87;
using ComparatorStates = std::array<bool, kComparators>;

struct StatRegisters {
    uint8_t statA = 0;
    uint8_t statB = 0;
    bool operator==(const StatRegisters&) const = default;
};
ComparatorStates DecodeComparatorStats(uint8_t statA, uint8_t statB);
// Bits 0..2 of each register; every other bit is 0.
StatRegisters EncodeComparatorStats(const ComparatorStates& states);

// What the temperature page shows of a device.
struct Values {
    std::array<float, kMonitors> temperatures{};
    ComparatorStates comparators{};
    std::array<Thresholds, kMonitors> thresholds{};
    // R3, R4, R5 as last read or written: the source of the bits the page does not own.
    std::array<ThresholdRegisters, kMonitors> registers{};
};

// Device sequences, on the port's current device, inside the caller's cable lock.
float ReadTemperature(CTovin_I2C_Port& port, int monitor);
// TMON stat A and B: the comparator outputs.
ComparatorStates ReadComparatorStates(CTovin_I2C_Port& port);
// The three temperatures, TMON stat A and B, then R3, R4, R5 of each monitor.
Values Read(CTovin_I2C_Port& port);
// R3, R4, R5 of each monitor with the kept bits of values.registers, then one
// update. values then holds what was written.
void Write(CTovin_I2C_Port& port, Values& values, const std::array<Thresholds, kMonitors>& codes);

}  // namespace tmon
