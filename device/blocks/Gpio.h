#pragma once
// The GPIO block and the output control block of an HMU device: the pin
// directions, the source signals of the outputs that the output control block
// can drive, the shared "Output control block" monitor register whose bits
// the GPIO and HVOUT pages each own a part of, and where the pin levels
// travel in the monitor records.

#include <array>
#include <cstdint>
#include <string_view>

#include "device/HmuCommands.h"

class CTovin_I2C_Port;

namespace gpio {

constexpr int kPins = 10;  // GPIO1..GPIO10 as pin indexes 0..9
constexpr int kGpio7 = 6;  // absent on a device identified as hmu::kIdentificationWithoutGpio7

// Direction: "GPIO Config0..2" (98..100) hold four pins each at bits 0, 2, 4,
// 6 (GPIO1 at bit 0 of Config0, GPIO9 at bit 0 of Config2); 1 = input. The
// other bits are written as 0.
enum Direction : int { kOutput = 0, kInput = 1 };
constexpr int kFirstConfigRegister = 98;
constexpr int kConfigRegisters = 3;
constexpr int kPinsPerConfig = 4;
constexpr int DirectionRegister(int pin) { return kFirstConfigRegister + pin / kPinsPerConfig; }
constexpr int DirectionBit(int pin) { return 2 * (pin % kPinsPerConfig); }

using Directions = std::array<Direction, kPins>;
// The three register values for the directions, Config0 first.
std::array<uint8_t, kConfigRegisters> EncodeDirections(const Directions& directions);
Directions DecodeDirections(const std::array<uint8_t, kConfigRegisters>& registers);

// Pin levels in the monitor records: record 2 holds HVOUT1..4 in bits 1..4
// and GPIO1..3 in bits 5..7, record 1 holds GPIO4..10 in bits 0..6.
constexpr uint8_t kPinRecordHigh = 2;
constexpr uint8_t kPinRecordLow = 1;
struct PinRecords {
    uint8_t record2 = 0;
    uint8_t record1 = 0;
    bool operator==(const PinRecords&) const = default;
};
constexpr bool HvoutLevel(const PinRecords& records, int output) { return (records.record2 >> (output + 1)) & 1; }
constexpr bool PinLevel(const PinRecords& records, int pin)
{
    return pin < 3 ? (records.record2 >> (pin + 5)) & 1 : (records.record1 >> (pin - 3)) & 1;
}
// hvoutLevels bits 0..3 HVOUT1..4, pinLevels bits 0..9 GPIO1..10.
PinRecords EncodePinRecords(uint8_t hvoutLevels, uint16_t pinLevels);

// GPIO7 is not usable on a device with this identification.
constexpr bool Gpio7Absent(uint8_t identification) { return identification == hmu::kIdentificationWithoutGpio7; }
// Whether a device of this identification byte has the pin.
constexpr bool PinUsable(uint8_t identification, int pin) { return !(pin == kGpio7 && Gpio7Absent(identification)); }

// Device sequences, on the port's current device, inside the caller's cable lock.
// One pin record (kPinRecordHigh or kPinRecordLow), read whether or not its
// ready bit showed.
uint8_t ReadPinRecord(CTovin_I2C_Port& port, uint8_t record);
// The identification byte, which tells whether GPIO7 is there.
uint8_t ReadIdentification(CTovin_I2C_Port& port);

}  // namespace gpio

namespace ocb {

// Configuration registers "OCB Config0".."OCB Config5" (91..96).
constexpr int kFirstConfigRegister = 91;
constexpr int kConfigRegisters = 6;
constexpr int ConfigRegister(int index) { return kFirstConfigRegister + index; }

// The sixteen signals that can drive an HVOUT output or GPIO2/GPIO3, by code.
constexpr int kSignals = 16;
constexpr int kSignalInterface = 0;  // "HMU-I/F": the device's own interface logic
constexpr int kSignalI2c = 1;        // the output follows its bit of kRegOutputControl
// Signals that carry comparator A of a monitor: "HIMON_F", "IMON_F" (the
// current monitors' alarms), "VMON_4A", "VMON_9A".
constexpr int kSignalHimonFault = 8;
constexpr int kSignalImonFault = 9;
constexpr int kSignalVmon4A = 10;
constexpr int kSignalVmon9A = 11;
// The current monitor (0 = IMON1, 1 = HIMON1) or voltage input (channel
// 0..9) whose comparator A a signal carries, -1 for the other signals.
constexpr int SignalImonMonitor(int signal)
{
    return signal == kSignalImonFault ? 0 : signal == kSignalHimonFault ? 1 : -1;
}
constexpr int SignalVmonChannel(int signal)
{
    return signal == kSignalVmon4A ? 3 : signal == kSignalVmon9A ? 8 : -1;
}
// The GPIO pin (index 0..9) whose level a signal carries, -1 for the others:
// "GPIO5", "GPIO6", "GPIO8", "GPIO9", "GPIO10".
constexpr int SignalPin(int signal)
{
    switch (signal) {
    case 2: return 4;
    case 3: return 5;
    case 5: return 7;
    case 6: return 8;
    case 7: return 9;
    default: return -1;
    }
}
inline constexpr std::array<std::string_view, kSignals> kSignalNames = {
    "HMU-I/F",  "I2C",     "GPIO5",   "GPIO6",     "RESERVED",  "GPIO8",     "GPIO9",     "GPIO10",
    "HIMON_F",  "IMON_F",  "VMON_4A", "VMON_9A",   "HIMON_HCM", "IMON_HCM",  "VMON5_HCM", "VMON6_HCM",
};

// Source signal nibbles: "OCB Config0" bits 7..4 GPIO2, bits 3..0 GPIO3;
// "OCB Config1" HVOUT1 (bits 3..0) and HVOUT2 (7..4); "OCB Config2" HVOUT3 and HVOUT4.
struct SignalField {
    int reg = 0;
    int shift = 0;
};
constexpr int kGpioSignals = 2;  // 0 = GPIO2, 1 = GPIO3
constexpr int GpioPinOf(int which) { return 1 + which; }  // their pin indexes
constexpr SignalField GpioSignalField(int which) { return {ConfigRegister(0), which == 0 ? 4 : 0}; }
constexpr SignalField HvoutSignalField(int output) { return {ConfigRegister(1 + output / 2), 4 * (output % 2)}; }
constexpr int SignalOf(uint8_t reg, SignalField field) { return (reg >> field.shift) & 0x0F; }
constexpr uint8_t WithSignal(uint8_t reg, SignalField field, int signal)
{
    return static_cast<uint8_t>((reg & ~(0x0F << field.shift)) | ((signal & 0x0F) << field.shift));
}

// Monitor register "Output control block": the levels of the outputs whose
// signal is kSignalI2c. Bits 5..2 HVOUT4..HVOUT1, bit 1 GPIO3, bit 0 GPIO2.
constexpr uint8_t kRegOutputControl = 0x70;
constexpr int HvoutControlBit(int output) { return 2 + output; }
constexpr int GpioControlBit(int which) { return which; }  // 0 = GPIO2, 1 = GPIO3
struct OutputControl {
    std::array<bool, 4> hvout{};
    std::array<bool, kGpioSignals> gpio{};  // GPIO2, GPIO3
    bool operator==(const OutputControl&) const = default;
};
uint8_t EncodeOutputControl(const OutputControl& control);
OutputControl DecodeOutputControl(uint8_t value);

}  // namespace ocb

namespace gpio {

// What the GPIO page shows and writes of a device.
struct Values {
    std::array<bool, kPins> levels{};  // as read; GPIO2 and GPIO3 as toggled
    Directions directions{};
    std::array<int, ocb::kGpioSignals> sourceSignals{};  // GPIO2, GPIO3: source signal codes
    // HVOUT1..4 as last read: the HVOUT page owns them, this page only
    // carries them into the output control block.
    std::array<bool, 4> hvoutLevels{};
};

// GPIO2 (which = 0) or GPIO3 (1) set by the output control block: an output
// driven from its "I2C" signal.
bool FollowsOutputControl(const Values& values, int which);
// The output control block this page writes: its GPIO2 and GPIO3, the HVOUT levels carried.
uint8_t OutputControlValue(const Values& values);

// Device sequences, on the port's current device, inside the caller's cable lock.
// Monitor records 2 and 1 (levels), "GPIO Config0..2" (directions), then
// "OCB Config0" (signals).
Values Read(CTovin_I2C_Port& port);
// "GPIO Config0..2" and an update; "OCB Config0" and an update; then the
// output control block, only when GPIO2 or GPIO3 follows it.
void Write(CTovin_I2C_Port& port, const Values& values);

}  // namespace gpio
