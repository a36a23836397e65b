// Numbers keep '.' as the decimal separator whatever locale is set.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "util/TextFormat.h"
#include "tests/CommaLocale.h"

namespace {

TEST(FormatText, KeepsTheDecimalPointUnderACommaLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!UseCommaLocale(LC_ALL)) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 1.5);
    const std::string localized = printed;
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        {FormatText("%2.3f", 1.8), "1.800"},
        {FormatText("%4.1f mOhms", 5.0), " 5.0 mOhms"},
        {FormatText("%.2f \xC2\xB0" "C", -0.25), "-0.25 \xC2\xB0" "C"},
        {FormatText("%g", 0.005), "0.005"},
        {FormatText("%d, HMU%d_VMON%d", 3, 0, 1), "3, HMU0_VMON1"},
    };
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(localized, "1,5") << "the locale really has a decimal comma";
    for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

}  // namespace
