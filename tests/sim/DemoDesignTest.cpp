// The demonstration design on the simulated board, driven as the dialogs and
// the command line drive it: main-device registers and HMU registers through
// the register port, the board's buttons and knobs, the board clock by hand.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "BoardFixture.h"
#include "FaultLogPort.h"
#include "device/blocks/DemoDesign.h"
#include "device/blocks/FaultLog.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Trim.h"

using namespace std::chrono_literals;
using Design = CDemonstrationDesign;
// A read-modify-write of one field, as every dialog does it.
using demodesign::WriteField;

namespace {

// Supplies HMU0 1..10 then HMU1 1..10 whose LEDs are lit.
int LitSupplies(const CSimulatedBoard& board)
{
    int lit = 0;
    for (int device = 0; device < Design::kDevices; ++device)
        for (int supply = 0; supply < Design::kSupplies; ++supply) lit += board.SupplyLed(device, supply) ? 1 : 0;
    return lit;
}

int LitResets(const CSimulatedBoard& board, int device)
{
    int lit = 0;
    for (int reset = 0; reset < Design::kResetOutputs; ++reset) lit += board.ResetLed(device, reset) ? 1 : 0;
    return lit;
}

// What the devices measure on the nine measured supplies of a device, through the port.
std::vector<double> SupplyVolts(CTovin_I2C_Port& port, int device)
{
    port.SetHmuIndex(device);
    std::vector<double> volts;
    for (int channel = 0; channel < Design::kMeasuredSupplies; ++channel)
        volts.push_back(adc::MeasureVoltageRanged(port, channel));
    return volts;
}

int LogCount(CTovin_I2C_Port& port, int device)
{
    port.SetHmuIndex(device);
    return FaultLogPort{port}.Count();
}

}  // namespace

TEST_F(BoardTest, ManualRestartSequencesTheSuppliesAndAPotFaultShutsThemDown)
{
    struct Case {
        const char* name;
        int rails;   // the field: 0 ten rails, 1 twenty
        int resets;  // the field: resets per device minus 1
        int supplies;
        int resetOutputs;
    };
    const std::vector<Case> cases = {
        {"twenty rails, three resets", 1, 2, 20, 3},
        {"ten rails, one reset", 0, 0, 10, 1},
        {"twenty rails, field 3 gives three resets", 1, 3, 20, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ASSERT_EQ(LitSupplies(*board), 20) << "the board powers up with every supply on";
        WriteField(*port, demodesign::kRails, c.rails);
        WriteField(*port, demodesign::kResets, c.resets);
        board->Advance(50ms);
        EXPECT_EQ(LitSupplies(*board), 20) << "the settings wait for Manual Restart";

        board->PressManualRestart();
        board->Advance(10ms);
        EXPECT_EQ(LitSupplies(*board), 0);
        EXPECT_EQ(LitResets(*board, 0) + LitResets(*board, 1), 0);
        for (int device : {0, 1})
            for (double v : SupplyVolts(*port, device)) EXPECT_NEAR(v, 0.0, 0.0011);
        EXPECT_EQ(port->ReadMain(2) & 0x0F, 0) << "POT rails that are off are not good";

        // One supply every interval: HMU0's in order, then HMU1's; a device's
        // resets one interval after its fifth supply.
        for (int position = 0; position < 20; ++position) {
            board->Advance(Design::kSupplyInterval);
            const int device = position / Design::kSupplies;
            const int supply = position % Design::kSupplies;
            const bool taking = position < c.supplies;
            SCOPED_TRACE(testing::Message() << "position " << position);
            EXPECT_EQ(LitSupplies(*board), taking ? position + 1 : c.supplies);
            EXPECT_EQ(board->SupplyLed(device, supply), taking);
            if (supply < Design::kMeasuredSupplies) {
                port->SetHmuIndex(device);
                EXPECT_NEAR(adc::MeasureVoltageRanged(*port, supply), taking ? board->Values(device).vmonVolts[supply] : 0.0,
                            0.0011);
            }
            const bool resetsDue = taking && supply >= Design::kResetsAfterSupply;
            EXPECT_EQ(LitResets(*board, device), resetsDue ? c.resetOutputs : 0);
        }
        EXPECT_EQ(board->Design().GetSequence(), Design::Sequence::Up);
        EXPECT_EQ(port->ReadMain(2) & 0x0F, c.rails ? 0x0F : 0x03);

        // POT3 turned out of its window: a fault only when its supply is on.
        board->SetPotVolts(2, 1.40);
        board->Advance(10ms);
        EXPECT_EQ(port->ReadMain(2) & 0x04, 0);
        if (!c.rails) {
            EXPECT_EQ(LitSupplies(*board), 10) << "POT3 takes no part with ten rails";
            continue;
        }
        EXPECT_EQ(LitSupplies(*board), 0);
        EXPECT_EQ(LitResets(*board, 0) + LitResets(*board, 1), 0);
        EXPECT_EQ(board->Design().GetStop(), Design::Stop::PotFault);
        EXPECT_EQ(board->Design().StopPot(), 2);
        for (int device : {0, 1})
            for (double v : SupplyVolts(*port, device)) EXPECT_NEAR(v, 0.0, 0.0011);

        // Restarted with POT3 still out: the sequence runs up to POT3's
        // supply (HMU1 supply 7) and stops at the next step.
        board->PressManualRestart();
        board->Advance(10ms + 17 * Design::kSupplyInterval);
        EXPECT_EQ(LitSupplies(*board), 17);
        board->Advance(10ms);
        EXPECT_EQ(LitSupplies(*board), 0);
        EXPECT_EQ(board->Design().StopPot(), 2);

        board->SetPotVolts(2, 1.2);
        board->PressManualRestart();
        board->Advance(10ms + 20 * Design::kSupplyInterval);
        EXPECT_EQ(port->ReadMain(2) & 0x0F, 0x0F);
    }
}

TEST_F(BoardTest, PushButtonShutsTheSuppliesDownUntilManualRestart)
{
    board->PressFaultButton();
    board->Advance(10ms);
    EXPECT_EQ(LitSupplies(*board), 0);
    EXPECT_EQ(board->Design().GetStop(), Design::Stop::FaultButton);
    board->Advance(5s);
    EXPECT_EQ(LitSupplies(*board), 0);
    board->PressManualRestart();
    board->Advance(10ms + 20 * Design::kSupplyInterval);
    EXPECT_EQ(LitSupplies(*board), 10) << "ten rails: the power-up rails field";
}

TEST_F(BoardTest, ThermalDemonstrationRunsThroughItsObservations)
{
    using Thermal = Design::Thermal;
    struct Case {
        const char* name;
        bool aimed;
        int warmFan, hotFan, wait, warmResponse, hotResponse;
        std::vector<Thermal> path;  // the states seen, in order, repeats removed
        int dcdc4Percent;           // at the end
        bool suppliesOn;            // at the end
    };
    const std::vector<Case> cases = {
        {"A: the fan at 75 % takes R203 back under warm", true, 3, 4, 0, 0, 3,
         {Thermal::Cooling, Thermal::Heating, Thermal::Warm, Thermal::Heating, Thermal::Warm, Thermal::Heating}, 0,
         true},
        {"B: at 50 % it stays warm, DC-DC4 -5 % after 3 s", true, 2, 4, 0, 0, 3,
         {Thermal::Cooling, Thermal::Heating, Thermal::Warm}, -5, true},
        {"B: -10 % after 5 s", true, 2, 4, 1, 1, 3, {Thermal::Cooling, Thermal::Heating, Thermal::Warm}, -10, true},
        {"C: at 25 % it gets hot, the fan speeds up and cools it", true, 1, 4, 1, 0, 3,
         {Thermal::Cooling, Thermal::Heating, Thermal::Warm, Thermal::Hot, Thermal::Heating, Thermal::Warm,
          Thermal::Hot, Thermal::Heating},
         0, true},
        {"D: the fan not aimed, warm for 5 s (B), still hot 5 s later: full shut-down", false, 1, 4, 1, 0, 3,
         {Thermal::Cooling, Thermal::Heating, Thermal::Warm, Thermal::Hot, Thermal::ShutDown}, -5, false},
        {"D: hot response -10 % after B's -5 %", false, 1, 4, 0, 0, 2,
         {Thermal::Cooling, Thermal::Heating, Thermal::Warm, Thermal::Hot}, -10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        board->SetFanAimed(c.aimed);

        // What the dialog does on opening: thresholds from the board
        // temperature (HMU1's internal sensor), then its settings, then Start.
        port->SetHmuIndex(1);
        const int t = static_cast<int>(tmon::ReadTemperature(*port, 2));
        const int warm = t + 2;
        const int hot = t + 4;
        port->SetHmuIndex(0);
        const tmon::ThresholdRegisters r =
            tmon::EncodeThresholds({tmon::CodeOfDegrees(warm), tmon::CodeOfDegrees(hot)}, 0, 0);
        port->WriteRegister(0x31, tmon::Config3Register(1), r.r3);
        port->WriteRegister(0x31, tmon::Config4Register(1), r.r4);
        port->WriteRegister(0x31, tmon::Config5Register(1), r.r5);
        port->UpdateConfiguration();
        WriteField(*port, demodesign::kWarmFanSpeed, c.warmFan);
        WriteField(*port, demodesign::kHotFanSpeed, c.hotFan);
        WriteField(*port, demodesign::kWait, c.wait);
        WriteField(*port, demodesign::kWarmResponse, c.warmResponse);
        WriteField(*port, demodesign::kHotResponse, c.hotResponse);
        WriteField(*port, demodesign::kThermalStarted, 1);
        board->Advance(10ms);
        EXPECT_FALSE(board->Design().HeaterOn()) << "fan on, heater off";
        EXPECT_EQ(board->Design().FanSpeed(), Design::kFanFull);

        std::vector<Thermal> path;
        double highest = -100.0;
        for (int tick = 0; tick < 600; ++tick) {  // one minute, read as the dialog's timer does
            board->Advance(100ms);
            const Thermal state = board->Design().GetThermal();
            if (path.empty() || path.back() != state) path.push_back(state);
            port->SetHmuIndex(0);
            const double r203 = tmon::ReadTemperature(*port, 1);
            if (path.size() > 1) highest = std::max(highest, r203);  // from the first heating on
            switch (state) {
            case Thermal::Heating:
                EXPECT_TRUE(board->Design().HeaterOn());
                EXPECT_EQ(board->Design().FanSpeed(), 0);
                break;
            case Thermal::Warm: EXPECT_EQ(board->Design().FanSpeed(), c.warmFan); break;
            case Thermal::Hot: EXPECT_EQ(board->Design().FanSpeed(), c.hotFan); break;
            default: break;
            }
            if (path.size() > c.path.size()) break;
        }
        if (path.size() > c.path.size()) path.resize(c.path.size());
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(board->Design().Dcdc4Percent(), c.dcdc4Percent);
        const bool reachedHot = std::find(c.path.begin(), c.path.end(), Thermal::Hot) != c.path.end();
        EXPECT_EQ(highest >= hot, reachedHot) << highest;

        // DC-DC4 as the chart measures it: its set point with the response.
        board->Advance(2s);
        port->SetHmuIndex(0);
        const double setPoint = trim::ReadCode(*port, 3) * 0.002;
        const double expected = c.suppliesOn ? setPoint * (1.0 + c.dcdc4Percent / 100.0) : 0.0;
        EXPECT_NEAR(adc::MeasureVoltage(*port, 3), expected, 0.0021);

        // Manual Restart turns the heater off and the fan to full, for the
        // wait at least.
        board->PressManualRestart();
        board->Advance(2900ms);
        EXPECT_EQ(board->Design().GetThermal(), Thermal::Cooling);
        EXPECT_FALSE(board->Design().HeaterOn());
        EXPECT_EQ(board->Design().FanSpeed(), Design::kFanFull);
        EXPECT_EQ(board->Design().Dcdc4Percent(), 0);

        // Done: the dialog clears Start; heater and fan stop.
        WriteField(*port, demodesign::kThermalStarted, 0);
        board->Advance(10ms);
        EXPECT_EQ(board->Design().GetThermal(), Thermal::Idle);
        EXPECT_EQ(board->Design().FanSpeed(), 0);
    }
}

TEST_F(BoardTest, MarginingMovesEveryTrimmedSupplyAndClockingIsShown)
{
    struct Case {
        int field;
        double factor;
    };
    const std::vector<Case> cases = {{1, 1.05}, {2, 0.95}, {3, 1.0}, {0, 1.0}};
    port->SetHmuIndex(0);
    trim::WriteTargetWord(*port, 0, 750);  // VMON1 targeted to 1.5 V: margined around the new set point
    board->Advance(2s);
    double before = 1.2;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "margin field " << c.field);
        WriteField(*port, demodesign::kMargin, c.field);
        board->Advance(100ms);
        port->SetHmuIndex(0);
        const double early = adc::MeasureVoltage(*port, 3);
        board->Advance(1s);
        struct Rail {
            int hmu, channel;
            double volts;
        };
        for (const Rail& rail : {Rail{0, 0, 1.5}, Rail{0, 3, 1.2}, Rail{1, 0, 1.65}, Rail{1, 3, 1.0}}) {
            port->SetHmuIndex(rail.hmu);
            EXPECT_NEAR(adc::MeasureVoltageRanged(*port, rail.channel), rail.volts * c.factor, 0.0021)
                << "HMU" << rail.hmu << " VMON" << rail.channel + 1;
        }
        port->SetHmuIndex(0);
        EXPECT_NEAR(adc::MeasureVoltage(*port, 4), 1.0, 0.0011) << "VMON5 is not trimmed";
        EXPECT_EQ(trim::ReadCode(*port, 3), 600) << "the target stays: the loop margins around it";
        const double goal = 1.2 * c.factor;
        if (goal != before) {
            EXPECT_GT((early - before) / (goal - before), 0.3) << "on its way after 100 ms: " << early;
            EXPECT_LT((early - before) / (goal - before), 0.8) << early;
        }
        before = goal;
        EXPECT_EQ(board->Design().MarginPercent(), static_cast<int>(std::lround((c.factor - 1.0) * 100)));
    }
    EXPECT_FALSE(board->Design().PhaseShifted());
    WriteField(*port, demodesign::kClocking, 1);
    board->Advance(10ms);
    EXPECT_TRUE(board->Design().PhaseShifted());
}

TEST_F(BoardTest, PotFaultIsLoggedByTheDeviceThatSeesItWhileFaultLoggingIsOn)
{
    struct Case {
        const char* name;
        int logging;        // register 1 bit 0
        bool thermal;       // the thermal demonstration runs
        std::function<void(CSimulatedBoard&)> fault;
        int hmu0Records, hmu1Records;  // added
        int bit;            // a record bit of the new record that is 1, -1 none
        int device;         // whose record
    };
    const std::vector<Case> cases = {
        {"POT1 turned low", 1, false, [](CSimulatedBoard& b) { b.SetPotVolts(0, 1.0); }, 1, 0,
         -1, 0},
        {"POT4 turned high", 1, false, [](CSimulatedBoard& b) { b.SetPotVolts(3, 1.4); }, 0, 1,
         faultlog::VmonBit(7, 1), 1},
        {"POT2 just over its window, under comparator B", 1, false,
         [](CSimulatedBoard& b) { b.SetPotVolts(1, 1.3205); }, 1, 0, faultlog::VmonBit(7, 0), 0},
        {"PB_SW3", 1, false, [](CSimulatedBoard& b) { b.PressFaultButton(); }, 1, 0, -1, 0},
        {"POT1 low, fault logging off", 0, false, [](CSimulatedBoard& b) { b.SetPotVolts(0, 1.0); }, 0, 0, -1, 0},
        {"POT3 low while the thermal demonstration runs", 1, true,
         [](CSimulatedBoard& b) { b.SetPotVolts(2, 1.0); }, 0, 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        WriteField(*port, demodesign::kRails, 1);
        WriteField(*port, demodesign::kFaultLogging, c.logging);
        WriteField(*port, demodesign::kThermalStarted, c.thermal ? 1 : 0);
        board->Advance(10ms);
        const int before0 = LogCount(*port, 0);
        const int before1 = LogCount(*port, 1);

        c.fault(*board);
        board->Advance(10ms);
        EXPECT_EQ(LitSupplies(*board), 0) << "shut down whether it is logged or not";
        board->Advance(1s);
        EXPECT_EQ(LogCount(*port, 0) - before0, c.hmu0Records);
        EXPECT_EQ(LogCount(*port, 1) - before1, c.hmu1Records);
        if (c.bit >= 0) {
            port->SetHmuIndex(c.device);
            const std::vector<faultlog::Record> records = FaultLogPort{*port}.Records();
            ASSERT_FALSE(records.empty());
            EXPECT_TRUE(faultlog::RecordBit(records.back(), c.bit));
        }
        if (c.logging && !c.thermal && c.hmu0Records) {
            port->SetHmuIndex(0);
            const faultlog::Record record = FaultLogPort{*port}.Records().back();
            EXPECT_TRUE(faultlog::RecordBit(record, faultlog::VmonBit(0, 0))) << "taken before the shut-down";
        }

        // The restart that follows logs nothing, however its rails go.
        board->SetPotVolts(0, 1.2);
        board->SetPotVolts(1, 1.22);
        board->SetPotVolts(2, 1.15);
        board->SetPotVolts(3, 1.25);
        board->PressManualRestart();
        board->Advance(10ms + 20 * Design::kSupplyInterval);
        EXPECT_EQ(LitSupplies(*board), 20);
        EXPECT_EQ(LogCount(*port, 0) - before0, c.hmu0Records);
        EXPECT_EQ(LogCount(*port, 1) - before1, c.hmu1Records);
    }
}

TEST_F(BoardTest, BoardFileSetsTheDesignTheFanAndR203)
{
    std::string error;
    ASSERT_TRUE(board->LoadText("main.reg1 = 0xD9      # twenty rails, three resets, fault logging\n"
                                "main.reg0 = 0x25      # thermal demonstration started, warm fan 25 %\n"
                                "main.supplies = 0\n"
                                "fan.aimed = 0\n"
                                "r203.rise = 20\n"
                                "r203.seconds = 10\n"
                                "fan.cooling = 0\n"
                                "fan.unaimed = 1\n"
                                "fan.seconds = 0.5\n",
                                error))
        << error;
    EXPECT_EQ(port->ReadMain(1), 0xD9);
    EXPECT_EQ(LitSupplies(*board), 0) << "powered up with everything off";
    EXPECT_EQ(port->ReadMain(2) & 0x0F, 0);
    EXPECT_FALSE(board->FanAimed());
    const ThermalSetup expected{20.0, 0.0, 1.0, 10.0, 0.5};
    EXPECT_EQ(board->GetThermalSetup(), expected);

    board->PressManualRestart();
    board->Advance(10ms + 20 * Design::kSupplyInterval);
    EXPECT_EQ(LitSupplies(*board), 20);
    EXPECT_EQ(LitResets(*board, 1), 3);
    EXPECT_EQ(LogCount(*port, 0), 2) << "nothing logged by the power-up or the sequence";

    struct Case {
        std::string line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"fan.unaimed = 1.5", "\"fan.unaimed\" must be 0 or more and 1 at most, found 1.5"},
        {"r203.seconds = 0", "\"r203.seconds\" must be above 0"},
        {"r203.rise = -1", "must be 0 or more"},
        {"fan.aimed = 2", "out of range"},
        {"fan.speed = 1", "unknown key \"fan.speed\""},
        {"main.reg4 = 1", "unknown key"},
        {"main.reg0 = 0x100", "out of range"},
        {"main.supplies = on", "is not a whole number"},
        {"main.reg0 = 1\nmain.present = 0", "the main device is not on the board"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(board->LoadText("fan.aimed = 1\n" + c.line + "\n", error, "demo.board"));
        EXPECT_EQ(error.rfind("demo.board, line 2: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_FALSE(board->FanAimed()) << "nothing of a bad file is applied";
        EXPECT_TRUE(port->ProbeMain());
    }
}
