#include "device/MeasureCodes.h"

#include <cmath>

namespace measure {

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
    return (high << 5) + (low >> 3);
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
