#pragma once
// Measurement codes of an HMU device and their engineering values. Shared by
// the register port (reading), the pages and the simulated device (encoding).

#include <cstdint>

namespace measure {

constexpr float kVoltsPerCount = 0.002f;  // ADC: 10-bit code, 2 mV per count
constexpr int kAdcFullScale = 1023;

// Measured temperature from its 11-bit code (0.25 degree steps).
float TemperatureFromCode(int code);
// The 11-bit code a device reports for a temperature (nearest step, clamped
// to what the code can express).
int TemperatureToCode(double celsius);
// The 11-bit code as a temperature's two result registers hold it: the high
// register bits 10..3, the low register bits 2..0 in its bits 7..5.
struct TemperatureRegisters {
    uint8_t high = 0;
    uint8_t low = 0;
};
int TemperatureCode(uint8_t high, uint8_t low);
TemperatureRegisters TemperatureRegistersFor(int code);

// The 10-bit ADC code as the two result registers hold it: "ADC value High"
// holds bits 9..5, "ADC value Low" bits 4..0 in its bits 7..3.
int AdcCode(uint8_t high, uint8_t low);
// The two result registers of a code; done sets the ready bit (hmu::kAdcDone)
// of the low register.
struct AdcRegisters {
    uint8_t high = 0;
    uint8_t low = 0;
};
AdcRegisters AdcRegistersFor(int code, bool done);
int AdcCodeForVolts(double volts);  // nearest code, clamped to 0..1023
// Volts of a code, 2 mV per count, as the single-precision value the pages show.
float AdcVolts(int code);

}  // namespace measure
