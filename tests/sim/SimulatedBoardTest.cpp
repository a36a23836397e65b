// The simulated board through the register port: the main device and its POT
// status bits, devices coming and going, and board files.

#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "BoardFixture.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"

TEST_F(BoardTest, MainDeviceRegistersAndProtectedStatusBits)
{
    // A main device on its own holds its power-up values.
    auto bareDriver = std::make_shared<CSimulatedFtdiDriver>();
    bareDriver->Bus().Attach(0x40, std::make_shared<CMainDevice>());
    CTovin_I2C_Port barePort(bareDriver);
    barePort.SetDemoMode(false);
    ASSERT_EQ(barePort.OpenCable(), FTDI_OK);
    const std::vector<int> powerUp = {0x04, 0xC1, 0xC2, 0x03};
    for (int reg = 0; reg < 4; ++reg) EXPECT_EQ(barePort.ReadMain(reg), powerUp[reg]) << reg;

    struct Case {
        int reg;
        int written;
        int readBack;
    };
    const std::vector<Case> cases = {
        {1, 0xE7, 0xE7}, {0, 0x5D, 0x5D}, {3, 0x00, 0x00},
        {2, 0x30, 0x3F},  // bits 3..0 are the POT status, all good on the default board
        {2, 0xFF, 0xFF}, {5, 0x12, 0x00},
    };
    for (const Case& c : cases) {
        port->WriteMain(c.reg, c.written);
        EXPECT_EQ(port->GetError(), 0);
        EXPECT_EQ(port->ReadMain(c.reg), c.readBack) << "register " << c.reg;
    }
}

TEST_F(BoardTest, PotStatusFollowsTheRailsTheHmuDevicesMeasure)
{
    // POT1, POT2 on VMON7, VMON8 of HMU0; POT3, POT4 on those of HMU1; window 1.08..1.32 V.
    struct Case {
        int pot;
        double volts;
        bool good;
    };
    const std::vector<Case> cases = {
        {0, 1.00, false}, {0, 1.08, true}, {1, 1.40, false}, {1, 1.32, true},
        {2, 0.50, false}, {2, 1.25, true}, {3, 1.33, false}, {3, 1.10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "POT" << c.pot + 1 << " at " << c.volts);
        ASSERT_TRUE(board->SetPotVolts(c.pot, c.volts));
        EXPECT_EQ((port->ReadMain(2) >> c.pot) & 1, c.good ? 1 : 0);
        port->SetHmuIndex(c.pot / 2);
        EXPECT_NEAR(adc::MeasureVoltage(*port, 6 + c.pot % 2), c.volts, 0.0011);
        board->SetPotVolts(c.pot, 1.2);
    }
    EXPECT_TRUE(board->SetPotWindow(0, {1.25, 1.30}));
    EXPECT_EQ(port->ReadMain(2) & 0x0F, 0x0E) << "1.2 V is outside the narrower window";
    EXPECT_FALSE(board->SetPotWindow(0, {1.3, 1.2}));
}

TEST_F(BoardTest, DevicesComeAndGo)
{
    const std::vector<bool> present = {true, true, false, false, false, false, false, false};
    for (int n = 0; n < 8; ++n) EXPECT_EQ(port->ProbeHmu(n), present[n]) << "HMU" << n;
    EXPECT_TRUE(port->ProbeMain());

    board->SetVmon(1, 2, 0.456);
    ASSERT_TRUE(board->RemoveHmu(1));
    EXPECT_FALSE(port->ProbeHmu(1));
    EXPECT_FALSE(board->RemoveHmu(1));
    board->SetVmon(1, 2, 0.567);  // a value set while the device is away is kept for it
    ASSERT_TRUE(board->AddHmu(1));
    port->SetHmuIndex(1);
    EXPECT_NEAR(adc::MeasureVoltage(*port, 2), 0.567, 0.0011);

    ASSERT_TRUE(board->AddHmu(5));
    EXPECT_TRUE(port->ProbeHmu(5));
    EXPECT_EQ(board->AddHmu(8), nullptr);
    ASSERT_TRUE(board->RemoveMain());
    EXPECT_FALSE(port->ProbeMain());
    EXPECT_EQ(port->ReadMain(0), 0);
    EXPECT_EQ(port->GetError(), 1);
}

TEST_F(BoardTest, ValuesThatMakeNoSenseAreRefused)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(board->SetVmon(0, 10, 1.0));
    EXPECT_FALSE(board->SetVmon(8, 0, 1.0));
    EXPECT_FALSE(board->SetVmon(0, 0, nan));
    EXPECT_FALSE(board->SetSenseResistor(0, 0, 0.0));
    EXPECT_FALSE(board->SetSenseResistor(0, 1, -0.01));
    EXPECT_FALSE(board->SetTemperature(0, 3, 20.0));
    EXPECT_EQ(board->Values(0).vmonVolts[0], 1.8);
    EXPECT_EQ(board->Values(0).senseOhms[0], 0.01);
}

namespace {

std::string WriteTemp(const std::string& text)
{
    const std::string path = testing::TempDir() + "zent2_board_test.txt";
    std::ofstream(path) << text;
    return path;
}

}  // namespace

TEST_F(BoardTest, BoardFileChangesWhatThePortReads)
{
    const std::string path = WriteTemp(
        "\xEF\xBB\xBFhmu0.vmon7 = 1.00   # after the byte-order mark an editor may write\n"
        "# a board with a weak POT1 and a hot sensor\n"
        "  HMU0.Temp1 = 41.5   # keys in any case\n"
        "hmu0.imon1 = 3\n"
        "hmu0.imon1.rsense = 0.005\n"
        "hmu0.id = 0x88\n"
        "hmu0.signature = 0x0123456789ABCDEF\n"
        "pot2 = 1.3\n"
        "pot2.high = 1.25\n"
        "\n"
        "hmu1.present = 0\n"
        "hmu2.present = 1\n"
        "hmu2.vmon1 = 0.9\n");
    std::string error = "unchanged";
    ASSERT_TRUE(board->LoadFile(path, error)) << error;
    EXPECT_EQ(error, "");
    std::remove(path.c_str());

    EXPECT_NEAR(adc::MeasureVoltage(*port, 6), 1.00, 0.0011);
    EXPECT_EQ(tmon::ReadTemperature(*port, 0), 41.5f);
    imon::WriteSenseRange(*port, 0, 0x0C);  // gain 10
    port->UpdateConfiguration();
    EXPECT_NEAR(adc::MeasureVoltage(*port, 0), 3 * 0.005 * 10, 0.0011);
    EXPECT_EQ(port->ReadRegister(0x02, -1), 0x88);
    EXPECT_EQ(signature::Read(*port), 0x0123456789ABCDEFull);
    EXPECT_EQ(port->ReadMain(2) & 0x03, 0x00) << "POT1 low, POT2 above its new window";
    EXPECT_FALSE(port->ProbeHmu(1));
    ASSERT_TRUE(port->ProbeHmu(2));
    port->SetHmuIndex(2);
    EXPECT_NEAR(adc::MeasureVoltageRanged(*port, 0), 0.9, 0.0011);
    EXPECT_EQ(adc::ReadMonitorRecord(*port, 5) & 0x02, 0x02) << "set up around its file value: 0.9 V above A";
}

TEST_F(BoardTest, BadBoardFilesChangeNothing)
{
    struct Case {
        std::string badLine;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"hmu0.vmonx = 1", "unknown key \"hmu0.vmonx\""},
        {"hmu8.vmon1 = 1", "unknown key"},
        {"hmu0.vmon10 = 1", "unknown key"},
        {"pot5 = 1", "unknown key"},
        {"hmu0.vmon1 = abc", "\"abc\" is not a number"},
        {"hmu0.vmon1 = 1.2V", "is not a number"},
        {"hmu0.temp1 = nan", "is not a number"},
        {"hmu0.present = 2", "out of range"},
        {"hmu0.id = 256", "out of range"},
        {"hmu0.id = -1", "is not a whole number"},
        {"hmu0.imon1.rsense = 0", "must be above 0"},
        {"pot1.low = 1.5", "POT1 window low 1.5 V is above high 1.32 V"},
        {"hmu0.vmon1 1.2", "expected \"key = value\""},
        {"hmu0.vmon1 =", "missing value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.badLine);
        const std::string text = "hmu0.vmon1 = 0.5\nhmu1.present = 0\n# comment\n" + c.badLine + "\nhmu0.vmon2 = 0.1\n";
        std::string error;
        EXPECT_FALSE(board->LoadText(text, error, "my.board"));
        EXPECT_NE(error.find("my.board, line 4: "), std::string::npos) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(board->Values(0).vmonVolts[0], 1.8);
        EXPECT_TRUE(port->ProbeHmu(1));
        EXPECT_EQ(board->GetPotWindow(0).low, 1.08);
    }
    std::string error;
    EXPECT_FALSE(board->LoadFile(testing::TempDir() + "no_such_board.txt", error));
    EXPECT_NE(error.find("no_such_board.txt"), std::string::npos) << error;
}
