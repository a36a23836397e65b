#include "device/blocks/Signature.h"

#include "device/HmuCommands.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace signature {

std::string HexText(uint64_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int byte = kBytes - 1; byte >= 0; --byte) {
        const unsigned pair = static_cast<unsigned>((value >> (8 * byte)) & 0xFF);
        if (byte != kBytes - 1) text += ' ';
        text += kDigits[pair >> 4];
        text += kDigits[pair & 0x0F];
    }
    return text;
}

std::string DecimalText(uint64_t value)
{
    const std::string digits = std::to_string(value);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string BinaryText(uint64_t value)
{
    std::string text;
    for (int bit = 63; bit >= 0; --bit) {
        if (bit % 4 == 3) text += ' ';
        text += ((value >> bit) & 1) ? '1' : '0';
    }
    return text;
}

uint64_t Read(CTovin_I2C_Port& port)
{
    CCableLock lock;
    uint64_t value = 0;
    for (int i = 0; i < kBytes; ++i) {
        uint8_t byte = 0;
        port.ReadBlock(hmu::kCmdSignature, Position(i), &byte, 1);
        value += static_cast<uint64_t>(byte) << (8 * i);
    }
    return value;
}

}  // namespace signature
