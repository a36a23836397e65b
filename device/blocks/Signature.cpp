#include "device/blocks/Signature.h"

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

}  // namespace signature
