#include "device/blocks/Hvout.h"

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

}  // namespace hvout
