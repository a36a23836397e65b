// The log writer on the simulated board: what a record holds, which devices
// it covers, which readings it leaves out because they failed, what it
// leaves behind on the port and the cable, and that every completed record
// is on disk whatever happens after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Gpio.h"
#include "link/CableLock.h"
#include "logging/LogFailures.h"
#include "logging/LogSession.h"
#include "sim/SimulatedBoard.h"
#include "tests/sim/BoardFixture.h"
#include "tests/logging/FileSizeLimit.h"
#include "tests/logging/LogTestSupport.h"

namespace {

using logsel::Channel;
using logsel::Group;

class LogWriter : public BoardTest, public CCableContext {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        previousContext = SetCableContext(this);
        path = LogTestFolder() / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log");
    }
    void TearDown() override { SetCableContext(previousContext); }

    bool CableDemoMode() const override { return port->GetDemoMode(); }
    CI2C_FTDI* CableLink() override { return &port->GetLink(); }

    void Select(int device, std::initializer_list<int> channels)
    {
        for (const int c : channels) selection[logsel::Index(device, c)] = 1;
    }
    std::unique_ptr<CLogSession> Session()
    {
        return std::make_unique<CLogSession>(*port, selection, [this](int device, int monitor) {
            asked.emplace_back(device, monitor);
            return device == 1 && monitor == 1 ? 0.005f : 0.1f;  // only HMU1's HIMON is set
        });
    }

    CCableContext* previousContext = nullptr;
    logsel::LogSelection selection{};
    std::vector<std::pair<int, int>> asked;
    std::filesystem::path path;
};

TEST_F(LogWriter, RecordHoldsTheSelectedChannelsOfEachAnsweringDevice)
{
    board->SetVmon(0, 0, 1.202);
    board->SetVmon(0, 9, 1.5);
    board->SetTemperature(0, 2, 31.25);
    // IMON1 of HMU0: 2 A through 10 mOhm at gain 50 (range code 1) is 1.000 V
    // at the amplifier; with no resistance stored it is logged over 0.1 Ohm.
    board->Hmu(0)->SetConfiguration(53, 0x04);
    board->SetSenseResistor(0, 0, 0.01);
    board->SetSenseCurrent(0, 0, 2.0);
    // HIMON of HMU1: 1 A through 10 mOhm at gain 10 is 0.1 V, over its stored 5 mOhm.
    board->Hmu(1)->SetConfiguration(55, 0x0C);
    board->SetSenseResistor(1, 1, 0.01);
    board->SetSenseCurrent(1, 1, 1.0);
    board->Hmu(1)->SetIdentification(0x88);  // no GPIO7
    board->AddHmu(3);

    Select(0, {Channel(Group::Vmon, 1), Channel(Group::Vmon, 10), Channel(Group::Gpio, 7), Channel(Group::Tmon, 3),
               Channel(Group::Imon, 1)});
    Select(1, {Channel(Group::Gpio, 7), Channel(Group::Imon, 2)});
    Select(2, {Channel(Group::Vmon, 1)});  // absent: nothing of it
    // HMU3: nothing selected, but its record line all the same.

    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    EXPECT_EQ(RecordLines(FileText(path))[1], (std::vector<std::string>{
                                                  "Record 1 Value, Name",
                                                  "1.202, HMU0_VMON1",
                                                  "1.500, HMU0_VMON10",
                                                  "0, HMU0_GPIO7",
                                                  "31.250, HMU0_TMON3",
                                                  "0.200, HMU0_IMON1",
                                                  "Record 1 Value, Name",
                                                  "2.000, HMU1_IMON2",
                                                  "Record 1 Value, Name",
                                              }));
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    // The record as values, for whoever watches the run.
    const LogRecord& record = session->LastRecord();
    ASSERT_EQ(record.devices.size(), 3u);
    EXPECT_EQ(record.devices[1].device, 1);
    EXPECT_EQ(LogValueName(1, record.devices[1].values.at(0).channel), "HMU1_IMON2");
}

TEST_F(LogWriter, EachRecordTakesOneCableLockAndLeavesThePortsDeviceAsItWas)
{
    selection.fill(1);
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
    for (const int pageDevice : {5, 1, 0}) {
        port->SetHmuIndex(pageDevice);
        const int opensBefore = board->Driver()->OpenCount(CI2C_FTDI::kEnableChannelIndex);
        ASSERT_TRUE(session->WriteRecord());
        EXPECT_EQ(port->GetHmuIndex(), pageDevice) << "an open page keeps addressing its device";
        EXPECT_EQ(board->Driver()->OpenCount(CI2C_FTDI::kEnableChannelIndex), opensBefore + 1);
        EXPECT_FALSE(board->Driver()->IsOpen(CI2C_FTDI::kEnableChannelIndex));
        EXPECT_FALSE(board->Driver()->EnableLine());
        EXPECT_EQ(CCableLock::Depth(), 0);
    }
    EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, 0u) << "no access outside the lock";
}

TEST_F(LogWriter, HvoutAndGpioLinesShowThePinLevels)
{
    // HMU0: every GPIO an input, driven from outside; HVOUTs from the interface logic.
    for (int r = 0; r < gpio::kConfigRegisters; ++r) board->Hmu(0)->SetConfiguration(gpio::kFirstConfigRegister + r, 0x55);
    for (int pin = 0; pin < gpio::kPins; ++pin) board->SetGpioInput(0, pin, pin == 0 || pin == 3 || pin == 6 || pin == 9);
    board->SetHvoutInterface(0, 0, true);
    board->SetHvoutInterface(0, 2, true);
    // HMU1, without GPIO7: outputs driven by the interface logic.
    board->SetGpioInterface(1, 6, true);
    board->SetGpioInterface(1, 7, true);
    board->SetHvoutInterface(1, 3, true);
    for (int d = 0; d < 2; ++d)
        for (int c = 0; c < 14; ++c) selection[logsel::Index(d, Channel(Group::Hvout, 1) + c)] = 1;

    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    EXPECT_EQ(RecordLines(FileText(path))[1],
              (std::vector<std::string>{
                  "Record 1 Value, Name", "1, HMU0_HVOUT1", "0, HMU0_HVOUT2", "1, HMU0_HVOUT3", "0, HMU0_HVOUT4",
                  "1, HMU0_GPIO1",        "0, HMU0_GPIO2",  "0, HMU0_GPIO3",  "1, HMU0_GPIO4",  "0, HMU0_GPIO5",
                  "0, HMU0_GPIO6",        "1, HMU0_GPIO7",  "0, HMU0_GPIO8",  "0, HMU0_GPIO9",  "1, HMU0_GPIO10",
                  "Record 1 Value, Name", "0, HMU1_HVOUT1", "0, HMU1_HVOUT2", "0, HMU1_HVOUT3", "1, HMU1_HVOUT4",
                  "0, HMU1_GPIO1",        "0, HMU1_GPIO2",  "0, HMU1_GPIO3",  "0, HMU1_GPIO4",  "0, HMU1_GPIO5",
                  "0, HMU1_GPIO6",        "1, HMU1_GPIO8",  "0, HMU1_GPIO9",  "0, HMU1_GPIO10",
              }));
}

TEST_F(LogWriter, DeviceThatStopsAnsweringIsLeftOutUntilItAnswersAgain)
{
    Select(0, {Channel(Group::Tmon, 1)});
    Select(1, {Channel(Group::Tmon, 1)});
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 3, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    board->RemoveHmu(1);
    ASSERT_TRUE(session->WriteRecord());
    board->AddHmu(1);
    ASSERT_TRUE(session->WriteRecord());
    EXPECT_TRUE(session->Complete());
    ASSERT_TRUE(session->Close());

    const auto records = RecordLines(FileText(path));
    ASSERT_EQ(records.size(), 3u);
    const auto devices = [&](int n) {
        std::string names;
        for (const std::string& line : records.at(n))
            if (line.find("_TMON1") != std::string::npos) names += line.substr(line.find("HMU"), 4) + " ";
        return names;
    };
    EXPECT_EQ(devices(1), "HMU0 HMU1 ");
    EXPECT_EQ(devices(2), "HMU0 ");
    EXPECT_EQ(devices(3), "HMU0 HMU1 ");
    EXPECT_EQ(records.at(2).size(), 2u) << "no line at all for the silent device";
}

// A reading the device did not give has no line: not a 0, not half a
// current. The record names it, and the session counts it by channel.
TEST_F(LogWriter, ReadingsThatFailAreLeftOutAndNamed)
{
    using logsel::kGpio7Channel;
    std::vector<int> vmon, all;
    for (int c = 0; c < logsel::kChannels; ++c) {
        all.push_back(c);
        if (logsel::GroupOf(c) == Group::Vmon) vmon.push_back(c);
    }
    const int imon1 = Channel(Group::Imon, 1), imon2 = Channel(Group::Imon, 2);
    std::vector<int> vmonImon = vmon;
    vmonImon.insert(vmonImon.end(), {imon1, imon2});
    const struct {
        const char* name;
        HmuFault fault;
        int command;
        std::vector<int> failed;  // HMU0's channels left out
    } cases[] = {
        {"a conversion never ready", HmuFault::ConversionNeverReady, CHmuDevice::kAnyCommand, vmonImon},
        {"monitor reads refused", HmuFault::CommandNack, 0x52, all},
        {"configuration reads refused: the gains", HmuFault::CommandNack, 0x33, {imon1, imon2}},
        // Without the identification nobody knows whether the device has GPIO7.
        {"identification refused", HmuFault::CommandNack, 0x02, {kGpio7Channel}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoardTest::SetUp();  // a fresh board
        selection.fill(1);
        auto session = Session();
        ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
        ASSERT_TRUE(session->WriteRecord());
        board->Hmu(0)->InjectFault(c.fault, CHmuDevice::kAlways, c.command);
        ASSERT_TRUE(session->WriteRecord());
        ASSERT_TRUE(session->WriteRecord());
        board->Hmu(0)->InjectFault(c.fault, 0, c.command);
        ASSERT_TRUE(session->WriteRecord());
        ASSERT_TRUE(session->Close());

        const auto records = RecordLines(FileText(path));
        ASSERT_EQ(records.size(), 4u);
        for (int n = 1; n <= 4; ++n) {
            const bool faulty = n == 2 || n == 3;
            const std::vector<std::string>& lines = records.at(n);
            for (int channel = 0; channel < logsel::kChannels; ++channel) {
                const std::string name = ", " + LogValueName(0, channel);
                const bool logged = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                    return line.size() > name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0;
                });
                const bool failed = std::find(c.failed.begin(), c.failed.end(), channel) != c.failed.end();
                EXPECT_EQ(logged, !(faulty && failed)) << "record " << n << name;
            }
            EXPECT_EQ(lines.size(), 2u + 29u + 28u - (faulty ? c.failed.size() : 0u)) << "record " << n;
        }
        // What the status window can name: per record and for the run.
        EXPECT_EQ(session->LastRecord().devices.at(0).failedChannels, std::vector<int>{});
        for (const int channel : c.failed) EXPECT_EQ(session->Failures().FailedIn(0, channel), 2u);
        EXPECT_EQ(session->Failures().FailedIn(1, imon1), 0u);
        EXPECT_EQ(session->Failures().FailedReadings(), 2 * c.failed.size());
        EXPECT_EQ(session->Failures().FailedRecords(), 2u);
    }

    // The record as the observer sees it.
    BoardTest::SetUp();
    selection = {};
    Select(0, {Channel(Group::Vmon, 1), Channel(Group::Imon, 1)});
    Select(1, {Channel(Group::Vmon, 1)});
    board->Hmu(0)->InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, 0x33);
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    const LogRecord& record = session->LastRecord();
    ASSERT_EQ(record.devices.size(), 2u);
    EXPECT_EQ(record.devices[0].failedChannels, std::vector<int>{imon1});
    ASSERT_EQ(record.devices[0].values.size(), 1u);
    EXPECT_EQ(record.devices[0].values[0].channel, Channel(Group::Vmon, 1));
    EXPECT_FALSE(record.devices[1].ReadingFailed());
    EXPECT_EQ(record.FailedReadings(), 1);
    EXPECT_EQ(FailedReadingsText(record), "HMU0 IMON1");
    EXPECT_EQ(session->Failures().Summary(), "1 reading failed: HMU0 IMON1 in record 1");
}

TEST_F(LogWriter, DemoModeLogsEightDevicesAndNoGpio7WhereTheDemoHasNone)
{
    port->SetDemoMode(true);
    Select(0, {Channel(Group::Gpio, 7)});
    Select(4, {Channel(Group::Gpio, 6), Channel(Group::Gpio, 7), Channel(Group::Gpio, 8)});
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 1, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    const std::vector<std::string> lines = RecordLines(FileText(path))[1];
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Record 1 Value, Name"), 8);
    // The demo identifies HMU0 as a device with GPIO7, the others without.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0, HMU0_GPIO7"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0, HMU4_GPIO6"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "0, HMU4_GPIO7"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0, HMU4_GPIO8"), lines.end());
}

TEST_F(LogWriter, EveryRecordIsOnDiskAsSoonAsItIsWritten)
{
    selection.fill(1);
    {
        std::ofstream old(path);
        old << "an older log, longer than the new one will be .............................\n";
    }
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 7, 0, 0), CLogSession::StartResult::Started);
    std::string expected = FileText(path);
    EXPECT_EQ(expected.rfind("Norvane Semiconductor Sentrix II I2C Utility version: 1.0.17.297\n", 0), 0u)
        << "the file starts afresh";
    EXPECT_NE(expected.find("Logging interval: 7 sec, Total logs: 0 (0 - unlimited)\n"), std::string::npos);
    for (int n = 1; n <= 2; ++n) {
        ASSERT_TRUE(session->WriteRecord());
        // Read by another reader while the file is still open: nothing waits in a buffer.
        expected += FormatLogRecord(session->LastRecord());
        EXPECT_EQ(FileText(path), expected) << n;
        EXPECT_EQ(RecordLines(expected).size(), static_cast<size_t>(n));
    }
}

TEST_F(LogWriter, FilesThatCannotBeWrittenAreReportedWithTheSystemsText)
{
    auto session = Session();
    EXPECT_EQ(session->Start((LogTestFolder() / "no such folder" / "x.log").string(), 1, 0, 0),
              CLogSession::StartResult::OpenFailed);
    EXPECT_EQ(session->ErrorText(), std::strerror(ENOENT));
    EXPECT_FALSE(session->IsOpen());
    if (std::filesystem::exists("/dev/full")) {
        // Opens, but nothing it is given reaches the disk.
        EXPECT_EQ(session->Start("/dev/full", 1, 0, 0), CLogSession::StartResult::WriteFailed);
        EXPECT_EQ(session->ErrorText(), std::strerror(ENOSPC));
        EXPECT_FALSE(session->IsOpen());
    }
}

#ifndef _WIN32
TEST_F(LogWriter, WriteErrorInTheMiddleEndsTheRunWithWhatWasWrittenIntact)
{
    selection.fill(1);
    auto session = Session();
    ASSERT_EQ(session->Start(path.string(), 1, 0, 0), CLogSession::StartResult::Started);
    ASSERT_TRUE(session->WriteRecord());
    ASSERT_TRUE(session->WriteRecord());
    const std::string before = FileText(path);
    {
        // The disk fills up ten bytes into record 3.
        CFileSizeLimit full(before.size() + 10);
        EXPECT_FALSE(session->WriteRecord());
    }
    EXPECT_EQ(session->ErrorText(), std::strerror(EFBIG));
    EXPECT_FALSE(session->IsOpen()) << "the file is closed";
    EXPECT_EQ(session->RecordsWritten(), 2);
    EXPECT_FALSE(session->WriteRecord()) << "nothing more after the error";
    EXPECT_EQ(FileText(path), before) << "records 1 and 2 as they were, and nothing of record 3";
    EXPECT_EQ(RecordLines(before).size(), 2u);
}
#endif

}  // namespace
