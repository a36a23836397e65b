// The board's slower and less visible behaviours, through the register port
// over the simulated cable: pin levels, the trim loop on the board clock,
// fault capture, injected device faults, traffic outside a cable lock, and
// the board file keys that set them up.

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "BoardFixture.h"
#include "FaultLogPort.h"
#include "device/HmuCommands.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"
#include "link/CableLock.h"
#include "device/blocks/Adc.h"

using namespace std::chrono_literals;

namespace {

void WriteConfig(CTovin_I2C_Port& port, int reg, int value)
{
    port.WriteRegister(hmu::kCmdWriteConfig, reg, value);
}

void WriteOutputControl(CTovin_I2C_Port& port, int value)
{
    port.WriteRegister(hmu::kCmdWriteMonitor, ocb::kRegOutputControl, value);
}

// HVOUT k driven by the output control block from a signal.
void HvoutFromSignal(CTovin_I2C_Port& port, int k, int signal)
{
    hvout::OutputConfig config;
    config.source = hvout::kSourceOcb;
    WriteConfig(port, hvout::Config0Register(k), hvout::EncodeConfig(config).config0);
    const ocb::SignalField field = ocb::HvoutSignalField(k);
    WriteConfig(port, field.reg, ocb::WithSignal(0, field, signal));
}

void GpioDirections(CTovin_I2C_Port& port, const std::vector<int>& inputs)
{
    gpio::Directions directions{};
    for (int pin : inputs) directions[pin] = gpio::kInput;
    const auto registers = gpio::EncodeDirections(directions);
    for (int i = 0; i < gpio::kConfigRegisters; ++i) WriteConfig(port, gpio::kFirstConfigRegister + i, registers[i]);
}

void GpioSignal(CTovin_I2C_Port& port, int which, int signal)
{
    WriteConfig(port, ocb::GpioSignalField(which).reg, ocb::WithSignal(0, ocb::GpioSignalField(which), signal));
}

// Installs a cable context on the port for the test's lifetime, so that
// cable locks drive the simulated enable line.
struct PortCableContext : CCableContext {
    explicit PortCableContext(CTovin_I2C_Port& p) : port(p), previous(SetCableContext(this)) {}
    ~PortCableContext() override { SetCableContext(previous); }
    bool CableDemoMode() const override { return false; }
    CI2C_FTDI* CableLink() override { return &port.GetLink(); }
    CTovin_I2C_Port& port;
    CCableContext* previous;
};

}  // namespace

// HMU0 of the default board powers up with every pin an output driven by its
// interface logic at 0; HMU1 is identified as having no GPIO7.
TEST_F(BoardTest, PinLevelsFollowDirectionsAndSources)
{
    using gpio::kPinRecordHigh;
    struct Case {
        const char* name;
        int hmu;
        std::function<void(CSimulatedBoard&, CTovin_I2C_Port&)> set;
        bool update;
        uint8_t record2;  // bits 7..1: GPIO3..1, HVOUT4..1
        uint8_t record1;  // bits 6..0: GPIO10..4
    };
    const std::vector<Case> cases = {
        {"HVOUT3 on I2C, its bit set", 0,
         [](CSimulatedBoard&, CTovin_I2C_Port& p) {
             HvoutFromSignal(p, 2, ocb::kSignalI2c);
             WriteOutputControl(p, 1 << ocb::HvoutControlBit(2));
         },
         true, 0x08, 0x00},
        {"HVOUT3 on I2C, only the other bits set", 0,
         [](CSimulatedBoard&, CTovin_I2C_Port& p) {
             HvoutFromSignal(p, 2, ocb::kSignalI2c);
             WriteOutputControl(p, 0x3F & ~(1 << ocb::HvoutControlBit(2)));
         },
         true, 0x00, 0x00},
        {"HVOUT2 from HMU/IF", 0, [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetHvoutInterface(0, 1, true); },
         true, 0x04, 0x00},
        {"HVOUT1 set to I2C but not updated", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port& p) {
             b.SetHvoutInterface(0, 0, true);
             HvoutFromSignal(p, 0, ocb::kSignalI2c);
         },
         false, 0x02, 0x00},
        {"HVOUT1 set to I2C and updated", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port& p) {
             b.SetHvoutInterface(0, 0, true);
             HvoutFromSignal(p, 0, ocb::kSignalI2c);
         },
         true, 0x00, 0x00},
        {"HVOUT4 on VMON_4A (VMON4 above its lower threshold)", 0,
         [](CSimulatedBoard&, CTovin_I2C_Port& p) { HvoutFromSignal(p, 3, ocb::kSignalVmon4A); }, true, 0x10, 0x00},
        {"GPIO5 input high, GPIO6 input low", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port& p) {
             GpioDirections(p, {4, 5});
             b.SetGpioInput(0, 5, false);
             b.SetGpioInterface(0, 5, true);  // an input does not show what the logic would drive
         },
         true, 0x00, 0x02},
        {"GPIO9 output from the interface logic", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetGpioInterface(0, 8, true); }, true, 0x00, 0x20},
        {"GPIO3 output on I2C", 0,
         [](CSimulatedBoard&, CTovin_I2C_Port& p) {
             GpioSignal(p, 1, ocb::kSignalI2c);
             WriteOutputControl(p, 1 << ocb::GpioControlBit(1));
         },
         true, 0x80, 0x00},
        {"GPIO2 input ignores its control bit", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port& p) {
             GpioDirections(p, {1});
             GpioSignal(p, 0, ocb::kSignalI2c);
             WriteOutputControl(p, 1 << ocb::GpioControlBit(0));
             b.SetGpioInput(0, 1, false);
         },
         true, 0x00, 0x00},
        {"GPIO2 on signal GPIO5", 0,
         [](CSimulatedBoard& b, CTovin_I2C_Port& p) {
             GpioSignal(p, 0, 2);  // "GPIO5"
             b.SetGpioInterface(0, 4, true);
         },
         true, 0x40, 0x02},
        {"GPIO7 of a device without one", 1,
         [](CSimulatedBoard& b, CTovin_I2C_Port&) {
             b.SetGpioInterface(1, 6, true);
             b.SetGpioInterface(1, 7, true);
         },
         true, 0x00, 0x10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        port->SetHmuIndex(c.hmu);
        c.set(*board, *port);
        if (c.update) port->UpdateConfiguration();
        EXPECT_EQ(adc::ReadMonitorRecord(*port, kPinRecordHigh) & 0xFE, c.record2);
        EXPECT_EQ(adc::ReadMonitorRecord(*port, gpio::kPinRecordLow), c.record1);
        EXPECT_EQ(port->GetError(), 0);
    }
}

TEST_F(BoardTest, TrimTargetMovesTheRailOnTheBoardClock)
{
    struct Case {
        int hmu;
        int cell;
        int code;
    };
    // DC-DC4 of HMU0 from 1.2 V down to 1.1 V, VMON1 from 1.8 V to 1.5 V,
    // DC-DC8 of HMU1 from 1.0 V up to 2.0 V.
    const std::vector<Case> cases = {{0, 3, 550}, {0, 0, 750}, {1, 3, 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "HMU" << c.hmu << " cell " << c.cell + 1);
        SetUp();
        port->SetHmuIndex(c.hmu);
        const int high = trim::Profile0HighRegister(c.cell);
        Hmu(c.hmu).SetConfiguration(high, static_cast<uint8_t>(0xA0 | Hmu(c.hmu).PendingConfiguration(high)));
        const double from = adc::MeasureVoltageRanged(*port, c.cell);
        const double to = c.code * 0.002;

        trim::WriteTargetWord(*port, c.cell, static_cast<uint16_t>(c.code));
        EXPECT_EQ(trim::ReadCode(*port, c.cell), c.code) << "the code is in Profile0 at once";
        EXPECT_EQ(port->ReadRegister(hmu::kCmdReadConfig, high) & 0xF0, 0xA0) << "not part of the code";
        EXPECT_NEAR(adc::MeasureVoltageRanged(*port, c.cell), from, 0.0011) << "no board time has passed";

        board->Advance(100ms);
        const double early = adc::MeasureVoltageRanged(*port, c.cell);
        EXPECT_GT((early - from) / (to - from), 0.3) << early;
        EXPECT_LT((early - from) / (to - from), 0.9) << early;
        board->Advance(900ms);
        EXPECT_NEAR(adc::MeasureVoltageRanged(*port, c.cell), to, 0.0011) << "settled within one second";
        EXPECT_EQ(board->Now(), 1000ms);
        board->Advance(-5s);
        EXPECT_EQ(board->Now(), 1000ms);
    }
}

TEST_F(BoardTest, ComparatorGoingToItsFaultStateAppendsARecord)
{
    struct Case {
        const char* name;
        std::function<void(CSimulatedBoard&, CTovin_I2C_Port&)> change;
        int records;                  // in the log afterwards (the default board holds 2)
        std::vector<int> setBits;     // bits of the last record that are 1 ...
        std::vector<int> clearBits;   // ... and 0
    };
    const auto tmon1Thresholds = [](CTovin_I2C_Port& p, int degreesA) {
        const tmon::ThresholdRegisters r =
            tmon::EncodeThresholds({tmon::CodeOfDegrees(degreesA), tmon::CodeOfDegrees(50)}, 0, 0);
        WriteConfig(p, tmon::Config3Register(0), r.r3);
        WriteConfig(p, tmon::Config4Register(0), r.r4);
        WriteConfig(p, tmon::Config5Register(0), r.r5);
    };
    const std::vector<Case> cases = {
        {"POT1 falls under comparator A", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetPotVolts(0, 1.0); }, 3,
         {faultlog::VmonBit(5, 0), faultlog::VmonBit(7, 0)}, {faultlog::VmonBit(6, 0), faultlog::VmonBit(6, 1)}},
        {"HVMON rises over comparator B", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetVmon(0, 9, 6.0); }, 3,
         {faultlog::VmonBit(9, 0), faultlog::VmonBit(9, 1)}, {}},
        {"IMON1 over current", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetSenseCurrent(0, 0, 10.0); }, 3,
         {faultlog::ImonBit(0, 0)}, {}},
        {"TMON1 over temperature", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetTemperature(0, 0, 45.0); }, 3,
         {faultlog::TmonBit(0, 0)}, {faultlog::TmonBit(0, 1)}},
        {"TMON1 threshold updated under the temperature",
         [&](CSimulatedBoard&, CTovin_I2C_Port& p) {
             tmon1Thresholds(p, 30);
             p.UpdateConfiguration();
         },
         3, {faultlog::TmonBit(0, 0)}, {}},
        {"threshold written but not updated", [&](CSimulatedBoard&, CTovin_I2C_Port& p) { tmon1Thresholds(p, 30); },
         2, {}, {}},
        {"POT1 out and back: one record",
         [](CSimulatedBoard& b, CTovin_I2C_Port&) {
             b.SetPotVolts(0, 1.0);
             b.SetPotVolts(0, 1.2);
         },
         3, {}, {faultlog::VmonBit(6, 0)}},
        {"TMON2 cooling under its threshold is no fault",
         [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetTemperature(0, 1, 20.0); }, 2, {}, {}},
        {"pin levels of the moment",
         [](CSimulatedBoard& b, CTovin_I2C_Port&) {
             b.SetHvoutInterface(0, 3, true);
             b.SetGpioInterface(0, 9, true);
             b.SetPotVolts(1, 1.5);
         },
         3, {faultlog::HvoutBit(3), faultlog::GpioBit(9), faultlog::VmonBit(7, 1)},
         {faultlog::HvoutBit(0), faultlog::GpioBit(8)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.change(*board, *port);
        FaultLogPort log{*port};
        const std::vector<faultlog::Record> records = log.Records();
        ASSERT_EQ(static_cast<int>(records.size()), c.records);
        for (int bit : c.setBits) EXPECT_TRUE(faultlog::RecordBit(records.back(), bit)) << "bit " << bit;
        for (int bit : c.clearBits) EXPECT_FALSE(faultlog::RecordBit(records.back(), bit)) << "bit " << bit;
    }
}

TEST_F(BoardTest, FullLogKeepsSixteenAndEraseNeedsThePagesOrder)
{
    FaultLogPort log{*port};
    for (int i = 0; i < 20; ++i) {
        board->SetPotVolts(0, 1.0);
        board->SetPotVolts(0, 1.2);
    }
    EXPECT_EQ(log.Status(), (std::vector<uint8_t>{0x00, faultlog::kStatus1Full}));
    EXPECT_EQ(log.Records().size(), 16u);

    struct Case {
        const char* name;
        std::function<void(FaultLogPort&)> sequence;
        bool erased;
    };
    const std::vector<uint8_t> code = {faultlog::kUnlockFirst, faultlog::kUnlockSecond};
    const std::vector<Case> cases = {
        {"log opened before the unlock",
         [&](FaultLogPort& l) {
             l.SetReadEnable(true);
             l.Send(faultlog::kCmdUnlock, code);
             l.Send(faultlog::kCmdErase);
         },
         false},
        {"unlocked, log never opened",
         [&](FaultLogPort& l) {
             l.Send(faultlog::kCmdUnlock, code);
             l.Send(faultlog::kCmdErase);
         },
         false},
        {"log closed again before the erase",
         [&](FaultLogPort& l) {
             l.Send(faultlog::kCmdUnlock, code);
             l.SetReadEnable(true);
             l.SetReadEnable(false);
             l.Send(faultlog::kCmdErase);
         },
         false},
        {"the page's sequence", [](FaultLogPort& l) { l.EraseAll(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.sequence(log);
        log.Send(faultlog::kCmdEndErase);
        EXPECT_EQ(log.Count(), c.erased ? 0 : 16);
    }
    board->SetPotVolts(1, 0.5);
    EXPECT_EQ(log.Count(), 1) << "an erased log logs again";
}

TEST_F(BoardTest, InjectedDeviceFaultsGiveThePortsFailureValues)
{
    struct Case {
        const char* name;
        HmuFault fault;
        int times;
        int command;
        std::function<double(CTovin_I2C_Port&)> op;
        double result;
        int error;
        uint8_t address;  // address byte counted on the bus, 0 = not counted
        int addressCount;
    };
    const auto readConfig = [](CTovin_I2C_Port& p) { return p.ReadRegister(hmu::kCmdReadConfig, 0x34); };
    const auto updateThenRead = [](CTovin_I2C_Port& p) {
        p.UpdateConfiguration();
        return p.ReadRegister(hmu::kCmdReadConfig, 0x34);
    };
    const auto writeThenRead = [](CTovin_I2C_Port& p) {
        p.WriteRegister(hmu::kCmdWriteConfig, 0x34, 0xA5);
        return p.ReadRegister(hmu::kCmdReadConfig, 0x34);
    };
    const auto enable = [](CTovin_I2C_Port& p) { return FaultLogPort{p}.SetReadEnable(true) ? 1.0 : 0.0; };
    const auto records = [](CTovin_I2C_Port& p) { return static_cast<double>(FaultLogPort{p}.Records().size()); };
    const auto erase = [](CTovin_I2C_Port& p) {
        FaultLogPort log{p};
        log.EraseAll();
        return log.Count();
    };
    const auto measureTwice = [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 6) * 10 + adc::MeasureVoltage(p, 6); };
    const int any = CHmuDevice::kAnyCommand;
    const int always = CHmuDevice::kAlways;
    const std::vector<Case> cases = {
        {"address never acknowledged", HmuFault::AddressNack, always, any, readConfig, 0, 0, 0xC0, 5},
        {"address refused 4 times", HmuFault::AddressNack, 4, any, readConfig, 0x5A, 0, 0xC0, 5},
        {"update address refused", HmuFault::AddressNack, always, any, updateThenRead, 0, 1, 0xC0, 10},
        {"command never acknowledged", HmuFault::CommandNack, always, any, readConfig, 0, 0, 0xC0, 5},
        {"command refused twice", HmuFault::CommandNack, 2, any, readConfig, 0x5A, 0, 0xC0, 3},
        {"update command refused", HmuFault::CommandNack, always, hmu::kCmdUpdate, updateThenRead, 0x5A, 1, 0xC0, 6},
        {"data never acknowledged", HmuFault::DataNack, always, any, writeThenRead, 0x5A, 0, 0, 0},
        {"data of another command refused", HmuFault::DataNack, always, hmu::kCmdWriteMonitor, writeThenRead, 0xA5,
         0, 0, 0},
        {"READ_FAULT_ENABLE answers wrong", HmuFault::WrongEnableAnswer, always, any, enable, 0, 0, 0, 0},
        {"READ_FAULT_ENABLE answers wrong twice", HmuFault::WrongEnableAnswer, 2, any, enable, 1, 0, 0, 0},
        {"records unread while it answers wrong", HmuFault::WrongEnableAnswer, always, any, records, 0, 0, 0, 0},
        {"no erase while it answers wrong", HmuFault::WrongEnableAnswer, always, any, erase, 2, 0, 0, 0},
        {"conversion never ready", HmuFault::ConversionNeverReady, always, any, measureTwice, 0, 0, 0xC1, 12},
        {"one conversion never ready", HmuFault::ConversionNeverReady, 1, any, measureTwice, 1.2, 0, 0xC1, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Hmu(0).SetConfiguration(0x34, 0x5A);
        Hmu(0).InjectFault(c.fault, c.times, c.command);
        Driver().ResetCounters();
        EXPECT_NEAR(c.op(*port), c.result, 0.0011);
        EXPECT_EQ(port->GetError(), c.error);
        if (c.address != 0) {
            EXPECT_EQ(Driver().AddressCount(c.address), c.addressCount);
        }
    }
}

TEST_F(BoardTest, TrafficOutsideACableLockIsCounted)
{
    PortCableContext context(*port);
    struct Case {
        const char* name;
        std::function<void(CTovin_I2C_Port&)> op;
        uint64_t transactions;  // when run outside a lock
    };
    const std::vector<Case> cases = {
        {"register read", [](CTovin_I2C_Port& p) { p.ReadRegister(hmu::kCmdReadConfig, 0x34); }, 1},
        {"masked write and update", [](CTovin_I2C_Port& p) { p.MaskedWrite(23, 1, 0xC0); p.UpdateConfiguration(); }, 2},
        {"main device read", [](CTovin_I2C_Port& p) { p.ReadMain(1); }, 2},
        {"measurement", [](CTovin_I2C_Port& p) { adc::MeasureVoltage(p, 6); }, 3},
        {"probe takes its own lock", [](CTovin_I2C_Port& p) { p.ProbeHmu(0); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Driver().ResetCounters();
        {
            CCableLock lock;
            c.op(*port);
        }
        EXPECT_EQ(Driver().Counters().transactionsWithEnableLow, 0u);
        c.op(*port);
        EXPECT_EQ(Driver().Counters().transactionsWithEnableLow, c.transactions);
    }
}

TEST_F(BoardTest, ConversionAndRecordSelectReadAsWritten)
{
    const uint8_t low = hmu::kRegAdcLow;
    for (int poll = 0; poll < 3; ++poll)
        EXPECT_EQ(port->ReadRegister(hmu::kCmdReadMonitor, low) & hmu::kAdcDone, 0) << "no conversion started";
    port->WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegAdcMux, 6);
    EXPECT_EQ(port->ReadRegister(hmu::kCmdReadMonitor, low) & hmu::kAdcDone, hmu::kAdcDone);

    port->WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegMonitorSelect, 0x35);
    EXPECT_EQ(port->ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorSelect), 0x35 | hmu::kRecordReady);
    EXPECT_EQ(port->ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorRecord), 0xAA) << "record 5";
}

TEST_F(BoardTest, BoardFileSetsPinsRegistersFaultLogAndFaults)
{
    const std::string text =
        "hmu0.config.99 = 0x01          # GPIO5 an input ...\n"
        "hmu0.gpio5.input = 0           # ... held low\n"
        "hmu0.gpio9.hmuif = 1\n"
        "hmu0.hvout2.hmuif = 1\n"
        "hmu0.outputcontrol = 0x3C\n"
        "hmu0.faultlog.invalid = 1\n"
        "hmu0.nack.command.0x35 = always\n"
        "hmu1.faultlog.erase = 1\n"
        "hmu1.faultlog.record = 00 00 00 00 00 02 00\n"
        "hmu1.faultlog.record = 0x00 0x7F 0 0 0 0 0\n"
        "hmu1.fault.conversion = 1\n"
        "pot3 = 1.0                     # a fault at power-up is not logged\n";
    std::string error;
    ASSERT_TRUE(board->LoadText(text, error)) << error;

    FaultLogPort log{*port};
    EXPECT_EQ(adc::ReadMonitorRecord(*port, gpio::kPinRecordLow), 0x20) << "GPIO5 low, GPIO9 high";
    EXPECT_EQ(adc::ReadMonitorRecord(*port, gpio::kPinRecordHigh) & 0xFE, 0x04) << "HVOUT2";
    EXPECT_EQ(port->ReadRegister(hmu::kCmdReadMonitor, ocb::kRegOutputControl), 0x3C);
    EXPECT_EQ(log.Status(), (std::vector<uint8_t>{0x00, 0x82}));
    EXPECT_EQ(log.Count(), 0) << "an invalid log reads as empty";
    port->UpdateConfiguration();
    EXPECT_EQ(port->GetError(), 1);
    port->ClearError();
    EXPECT_TRUE(log.EraseAll());
    EXPECT_EQ(log.Status(), (std::vector<uint8_t>{0x00, 0x00})) << "an erase makes the log valid";

    port->SetHmuIndex(1);
    const std::vector<faultlog::Record> expected = {{0, 0, 0, 0, 0, 0x02, 0}, {0, 0x7F, 0, 0, 0, 0, 0}};
    EXPECT_EQ(log.Records(), expected);
    EXPECT_EQ(adc::MeasureVoltage(*port, 6), 0.0f);
    EXPECT_NEAR(adc::MeasureVoltage(*port, 6), 1.0, 0.0011);
}

TEST_F(BoardTest, BadNewBoardFileKeysChangeNothing)
{
    struct Case {
        std::string line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"hmu0.gpio11.input = 1", "unknown key \"hmu0.gpio11.input\""},
        {"hmu0.gpio1.input = 2", "out of range"},
        {"hmu0.gpio1.level = 1", "unknown key"},
        {"hmu0.hvout5.hmuif = 1", "unknown key"},
        {"hmu0.config.103 = 1", "configuration registers are 0 to 102"},
        {"hmu0.config.5 = 0x100", "out of range"},
        {"hmu0.faultlog.record = 00 00 00 00 00 02", "is not a fault record"},
        {"hmu0.faultlog.record = 00 00 00 00 00 02 00 00", "is not a fault record"},
        {"hmu0.faultlog.record = 00 00 00 00 00 0G 00", "is not a fault record"},
        {"hmu0.nack.address = sometimes", "is not a count"},
        {"hmu0.nack.command.0x100 = 1", "unknown key"},
        {"hmu3.nack.address = always", "hmu3 is not on the board"},
        {"hmu1.fault.readenable = 1\nhmu1.present = 0", "hmu1 is not on the board"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text = "hmu0.vmon1 = 0.5\nhmu0.nack.address = always\n# comment\n" + c.line + "\n";
        std::string error;
        EXPECT_FALSE(board->LoadText(text, error, "my.board"));
        EXPECT_NE(error.find("my.board, line 4: "), std::string::npos) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(port->ProbeHmu(0)) << "the address fault of line 2 is not applied";
        EXPECT_EQ(board->Values(0).vmonVolts[0], 1.8);
    }
    std::string records;
    for (int i = 0; i < 17; ++i) records += "hmu0.faultlog.record = 0 0 0 0 0 0 0\n";
    std::string error;
    EXPECT_FALSE(board->LoadText(records, error));
    EXPECT_NE(error.find("line 15: a fault log holds 16 records at most"), std::string::npos) << error
        << " (the board's two and fourteen more)";
}

TEST(BoardFileHelp, TheReadmeShowsTheBoardFileKeys)
{
    std::ifstream readme(std::string(ZENT2_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << readme.rdbuf();
    const std::string help(CSimulatedBoard::BoardFileHelp());
    std::istringstream lines(help);
    std::string line;
    int keys = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("  hmuN.", 0) == 0 || line.rfind("  pot1", 0) == 0 || line.rfind("  main.", 0) == 0) ++keys;
        EXPECT_NE(text.str().find(line), std::string::npos) << "README lacks: " << line;
    }
    EXPECT_GT(keys, 25);
}
