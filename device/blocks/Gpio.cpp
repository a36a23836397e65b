#include "device/blocks/Gpio.h"

#include "device/HmuCommands.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Adc.h"

namespace gpio {

std::array<uint8_t, kConfigRegisters> EncodeDirections(const Directions& directions)
{
    std::array<uint8_t, kConfigRegisters> registers{};
    for (int pin = 0; pin < kPins; ++pin) {
        if (directions[pin] == kInput)
            registers[pin / kPinsPerConfig] = static_cast<uint8_t>(registers[pin / kPinsPerConfig] | (1 << DirectionBit(pin)));
    }
    return registers;
}

Directions DecodeDirections(const std::array<uint8_t, kConfigRegisters>& registers)
{
    Directions directions{};
    for (int pin = 0; pin < kPins; ++pin)
        directions[pin] = ((registers[pin / kPinsPerConfig] >> DirectionBit(pin)) & 1) ? kInput : kOutput;
    return directions;
}

PinRecords EncodePinRecords(uint8_t hvoutLevels, uint16_t pinLevels)
{
    PinRecords records;
    records.record2 = static_cast<uint8_t>(((hvoutLevels & 0x0F) << 1) | ((pinLevels & 0x07) << 5));
    records.record1 = static_cast<uint8_t>((pinLevels >> 3) & 0x7F);
    return records;
}

uint8_t ReadPinRecord(CTovin_I2C_Port& port, uint8_t record)
{
    return adc::ReadMonitorRecord(port, record);
}

uint8_t ReadIdentification(CTovin_I2C_Port& port)
{
    return port.ReadRegister(hmu::kCmdIdentify, -1);
}

}  // namespace gpio

namespace ocb {

uint8_t EncodeOutputControl(const OutputControl& control)
{
    int value = 0;
    for (int k = 0; k < 4; ++k)
        if (control.hvout[k]) value |= 1 << HvoutControlBit(k);
    for (int g = 0; g < kGpioSignals; ++g)
        if (control.gpio[g]) value |= 1 << GpioControlBit(g);
    return static_cast<uint8_t>(value);
}

OutputControl DecodeOutputControl(uint8_t value)
{
    OutputControl control;
    for (int k = 0; k < 4; ++k) control.hvout[k] = (value >> HvoutControlBit(k)) & 1;
    for (int g = 0; g < kGpioSignals; ++g) control.gpio[g] = (value >> GpioControlBit(g)) & 1;
    return control;
}

}  // namespace ocb

namespace gpio {

bool FollowsOutputControl(const Values& values, int which)
{
    return values.directions[ocb::GpioPinOf(which)] == kOutput && values.sourceSignals[which] == ocb::kSignalI2c;
}

uint8_t OutputControlValue(const Values& values)
{
    ocb::OutputControl control;
    control.hvout = values.hvoutLevels;
    for (int g = 0; g < ocb::kGpioSignals; ++g) control.gpio[g] = values.levels[ocb::GpioPinOf(g)];
    return ocb::EncodeOutputControl(control);
}

Values Read(CTovin_I2C_Port& port)
{
    Values values;
    PinRecords records;
    records.record2 = ReadPinRecord(port, kPinRecordHigh);
    records.record1 = ReadPinRecord(port, kPinRecordLow);
    for (int pin = 0; pin < kPins; ++pin) values.levels[pin] = PinLevel(records, pin);
    for (int k = 0; k < 4; ++k) values.hvoutLevels[k] = HvoutLevel(records, k);

    std::array<uint8_t, kConfigRegisters> registers{};
    for (int i = 0; i < kConfigRegisters; ++i)
        registers[i] = port.ReadRegister(hmu::kCmdReadConfig, kFirstConfigRegister + i);
    values.directions = DecodeDirections(registers);

    const uint8_t signalRegister = port.ReadRegister(hmu::kCmdReadConfig, ocb::GpioSignalField(0).reg);
    for (int g = 0; g < ocb::kGpioSignals; ++g)
        values.sourceSignals[g] = ocb::SignalOf(signalRegister, ocb::GpioSignalField(g));
    return values;
}

void Write(CTovin_I2C_Port& port, const Values& values)
{
    const std::array<uint8_t, kConfigRegisters> registers = EncodeDirections(values.directions);
    for (int i = 0; i < kConfigRegisters; ++i)
        port.WriteRegister(hmu::kCmdWriteConfig, kFirstConfigRegister + i, registers[i]);
    port.UpdateConfiguration();

    uint8_t signalRegister = 0;
    for (int g = 0; g < ocb::kGpioSignals; ++g)
        signalRegister = ocb::WithSignal(signalRegister, ocb::GpioSignalField(g), values.sourceSignals[g]);
    port.WriteRegister(hmu::kCmdWriteConfig, ocb::GpioSignalField(0).reg, signalRegister);
    port.UpdateConfiguration();

    bool follows = false;
    for (int g = 0; g < ocb::kGpioSignals; ++g) follows = follows || FollowsOutputControl(values, g);
    if (follows) port.WriteRegister(hmu::kCmdWriteMonitor, ocb::kRegOutputControl, OutputControlValue(values));
}

}  // namespace gpio
