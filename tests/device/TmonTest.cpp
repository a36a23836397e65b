#include "device/blocks/Tmon.h"

#include <gtest/gtest.h>

using namespace tmon;

namespace {

TEST(TmonCodes, CodeToEntry)
{
    struct Case { int code, entry; };
    const Case cases[] = {
        {0, 155}, {25, 130}, {155, 0},             // 0..155 °C
        {511, 156}, {448, 219},                    // -1..-64 °C
        {156, 155}, {300, 155}, {447, 155},        // out of range: 0 °C
        {-1, 155}, {512, 155}, {0x3FF, 155},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EntryFromCode(c.code), c.entry) << c.code;
}

TEST(TmonCodes, EveryEntryRoundTripsAndShowsItsCode)
{
    const std::vector<std::string> texts = ThresholdListTexts();
    ASSERT_EQ(texts.size(), static_cast<size_t>(kEntries));
    for (int entry = 0; entry < kEntries; ++entry) {
        const int code = CodeFromEntry(entry);
        EXPECT_EQ(EntryFromCode(code), entry);
        EXPECT_EQ(DegreesOfCode(code), EntryDegrees(entry)) << entry;
        EXPECT_EQ(CodeOfDegrees(EntryDegrees(entry)), code) << entry;
        EXPECT_EQ(texts[entry], std::to_string(EntryDegrees(entry)) + " \xC2\xB0" "C");
    }
    EXPECT_EQ(texts.front(), "155 \xC2\xB0" "C");
    EXPECT_EQ(texts[155], "0 \xC2\xB0" "C");
    EXPECT_EQ(texts[156], "-1 \xC2\xB0" "C");
    EXPECT_EQ(texts.back(), "-64 \xC2\xB0" "C");
    for (int entry : {-1, kEntries, 1000})  // no selection
        EXPECT_EQ(CodeFromEntry(entry), 0) << entry;
}

TEST(TmonCodes, ThresholdRegisters)
{
    struct Case { uint8_t r3, r4, r5; Thresholds codes; };
    const Case cases[] = {
        {0x51, 0x06, 0xF9, {162, 9}},   // A out of range
        {0xE0, 0x00, 0x00, {448, 0}},   // A = -64 °C
        {0xFE, 0xFF, 0x07, {511, 511}},
        {0x01, 0x00, 0xF8, {0, 0}},     // only bits the page does not own
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeThresholds(c.r3, c.r4, c.r5), c.codes) << int(c.r3);
    EXPECT_EQ(EntryFromCode(162), 155);  // shown as 0 °C

    // -64 °C on A keeps R3 bit 0 and R5 bits 7..3 as last read.
    EXPECT_EQ(EncodeThresholds({CodeOfDegrees(-64), 9}, 0x01, 0xA8),
              (ThresholdRegisters{0xE1, 0x04, 0xA9}));
    EXPECT_EQ(EncodeThresholds({0x1C0, 0}, 0x00, 0x00), (ThresholdRegisters{0xE0, 0x00, 0x00}));
    // Codes wider than 9 bits do not reach the kept bits.
    EXPECT_EQ(EncodeThresholds({0xFFF, 0xFFF}, 0x00, 0x00), (ThresholdRegisters{0xFE, 0xFF, 0x07}));

    // Every register content is written back unchanged when nothing was changed.
    for (int r3 = 0; r3 < 256; ++r3)
        for (int r4 = 0; r4 < 256; ++r4)
            for (int r5 = 0; r5 < 256; r5 += 7) {
                const ThresholdRegisters regs{uint8_t(r3), uint8_t(r4), uint8_t(r5)};
                ASSERT_EQ(EncodeThresholds(DecodeThresholds(regs.r3, regs.r4, regs.r5), regs.r3, regs.r5),
                          regs);
            }
    EXPECT_EQ(Config3Register(0), 59);
    EXPECT_EQ(Config5Register(2), 79);
}

TEST(TmonCodes, ComparatorStats)
{
    struct Case { uint8_t statA, statB; ComparatorStates states; };
    const Case cases[] = {
        {0x00, 0x00, {false, false, false, false, false, false}},
        {0x05, 0x02, {true, false, false, true, true, false}},
        {0xF8, 0xF8, {false, false, false, false, false, false}},  // bits 7..3 carry none
        {0x07, 0x07, {true, true, true, true, true, true}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeComparatorStats(c.statA, c.statB), c.states);
        const StatRegisters regs = EncodeComparatorStats(c.states);
        EXPECT_EQ(regs.statA, c.statA & 7);
        EXPECT_EQ(regs.statB, c.statB & 7);
    }
}

}  // namespace
