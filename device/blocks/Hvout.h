#pragma once
// The HVOUT block of an HMU device: the configuration of the four high-voltage
// outputs HVOUT1..HVOUT4 and the code lists the HVOUT page shows. Source
// signals and the I2C-driven levels are in the output control block
// (device/blocks/Gpio.h).

#include <array>
#include <cstdint>
#include <string_view>

namespace hvout {

constexpr int kOutputs = 4;

// "HVOUT1 Config0" (83) .. "HVOUT4 Config1" (90), two per output.
constexpr int kFirstConfigRegister = 83;
constexpr int Config0Register(int output) { return kFirstConfigRegister + 2 * output; }
constexpr int Config1Register(int output) { return Config0Register(output) + 1; }

enum Source : int { kSourceInterface = 0, kSourceOcb = 1 };    // "HMU/IF", "OCB"
enum Mode : int { kStatic = 0, kSwitched = 1 };
enum OutputType : int { kChargePump = 0, kOpenDrain = 1 };

// Config0: bit 7 source, bit 6 not the page's (written 0), bits 5..4 source
// current, 3..2 sink current, 1..0 pump voltage. Config1: bit 7 mode, bit 6
// frequency, bit 5 output type, bit 4 not the page's (written 0), bits 3..0
// duty cycle.
struct OutputConfig {
    Source source = kSourceInterface;
    int sourceCurrent = 0;
    int sinkCurrent = 0;
    int pumpVoltage = 0;
    Mode mode = kStatic;
    int frequency = 0;
    OutputType outputType = kChargePump;
    int dutyCycle = 0;
    bool operator==(const OutputConfig&) const = default;
};
OutputConfig DecodeConfig(uint8_t config0, uint8_t config1);
struct ConfigRegisters {
    uint8_t config0 = 0;
    uint8_t config1 = 0;
    bool operator==(const ConfigRegisters&) const = default;
};
ConfigRegisters EncodeConfig(const OutputConfig& config);

// Code lists, entry index = code.
inline constexpr std::array<std::string_view, 4> kPumpVoltages = {"6", "8", "10", "12"};
inline constexpr std::array<std::string_view, 4> kSourceCurrents = {"12.5", "25", "50", "100"};
inline constexpr std::array<std::string_view, 4> kSinkCurrents = {"100", "250", "500", "3000"};
inline constexpr std::array<std::string_view, 2> kFrequencies = {"31.25", "15.625"};
// Code 15 shows the same text as code 7; they stay distinct codes.
inline constexpr std::array<std::string_view, 16> kDutyCycles = {
    "6.25",  "12.5",  "18.75", "25",    "31.25", "37.55", "43.75", "50",
    "56.25", "62.50", "68.75", "75",    "81.25", "87.50", "93.75", "50",
};

}  // namespace hvout
