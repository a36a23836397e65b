#pragma once
// The demonstration design in the board's main device: plain byte registers
// 0..3 whose bit fields the demonstrations, the margining and the clocking
// dialogs own, and the board's POT status that the design reports.

#include <array>
#include <cstdint>

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
constexpr int kPots = 4;
constexpr int kFanSpeeds = 5;

}  // namespace demodesign
