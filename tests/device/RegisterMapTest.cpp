#include <gtest/gtest.h>

#include <set>

#include "device/RegisterMap.h"

namespace {

TEST(RegisterMap, RowsHaveTheirNumberNameTypeAndWriteRule)
{
    struct Row { int row; char type; int reg; const char* name; bool readOnly; };
    const std::vector<Row> rows = {
        {0, 'M', 0, "ADC MUX", false},
        {2, 'M', 2, "ADC value High", true},
        {8, 'M', 8, "Monitor record", true},
        {9, 'M', 0x70, "Output control block", false},
        {10, 'M', 0x84, "TMON meas int High", true},
        {17, 'M', 0x87, "TMON stat B", true},
        {18, 'C', 0, "Trim1 Profile1 Low", true},
        {19, 'C', 1, "Trim1 Trim2 Profile1 High", true},
        {29, 'C', 11, "Trim4 Profile2 Low", true},
        {30, 'C', 12, "Trim1 Profile0 Low", false},
        {37, 'C', 19, "Trim4 Profile0 High", false},
        {39, 'C', 21, "Trim DAC BPZ", false},
        {40, 'C', 22, "VMON1 Config0", false},
        {66, 'C', 48, "VMON9 Config2", false},
        {69, 'C', 51, "HVMON Config2", false},
        {71, 'C', 0x35, "IMON1 Config1", false},
        {73, 'C', 0x37, "HIMON1 Config1", false},
        {74, 'C', 56, "TMON1 Config0", false},
        {100, 'C', 82, "TMON Int Config8", false},
        {101, 'C', 83, "HVOUT1 Config0", false},
        {108, 'C', 90, "HVOUT4 Config1", false},
        {114, 'C', 96, "OCB Config5", false},
        {115, 'C', 98, "GPIO Config0", false},
        {117, 'C', 100, "GPIO Config2", false},
        {118, 'C', 102, "Writeprotect Usertag", false},
    };
    const auto& block = regmap::DeviceRows();
    ASSERT_EQ(block.size(), 119u);
    for (const auto& r : rows) {
        const RegisterEntry& e = block[r.row];
        EXPECT_EQ(e.TypeLetter(), r.type) << r.row;
        EXPECT_EQ(e.reg, r.reg) << r.row;
        EXPECT_EQ(e.name, r.name) << r.row;
        EXPECT_EQ(e.readOnly, r.readOnly) << r.row;
        EXPECT_TRUE(e.shown);
    }
}

TEST(RegisterMap, EveryRegisterIsUniqueByTypeAndNumberAndNinetySevenAndHundredOneAreAbsent)
{
    std::set<std::pair<int, int>> seen;
    for (const auto& e : regmap::DeviceRows()) EXPECT_TRUE(seen.insert({e.type, e.reg}).second) << e.name;
    EXPECT_EQ(regmap::FindRow(kConfigRegister, 97), -1);
    EXPECT_EQ(regmap::FindRow(kConfigRegister, 101), -1);
    // Same number, different registers.
    EXPECT_EQ(regmap::FindRow(kMonitorRegister, 0), 0);
    EXPECT_EQ(regmap::FindRow(kConfigRegister, 0), 18);
    EXPECT_EQ(regmap::DeviceRows()[0].ReadCommand(), 0x52);
    EXPECT_EQ(regmap::DeviceRows()[18].ReadCommand(), 0x33);
    EXPECT_EQ(regmap::DeviceRows()[18].WriteCommand(), 0x31);
}

TEST(RegisterMap, ExactlyTheMeasurementAndOldProfileRowsAreReadOnly)
{
    std::set<int> readOnly;
    const auto& rows = regmap::DeviceRows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].readOnly) readOnly.insert(static_cast<int>(i));
    std::set<int> expected = {1, 2, 5, 6, 8};
    for (int row = 10; row <= 29; ++row) expected.insert(row);
    EXPECT_EQ(readOnly, expected);
}

TEST(RegisterMap, TheMapHoldsEightIdenticalBlocks)
{
    const auto map = regmap::Build();
    ASSERT_EQ(map.size(), 8u * 119u);
    for (int d = 1; d < 8; ++d) {
        for (int r = 0; r < 119; ++r) {
            const auto& a = map[r];
            const auto& b = map[d * 119 + r];
            EXPECT_TRUE(a.reg == b.reg && a.name == b.name && a.type == b.type && a.readOnly == b.readOnly &&
                        b.shown)
                << d << "/" << r;
        }
    }
}

}  // namespace
