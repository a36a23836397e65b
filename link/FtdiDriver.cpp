#include "link/FtdiDriver.h"

std::string FtdiDeviceRecord::Serial() const
{
    const char* text = reinterpret_cast<const char*>(bytes + kSerialOffset);
    return std::string(text, strnlen(text, kSerialSize));
}

void FtdiDeviceRecord::SetSerial(const std::string& serial)
{
    std::memset(bytes + kSerialOffset, 0, kSerialSize);
    std::memcpy(bytes + kSerialOffset, serial.data(),
                serial.size() < kSerialSize ? serial.size() : kSerialSize - 1);
}
