#pragma once
// The HVOUT block of an HMU device: the configuration of the four high-voltage
// outputs HVOUT1..HVOUT4 and the code lists the HVOUT page shows. Source
// signals and the I2C-driven levels are in the output control block
// (device/blocks/Gpio.h).

#include <array>
#include <cstdint>
#include <string_view>

#include "device/blocks/Gpio.h"

class CTovin_I2C_Port;

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

// What the HVOUT page shows and writes of a device.
struct Values {
    std::array<bool, kOutputs> levels{};     // the outputs' values, as read or toggled
    std::array<int, kOutputs> sourceSignals{};     // source signal codes, 0..15
    std::array<OutputConfig, kOutputs> outputs{};
    // GPIO2 and GPIO3 as last read: the GPIO page owns them, this page only
    // carries them into the output control block.
    std::array<bool, ocb::kGpioSignals> gpioLevels{};
};

// An output whose level the output control block sets: driven by the block
// from its "I2C" signal.
bool FollowsOutputControl(const Values& values, int output);
// The output control block this page writes: its own levels, GPIO2 and GPIO3 carried.
uint8_t OutputControlValue(const Values& values);

// Device sequences, on the port's current device, inside the caller's cable lock.
// Monitor record 2 (levels), "OCB Config1" and "OCB Config2" (signals), then
// Config0 and Config1 of each output.
Values Read(CTovin_I2C_Port& port);
// "OCB Config1", "OCB Config2" and an update; Config0 and Config1 of each
// output and an update; then the output control block, only when at least
// one output follows it.
void Write(CTovin_I2C_Port& port, const Values& values);

}  // namespace hvout
