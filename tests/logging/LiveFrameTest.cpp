// The live frame on the simulated board: values as the board file gives
// them, failed readings without a value, POT1's knob followed by min and
// max, a comparator trip, and a device that leaves and comes back.

#include <gtest/gtest.h>

#include <string>

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "logging/LiveFrame.h"
#include "sim/SimulatedBoard.h"
#include "tests/sim/BoardFixture.h"

namespace {

using logsel::Channel;
using logsel::Group;

class LiveFrame : public BoardTest, public CCableContext {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        previousContext = SetCableContext(this);
    }
    void TearDown() override { SetCableContext(previousContext); }
    bool CableDemoMode() const override { return port->GetDemoMode(); }
    CI2C_FTDI* CableLink() override { return &port->GetLink(); }

    void Load(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(board->LoadText(text, error)) << error;
    }
    const live::LiveDevice& Device(const live::CLiveMonitor& monitor, int d)
    {
        return monitor.Frame().devices.at(static_cast<size_t>(d));
    }

    static live::LiveOptions OnlyHmu0()
    {
        live::LiveOptions options;
        options.devices = {0};
        return options;
    }

    CCableContext* previousContext = nullptr;
};

TEST_F(LiveFrame, ReadsEveryChannelOfEachAnsweringDeviceAsTheBoardGivesIt)
{
    Load("hmu0.vmon1 = 1.25\nhmu0.hvmon = 0.5\nhmu0.temp1 = 41.5\nhmu0.gpio5.input = 0\nhmu1.vmon2 = 0.75\n"
         "hmu0.vmon5 = 6.0\n");
    live::CLiveMonitor monitor(*port, live::LiveOptions{});
    // One device per call: the frame completes with the eighth.
    for (int d = 0; d < live::kDevices - 1; ++d) EXPECT_FALSE(monitor.ReadNextDevice());
    EXPECT_TRUE(monitor.ReadNextDevice());
    EXPECT_EQ(monitor.Frame().number, 1);
    ASSERT_EQ(monitor.Frame().Shown().size(), 2u);  // HMU0 and HMU1 answer, the others are not shown
    EXPECT_EQ(monitor.Frame().FailedReadings(), 0);

    struct Case {
        int device;
        int channel;
        double value;
        double tolerance;
        std::string rail;
    };
    const Case cases[] = {
        {0, Channel(Group::Vmon, 1), 1.25, 0.01, ""},
        {0, Channel(Group::Vmon, 10), 0.5, 0.01, ""},
        {1, Channel(Group::Vmon, 2), 0.75, 0.01, ""},
        {0, Channel(Group::Tmon, 1), 41.5, 0.01, ""},
        {0, Channel(Group::Gpio, 5), 0.0, 0.0, ""},
        {0, Channel(Group::Vmon, 7), board->PotVolts(0), 0.01, "POT1"},
        {1, Channel(Group::Vmon, 8), board->PotVolts(3), 0.01, "POT4"},
        {0, Channel(Group::Vmon, 4), board->Values(0).vmonVolts[3], 0.01, "DC-DC4"},
        {1, Channel(Group::Vmon, 4), board->Values(1).vmonVolts[3], 0.01, "DC-DC8"},
        {0, Channel(Group::Tmon, 2), board->Values(0).temperatures[1], 0.3, "R203"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(live::RailName(c.device, c.channel) + " HMU" + std::to_string(c.device) + " " +
                     std::string(live::ChannelLabel(c.channel)));
        const live::LiveReading& r = Device(monitor, c.device).channels[c.channel];
        ASSERT_TRUE(r.read);
        ASSERT_TRUE(r.value.has_value());
        EXPECT_NEAR(*r.value, c.value, c.tolerance);
        EXPECT_EQ(*r.min, *r.value);
        EXPECT_EQ(*r.max, *r.value);
        EXPECT_FALSE(r.attenuated);
        EXPECT_EQ(r.comparators.has_value(), live::HasComparators(c.channel));
        EXPECT_EQ(live::RailName(c.device, c.channel), c.rail);
    }
    // A full-scale input is read again through the attenuator and marked.
    EXPECT_TRUE(Device(monitor, 0).channels[Channel(Group::Vmon, 5)].attenuated);
}

TEST_F(LiveFrame, AFailedReadingHasNoValueAndNeverAZero)
{
    struct Case {
        std::string fault;
        int failedOnHmu0;  // readings of HMU0 that fail
    };
    const Case cases[] = {
        {"hmu0.nack.command.0x52 = always", 29},  // every monitor read: every channel of the device
        {"hmu0.fault.conversion = always", 12},   // the ten voltages and the two currents
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Load(c.fault);
        live::CLiveMonitor monitor(*port, live::LiveOptions{});
        monitor.ReadFrame();
        const live::LiveDevice& hmu0 = Device(monitor, 0);
        EXPECT_EQ(hmu0.FailedReadings(), c.failedOnHmu0);
        EXPECT_EQ(Device(monitor, 1).FailedReadings(), 0);
        EXPECT_EQ(monitor.Frame().FailedReadings(), c.failedOnHmu0);
        for (const live::LiveReading& r : hmu0.channels) {
            if (!r.failed) continue;
            EXPECT_FALSE(r.value.has_value());
            EXPECT_FALSE(r.min.has_value());
            EXPECT_FALSE(r.max.has_value());
        }
        Load(c.fault.substr(0, c.fault.find('=')) + "= 0");
    }
}

TEST_F(LiveFrame, TurningPot1MovesVmon7AndMinMaxFollow)
{
    live::CLiveMonitor monitor(*port, OnlyHmu0());
    const int vmon7 = Channel(Group::Vmon, 7);
    struct Step {
        double knob;
        double min;
        double max;
    };
    const Step steps[] = {{1.20, 1.20, 1.20}, {1.00, 1.00, 1.20}, {1.40, 1.00, 1.40}, {1.10, 1.00, 1.40}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.knob);
        ASSERT_TRUE(board->SetPotVolts(0, s.knob));
        monitor.ReadFrame();
        const live::LiveReading& r = Device(monitor, 0).channels[vmon7];
        ASSERT_TRUE(r.value.has_value());
        EXPECT_NEAR(*r.value, s.knob, 0.01);
        EXPECT_NEAR(*r.min, s.min, 0.01);
        EXPECT_NEAR(*r.max, s.max, 0.01);
    }
    monitor.ResetMinMax();
    const live::LiveReading& r = Device(monitor, 0).channels[vmon7];
    EXPECT_NEAR(*r.min, 1.10, 0.01);
    EXPECT_NEAR(*r.max, 1.10, 0.01);
}

TEST_F(LiveFrame, AComparatorTripIsReported)
{
    const int vmon1 = Channel(Group::Vmon, 1);
    live::CLiveMonitor monitor(*port, OnlyHmu0());
    monitor.ReadFrame();
    // The board guards the rail with A under it and B over it: in range, A is 1 and B is 0.
    std::array<bool, 2> inRange = *Device(monitor, 0).channels[vmon1].comparators;
    EXPECT_TRUE(inRange[0]);
    EXPECT_FALSE(inRange[1]);
    EXPECT_FALSE(live::ComparatorFault(vmon1, inRange[1], vmon::Direction::Over));

    ASSERT_TRUE(board->SetVmon(0, 0, board->Values(0).vmonVolts[0] * 1.5));
    monitor.ReadFrame();
    const std::array<bool, 2> over = *Device(monitor, 0).channels[vmon1].comparators;
    EXPECT_TRUE(over[1]);
    EXPECT_TRUE(live::ComparatorFault(vmon1, over[1], vmon::Direction::Over));
}

TEST_F(LiveFrame, ADeviceThatLeavesAndReturnsIsShownSo)
{
    live::CLiveMonitor monitor(*port, live::LiveOptions{});
    const char* steps[][2] = {
        {"hmu1.nack.address = 0", "present"},
        {"hmu1.nack.address = always", "left"},
        {"hmu1.nack.address = 0", "returned"},
        {"hmu1.nack.address = 0", "present"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step[1]);
        Load(step[0]);
        monitor.ReadFrame();
        const live::LiveDevice& hmu1 = Device(monitor, 1);
        EXPECT_EQ(live::PresenceText(hmu1.presence), step[1]);
        EXPECT_EQ(monitor.Frame().Shown().size(), 2u);
        // A device that left has no readings, and counts as a failure.
        EXPECT_EQ(hmu1.channels[0].value.has_value(), hmu1.Answering());
        EXPECT_EQ(monitor.Frame().FailedReadings(), hmu1.Answering() ? 0 : 1);
    }
}

}  // namespace
