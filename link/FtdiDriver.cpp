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

namespace {

bool ParseUsbId(std::string_view text, uint16_t* id)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 4)
        return false;
    unsigned value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            return false;
        value = value * 16 + digit;
    }
    if (value == 0)
        return false;
    *id = uint16_t(value);
    return true;
}

}  // namespace

bool ParseUsbIds(std::string_view text, uint16_t* vendor, uint16_t* product)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    uint16_t v = 0;
    uint16_t p = 0;
    if (!ParseUsbId(text.substr(0, colon), &v) || !ParseUsbId(text.substr(colon + 1), &p))
        return false;
    *vendor = v;
    *product = p;
    return true;
}
