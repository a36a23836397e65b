// The HVOUT, GPIO, output control block and trim cell blocks: register
// packing, what each page writes into the shared output control block, and
// the target code of a trim voltage.

#include <gtest/gtest.h>

#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Trim.h"

namespace {

TEST(HvoutBlock, ConfigRegistersDecodeToTheirListEntriesAndDropTheBitsThePageDoesNotOwn)
{
    const struct {
        uint8_t config0, config1;
        hvout::Source source;
        const char *sourceCurrent, *sinkCurrent, *pump;
        hvout::Mode mode;
        const char* frequency;
        hvout::OutputType type;
        int duty;
        const char* dutyText;
        uint8_t written0, written1;
    } cases[] = {
        // Bit 6 of Config0 and bit 4 of Config1 are not the page's: written as 0.
        {0xE7, 0xF5, hvout::kSourceOcb, "50", "250", "12", hvout::kSwitched, "15.625", hvout::kOpenDrain, 5, "37.55",
         0xA7, 0xE5},
        {0x40, 0x10, hvout::kSourceInterface, "12.5", "100", "6", hvout::kStatic, "31.25", hvout::kChargePump, 0, "6.25",
         0x00, 0x00},
        // Duty codes 7 and 15 show the same text and stay apart.
        {0x1C, 0x07, hvout::kSourceInterface, "25", "3000", "6", hvout::kStatic, "31.25", hvout::kChargePump, 7, "50",
         0x1C, 0x07},
        {0x1C, 0x0F, hvout::kSourceInterface, "25", "3000", "6", hvout::kStatic, "31.25", hvout::kChargePump, 15, "50",
         0x1C, 0x0F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.config0} << ' ' << int{c.config1});
        const hvout::OutputConfig config = hvout::DecodeConfig(c.config0, c.config1);
        EXPECT_EQ(config.source, c.source);
        EXPECT_EQ(hvout::kSourceCurrents[config.sourceCurrent], c.sourceCurrent);
        EXPECT_EQ(hvout::kSinkCurrents[config.sinkCurrent], c.sinkCurrent);
        EXPECT_EQ(hvout::kPumpVoltages[config.pumpVoltage], c.pump);
        EXPECT_EQ(config.mode, c.mode);
        EXPECT_EQ(hvout::kFrequencies[config.frequency], c.frequency);
        EXPECT_EQ(config.outputType, c.type);
        EXPECT_EQ(config.dutyCycle, c.duty);
        EXPECT_EQ(hvout::kDutyCycles[config.dutyCycle], c.dutyText);
        EXPECT_EQ(hvout::EncodeConfig(config), (hvout::ConfigRegisters{c.written0, c.written1}));
    }
}

TEST(GpioBlock, DirectionsUseTheEvenBitsOnly)
{
    const struct {
        std::array<uint8_t, 3> read;
        const char* inputs;  // GPIO1..GPIO10, 'I' input, 'O' output
        std::array<uint8_t, 3> written;
    } cases[] = {
        {{0x55, 0x00, 0x05}, "IIIIOOOOII", {0x55, 0x00, 0x05}},
        {{0xAA, 0xFF, 0xFA}, "OOOOIIIIOO", {0x00, 0x55, 0x00}},
        {{0x10, 0x10, 0x04}, "OOIOOOIOOI", {0x10, 0x10, 0x04}},
    };
    for (const auto& c : cases) {
        const gpio::Directions directions = gpio::DecodeDirections(c.read);
        std::string shown;
        for (gpio::Direction d : directions) shown += d == gpio::kInput ? 'I' : 'O';
        EXPECT_EQ(shown, c.inputs);
        EXPECT_EQ(gpio::EncodeDirections(directions), c.written);
    }
}

// Each page writes its own bits of the output control block and carries the
// other page's from its last read: HVOUT1..4 at bits 2..5, GPIO2 bit 0, GPIO3 bit 1.
TEST(OutputControlBlock, EachPageWritesItsBitsAndCarriesTheOthersLastRead)
{
    hvout::Values hv;
    hv.levels = {true, false, true, false};  // HVOUT3 toggled to 1 on the page; HVOUT1 as read
    hv.gpioLevels = {false, true};           // GPIO3 high when read
    EXPECT_EQ(hvout::OutputControlValue(hv), 0x16);

    gpio::Values gp;
    gp.levels[1] = true;                      // GPIO2 toggled to 1
    gp.levels[2] = false;                     // GPIO3 as read
    gp.levels[0] = gp.levels[3] = true;       // pins the block does not hold
    gp.hvoutLevels = {false, true, false, true};
    EXPECT_EQ(gpio::OutputControlValue(gp), 0x29);

    // Which outputs follow the block: OCB source (HVOUT) or an output (GPIO)
    // driven from signal 1, "I2C".
    hv.outputs[2].source = hvout::kSourceOcb;
    hv.sourceSignals = {1, 1, 1, 0};
    EXPECT_FALSE(hvout::FollowsOutputControl(hv, 0));  // I2C, but from HMU/IF
    EXPECT_TRUE(hvout::FollowsOutputControl(hv, 2));
    gp.directions[1] = gpio::kOutput;
    gp.directions[2] = gpio::kInput;
    gp.sourceSignals = {1, 1};
    EXPECT_TRUE(gpio::FollowsOutputControl(gp, 0));
    EXPECT_FALSE(gpio::FollowsOutputControl(gp, 1));  // I2C, but an input
}

TEST(TrimBlock, TargetCodesTruncateTheSinglePrecisionVoltageTimes500)
{
    const struct {
        float volts;
        uint16_t code;
    } cases[] = {
        {1.100f, 550}, {1.234f, 616}, {8.19f, 4094}, {3.3f, 1649}, {5.0f, 2500}, {0.0f, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(trim::TargetCode(c.volts), c.code) << c.volts;
    // The high nibble of the High register is not part of the code.
    EXPECT_EQ(trim::CodeFromRegisters(0x26, 0xF2), 550);
    EXPECT_EQ(trim::TargetCommand(3), 0x44);
}

}  // namespace
