#include "device/blocks/FaultLog.h"

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace faultlog {

bool IsMemoryFull(CTovin_I2C_Port& port)
{
    CCableLock lock;
    uint8_t status[2] = {};
    if (!port.BeginCommand(kCmdStatus, -1) || !port.ReadBytes(status, 2)) return false;
    return (status[1] & kStatus1Full) != 0;
}

}  // namespace faultlog
