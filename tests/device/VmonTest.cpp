#include "device/blocks/Vmon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

using namespace vmon;

namespace {

constexpr Range kRanges[] = {Range::Range1, Range::Range2};
constexpr Direction kDirections[] = {Direction::Under, Direction::Over};

TEST(VmonCodes, CodeToEntry)
{
    struct Case { int coarse, fine, entry; };
    const Case cases[] = {
        {5, 33, 5},   {0, 33, 0},   {11, 33, 11},             // low-range entries
        {0, 32, 0},   {7, 32, 0},   {3, 34, 0},  {3, 63, 0},  // unused fine codes
        {12, 0, 0},   {15, 10, 0},  {13, 33, 0}, {-1, 0, 0},  // unused coarse codes
        {0, 31, 11},  {5, 31, 166}, {11, 31, 352},            // fine 31: 31a + 11
        {0, 30, 12},  {0, 0, 42},   {1, 30, 43}, {3, 10, 125}, {11, 0, 383},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EntryFromCode({c.coarse, c.fine}), c.entry) << c.coarse << "/" << c.fine;
}

TEST(VmonCodes, EveryEntryRoundTripsThroughItsCode)
{
    std::set<std::pair<int, int>> codes;
    for (int entry = 0; entry < kEntries; ++entry) {
        const ThresholdCode code = CodeFromEntry(entry);
        EXPECT_TRUE(code.coarse >= 0 && code.coarse < kColumns) << entry;
        EXPECT_TRUE((code.fine >= 0 && code.fine < kRows) || code.fine == kLowFine) << entry;
        EXPECT_EQ(EntryFromCode(code), entry);
        codes.insert({code.coarse, code.fine});
    }
    EXPECT_EQ(codes.size(), static_cast<size_t>(kEntries));
    for (int entry : {-1, kEntries, 1000})
        EXPECT_EQ(CodeFromEntry(entry), (ThresholdCode{0, kLowFine})) << entry;
}

TEST(VmonCodes, ConfigRegisters)
{
    struct Case { uint8_t c0, c1, c2; ChannelConfig config; };
    const Case cases[] = {
        {0x00, 0x00, 0x00, {{0, 0}, {0, 0}, false, false}},
        // coarse 5 fine 33 on A: Config0 bits 7..6 = 1, Config1 bits 3..0 = 8
        {0x40, 0x08, 0x50, {{5, 33}, {0, 0}, false, false}},
        {0x3F, 0x00, 0x0F, {{0, 0}, {15, 63}, false, false}},
        {0xC0, 0xCF, 0xF0, {{15, 63}, {0, 0}, false, false}},
        {0x9E, 0xF4, 0xB3, {{11, 18}, {3, 30}, true, true}},
        {0x00, 0x20, 0x00, {{0, 0}, {0, 0}, true, false}},
        {0x00, 0x10, 0x00, {{0, 0}, {0, 0}, false, true}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeConfig(c.c0, c.c1, c.c2), c.config) << int(c.c0) << " " << int(c.c1);
        const ConfigWrite w = EncodeConfig(c.config);
        EXPECT_EQ(w.config0, c.c0);
        EXPECT_EQ(w.config1Value, c.c1 & 0x3F);  // bits 7..6 belong to the mask
        EXPECT_EQ(w.config1Mask, 0xC0);
        EXPECT_EQ(w.config2, c.c2);
    }
    // Every register content survives a decode and an encode.
    for (int c0 = 0; c0 < 256; ++c0) {
        for (int c1 = 0; c1 < 256; ++c1) {
            const uint8_t c2 = static_cast<uint8_t>(c0 ^ c1);
            const ConfigWrite w = EncodeConfig(DecodeConfig(uint8_t(c0), uint8_t(c1), c2));
            ASSERT_EQ(w.config0, c0);
            ASSERT_EQ(w.config1Value, c1 & 0x3F);
            ASSERT_EQ(w.config2, c2);
        }
    }
    // Codes too wide for their fields do not spill into the neighbours.
    const ConfigWrite wide = EncodeConfig({{0x13, 0x7F}, {0x1F, 0x40}, false, false});
    EXPECT_EQ(wide.config1Value, 0x0F);
    EXPECT_EQ(wide.config0, 0xC0);
    EXPECT_EQ(wide.config2, 0x3F);
}

TEST(VmonCodes, ListedRowsAndLowRange)
{
    struct Case { Range range; Direction dir; int row; std::array<int, kColumns> mv; };
    const Case cases[] = {
        {Range::Range1, Direction::Over, 0, {796, 948, 1128, 1342, 1591, 1899, 2261, 2685, 3182, 3790, 4863, 5792}},
        {Range::Range1, Direction::Over, 1, {791, 943, 1122, 1335, 1583, 1889, 2249, 2671, 3165, 3770, 4837, 5761}},
        {Range::Range1, Direction::Over, 15, {732, 872, 1038, 1235, 1464, 1747, 2081, 2471, 2928, 3488, 4475, 5330}},
        {Range::Range1, Direction::Over, 30, {669, 796, 948, 1128, 1337, 1596, 1900, 2256, 2674, 3186, 4087, 4868}},
        {Range::Range1, Direction::Under, 29, {664, 791, 942, 1121, 1329, 1586, 1888, 2242, 2657, 3165, 4061, 4837}},
        {Range::Range1, Direction::Under, 30, {660, 786, 936, 1114, 1320, 1575, 1876, 2228, 2640, 3145, 4035, 4806}},
        {Range::Range2, Direction::Over, 0, {2274, 2700, 3200, 3757, 4431, 5236, 6171, 7200, 8429, 9874, 11520, 13292}},
        {Range::Range2, Direction::Over, 1, {2262, 2687, 3184, 3738, 4409, 5210, 6141, 7164, 8387, 9825, 11462, 13226}},
        {Range::Range2, Direction::Over, 15, {2103, 2498, 2960, 3475, 4098, 4844, 5709, 6660, 7797, 9134, 10656, 12295}},
        {Range::Range2, Direction::Over, 30, {1933, 2295, 2720, 3193, 3766, 4451, 5246, 6120, 7165, 8393, 9792, 11298}},
        {Range::Range2, Direction::Under, 29, {1921, 2282, 2704, 3174, 3744, 4425, 5215, 6084, 7123, 8344, 9734, 11232}},
        {Range::Range2, Direction::Under, 30, {1910, 2268, 2688, 3155, 3722, 4399, 5184, 6048, 7081, 8294, 9677, 11166}},
    };
    for (const Case& c : cases)
        for (int col = 0; col < kColumns; ++col)
            EXPECT_EQ(TableMillivolts(c.range, c.dir, c.row, col), c.mv[col]) << c.row << "/" << col;

    const std::array<int, kLowEntries> low1 = {76, 91, 108, 129, 152, 182, 216, 257, 305, 363, 466, 555};
    const std::array<int, kLowEntries> low2 = {227, 270, 320, 376, 443, 524, 617, 720, 843, 987, 1152, 1329};
    for (int i = 0; i < kLowEntries; ++i) {
        EXPECT_EQ(LowRangeMillivolts(Range::Range1, i), low1[i]);
        EXPECT_EQ(LowRangeMillivolts(Range::Range2, i), low2[i]);
        for (Direction dir : kDirections) {  // the low entries do not depend on the direction
            EXPECT_EQ(EntryMillivolts(Range::Range1, dir, i), low1[i]);
            EXPECT_EQ(EntryMillivolts(Range::Range2, dir, i), low2[i]);
        }
    }
}

TEST(VmonCodes, InterpolatedRowsAndUnderVoltageShift)
{
    struct Case { Range range; int row, col, mv; };
    const Case cases[] = {
        {Range::Range1, 8, 0, 762},     // 761.5 rounds up
        {Range::Range1, 2, 4, 1575},    // 1574.5
        {Range::Range1, 16, 0, 728},    // 732 - 63/15
        {Range::Range2, 29, 11, 11364}, // 12295 - 997 * 14/15
    };
    for (const Case& c : cases)
        EXPECT_EQ(TableMillivolts(c.range, Direction::Over, c.row, c.col), c.mv) << c.row << "/" << c.col;

    for (Range range : kRanges)
        for (int row = 0; row + 2 < kRows; ++row)
            for (int col = 0; col < kColumns; ++col)
                EXPECT_EQ(TableMillivolts(range, Direction::Under, row, col),
                          TableMillivolts(range, Direction::Over, row + 2, col));

    // Range 1, coarse 0, fine 0 under both directions.
    EXPECT_EQ(EntryText(Range::Range1, Direction::Under, EntryFromCode({0, 0})), "0.787 V");
    EXPECT_EQ(EntryText(Range::Range1, Direction::Over, EntryFromCode({0, 0})), "0.796 V");
    EXPECT_DOUBLE_EQ(ThresholdVolts(Range::Range1, Direction::Over, {0, 0}), 0.796);
}

// The straight-line interpolation between the characterised rows stays within
// 1 mV of the line between rows 0 and 30 of each column, except in these cells,
// where the characterised rows bend away from it; there it stays within 1.5 mV.
TEST(VmonCodes, TablesDecreaseAndFollowTheirColumnLine)
{
    const std::set<std::tuple<Range, Direction, int, int>> beyondOneMillivolt = {
        {Range::Range1, Direction::Over, 4, 0},    {Range::Range2, Direction::Over, 5, 6},
        {Range::Range2, Direction::Under, 11, 4},  {Range::Range2, Direction::Under, 17, 4},
        {Range::Range2, Direction::Under, 17, 11}, {Range::Range2, Direction::Under, 19, 11},
        {Range::Range2, Direction::Under, 21, 11}, {Range::Range2, Direction::Under, 23, 11},
        {Range::Range2, Direction::Under, 25, 11}, {Range::Range2, Direction::Under, 27, 11},
    };
    for (Range range : kRanges) {
        for (Direction dir : kDirections) {
            for (int col = 0; col < kColumns; ++col) {
                const int first = TableMillivolts(range, dir, 0, col);
                const int last = TableMillivolts(range, dir, kRows - 1, col);
                for (int row = 0; row < kRows; ++row) {
                    const int mv = TableMillivolts(range, dir, row, col);
                    if (row > 0) {
                        EXPECT_LT(mv, TableMillivolts(range, dir, row - 1, col)) << row << "/" << col;
                    }
                    // Distance to the line, scaled by 30 to stay in integers.
                    const int off30 = std::abs(30 * mv - (30 * first + (last - first) * row));
                    if (beyondOneMillivolt.count({range, dir, row, col})) {
                        EXPECT_GT(off30, 30) << row << "/" << col;
                        EXPECT_LE(off30, 45) << row << "/" << col;
                    } else {
                        EXPECT_LE(off30, 30) << int(range) << " " << int(dir) << " " << row << "/" << col;
                    }
                }
            }
        }
    }
}

TEST(VmonCodes, ThresholdListsAndRanges)
{
    struct Case { Range range; Direction dir; int entry; const char* text; };
    const Case cases[] = {
        {Range::Range1, Direction::Over, 0, "0.076 V"},
        {Range::Range1, Direction::Under, 5, "0.182 V"},
        {Range::Range2, Direction::Over, 11, "1.329 V"},
        {Range::Range1, Direction::Over, 12, "0.669 V"},   // row 30 of column 0
        {Range::Range1, Direction::Under, 12, "0.660 V"},
        {Range::Range2, Direction::Over, 383, "13.292 V"}, // row 0 of column 11
        {Range::Range2, Direction::Under, 42, "2.251 V"},  // over row 2 of column 0
    };
    for (const Case& c : cases) {
        const std::vector<std::string> texts = ThresholdListTexts(c.range, c.dir);
        ASSERT_EQ(texts.size(), static_cast<size_t>(kEntries));
        EXPECT_EQ(texts[c.entry], c.text);
    }
    // Codes the lists cannot show read as entry 0.
    EXPECT_DOUBLE_EQ(ThresholdVolts(Range::Range2, Direction::Over, {12, 5}), 0.227);
    EXPECT_DOUBLE_EQ(ThresholdVolts(Range::Range1, Direction::Under, {4, 33}), 0.152);

    for (int c = 0; c < kChannels; ++c) {
        const Range expected = c == 9 ? Range::Range2 : Range::Range1;  // HVMON
        EXPECT_EQ(ChannelRange(c), expected);
        EXPECT_EQ(ComparatorRange(2 * c), expected);
        EXPECT_EQ(ComparatorRange(2 * c + 1), expected);
    }
    EXPECT_EQ(Config0Register(0), 22);
    EXPECT_EQ(Config2Register(9), 51);
}

TEST(VmonCodes, MonitorRecords)
{
    struct Case { int comparator; RecordBit where; };
    const Case cases[] = {
        {0, {5, 1}}, {6, {5, 7}}, {7, {4, 0}}, {14, {4, 7}}, {15, {3, 0}}, {19, {3, 4}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComparatorRecordBit(c.comparator), c.where) << c.comparator;

    // One comparator at a time: only its bit in only its record.
    for (int j = 0; j < kComparators; ++j) {
        ComparatorStates states{};
        states[j] = true;
        int carriers = 0;
        for (uint8_t select : kRecordSelects) {
            const uint8_t record = EncodeMonitorRecord(select, states);
            ComparatorStates decoded{};
            DecodeMonitorRecord(select, record, decoded);
            if (record != 0) {
                ++carriers;
                EXPECT_EQ(decoded, states) << j;
            }
        }
        EXPECT_EQ(carriers, 1) << j;
    }
    // A record leaves the states it does not carry alone; unused bits are ignored.
    ComparatorStates all{};
    all.fill(true);
    DecodeMonitorRecord(5, 0x01, all);
    for (int j = 0; j < kComparators; ++j)
        EXPECT_EQ(all[j], j >= 7) << j;
    EXPECT_EQ(EncodeMonitorRecord(3, all), 0x1F);
}

TEST(VmonCodes, PersistedDirections)
{
    Directions dirs{};
    for (int j = 0; j < kComparators; ++j)
        dirs[j] = (j % 3 == 0) ? Direction::Over : Direction::Under;
    const std::vector<uint8_t> bytes = EncodeDirections(dirs);
    ASSERT_EQ(bytes.size(), 80u);
    EXPECT_EQ((std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8)),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytes[12], 1);  // comparator 3, little-endian
    EXPECT_EQ(DecodeDirections(bytes), dirs);

    for (size_t size : {0, 4, 79, 81, 160})
        EXPECT_FALSE(DecodeDirections(std::vector<uint8_t>(size, 0))) << size;

    struct Case { std::array<uint8_t, 4> raw; Direction dir; };
    const Case cases[] = {
        {{1, 0, 0, 0}, Direction::Over},  {{0, 0, 0, 0}, Direction::Under},
        {{2, 0, 0, 0}, Direction::Under}, {{1, 0, 0, 1}, Direction::Under},
        {{0xFF, 0xFF, 0xFF, 0xFF}, Direction::Under},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block(80, 0);
        std::copy(c.raw.begin(), c.raw.end(), block.begin() + 76);  // comparator 19
        const auto decoded = DecodeDirections(block);
        ASSERT_TRUE(decoded);
        EXPECT_EQ((*decoded)[19], c.dir) << int(c.raw[0]) << " " << int(c.raw[3]);
    }
    EXPECT_EQ(DirectionsSettingName(3), "VMON3 Directions");
}

}  // namespace
