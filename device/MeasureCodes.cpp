#include "device/MeasureCodes.h"

#include <cmath>

#include "device/HmuCommands.h"

namespace measure {
namespace {

// ADC: bits 9..5 in High, bits 4..0 in Low bits 7..3 (bit 0 is the ready bit).
constexpr int kAdcLowBits = 5;
constexpr unsigned kAdcLowMask = 0x1F;
constexpr int kAdcLowShift = 3;
// Temperature: bits 10..3 in the high register, bits 2..0 in the low one's 7..5.
constexpr int kTemperatureLowBits = 3;
constexpr unsigned kTemperatureLowMask = 0x07;
constexpr int kTemperatureLowShift = 5;

}  // namespace

float TemperatureFromCode(int code)
{
    code &= 0x7FF;
    if (code >= 1024) return static_cast<float>((code - 2048) * 0.25);
    if (code == 1023) return 255.75f;
    if (code > 640) return 160.0f;  // codes above 160 degrees read as the limit
    return static_cast<float>(code * 0.25);
}

int TemperatureToCode(double celsius)
{
    double steps = std::nearbyint(celsius * 4.0);
    if (!(steps >= -1024.0)) steps = -1024.0;  // also catches NaN
    if (steps > 640.0) steps = 640.0;
    const int value = static_cast<int>(steps);
    return value < 0 ? value + 2048 : value;
}

int AdcCode(uint8_t high, uint8_t low)
{
    return (high << kAdcLowBits) + (low >> kAdcLowShift);
}

AdcRegisters AdcRegistersFor(int code, bool done)
{
    const unsigned bits = static_cast<unsigned>(code) & 0x3FFu;
    return {static_cast<uint8_t>(bits >> kAdcLowBits),
            static_cast<uint8_t>(((bits & kAdcLowMask) << kAdcLowShift) | (done ? hmu::kAdcDone : 0u))};
}

int TemperatureCode(uint8_t high, uint8_t low)
{
    return (high << kTemperatureLowBits) + (low >> kTemperatureLowShift);
}

TemperatureRegisters TemperatureRegistersFor(int code)
{
    const unsigned bits = static_cast<unsigned>(code) & 0x7FFu;
    return {static_cast<uint8_t>(bits >> kTemperatureLowBits),
            static_cast<uint8_t>((bits & kTemperatureLowMask) << kTemperatureLowShift)};
}

float AdcVolts(int code)
{
    return static_cast<float>(code * 0.002);
}

int AdcCodeForVolts(double volts)
{
    double code = std::nearbyint(volts / kVoltsPerCount);
    if (!(code >= 0.0)) code = 0.0;
    if (code > kAdcFullScale) code = kAdcFullScale;
    return static_cast<int>(code);
}

}  // namespace measure
