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
    reading.measuredVolts = vmon::MeasureInput(port, TrimmedInput(cell));
    reading.code = port.ReadTrimCode(cell);
    return reading;
}

uint16_t WriteTarget(CTovin_I2C_Port& port, int cell, float volts)
{
    const uint16_t code = TargetCode(volts);
    port.WriteTrimTarget(cell, code);
    return code;
}

}  // namespace trim
