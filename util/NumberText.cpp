#include "util/NumberText.h"

#include <limits>

std::optional<uint64_t> ParseNumber(std::string_view text)
{
    unsigned base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    bool overflow = false;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / base) overflow = true;
        if (!overflow) value = value * base + digit;
    }
    return overflow ? std::numeric_limits<uint64_t>::max() : value;
}
