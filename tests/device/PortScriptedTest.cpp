// The register port in demo mode, and its conversions fed by a scripted
// driver that answers every exchange with chosen acknowledge and data bytes.

#include <gtest/gtest.h>

#include <climits>

#include "device/HmuCommands.h"
#include "device/MeasureCodes.h"
#include "device/Tovin_I2C_Port.h"
#include "tests/link/ScriptedDriver.h"
#include "device/blocks/Adc.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"

namespace {

struct ScriptedPort : ::testing::Test {
    std::shared_ptr<CScriptedDriver> driver = std::make_shared<CScriptedDriver>();
    CTovin_I2C_Port port{driver};

    void SetUp() override
    {
        port.SetDemoMode(false);
        ASSERT_EQ(port.OpenCable(), FTDI_OK);
        driver->writes.clear();
    }
    // Answers for one register read: the command phase (three acknowledges)
    // and the read phase (address acknowledge, data byte).
    void AnswerRead(uint8_t value)
    {
        driver->readScript.push_back({0, 0, 0});
        driver->readScript.push_back({0, value});
    }
    void AnswerWrite()
    {
        driver->readScript.push_back({0, 0, 0});
        driver->readScript.push_back({0});
    }
};

TEST(MeasureCodes, TemperatureCodesConvertByRange)
{
    const std::vector<std::pair<int, float>> cases = {
        {0, 0.0f}, {1, 0.25f}, {100, 25.0f}, {640, 160.0f}, {641, 160.0f}, {700, 160.0f},
        {1022, 160.0f}, {1023, 255.75f}, {1024, -256.0f}, {2047, -0.25f}, {2044, -1.0f},
    };
    for (auto [code, celsius] : cases) EXPECT_FLOAT_EQ(measure::TemperatureFromCode(code), celsius) << code;
    // What the simulated device encodes reads back as the same temperature.
    for (double t : {-256.0, -64.0, -0.25, 0.0, 25.0, 85.5, 160.0}) {
        EXPECT_FLOAT_EQ(measure::TemperatureFromCode(measure::TemperatureToCode(t)), static_cast<float>(t)) << t;
    }
    EXPECT_EQ(measure::TemperatureToCode(500.0), 640);
    EXPECT_EQ(measure::TemperatureToCode(-1000.0), 1024);
}

// The device packs codes into its result registers as the port unpacks them,
// each bit in its own place.
TEST(MeasureCodes, ResultRegistersCarryEveryCodeBit)
{
    const struct {
        int code;
        uint8_t adcHigh, adcLow, temperatureHigh, temperatureLow;
    } cases[] = {
        {0, 0x00, 0x01, 0x00, 0x00},     {1, 0x00, 0x09, 0x00, 0x20},   {0x1F, 0x00, 0xF9, 0x03, 0xE0},
        {0x20, 0x01, 0x01, 0x04, 0x00},  {0x3FF, 0x1F, 0xF9, 0x7F, 0xE0}, {0x555, 0x0A, 0xA9, 0xAA, 0xA0},
        {0x7FF, 0x1F, 0xF9, 0xFF, 0xE0},
    };
    for (const auto& c : cases) {
        const measure::AdcRegisters adc = measure::AdcRegistersFor(c.code, true);
        EXPECT_EQ(adc.high, c.adcHigh) << c.code;
        EXPECT_EQ(adc.low, c.adcLow) << c.code;
        EXPECT_EQ(measure::AdcRegistersFor(c.code, false).low, c.adcLow & ~hmu::kAdcDone) << c.code;
        EXPECT_EQ(measure::AdcCode(adc.high, adc.low), c.code & 0x3FF) << c.code;
        const measure::TemperatureRegisters t = measure::TemperatureRegistersFor(c.code);
        EXPECT_EQ(t.high, c.temperatureHigh) << c.code;
        EXPECT_EQ(t.low, c.temperatureLow) << c.code;
        EXPECT_EQ(measure::TemperatureCode(t.high, t.low), c.code) << c.code;
    }
}

TEST_F(ScriptedPort, MeasureVoltageNeedsTheReadyBitWithinThreePolls)
{
    struct Case { std::vector<uint8_t> polls; uint8_t high; float volts; };
    const std::vector<Case> cases = {
        {{0xF9}, 0x1F, 2.046f},                       // full scale, ready at once
        {{0x00, 0x00, 0x09}, 0x04, (4 * 32 + 1) * 0.002f},  // ready at the third poll
        {{0x00, 0x00, 0x00, 0xF9}, 0x1F, 0.0f},       // ready only at the fourth
        {{0x00, 0x00, 0x00, 0x00, 0xF9}, 0x1F, 0.0f},  // at the fifth
        {{0x00, 0x00, 0x00, 0x00, 0x00}, 0x1F, 0.0f},  // never
    };
    for (const auto& c : cases) {
        AnswerWrite();
        for (uint8_t lo : c.polls) AnswerRead(lo);
        AnswerRead(c.high);
        EXPECT_FLOAT_EQ(adc::MeasureVoltage(port, 3), c.volts) << c.polls.size() << " polls";
        EXPECT_TRUE(driver->readScript.empty()) << "polls must stop at the ready bit, at most five";
        driver->readScript.clear();
    }
}

TEST_F(ScriptedPort, MeasureVoltageRangedRepeatsAFullScaleReadingOnceWithBitSeven)
{
    // First reading full scale, second 0x0123 counts.
    AnswerWrite();
    AnswerRead(0xF9);
    AnswerRead(0x1F);
    AnswerWrite();
    AnswerRead(0x19);
    AnswerRead(0x09);
    EXPECT_FLOAT_EQ(adc::MeasureVoltageRanged(port, 4), ((0x19 >> 3) + (0x09 << 5)) * 0.002f);
    // The selector written the second time has bit 7 set.
    // The selector written the second time has bit 7 set (4 + 0x80 clocked out).
    const auto all = driver->WrittenTo(1);
    int found = 0;
    for (size_t i = 0; i + 3 < all.size(); ++i) {
        if (all[i] == 0x11 && all[i + 3] == 0x84) ++found;
    }
    EXPECT_EQ(found, 1);
    // A second full-scale reading is kept, unscaled.
    driver->readScript.clear();
    for (int pass = 0; pass < 2; ++pass) {
        AnswerWrite();
        AnswerRead(0xF9);
        AnswerRead(0x1F);
    }
    EXPECT_FLOAT_EQ(adc::MeasureVoltageRanged(port, 4), 2.046f);
    EXPECT_TRUE(driver->readScript.empty()) << "exactly two passes";
}

// Polls that never see their ready bit stop at their limit, and the result
// register is read all the same.
TEST_F(ScriptedPort, ReadyPollsStopAtTheirLimit)
{
    struct Case {
        const char* what;
        int polls;        // answers of the poll register, the last one ready unless never
        bool everReady;
        int expectedPolls;
    };
    const Case cases[] = {
        {"ranged conversion ready at the second poll", 2, true, 2},
        {"ranged conversion never ready", 3, false, 3},
        {"monitor record ready at the third poll", 3, true, 3},
        {"monitor record never ready", 3, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool ranged = std::string(c.what).find("ranged") != std::string::npos;
        driver->readScript.clear();
        AnswerWrite();  // the select or multiplexer write
        for (int poll = 1; poll <= c.polls; ++poll) {
            const bool ready = c.everReady && poll == c.polls;
            AnswerRead(ranged ? (ready ? 0x19 : 0x18) : (ready ? 0x82 : 0x02));
        }
        AnswerRead(ranged ? 0x09 : 0x5A);  // the result register
        AnswerRead(0xEE);                  // never asked for
        if (ranged) {
            // Not ready: the low byte of the last poll is used, without its ready bit.
            EXPECT_FLOAT_EQ(adc::MeasureVoltageRanged(port, 4), ((0x18 >> 3) + (0x09 << 5)) * 0.002f);
        } else {
            EXPECT_EQ(adc::ReadMonitorRecord(port, 2), 0x5A);
        }
        EXPECT_EQ(driver->readScript.size(), 2u) << "exactly " << c.expectedPolls << " polls and one result read";
    }
}

TEST_F(ScriptedPort, MainDeviceAccessesClearTheFlagFirst)
{
    port.UpdateConfiguration();  // nothing answers: flagged
    ASSERT_EQ(port.GetError(), CTovin_I2C_Port::kErrorAck);
    driver->readScript.push_back({0, 0, 0});
    port.WriteMain(1, 0x5A);
    EXPECT_EQ(port.GetError(), 0);

    port.UpdateConfiguration();
    ASSERT_EQ(port.GetError(), CTovin_I2C_Port::kErrorAck);
    driver->readScript.push_back({0, 0});
    driver->readScript.push_back({0, 0x77});
    EXPECT_EQ(port.ReadMain(2), 0x77);
    EXPECT_EQ(port.GetError(), 0);
}

TEST_F(ScriptedPort, SenseRangeSignatureAndTemperatureDecodeTheirRegisters)
{
    struct Range { uint8_t value; int figure; };
    for (auto r : {Range{0x00, 100}, Range{0x04, 50}, Range{0x08, 25}, Range{0x0C, 10}, Range{0xF3, 100}}) {
        AnswerRead(r.value);
        uint8_t raw = 0;
        EXPECT_EQ(imon::ReadSenseRange(port, 1, &raw), r.figure);
        EXPECT_EQ(raw, r.value);
    }
    for (uint8_t b = 1; b <= 8; ++b) AnswerRead(b);
    EXPECT_EQ(signature::Read(port), 0x0807060504030201ull);

    AnswerRead(0x0C);
    AnswerRead(0x80);
    EXPECT_FLOAT_EQ(tmon::ReadTemperature(port, 1), 25.0f);
    AnswerRead(0xFF);
    AnswerRead(0xE0);
    EXPECT_FLOAT_EQ(tmon::ReadTemperature(port, 0), -0.25f);

    AnswerRead(0x34);
    AnswerRead(0xF2);
    EXPECT_EQ(trim::ReadCode(port, 2), 0x234);
}

TEST_F(ScriptedPort, MissingRepliesFailTheAttemptInsteadOfReusingOldBytes)
{
    AnswerRead(0x5A);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0x5A);
    // Nothing answers now (cable pulled): the old 0x5A must not come back.
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0);
    EXPECT_EQ(port.GetError(), 0) << "register reads never set the flag";
    port.UpdateConfiguration();
    EXPECT_EQ(port.GetError(), CTovin_I2C_Port::kErrorAck);
}

TEST_F(ScriptedPort, OversizedTransfersAreRefusedWithoutTouchingTheBus)
{
    std::vector<uint8_t> buffer(200, 0xEE);
    EXPECT_FALSE(port.ReadBytes(buffer.data(), 135));
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 135, [](uint8_t b) { return b == 0; }));
    EXPECT_FALSE(port.WriteBytes(buffer.data(), 158));
    EXPECT_FALSE(port.ReadBytes(nullptr, 1));
    EXPECT_FALSE(port.WriteBytes(nullptr, 1));
    EXPECT_FALSE(port.ReadBytes(buffer.data(), -1));
    EXPECT_EQ(port.ReadBlock(0x03, -1, nullptr, 4), nullptr);
    EXPECT_TRUE(driver->writes.empty());
    // The largest transfers that fit go out as one exchange each.
    driver->readScript.push_back(std::vector<uint8_t>(135, 0));
    EXPECT_TRUE(port.ReadBytes(buffer.data(), 134));
    driver->readScript.push_back(std::vector<uint8_t>(157, 0));
    EXPECT_TRUE(port.WriteBytes(buffer.data(), 157));
    EXPECT_EQ(driver->writes.size(), 2u);
    EXPECT_EQ(driver->writes[0].bytes.size(), 9u + 13u + 134u * 15u + 6u);
    EXPECT_EQ(driver->writes[1].bytes.size(), 157u * 13u + 6u);
}

struct DemoPort : ::testing::Test {
    std::shared_ptr<CScriptedDriver> driver = std::make_shared<CScriptedDriver>();
    CTovin_I2C_Port port{driver};  // demo mode is on at construction
};

TEST_F(DemoPort, RegisterAnswersFollowTheSimulatedFile)
{
    struct Case { int index; int command; int reg; uint8_t expected; };
    const std::vector<Case> cases = {
        {0, 0x52, 7, 0x80}, {0, 0x52, 0x86, 0x07}, {3, 0x52, 0x87, 0x07}, {0, 0x52, 1, 0x00},
        {0, 0x52, 0x80, 0x00}, {0, 0x02, -1, 0x8A}, {1, 0x02, -1, 0x88}, {7, 0x02, -1, 0x88},
        {0, 0x33, 20, 20}, {5, 0x33, 118, 118}, {0, 0x33, 0, 0},
        {0, 0x33, 119, 0}, {0, 0x33, 200, 0}, {0, 0x33, -3, 0},  // outside the file: nothing read
    };
    for (const auto& c : cases) {
        port.SetHmuIndex(c.index);
        EXPECT_EQ(port.ReadRegister(c.command, c.reg), c.expected) << c.index << " " << c.command << " " << c.reg;
    }
    EXPECT_TRUE(driver->writes.empty());
}

TEST_F(DemoPort, WritesAndMaskedWritesChangeOnlyTheirDevicesRegister)
{
    port.SetHmuIndex(2);
    port.WriteRegister(0x31, 20, 0x5A);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0x5A);
    port.MaskedWrite(20, 0x0F, 0xC0);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0x4A);
    port.WriteRegister(0x51, 20, 0x11);  // monitor writes are not simulated: ignored
    port.WriteRegister(0x31, 119, 0x11);  // outside the file: ignored, nothing overwritten
    port.WriteRegister(0x31, -1, 0x11);
    port.MaskedWrite(500, 0, 0);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0x4A);
    port.SetHmuIndex(1);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 20);
    EXPECT_EQ(port.ReadRegister(0x33, 118), 118);
    port.SetHmuIndex(8);  // no such device in the file
    port.WriteRegister(0x31, 0, 1);
    EXPECT_EQ(port.ReadRegister(0x33, 0), 0);
    EXPECT_TRUE(driver->writes.empty());
    // The file survives switching demo mode off and on.
    port.SetHmuIndex(2);
    port.SetDemoMode(false);
    port.SetDemoMode(true);
    EXPECT_EQ(port.ReadRegister(0x33, 20), 0x4A);
}

TEST_F(DemoPort, RampsAndMainDevice)
{
    const float a1 = adc::MeasureVoltage(port, 0);
    const float a2 = adc::MeasureVoltage(port, 5);
    EXPECT_NEAR(a1, 0.11f, 1e-6);
    EXPECT_NEAR(a2, 0.12f, 1e-6);
    EXPECT_NEAR(adc::MeasureVoltageRanged(port, 0), 1.01f, 1e-6);
    EXPECT_FLOAT_EQ(tmon::ReadTemperature(port, 0), -4.75f);
    EXPECT_FLOAT_EQ(tmon::ReadTemperature(port, 2), -4.5f);
    EXPECT_EQ(adc::ReadMonitorRecord(port, 3), 0);

    const std::vector<std::pair<int, uint8_t>> main = {{0, 0x04}, {1, 0xC1}, {2, 0xC2}, {3, 0x03}, {4, 0}, {-1, 0}};
    for (auto [reg, value] : main) EXPECT_EQ(port.ReadMain(reg), value) << reg;
    port.WriteMain(2, 0x77);
    port.WriteMain(4, 0x99);  // outside the four registers: ignored
    EXPECT_EQ(port.ReadMain(2), 0x77);
    EXPECT_EQ(port.ReadMain(3), 0x03);
    EXPECT_TRUE(port.ProbeHmu(7));
    EXPECT_TRUE(port.ProbeMain());
    port.UpdateConfiguration();
    trim::WriteTargetWord(port, 0, 0x1234);
    EXPECT_EQ(port.GetError(), 0);
    EXPECT_TRUE(driver->writes.empty());
}

TEST_F(DemoPort, CommandsWithoutADemoAnswerStillGoToTheBus)
{
    port.OpenCable();
    driver->writes.clear();
    port.ReadRegister(0x51, 3);
    ASSERT_FALSE(driver->writes.empty());
    EXPECT_EQ(port.GetError(), 0) << "demo mode hides the flag";
}

TEST(PortAddressing, HmuAddressesAndReadAddressWrap)
{
    auto driver = std::make_shared<CScriptedDriver>();
    CTovin_I2C_Port port{driver};
    port.SetHmuBase(0xC0);
    EXPECT_EQ(port.HmuAddress(0), 0xC0);
    EXPECT_EQ(port.HmuAddress(3), 0xC6);
    EXPECT_EQ(port.HmuAddress(7), 0xCE);
    port.SetDemoMode(false);
    port.OpenCable();
    port.SetHmuBase(0xF0);
    port.SetHmuIndex(7);  // 0xFE, read address 0xFF
    driver->writes.clear();
    driver->readScript.push_back({0, 0, 0});
    driver->readScript.push_back({0, 0x42});
    EXPECT_EQ(port.ReadRegister(0x33, 1), 0x42);
    ASSERT_EQ(driver->writes.size(), 2u);
    EXPECT_EQ(driver->writes[0].bytes[12], 0xFE);  // address byte after the START
    EXPECT_EQ(driver->writes[1].bytes[12], 0xFF);
    // A write address of 0xFF reads at 0x00.
    port.SetHmuBase(0xFF);
    port.SetHmuIndex(0);
    driver->writes.clear();
    driver->readScript.push_back({0, 0, 0});
    driver->readScript.push_back({0, 0x24});
    EXPECT_EQ(port.ReadRegister(0x33, 1), 0x24);
    ASSERT_EQ(driver->writes.size(), 2u);
    EXPECT_EQ(driver->writes[0].bytes[12], 0xFF);
    EXPECT_EQ(driver->writes[1].bytes[12], 0x00);
    // Whatever the stored setting, an address is the byte that goes on the bus.
    const struct {
        int base, index, address;
    } cases[] = {{INT_MAX, 7, 0x0D}, {INT_MAX - 1, 0, 0xFE}, {0x1C0, 1, 0xC2}, {0xFE, 1, 0x00}, {-2, 1, 0x00}};
    for (const auto& c : cases) {
        port.SetHmuBase(c.base);
        EXPECT_EQ(port.HmuAddress(c.index), c.address) << c.base << " + 2 x " << c.index;
    }
}

}  // namespace
