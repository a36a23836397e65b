#pragma once
// The current monitor block of an HMU device (IMON1, HIMON1): its registers,
// the trip point table, the trip point and settings registers, the current and
// its texts, the persisted sense resistor, and the read and write sequences of
// the current page.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CTovin_I2C_Port;

namespace imon {

constexpr int kMonitors = 2;  // 0 = IMON1, 1 = HIMON1
constexpr int kTripPoints = 16;
constexpr float kDefaultSenseResistance = 0.1f;  // ohms

struct TripPoint {
    float senseVolts;
    int level;  // 2 bits
    int range;  // 2 bits
};

// In increasing voltage, which is also the order of every Trip Point box.
// Each (level, range) pair occurs once.
inline constexpr std::array<TripPoint, kTripPoints> kTripPointTable = {{
    {0.0075f, 0, 0}, {0.010f, 1, 0}, {0.014f, 2, 0}, {0.015f, 0, 1},
    {0.019f, 3, 0},  {0.020f, 1, 1}, {0.028f, 2, 1}, {0.030f, 0, 2},
    {0.038f, 3, 1},  {0.040f, 1, 2}, {0.056f, 2, 2}, {0.075f, 0, 3},
    {0.076f, 3, 2},  {0.100f, 1, 3}, {0.140f, 2, 3}, {0.190f, 3, 3},
}};

// Amplifier gain of a range code (bits 1..0 used): 100, 50, 25, 10.
int GainOfRange(int rangeCode);
// Table entry of a (level, range) pair (bits 1..0 of each used).
int TripPointEntry(int level, int range);
// Sense voltage of an entry; entries outside 0..15 count as entry 0.
float TripPointVolts(int entry);
// Entry whose sense voltage equals a stored trip point, if any.
std::optional<int> EntryOfTripPoint(float senseVolts);

// Trip point register (Config1): bits 7..6 level A, 5..4 level B,
// 3..2 range A (also the gain), 1..0 range B.
struct TripRegister {
    int entryA = 0;
    int entryB = 0;
    int gain = 0;
};
TripRegister DecodeTripRegister(uint8_t value);

struct TripWrite {
    uint8_t value = 0;
    int gain = 0;  // gain of comparator A's range, the monitor's new gain
};
// Entries outside 0..15 (no selection) count as entry 0, so the register
// always holds a pair of the table.
TripWrite EncodeTripRegister(int entryA, int entryB);

// Settings register (Config0): bit 4 glitch filter, bit 3 window mode.
struct Settings {
    bool glitchFilter = false;
    bool windowMode = false;
    bool operator==(const Settings&) const = default;
};
// Every other bit is written as 0.
uint8_t EncodeSettings(Settings settings);
Settings DecodeSettings(uint8_t value);

// A stored resistance that is zero, negative or not a finite number would
// divide by zero or give negative currents: it counts as missing (0.1 ohm).
// Every function below that takes a resistance applies this first.
float UsableSenseResistance(float storedOhms);

// Current through the sense resistor: volts / (gain x ohms); 0 for a gain
// that is not positive.
float CurrentAmps(float volts, int gain, float ohms);
std::string CurrentText(float amps);  // "%0.3f Amps"

// "%3.3f Amps" of an entry's sense voltage over the resistance, and the
// sixteen texts of a Trip Point box in table order.
std::string TripPointText(int entry, float ohms);
std::vector<std::string> TripPointListTexts(float ohms);

// Caption of the "Sense Resistor =" button: milliohms, "%4.1f mOhms".
std::string ResistorCaption(float ohms);

// "HMU%d_IMON%d_SenseResistor": device index, then monitor index.
std::string SenseResistorSettingName(int device, int monitor);

// Registers and measurement selector of a monitor (0 = IMON1, else HIMON1).
struct MonitorRegisters {
    uint8_t selector = 0;      // written to ADC MUX
    int settingsRegister = 0;  // Config0: "IMON1 Config0" (52), "HIMON1 Config0" (54)
    int tripRegister = 0;      // Config1: "IMON1 Config1" (53), "HIMON1 Config1" (55)
};
inline constexpr std::array<MonitorRegisters, kMonitors> kRegisters = {{{0x10, 52, 53}, {0x13, 54, 55}}};
constexpr MonitorRegisters RegistersOf(int monitor) { return kRegisters[monitor == 0 ? 0 : 1]; }

// The averaging monitor registers (listed by the register map, not used by the page).
constexpr uint8_t kRegAverageControl = 3;
constexpr uint8_t kRegAverageSelect = 4;
constexpr uint8_t kRegAverageLow = 5;
constexpr uint8_t kRegAverageHigh = 6;

// Where a comparator output (comparator 0 = A, 1 = B) travels: the value
// written to Monitor select and the bit of Monitor record.
struct RecordBit {
    uint8_t select = 0;
    int bit = 0;
    bool operator==(const RecordBit&) const = default;
};
RecordBit ComparatorRecordBit(int monitor, int comparator);

// Monitor records that carry comparator outputs, in the order they are read.
inline constexpr std::array<uint8_t, 2> kRecordSelects = {2, 3};

// What the current page shows of one monitor.
struct MonitorValues {
    float volts = 0.0f;  // amplifier output
    int gain = 10;
    std::array<bool, 2> comparators{};  // A, B
    std::array<int, 2> tripEntries{};   // trip point table entries of A and B
    Settings settings;
};
using Values = std::array<MonitorValues, kMonitors>;

// Device sequences, on the port's current device, inside the caller's cable lock.
// The amplifier output of a monitor (0 when the conversion did not finish in time).
float MeasureVolts(CTovin_I2C_Port& port, int monitor);
// The amplifier gain, from comparator A's range code in the trip point register.
int ReadGain(CTovin_I2C_Port& port, int monitor);
// The gain figure of a trip register value.
int SenseRangeFigure(int value);
// The trip register of a monitor read (its raw value to *raw when given) or
// written; both return the gain figure.
int ReadSenseRange(CTovin_I2C_Port& port, int monitor, uint8_t* raw);
int WriteSenseRange(CTovin_I2C_Port& port, int monitor, int value);
// Each record is selected and read once its ready bit shows (three polls at
// most); a record that never becomes ready leaves its states as they were,
// and false is returned then.
bool ReadComparatorStates(CTovin_I2C_Port& port, Values& values);
// Both measurements, the comparator states, the trip point registers, then
// the settings registers.
void Read(CTovin_I2C_Port& port, Values& values);
// Both trip point registers and an update, then both settings registers and
// another update. Takes the trip entries and settings of the values and sets
// their gains to what the written range codes give.
void Write(CTovin_I2C_Port& port, Values& values);

}  // namespace imon
