#include "device/blocks/Trim.h"

#include <cmath>

#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Vmon.h"

namespace trim {

uint16_t TargetCode(float volts)
{
    // The single-precision voltage times 500 in double precision: 1.234 gives
    // 616.99998 and 3.3 gives 1649.99998, truncated to 616 and 1649.
    const double product = static_cast<double>(volts) * 1000.0 * 0.5;
    if (!std::isfinite(product)) return 0;
    // Through a wide integer, so values outside 16 bits keep their low bits
    // instead of overflowing the conversion.
    return static_cast<uint16_t>(static_cast<int64_t>(std::trunc(std::fmod(product, 65536.0))));
}

float CodeVolts(int code)
{
    return static_cast<float>(code * 0.002);
}

Reading Read(CTovin_I2C_Port& port, int cell)
{
    Reading reading;
    reading.measuredVolts = vmon::MeasureInput(port, TrimmedInput(cell), &reading.attenuated);
    reading.code = ReadCode(port, cell);
    return reading;
}

int ReadCode(CTovin_I2C_Port& port, int cell)
{
    const uint8_t low = port.ReadRegister(hmu::kCmdReadConfig, Profile0LowRegister(cell));
    const uint8_t high = port.ReadRegister(hmu::kCmdReadConfig, Profile0HighRegister(cell));
    return CodeFromRegisters(low, high);
}

void WriteTargetWord(CTovin_I2C_Port& port, int cell, uint16_t word)
{
    if (port.DemoFile()) return;  // the demo file has no trim loop
    if (!port.BeginCommand(TargetCommand(cell), -1)) return;
    const uint8_t bytes[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
    port.WriteBytes(bytes, 2);
    uint8_t scratch[kTargetReadBytes];
    port.ReadBytes(scratch, kTargetReadBytes);
}

uint16_t WriteTarget(CTovin_I2C_Port& port, int cell, float volts)
{
    const uint16_t code = TargetCode(volts);
    WriteTargetWord(port, cell, code);
    return code;
}

}  // namespace trim
