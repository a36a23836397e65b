// The simulated HMU device as the register port sees it over the simulated
// cable: configuration and update, comparators, conversions, retries, the
// fault log and the exact bus transactions.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BoardFixture.h"
#include "FaultLogPort.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"

namespace {

using Written = std::pair<int, uint8_t>;  // a register written and its value

bool RecordBit(CTovin_I2C_Port& port, int select, int bit)
{
    return (adc::ReadMonitorRecord(port, select) >> bit) & 1;
}

bool StatBit(CTovin_I2C_Port& port, int reg, int bit)
{
    return (port.ReadRegister(0x52, reg) >> bit) & 1;
}

// One VMON comparator's threshold, packed by hand as the voltage page does.
Written WriteVmon(CTovin_I2C_Port& port, int channel, int k, int coarse, int fine)
{
    const int config0 = 22 + 3 * channel;
    if (k == 0) {
        port.WriteRegister(0x31, config0, (fine & 3) << 6);
        port.MaskedWrite(config0 + 1, (fine >> 2) & 0x0F, 0xC0);
        port.WriteRegister(0x31, config0 + 2, coarse << 4);
        return {config0 + 2, static_cast<uint8_t>(coarse << 4)};
    }
    port.WriteRegister(0x31, config0, fine & 0x3F);
    port.WriteRegister(0x31, config0 + 2, coarse & 0x0F);
    return {config0 + 2, static_cast<uint8_t>(coarse & 0x0F)};
}

// Temperature thresholds A and B (degrees) into R3, R4, R5 of monitor t.
Written WriteTmon(CTovin_I2C_Port& port, int t, int degreesA, int degreesB)
{
    const int a = degreesA & 0x1FF;
    const int b = degreesB & 0x1FF;
    const int r3 = 59 + 9 * t;
    port.WriteRegister(0x31, r3, (a >> 2) << 1);
    port.WriteRegister(0x31, r3 + 1, ((b >> 3) << 2) | (a & 3));
    port.WriteRegister(0x31, r3 + 2, b & 7);
    return {r3 + 1, static_cast<uint8_t>(((b >> 3) << 2) | (a & 3))};
}

Written WriteTrip(CTovin_I2C_Port& port, int monitor, int value)
{
    imon::WriteSenseRange(port, monitor, value);
    return {monitor ? 0x37 : 0x35, static_cast<uint8_t>(value)};
}

struct ThresholdCase {
    const char* name;
    int hmu;
    std::function<void(CSimulatedBoard&)> setup;
    // Puts the threshold below (false) or above (true) the input's value.
    std::function<Written(CTovin_I2C_Port&, bool above)> write;
    std::function<bool(CTovin_I2C_Port&)> comparator;
};

}  // namespace

// Values of the default board: HMU0 VMON1 1.8 V, VMON7 1.2 V, VMON9 0.75 V,
// HVMON 5 V; IMON1 20 mV, HIMON1 25 mV of sense voltage; TMON2 42.5 degrees,
// internal 38.25. Table thresholds: range 1 over-voltage row 0 columns 2..5
// are 1.128, 1.342, 1.591, 1.899 V, column 0 row 30 0.669 V, column 1 row 0
// 0.948 V; range 2 row 0 columns 4 and 6 are 4.431 and 6.171 V.
TEST_F(BoardTest, ThresholdsTakeEffectOnlyAfterTheUpdate)
{
    const std::vector<ThresholdCase> cases = {
        {"VMON1 A", 0, nullptr,
         [](CTovin_I2C_Port& p, bool up) { return WriteVmon(p, 0, 0, up ? 5 : 4, 0); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 5, 1); }},
        {"VMON7 A", 0, nullptr,
         [](CTovin_I2C_Port& p, bool up) { return WriteVmon(p, 6, 0, up ? 3 : 2, 0); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 4, 5); }},
        {"VMON9 B", 0, nullptr,
         [](CTovin_I2C_Port& p, bool up) { return up ? WriteVmon(p, 8, 1, 1, 0) : WriteVmon(p, 8, 1, 0, 30); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 3, 2); }},
        {"HVMON B", 0, nullptr,
         [](CTovin_I2C_Port& p, bool up) { return WriteVmon(p, 9, 1, up ? 6 : 4, 0); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 3, 4); }},
        // Trip points: 0x04 = A 15 mV, 0x48 = A 40 mV; 0x01 = B 15 mV, 0x12 = B 40 mV.
        {"IMON1 A", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTrip(p, 0, up ? 0x48 : 0x04); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 3, 7); }},
        {"IMON1 B", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTrip(p, 0, up ? 0x12 : 0x01); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 2, 0); }},
        // 0x44 = A 20 mV, 0x08 = A 30 mV; 0x11 = B 20 mV, 0x21 = B 28 mV.
        {"HIMON1 A", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTrip(p, 1, up ? 0x08 : 0x44); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 3, 5); }},
        {"HIMON1 B", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTrip(p, 1, up ? 0x21 : 0x11); },
         [](CTovin_I2C_Port& p) { return RecordBit(p, 3, 6); }},
        {"TMON2 A", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTmon(p, 1, up ? 45 : 40, 100); },
         [](CTovin_I2C_Port& p) { return StatBit(p, 0x86, 1); }},
        {"TMON int B", 0, nullptr, [](CTovin_I2C_Port& p, bool up) { return WriteTmon(p, 2, 100, up ? 50 : 30); },
         [](CTovin_I2C_Port& p) { return StatBit(p, 0x87, 2); }},
        {"TMON1 A below zero", 1, [](CSimulatedBoard& b) { b.SetTemperature(1, 0, -10.0); },
         [](CTovin_I2C_Port& p, bool up) { return WriteTmon(p, 0, up ? -5 : -20, 100); },
         [](CTovin_I2C_Port& p) { return StatBit(p, 0x86, 0); }},
    };
    for (const ThresholdCase& c : cases) {
        SCOPED_TRACE(c.name);
        port->SetHmuIndex(c.hmu);
        if (c.setup) c.setup(*board);
        c.write(*port, false);
        port->UpdateConfiguration();
        EXPECT_TRUE(c.comparator(*port)) << "threshold below the input";

        const auto [reg, value] = c.write(*port, true);
        EXPECT_TRUE(c.comparator(*port)) << "written, not yet applied";
        EXPECT_EQ(port->ReadRegister(0x33, reg), value) << "a read shows the written value";
        port->UpdateConfiguration();
        EXPECT_FALSE(c.comparator(*port)) << "applied";

        c.write(*port, false);
        EXPECT_FALSE(c.comparator(*port));
        port->UpdateConfiguration();
        EXPECT_TRUE(c.comparator(*port));
        EXPECT_EQ(port->GetError(), 0);
    }
}

TEST_F(BoardTest, DefaultBoardRecordsShowRailsAboveUnderVoltageAndBelowOverVoltage)
{
    // Every A comparator sits under its rail, every B over it; IMON and HIMON B
    // see current flowing, TMON2 and the internal sensor are above threshold A.
    const std::vector<std::pair<int, int>> records = {{5, 0xAA}, {4, 0xAA}, {3, 0x4A}, {2, 0x01}};
    for (const auto& [select, expected] : records)
        EXPECT_EQ(adc::ReadMonitorRecord(*port, select), expected) << "select " << select;
    EXPECT_EQ(port->ReadRegister(0x52, 0x86), 0x06);
    EXPECT_EQ(port->ReadRegister(0x52, 0x87), 0x00);
}

TEST_F(BoardTest, MeasurementsGiveTheBoardsValues)
{
    struct Case {
        const char* name;
        std::function<void(CSimulatedBoard&, CTovin_I2C_Port&)> setup;
        std::function<float(CTovin_I2C_Port&)> measure;
        double volts;
        int muxAfter;  // ADC MUX at the end, -1 = not checked
    };
    const auto gain = [](int hmuReg, int value) {
        return [hmuReg, value](CSimulatedBoard&, CTovin_I2C_Port& p) {
            p.WriteRegister(0x31, hmuReg, value);
            p.UpdateConfiguration();
        };
    };
    const std::vector<Case> cases = {
        {"VMON7", nullptr, [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 6); }, 1.200, 6},
        {"VMON4 changed", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetVmon(0, 3, 0.734); },
         [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 3); }, 0.734, 3},
        {"VMON3 above full scale", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetVmon(0, 2, 3.0); },
         [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 2); }, 2.046, 2},
        {"IMON1 gain 100", gain(0x35, 0x00), [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 0); }, 2.0, 0x10},
        {"IMON1 gain 50", gain(0x35, 0x04), [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 0); }, 1.0, 0x10},
        {"IMON1 gain 25", gain(0x35, 0x08), [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 0); }, 0.5, 0x10},
        {"IMON1 gain 10", gain(0x35, 0x0C), [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 0); }, 0.2, 0x10},
        {"IMON1 gain of a pending write", [](CSimulatedBoard&, CTovin_I2C_Port& p) { imon::WriteSenseRange(p, 0, 0x00); },
         [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 0); }, 1.0, 0x10},  // default range A = 1: gain 50
        {"HIMON1 gain 10", gain(0x37, 0x0C), [](CTovin_I2C_Port& p) { return adc::MeasureVoltage(p, 1); }, 0.25, 0x13},
        {"ranged VMON1", nullptr, [](CTovin_I2C_Port& p) { return adc::MeasureVoltageRanged(p, 0); }, 1.8, 0x00},
        {"ranged HVMON 5 V through the attenuator", nullptr,
         [](CTovin_I2C_Port& p) { return adc::MeasureVoltageRanged(p, 9); }, 5.0 / 8, 0x89},
        {"ranged HVMON 20 V stays full scale", [](CSimulatedBoard& b, CTovin_I2C_Port&) { b.SetVmon(0, 9, 20.0); },
         [](CTovin_I2C_Port& p) { return adc::MeasureVoltageRanged(p, 9); }, 2.046, 0x89},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();  // a fresh board for each case
        if (c.setup) c.setup(*board, *port);
        EXPECT_NEAR(c.measure(*port), c.volts, 0.0011);
        if (c.muxAfter >= 0) {
            EXPECT_EQ(Hmu(0).MonitorRegister(0), c.muxAfter);
        }
    }
}

TEST_F(BoardTest, LateConversionReadsZero)
{
    // Ready within the first three polls counts; at the fourth or later it does not.
    const std::vector<std::pair<int, double>> cases = {{0, 1.2}, {1, 1.2}, {3, 1.2}, {4, 0.0}, {5, 0.0}, {9, 0.0}};
    for (const auto& [readyAfter, volts] : cases) {
        SCOPED_TRACE(readyAfter);
        Hmu(0).SetAdcReadyAfterPolls(readyAfter);
        Driver().ResetCounters();
        EXPECT_NEAR(adc::MeasureVoltage(*port, 6), volts, 0.0011);
        const int polls = std::min(std::max(readyAfter, 1), 5);
        EXPECT_EQ(Driver().AddressCount(0xC1), polls + 1) << "polls of ADC value Low, then ADC value High";
    }
}

TEST_F(BoardTest, MonitorSelectShowsReadyAfterTheConfiguredPolls)
{
    for (int readyAfter : {0, 1, 3}) {
        Hmu(0).SetRecordReadyAfterPolls(readyAfter);
        port->WriteRegister(0x51, 7, 3);
        for (int poll = 1; poll <= 3; ++poll)
            EXPECT_EQ(port->ReadRegister(0x52, 7), poll >= readyAfter ? 0x83 : 0x03)
                << "ready after " << readyAfter << ", poll " << poll;
    }
}

TEST_F(BoardTest, PortReadsIdentityTrimAndRangeOfEachDevice)
{
    for (int n : {0, 1}) {
        SCOPED_TRACE(n);
        port->SetHmuIndex(n);
        uint8_t raw = 0;
        const int figure = imon::ReadSenseRange(*port, 0, &raw);
        EXPECT_EQ(raw, Hmu(n).PendingConfiguration(0x35));
        EXPECT_EQ(figure, imon::SenseRangeFigure(raw));
        EXPECT_EQ(trim::ReadCode(*port, 3), n == 0 ? 600 : 500) << "DC-DC set point, 2 mV a code";
        EXPECT_EQ(port->ReadRegister(0x02, -1), n == 0 ? 0x8A : 0x88);
        EXPECT_EQ(signature::Read(*port), board->Values(n).signature);
    }
    board->Hmu(0)->SetSignature(0x0807060504030201ull);
    port->SetHmuIndex(0);
    EXPECT_EQ(signature::Read(*port), 0x0807060504030201ull);

    trim::WriteTargetWord(*port, 1, 0x1234);
    EXPECT_EQ(Hmu(0).TrimTarget(1), 0x1234);
    uint8_t echo[2] = {};
    ASSERT_TRUE(port->BeginCommand(0x42, -1));
    ASSERT_TRUE(port->ReadBytes(echo, 2));
    EXPECT_EQ(echo[0], 0x34);
    EXPECT_EQ(echo[1], 0x12);
}

TEST_F(BoardTest, TemperaturesReadBackInQuarterDegrees)
{
    const std::vector<std::pair<double, float>> cases = {
        {35.0, 35.0f}, {-12.25, -12.25f}, {0.0, 0.0f}, {125.75, 125.75f}, {-40.0, -40.0f}, {41.6, 41.5f}, {200.0, 160.0f}};
    int t = 0;
    for (const auto& [celsius, shown] : cases) {
        board->SetTemperature(0, t, celsius);
        EXPECT_EQ(tmon::ReadTemperature(*port, t), shown) << celsius << " on monitor " << t;
        t = (t + 1) % 3;
    }
}

TEST_F(BoardTest, RetriesReachADeviceThatAnswersLateAndGiveUpAfterFive)
{
    struct Case {
        const char* name;
        uint8_t address;
        int nacks;
        std::function<int(CTovin_I2C_Port&)> op;
        int value;
        int error;
    };
    const auto readConfig = [](CTovin_I2C_Port& p) { return p.ReadRegister(0x33, 0x34); };
    const std::vector<Case> cases = {
        {"command refused 4 times", 0xC0, 4, readConfig, 0x5A, 0},
        {"read phase refused 4 times", 0xC1, 4, readConfig, 0x5A, 0},
        {"HMU never answers", 0xC0, CSimulatedFtdiDriver::kAlways, readConfig, 0, 0},
        {"main refused 4 times", 0x40, 4, [](CTovin_I2C_Port& p) { return p.ReadMain(3); }, 0x03, 0},
        {"main never answers", 0x40, CSimulatedFtdiDriver::kAlways, [](CTovin_I2C_Port& p) { return p.ReadMain(3); }, 0, 1},
        {"update never answered", 0xC0, CSimulatedFtdiDriver::kAlways,
         [](CTovin_I2C_Port& p) { p.UpdateConfiguration(); return 0; }, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Hmu(0).SetConfiguration(0x34, 0x5A);
        port->ClearError();
        Driver().ResetCounters();
        Driver().InjectAddressNack(c.address, c.nacks);
        EXPECT_EQ(c.op(*port), c.value);
        EXPECT_EQ(Driver().AddressCount(c.address), 5);
        EXPECT_EQ(port->GetError(), c.error);
        Driver().InjectAddressNack(c.address, 0);
    }
}

TEST_F(BoardTest, MaskedWriteKeepsTheMaskedBits)
{
    struct Case {
        uint8_t old, mask, value, expected;
    };
    const std::vector<Case> cases = {
        {0xFF, 0xC0, 0x00, 0xC0}, {0x00, 0xC0, 0xFF, 0x3F}, {0x5A, 0x0F, 0xC3, 0xCA},
        {0xA5, 0x00, 0x3C, 0x3C}, {0xA5, 0xFF, 0x3C, 0xA5},
    };
    for (const Case& c : cases) {
        port->WriteRegister(0x31, 23, c.old);
        port->MaskedWrite(23, c.value, c.mask);
        EXPECT_EQ(port->ReadRegister(0x33, 23), c.expected)
            << std::hex << int(c.old) << " mask " << int(c.mask) << " value " << int(c.value);
    }
}

TEST_F(BoardTest, RegistersAndCommandsTheDeviceDoesNotHave)
{
    port->WriteRegister(0x31, 103, 0x55);
    EXPECT_EQ(port->ReadRegister(0x33, 103), 0);
    EXPECT_EQ(port->ReadRegister(0x52, 0x50), 0);
    const uint8_t high = port->ReadRegister(0x52, 2);
    port->WriteRegister(0x51, 2, high ^ 0xFF);
    EXPECT_EQ(port->ReadRegister(0x52, 2), high) << "ADC value High is read-only";
    EXPECT_EQ(port->ReadRegister(0x25, 0x78), 0) << "no ninth signature byte";

    uint8_t reply = 0xEE;
    EXPECT_TRUE(port->BeginCommand(0x99, 0x01)) << "unknown commands are acknowledged";
    EXPECT_TRUE(port->ReadBytes(&reply, 1));
    EXPECT_EQ(reply, 0);
    EXPECT_EQ(port->ReadRegister(0x33, 0x34), Hmu(0).PendingConfiguration(0x34)) << "still in step";
}

TEST_F(BoardTest, TransactionsOnTheBus)
{
    Hmu(0).SetConfiguration(0x34, 0x5A);
    struct Case {
        std::function<void(CTovin_I2C_Port&)> op;
        std::string log;
    };
    const std::vector<Case> cases = {
        {[](CTovin_I2C_Port& p) { p.ReadRegister(0x33, 0x34); }, "S C0 A 33 A 34 A Sr C1 A 5A N P"},
        {[](CTovin_I2C_Port& p) { p.WriteRegister(0x31, 0x20, 0x7E); }, "S C0 A 31 A 20 A 7E A P"},
        {[](CTovin_I2C_Port& p) { p.MaskedWrite(0x17, 0x05, 0xC0); }, "S C0 A 32 A 17 A C0 A 05 A P"},
        {[](CTovin_I2C_Port& p) { p.UpdateConfiguration(); }, "S C0 A 35 A P"},
        {[](CTovin_I2C_Port& p) { p.SetHmuIndex(1); p.ReadRegister(0x02, -1); p.SetHmuIndex(0); },
         "S C2 A 02 A Sr C3 A 88 N P"},
        {[](CTovin_I2C_Port& p) { p.ReadMain(1); }, "S 40 A 01 A P S 41 A C1 N P"},
        {[](CTovin_I2C_Port& p) { p.WriteMain(0, 0x5D); }, "S 40 A 00 A 5D A P"},
    };
    for (const Case& c : cases) {
        Driver().ClearEventLog();
        c.op(*port);
        EXPECT_EQ(Driver().EventLog(), c.log);
    }
}

TEST_F(BoardTest, FaultLogStatusCountsRecords)
{
    FaultLogPort log{*port};
    const std::vector<std::pair<int, std::vector<uint8_t>>> cases = {
        {0, {0x00, 0x00}}, {2, {0x00, 0x02}}, {15, {0x00, 0x0F}}, {16, {0x00, 0x10}}};
    for (const auto& [count, status] : cases) {
        Hmu(0).ClearFaultRecords();
        for (int i = 0; i < count; ++i) ASSERT_TRUE(Hmu(0).AddFaultRecord({}));
        EXPECT_EQ(log.Read(faultlog::kCmdStatus, -1, 2), status) << count << " records";
    }
    EXPECT_FALSE(Hmu(0).AddFaultRecord({})) << "no seventeenth record";
}

TEST_F(BoardTest, FaultRecordsAreReadableOnlyWhileEnabled)
{
    FaultLogPort log{*port};
    ASSERT_EQ(log.Count(), 2);
    std::vector<uint8_t> stored;
    for (const faultlog::Record& r : Hmu(0).FaultRecords()) stored.insert(stored.end(), r.begin(), r.end());

    EXPECT_EQ(log.Read(faultlog::kCmdReadRecords, -1, 14), std::vector<uint8_t>(14, 0)) << "not enabled";
    const std::vector<std::pair<int, uint8_t>> handshakes = {{0xB7, 0xF0}, {0x12, 0x00}, {0x00, 0x00}, {0xB7, 0xF0}};
    for (const auto& [operand, answer] : handshakes)
        EXPECT_EQ(log.Read(faultlog::kCmdReadEnable, operand, 1), std::vector<uint8_t>{answer}) << operand;
    EXPECT_EQ(log.Read(faultlog::kCmdReadRecords, -1, 14), stored);

    // The first default fault is POT1 (VMON7 A) under its trip point, the second
    // TMON2 above both thresholds.
    const faultlog::Record& first = Hmu(0).FaultRecords()[0];
    const faultlog::Record& second = Hmu(0).FaultRecords()[1];
    EXPECT_FALSE(faultlog::RecordBit(first, faultlog::VmonBit(6, 0)));
    EXPECT_TRUE(faultlog::RecordBit(first, faultlog::VmonBit(5, 0)));
    EXPECT_TRUE(faultlog::RecordBit(second, faultlog::TmonBit(1, 1)));
}

TEST_F(BoardTest, FaultRecordLayout)
{
    struct Case {
        const char* name;
        std::function<void(HmuComparators&, uint8_t&, uint16_t&)> set;
        faultlog::Record bytes;
    };
    const std::vector<Case> cases = {
        {"VMON1 A", [](HmuComparators& c, uint8_t&, uint16_t&) { c.vmon[0] = true; }, {0, 0, 0, 0, 0, 0x02, 0}},
        {"GPIO4..10", [](HmuComparators&, uint8_t&, uint16_t& g) { g = 0x3F8; }, {0, 0x7F, 0, 0, 0, 0, 0}},
        {"TMON int A", [](HmuComparators& c, uint8_t&, uint16_t&) { c.tmon[4] = true; }, {0, 0, 0, 0, 0, 0, 0x08}},
        {"TMON2 B", [](HmuComparators& c, uint8_t&, uint16_t&) { c.tmon[3] = true; }, {0, 0, 0, 0, 0, 0x01, 0}},
        {"HVMON B", [](HmuComparators& c, uint8_t&, uint16_t&) { c.vmon[19] = true; }, {0, 0, 0, 0x10, 0, 0, 0}},
        {"IMON1 B", [](HmuComparators& c, uint8_t&, uint16_t&) { c.imon[0][1] = true; }, {0, 0, 0x01, 0, 0, 0, 0}},
        {"HIMON A", [](HmuComparators& c, uint8_t&, uint16_t&) { c.imon[1][0] = true; }, {0, 0, 0, 0x20, 0, 0, 0}},
        {"HVOUT4, GPIO3", [](HmuComparators&, uint8_t& h, uint16_t& g) { h = 0x08; g = 0x04; }, {0, 0, 0x90, 0, 0, 0, 0}},
    };
    FaultLogPort log{*port};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HmuComparators states;
        uint8_t hvout = 0;
        uint16_t gpio = 0;
        c.set(states, hvout, gpio);
        Hmu(0).ClearFaultRecords();
        Hmu(0).AddFaultRecord(MakeFaultRecord(states, hvout, gpio));
        log.Read(faultlog::kCmdReadEnable, faultlog::kEnableOperand, 1);
        const std::vector<uint8_t> read = log.Read(faultlog::kCmdReadRecords, -1, 7);
        EXPECT_EQ(read, std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    }
}

TEST_F(BoardTest, EraseNeedsTheUnlockCode)
{
    const std::vector<uint8_t> code = {faultlog::kUnlockFirst, faultlog::kUnlockSecond};
    struct Case {
        const char* name;
        std::vector<uint8_t> unlock;  // empty: no unlock command
        bool endFirst;                // 0x05 between the unlock and the erase
        bool erased;
    };
    const std::vector<Case> cases = {
        {"unlocked", code, false, true},
        {"bytes swapped", {code[1], code[0]}, false, false},
        {"first byte wrong", {static_cast<uint8_t>(code[0] ^ 0x01), code[1]}, false, false},
        {"second byte wrong", {code[0], static_cast<uint8_t>(code[1] ^ 0x80)}, false, false},
        {"one byte of the code", {code[0]}, false, false},
        {"no unlock", {}, false, false},
        {"sequence ended before the erase", code, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();  // a fresh board with its two faults
        FaultLogPort fresh{*port};
        if (!c.unlock.empty()) {
            EXPECT_TRUE(fresh.Send(faultlog::kCmdUnlock, c.unlock));
        }
        if (c.endFirst) fresh.Send(faultlog::kCmdEndErase);
        fresh.Read(faultlog::kCmdReadEnable, faultlog::kEnableOperand, 1);
        EXPECT_TRUE(fresh.Send(faultlog::kCmdErase));
        fresh.Read(faultlog::kCmdReadEnable, faultlog::kDisableOperand, 1);
        EXPECT_TRUE(fresh.Send(faultlog::kCmdEndErase));
        EXPECT_EQ(fresh.Count(), c.erased ? 0 : 2);
        EXPECT_FALSE(Hmu(0).EraseUnlocked()) << "locked again after the sequence";
    }
}
