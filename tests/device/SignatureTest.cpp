// The three texts of a signature: byte pairs in hex, grouped decimal, binary nibbles.

#include <gtest/gtest.h>

#include "device/blocks/Signature.h"

namespace {

TEST(SignatureText, HexDecimalAndBinary)
{
    const std::string zeroNibbles = [] {
        std::string text;
        for (int i = 0; i < 16; ++i) text += " 0000";
        return text;
    }();
    const struct {
        uint64_t value;
        const char* hex;
        const char* decimal;
        std::string binary;  // empty: not checked
    } cases[] = {
        {0x0123456789ABCDEFull, "0x01 23 45 67 89 AB CD EF", "81,985,529,216,486,895",
         " 0000 0001 0010 0011 0100 0101 0110 0111 1000 1001 1010 1011 1100 1101 1110 1111"},
        {0, "0x00 00 00 00 00 00 00 00", "0", zeroNibbles},
        {~0ull, "0xFF FF FF FF FF FF FF FF", "18,446,744,073,709,551,615", ""},
        {0x1000000000000001ull, "0x10 00 00 00 00 00 00 01", "1,152,921,504,606,846,977", ""},
        {1000, "0x00 00 00 00 00 00 03 E8", "1,000", ""},
        {999, "0x00 00 00 00 00 00 03 E7", "999", ""},
        {100000, "0x00 00 00 00 00 01 86 A0", "100,000", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(signature::HexText(c.value), c.hex);
        EXPECT_EQ(signature::DecimalText(c.value), c.decimal);
        if (!c.binary.empty()) {
            EXPECT_EQ(signature::BinaryText(c.value), c.binary);
        }
    }
}

}  // namespace
