// The demonstration design block on the simulated board: field
// read-modify-writes of the main device, the thermal thresholds in HMU0 and
// the power network reads.

#include "device/blocks/DemoDesign.h"

#include <gtest/gtest.h>

#include "util/TextFormat.h"
#include "device/blocks/Trim.h"
#include "link/CableLock.h"
#include "tests/sim/BoardFixture.h"

using namespace demodesign;

namespace {

class DemoDesignTest : public BoardTest {
protected:
    CMainDevice& Main() { return *board->Main(); }
};

TEST_F(DemoDesignTest, FieldWritesReplaceTheirBitsAndKeepTheOthers)
{
    struct Case { const char* what; int reg; uint8_t before; std::function<bool()> write; uint8_t after; };
    const Case cases[] = {
        {"ten rails, two resets", 1, 0xFF, [&] { return WriteSequencing(*port, 0, 1); }, 0xE7},
        {"resets without a choice (3) kept", 1, 0x1C, [&] { return WriteSequencing(*port, 1, 3); }, 0x1C},
        {"margin +5 %", 0, 0x5E, [&] { return WriteField(*port, kMargin, kMarginPlus5); }, 0x5D},
        {"phase-shifted clocking", 1, 0xC1, [&] { return WriteField(*port, kClocking, 1); }, 0xC3},
        {"thermal start", 0, 0x04, [&] { return WriteField(*port, kThermalStarted, 1); }, 0x24},
        {"thermal stop", 0, 0xFF, [&] { return WriteField(*port, kThermalStarted, 0); }, 0xDF},
        {"fault logging on", 1, 0xC2, [&] { return WriteField(*port, kFaultLogging, 1); }, 0xC3},
        {"value cut to the field", 0, 0x00, [&] { return WriteField(*port, kMargin, 7); }, 0x03},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Main().SetRegister(c.reg, c.before);
        Driver().ClearEventLog();
        {
            CCableLock lock;
            EXPECT_TRUE(c.write());
        }
        EXPECT_EQ(Main().Register(c.reg), c.after);
        // The register read, then written whole.
        EXPECT_EQ(Driver().EventLog(), FormatText("S 40 A %02X A P S 41 A %02X N P S 40 A %02X A %02X A P", c.reg,
                                                  c.before, c.reg, c.after));
    }
}

TEST_F(DemoDesignTest, ASilentMainDeviceIsNeverWrittenWithTheZerosItRead)
{
    board->RemoveMain();
    CCableLock lock;
    Driver().ClearEventLog();
    EXPECT_FALSE(WriteField(*port, kThermalStarted, 0));
    const std::string log = Driver().EventLog();
    // Five attempts to select register 0, and nothing after them (a write
    // would be "S 40 N 00 N DF ...").
    std::string attempts;
    for (int i = 0; i < 5; ++i) attempts += std::string(i ? " " : "") + "S 40 N 00 N P";
    EXPECT_EQ(log, attempts);
    EXPECT_FALSE(ReadField(*port, kMargin).answered);
    EXPECT_FALSE(ReadSequencing(*port).answered);

    ThermalWrite w;
    w.warmFan = 2;
    EXPECT_FALSE(WriteThermal(*port, w));
    EXPECT_EQ(Driver().EventLog().find("S 40 A"), std::string::npos);
}

TEST_F(DemoDesignTest, ThresholdsFollowTheBoardTemperature)
{
    struct Case { float board; int warm, hot; uint8_t r44, r45, r46; };
    // TMON2 Config3 bit 0 and Config5 bits 7..3 are kept (set here).
    const Case cases[] = {
        {24.9f, 26, 28, 0x0D, 0x0E, 0xFC},
        {-3.5f, 511, 1, 0xFF, 0x03, 0xF9},  // -1 and 1 degrees
        {-0.75f, 2, 4, 0x01, 0x02, 0xFC},   // taken whole toward zero
        {0.0f, 2, 4, 0x01, 0x02, 0xFC},
        {-64.0f, 450, 452, 0xE1, 0xE2, 0xFC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        const tmon::Thresholds codes = ThresholdsAbove(c.board);
        EXPECT_EQ(codes, (tmon::Thresholds{c.warm, c.hot}));
        Hmu(0).SetConfiguration(0x44, 0x01);
        Hmu(0).SetConfiguration(0x45, 0x00);
        Hmu(0).SetConfiguration(0x46, 0xF8);
        port->SetHmuIndex(1);
        {
            CCableLock lock;
            WriteResistorThresholds(*port, codes);
        }
        EXPECT_EQ(Hmu(0).ActiveConfiguration(0x44), c.r44);
        EXPECT_EQ(Hmu(0).ActiveConfiguration(0x45), c.r45);
        EXPECT_EQ(Hmu(0).ActiveConfiguration(0x46), c.r46);
        EXPECT_EQ(port->GetHmuIndex(), 0);
        CCableLock lock;
        EXPECT_EQ(ReadThermal(*port).thresholds, codes);
    }
}

TEST(DemoDesignHeat, EqualityCountsAsWarmAndHot)
{
    struct Case { float resistor; int warm, hot; Heat heat; };
    const Case cases[] = {
        {25.99f, 26, 28, Heat::Cool}, {26.0f, 26, 28, Heat::Warm}, {27.75f, 26, 28, Heat::Warm},
        {28.0f, 26, 28, Heat::Hot},   {90.0f, 26, 28, Heat::Hot},
        {-1.25f, 511, 1, Heat::Cool}, {-1.0f, 511, 1, Heat::Warm}, {1.0f, 511, 1, Heat::Hot},
    };
    for (const Case& c : cases) EXPECT_EQ(ResistorHeat(c.resistor, c.warm, c.hot), c.heat) << c.resistor;
}

TEST(DemoDesignDcdc, TenPercentOfTheSetPointBothWays)
{
    const float set = trim::CodeVolts(1000);  // 2.000 V
    struct Case { float measured; bool good; };
    const Case cases[] = {{1.90f, true}, {2.10f, true}, {2.0f, true}, {1.70f, false}, {2.30f, false}, {0.0f, false}};
    for (const Case& c : cases) EXPECT_EQ(DcdcGood(set, c.measured), c.good) << c.measured;
    EXPECT_TRUE(DcdcGood(0.0f, 0.0f));
}

TEST_F(DemoDesignTest, TheNetworkReadsOnlyTheRailsInUse)
{
    const int N = kRailNotInUse;
    struct Case {
        const char* what;
        std::array<int, kNetworkRails> states;
        bool readsMain;
        std::array<bool, 2> readsHmu;
        int hmuAfter;
    };
    const Case cases[] = {
        {"nothing in use", {N, N, N, N, N, N}, false, {false, false}, 1},
        {"DC-DC4 only", {N, N, N, N, 1, N}, false, {true, false}, 0},
        {"DC-DC8 only", {N, N, N, N, N, 1}, false, {false, true}, 1},
        {"POT3 only", {N, N, 0, N, N, N}, true, {false, true}, 1},
        {"ten rails", {1, 1, N, N, 1, N}, true, {true, false}, 0},
        {"everything", {1, 1, 1, 1, 1, 1}, true, {true, true}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Network network;
        network.states = c.states;
        network.volts.fill(9.0f);
        Driver().ClearEventLog();
        port->SetHmuIndex(5);
        {
            CCableLock lock;
            RefreshNetwork(*port, network);
        }
        const std::string log = Driver().EventLog();
        EXPECT_EQ(log.find("S 40") != std::string::npos, c.readsMain);
        EXPECT_EQ(log.find("S C0") != std::string::npos, c.readsHmu[0]);
        EXPECT_EQ(log.find("S C2") != std::string::npos, c.readsHmu[1]);
        EXPECT_EQ(port->GetHmuIndex(), c.hmuAfter);
        for (int rail = 0; rail < kNetworkRails; ++rail) {
            if (c.states[rail] != N) continue;
            EXPECT_EQ(network.states[rail], N) << rail;
            EXPECT_EQ(network.volts[rail], 9.0f) << rail;  // neither read nor changed
        }
        EXPECT_EQ(network.AnyInUse(), c.readsHmu[0] || c.readsHmu[1]);
    }
}

}  // namespace
