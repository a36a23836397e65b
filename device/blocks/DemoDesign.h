#pragma once
// The demonstration design in the board's main device: plain byte registers
// 0..3 whose bit fields the demonstrations, the margining and the clocking
// dialogs own, and the board's POT status that the design reports. Also the
// device sequences of the demonstration windows: field read-modify-writes,
// the thermal thresholds in HMU0, the temperatures they watch and the reads
// of the power network chart.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>

#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"

class CTovin_I2C_Port;

namespace demodesign {

constexpr int kRegisters = 4;
// What the design's registers hold after power-up.
inline constexpr std::array<uint8_t, kRegisters> kPowerUpValues = {0x04, 0xC1, 0xC2, 0x03};

// A bit field of one register; bit 0 is the least significant.
struct Field {
    uint8_t reg = 0;
    uint8_t shift = 0;
    uint8_t width = 1;

    constexpr uint8_t Mask() const { return static_cast<uint8_t>(((1u << width) - 1u) << shift); }
    constexpr int Get(uint8_t value) const { return (value & Mask()) >> shift; }
    // The register value with this field replaced and every other bit kept.
    constexpr uint8_t Set(uint8_t value, int field) const
    {
        return static_cast<uint8_t>((value & ~Mask()) | ((field << shift) & Mask()));
    }
};

// Register 0.
constexpr Field kMargin{0, 0, 2};          // 0 normal, 1 +5 %, 2 -5 %
constexpr Field kWarmFanSpeed{0, 2, 3};    // 0 off, 1 25 %, 2 50 %, 3 75 %, 4 full
constexpr Field kThermalStarted{0, 5, 1};  // the thermal demonstration runs
constexpr Field kWarmResponse{0, 6, 2};    // 0 supply -5 %, 1 supply -10 %
// Register 1.
constexpr Field kFaultLogging{1, 0, 1};    // the fault logging demonstration runs
constexpr Field kClocking{1, 1, 1};        // 0 synchronous, 1 90 degree phase shifts
constexpr Field kResets{1, 2, 2};          // resets per device minus 1
constexpr Field kRails{1, 4, 1};           // 0 ten rails, 1 twenty rails
constexpr Field kHotResponse{1, 6, 2};     // 2 supply -10 %, 3 full shut-down
// Register 2.
constexpr Field kPotStatus{2, 0, 4};       // POT1..POT4, 1 = good; driven by the design
constexpr Field kHotFanSpeed{2, 4, 3};
constexpr Field kWait{2, 7, 1};            // 0 3 s, 1 5 s

enum Margin : int { kMarginNormal = 0, kMarginPlus5 = 1, kMarginMinus5 = 2 };
enum Clocking : int { kClockingSynchronous = 0, kClockingPhaseShifted = 1 };
enum Response : int { kWarmSupplyMinus5 = 0, kWarmSupplyMinus10 = 1, kHotSupplyMinus10 = 2, kHotShutDown = 3 };
constexpr int kPots = 4;
constexpr int kFanSpeeds = 5;
constexpr int kResetChoices = 3;  // 1, 2 or 3 resets per device
constexpr int kFirstHotResponse = kHotSupplyMinus10;

// Where the board's rails are measured: POT1 and POT2 on VMON7 and VMON8 of
// HMU0, POT3 and POT4 on those of HMU1; DC-DC4 and DC-DC8 on VMON4 of HMU0
// and HMU1, held at the set point of Trim4 by its loop.
struct RailInput {
    int hmu = 0;
    int channel = 0;  // voltage input counted from 0: 6 = VMON7
};
constexpr RailInput PotInput(int pot) { return {pot / 2, 6 + pot % 2}; }
constexpr int kDcdcTrimCell = 3;  // Trim4
constexpr int kDcdcChannel = trim::TrimmedInput(kDcdcTrimCell);  // VMON4
constexpr RailInput DcdcInput(int dcdc) { return {dcdc, kDcdcChannel}; }

// Main-device sequences. A silent main device reads as 0 and flags the port,
// as every main-device read does; `answered` says whether it answered.
struct FieldRead {
    int value = 0;
    bool answered = true;
};
FieldRead ReadField(CTovin_I2C_Port& port, Field field);
// Read-modify-write of one register in one go: the register is read, the
// fields replaced (values cut to their width) and every other bit written
// back. When the read is not answered nothing is written, since the zeros it
// gives would land in the other fields; false then, and false when the write
// is not acknowledged.
bool WriteFields(CTovin_I2C_Port& port, int reg, std::initializer_list<std::pair<Field, int>> fields);
bool WriteField(CTovin_I2C_Port& port, Field field, int value);

// The scalable architecture's settings, register 1.
struct Sequencing {
    int rails = 0;   // 0 ten rails, 1 twenty
    int resets = 0;  // resets per device minus 1; 3 is not one of the choices
    bool answered = true;
};
Sequencing ReadSequencing(CTovin_I2C_Port& port);
bool WriteSequencing(CTovin_I2C_Port& port, int rails, int resets);

// The thermal demonstration. The heated resistor R203 is watched by TMON2 of
// HMU0, whose thresholds A and B are the warm and hot thresholds; the board
// temperature is the internal sensor of HMU1.
constexpr int kThermalHmu = 0;
constexpr int kResistorMonitor = 1;  // TMON2
constexpr int kBoardHmu = 1;
constexpr int kBoardMonitor = 2;     // TMON int

struct Temperatures {
    float board = 0.0f;
    float resistor = 0.0f;
};
// HMU1's internal sensor, then HMU0's TMON2; the port is left on HMU0.
Temperatures ReadTemperatures(CTovin_I2C_Port& port);

// Warm two degrees and hot four degrees above the board temperature, taken
// whole toward zero: 24.9 gives 26 and 28, -3.5 gives -1 and 1 (codes 511 and 1).
tmon::Thresholds ThresholdsAbove(float boardCelsius);
// On HMU0: TMON2 Config3, Config4 and Config5 read (the bits the thresholds
// do not use are kept), the thresholds written, then one update.
void WriteResistorThresholds(CTovin_I2C_Port& port, tmon::Thresholds codes);

struct ThermalSettings {
    tmon::Thresholds thresholds;  // A warm, B hot
    int warmFan = 0;
    int hotFan = 0;
    int wait = 0;
    int warmResponse = 0;
    int hotResponse = 0;
    bool answered = true;  // the main device answered all three reads
};
// On HMU0 the TMON2 threshold registers, then main-device registers 0, 1, 2.
ThermalSettings ReadThermal(CTovin_I2C_Port& port);

// What a Write of the thermal settings changes. A field without a value keeps
// what the register holds (a list left without a choice).
struct ThermalWrite {
    tmon::Thresholds thresholds;
    std::optional<int> warmFan;
    std::optional<int> hotFan;
    std::optional<int> wait;
    std::optional<int> warmResponse;
    std::optional<int> hotResponse;
};
// Reads as ReadThermal does, writes main-device registers 0, 1 and 2, then
// the thresholds and one update. False when a main-device access failed
// (that register is then not written).
bool WriteThermal(CTovin_I2C_Port& port, const ThermalWrite& settings);

// How the resistor's reading stands against the thresholds, in degrees of
// their codes: hot from the hot threshold on, warm from the warm one on.
enum class Heat { Cool, Warm, Hot };
Heat ResistorHeat(float resistorCelsius, int warmCode, int hotCode);

// The power network: POT1..POT4, DC-DC4, DC-DC8, top to bottom.
constexpr int kNetworkRails = 6;
constexpr int kFirstDcdcRail = 4;
enum RailState : int { kRailFault = 0, kRailGood = 1, kRailNotInUse = 2 };

struct Network {
    std::array<float, kNetworkRails> volts{};
    std::array<int, kNetworkRails> states{kRailGood, kRailGood, kRailGood, kRailGood, kRailGood, kRailGood};
    bool AnyInUse() const;
};
// A DC-DC rail is good within 10 % of its set point, both bounds included,
// compared in single precision.
bool DcdcGood(float setVolts, float measuredVolts);
// Reads every rail in use (state other than kRailNotInUse) and gives it its
// state and voltage; rails not in use are neither read nor changed. The main
// device is read only for a POT rail in use. HMU0 and then HMU1 are selected
// whatever is in use, and each DC-DC rail in use selects its device again, so
// the port is left on HMU0 only when DC-DC4 is in use and DC-DC8 is not.
void RefreshNetwork(CTovin_I2C_Port& port, Network& network);

// The same refresh in steps, for a window that gives its event loop a turn
// between them: the POT status, HMU0's POT rails, HMU1's POT rails, DC-DC4,
// DC-DC8, with the same reads and device selections in the same order. A
// step with nothing in use to read runs on into the next. One pass per object.
class CNetworkRefresh {
public:
    // Runs the next step; true once the pass is complete.
    bool Step(CTovin_I2C_Port& port, Network& network);
    bool Done() const { return m_next >= kSteps; }

private:
    static constexpr int kSteps = 5;
    // Whether the step read anything.
    bool Run(int step, CTovin_I2C_Port& port, Network& network);
    int m_next = 0;
    int m_status = 0;
};

}  // namespace demodesign
