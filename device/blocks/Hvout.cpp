#include "device/blocks/Hvout.h"

#include "device/HmuCommands.h"
#include "device/Tovin_I2C_Port.h"

namespace hvout {

OutputConfig DecodeConfig(uint8_t config0, uint8_t config1)
{
    OutputConfig config;
    config.source = (config0 & 0x80) ? kSourceOcb : kSourceInterface;
    config.sourceCurrent = (config0 >> 4) & 3;
    config.sinkCurrent = (config0 >> 2) & 3;
    config.pumpVoltage = config0 & 3;
    config.mode = (config1 & 0x80) ? kSwitched : kStatic;
    config.frequency = (config1 >> 6) & 1;
    config.outputType = (config1 & 0x20) ? kOpenDrain : kChargePump;
    config.dutyCycle = config1 & 0x0F;
    return config;
}

ConfigRegisters EncodeConfig(const OutputConfig& config)
{
    ConfigRegisters regs;
    regs.config0 = static_cast<uint8_t>(((config.source & 1) << 7) | ((config.sourceCurrent & 3) << 4) |
                                        ((config.sinkCurrent & 3) << 2) | (config.pumpVoltage & 3));
    regs.config1 = static_cast<uint8_t>(((config.mode & 1) << 7) | ((config.frequency & 1) << 6) |
                                        ((config.outputType & 1) << 5) | (config.dutyCycle & 0x0F));
    return regs;
}

bool FollowsOutputControl(const Values& values, int output)
{
    return values.outputs[output].source == kSourceOcb && values.sourceSignals[output] == ocb::kSignalI2c;
}

uint8_t OutputControlValue(const Values& values)
{
    ocb::OutputControl control;
    control.hvout = values.levels;
    control.gpio = values.gpioLevels;
    return ocb::EncodeOutputControl(control);
}

Values Read(CTovin_I2C_Port& port)
{
    Values values;
    gpio::PinRecords records;
    records.record2 = gpio::ReadPinRecord(port, gpio::kPinRecordHigh);
    for (int k = 0; k < kOutputs; ++k) values.levels[k] = gpio::HvoutLevel(records, k);
    for (int g = 0; g < ocb::kGpioSignals; ++g) values.gpioLevels[g] = gpio::PinLevel(records, ocb::GpioPinOf(g));

    std::array<uint8_t, 2> signalRegisters{};
    for (int i = 0; i < 2; ++i)
        signalRegisters[i] = port.ReadRegister(hmu::kCmdReadConfig, ocb::HvoutSignalField(2 * i).reg);
    for (int k = 0; k < kOutputs; ++k)
        values.sourceSignals[k] = ocb::SignalOf(signalRegisters[k / 2], ocb::HvoutSignalField(k));

    for (int k = 0; k < kOutputs; ++k) {
        const uint8_t config0 = port.ReadRegister(hmu::kCmdReadConfig, Config0Register(k));
        const uint8_t config1 = port.ReadRegister(hmu::kCmdReadConfig, Config1Register(k));
        values.outputs[k] = DecodeConfig(config0, config1);
    }
    return values;
}

void Write(CTovin_I2C_Port& port, const Values& values)
{
    for (int i = 0; i < 2; ++i) {
        uint8_t reg = 0;
        for (const int k : {2 * i, 2 * i + 1})
            reg = ocb::WithSignal(reg, ocb::HvoutSignalField(k), values.sourceSignals[k]);
        port.WriteRegister(hmu::kCmdWriteConfig, ocb::HvoutSignalField(2 * i).reg, reg);
    }
    port.UpdateConfiguration();

    for (int k = 0; k < kOutputs; ++k) {
        const ConfigRegisters regs = EncodeConfig(values.outputs[k]);
        port.WriteRegister(hmu::kCmdWriteConfig, Config0Register(k), regs.config0);
        port.WriteRegister(hmu::kCmdWriteConfig, Config1Register(k), regs.config1);
    }
    port.UpdateConfiguration();

    bool follows = false;
    for (int k = 0; k < kOutputs; ++k) follows = follows || FollowsOutputControl(values, k);
    if (follows) port.WriteRegister(hmu::kCmdWriteMonitor, ocb::kRegOutputControl, OutputControlValue(values));
}

}  // namespace hvout
