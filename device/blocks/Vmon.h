#pragma once
// The voltage monitor block of an HMU device (VMON1..VMON9, HVMON): its
// registers, the threshold code <-> Threshold box entry mapping, the threshold
// tables, the Config0/1/2 packing, the comparator bits of the monitor records,
// the persisted detection directions, and the read and write sequences of the
// voltage page. The one definition of all of it: the page, the command-line
// companion, the data logger and the simulated device use it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/blocks/Adc.h"

class CTovin_I2C_Port;

namespace vmon {

constexpr int kChannels = 10;       // c = 0..8 is VMON(c+1), c = 9 is HVMON
constexpr int kHvmonChannel = 9;
constexpr int kComparators = 20;    // j = 2c + k, k = 0 for A, 1 for B
constexpr int kRows = 31;           // fine codes 0..30
constexpr int kColumns = 12;        // coarse codes 0..11
constexpr int kLowFine = 33;        // fine code of the low-range entries
constexpr int kLowEntries = 12;
constexpr int kEntries = kLowEntries + kRows * kColumns;  // 384

enum class Range : int { Range1 = 1, Range2 = 2 };
// Values are the Detection box indexes and the persisted integers.
enum class Direction : int { Under = 0, Over = 1 };

struct ThresholdCode {
    int coarse = 0;  // 4 bits in the registers
    int fine = 0;    // 6 bits in the registers
    bool operator==(const ThresholdCode&) const = default;
};

// Entry of the Threshold box that a code selects. Codes the lists cannot show
// (coarse 12..15, fine 31, 32, 34..63) select entry 0.
int EntryFromCode(ThresholdCode code);
// Code of a Threshold box entry. An entry outside 0..383 (no selection) gives
// the code of entry 0, so nothing but a valid code is ever written.
ThresholdCode CodeFromEntry(int entry);

// VMON1..VMON9 use range 1, HVMON range 2.
Range ChannelRange(int channel);
Range ComparatorRange(int comparator);

// Threshold table value in millivolts; row = fine code 0..30, column = coarse
// code 0..11. Returns 0 outside the table.
int TableMillivolts(Range range, Direction direction, int row, int column);
// One of the twelve low-range values (entries 0..11), in millivolts; 0 outside.
int LowRangeMillivolts(Range range, int index);

// Value shown by a Threshold box entry; entries outside 0..383 show entry 0.
int EntryMillivolts(Range range, Direction direction, int entry);
double EntryVolts(Range range, Direction direction, int entry);
// Threshold of a comparator set to a code: the value of the entry the code
// selects, so the simulated device trips where the page says it does.
double ThresholdVolts(Range range, Direction direction, ThresholdCode code);

// "%3.3f V" text of an entry, and the 384 texts of a Threshold box in order.
std::string EntryText(Range range, Direction direction, int entry);
std::vector<std::string> ThresholdListTexts(Range range, Direction direction);

// Configuration registers of input c: "VMON1 Config0" (22) .. "HVMON Config2" (51).
constexpr int kFirstConfigRegister = 22;
constexpr int kConfigRegistersPerInput = 3;
constexpr int Config0Register(int channel) { return kFirstConfigRegister + kConfigRegistersPerInput * channel; }
constexpr int Config1Register(int channel) { return Config0Register(channel) + 1; }
constexpr int Config2Register(int channel) { return Config0Register(channel) + 2; }
// "ADC MUX" selector of input c is c itself.
constexpr uint8_t InputSelector(int channel) { return static_cast<uint8_t>(channel); }

struct ChannelConfig {
    ThresholdCode a;
    ThresholdCode b;
    bool glitchFilter = false;
    bool windowMode = false;
    bool operator==(const ChannelConfig&) const = default;
};

// What the page writes for one input: Config0 and Config2 whole, Config1 as a
// masked write whose mask keeps bits 7..6 of the register.
struct ConfigWrite {
    uint8_t config0 = 0;
    uint8_t config1Value = 0;
    uint8_t config1Mask = 0;
    uint8_t config2 = 0;
};

ChannelConfig DecodeConfig(uint8_t config0, uint8_t config1, uint8_t config2);
// Codes are cut to their field widths (coarse 4 bits, fine 6 bits).
ConfigWrite EncodeConfig(const ChannelConfig& config);

// Comparator outputs travel in three monitor records, chosen by the value
// written to Monitor select: 5 carries j = 0..6 in bits 1..7, 4 carries
// j = 7..14 in bits 0..7, 3 carries j = 15..19 in bits 0..4.
constexpr std::array<uint8_t, 3> kRecordSelects = {5, 4, 3};
using ComparatorStates = std::array<bool, kComparators>;

struct RecordBit {
    uint8_t select = 0;
    int bit = 0;
    bool operator==(const RecordBit&) const = default;
};
// Comparators outside 0..19 give select 0, which carries none.
RecordBit ComparatorRecordBit(int comparator);
// Sets the states carried by the record of this select; the others are left.
void DecodeMonitorRecord(uint8_t select, uint8_t record, ComparatorStates& states);
// The bits of the states carried by this select; every other bit is 0.
uint8_t EncodeMonitorRecord(uint8_t select, const ComparatorStates& states);

// Persisted detection directions: "VMON%d Directions", twenty little-endian
// 32-bit integers in comparator order.
constexpr size_t kDirectionsSize = 4 * kComparators;  // 80 bytes
using Directions = std::array<Direction, kComparators>;

std::string DirectionsSettingName(int device);
std::vector<uint8_t> EncodeDirections(const Directions& directions);
// Only a block of exactly 80 bytes decodes. A stored integer other than 0 or 1
// is not a Detection box index and reads as "Under-Voltage".
std::optional<Directions> DecodeDirections(std::span<const uint8_t> bytes);

// What the voltage page shows of a device.
struct Values {
    std::array<float, kChannels> volts{};
    // The volts of the input are its second conversion, through the attenuator, not rescaled.
    std::array<bool, kChannels> attenuated{};
    ComparatorStates comparators{};
    std::array<ChannelConfig, kChannels> channels{};
};

// Device sequences, on the port's current device, inside the caller's cable lock.
// The voltage of input c: one conversion, repeated through the attenuator when
// the first one is at full scale.
// attenuated, when given, says whether the value is the attenuated one (not rescaled).
float MeasureInput(CTovin_I2C_Port& port, int channel, bool* attenuated = nullptr);
// The steps of Read, for a caller that shows progress between them.
void MeasureVoltages(CTovin_I2C_Port& port, Values& values);
// Each record selected, then read at once, without waiting for its ready bit.
void ReadComparatorStates(CTovin_I2C_Port& port, Values& values);
// Config0, Config1, Config2 of each input: the threshold codes.
void ReadThresholds(CTovin_I2C_Port& port, Values& values);
// Config1 of each input again: the glitch filter and window mode bits.
void ReadFilterBits(CTovin_I2C_Port& port, Values& values);
// The four steps in that order.
Values Read(CTovin_I2C_Port& port);
// For each input Config0, Config1 through a masked write that keeps its bits
// 7..6, and Config2; then one update.
void Write(CTovin_I2C_Port& port, const std::array<ChannelConfig, kChannels>& channels);

}  // namespace vmon
