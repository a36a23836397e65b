// The strict number forms of zent2-cli's arguments and its signature text.

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "cli/CommandLine.h"

namespace {

TEST(CliNumbers, DecimalAndHexOnly)
{
    constexpr uint64_t kHuge = std::numeric_limits<uint64_t>::max();
    const struct {
        const char* text;
        std::optional<uint64_t> value;
    } cases[] = {
        {"0", 0},     {"255", 255}, {"007", 7},    {"0xFF", 255}, {"0Xff", 255}, {"0x00C0", 0xC0},
        {"", {}},     {"0x", {}},   {"-1", {}},    {"+1", {}},    {"12abc", {}}, {" 1", {}},
        {"1 ", {}},   {"0x1g", {}}, {"1.5", {}},   {"ff", {}},    {"0x-1", {}},  {"0b1", {}},
        {"99999999999999999999999", kHuge},        {"0x10000000000000000", kHuge},
    };
    for (const auto& c : cases) EXPECT_EQ(cli::ParseNumber(c.text), c.value) << "'" << c.text << "'";

    const struct {
        const char* text;
        std::optional<double> ohms;
    } resistors[] = {{"0.1", 0.1}, {"2", 2.0}, {".5", 0.5}, {"0", {}},   {"0.000", {}}, {"-0.1", {}},
                     {"", {}},     {".", {}},  {"1e-3", {}}, {"inf", {}}, {"nan", {}},   {"1.2.3", {}},
                     // Beyond a float: too small to be told from 0, too large to be finite.
                     {"0.000000000000000000000000000000000000000000000000001", {}},
                     {"1000000000000000000000000000000000000000", {}},
                     {"0.0000000000000000000000000000000000000117", {}},
                     {"0.0000000000000000000000000000000000000118", 1.18e-38},
                     {"340000000000000000000000000000000000000", 3.4e38}};
    for (const auto& c : resistors) EXPECT_EQ(cli::ParseOhms(c.text), c.ohms) << "'" << c.text << "'";
}

}  // namespace
