#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "sim/SimulatedFtdiDriver.h"
#include "sim/TestTarget.h"
#include "SimTestSequences.h"
#include "tests/SigrokDecode.h"

using simtest::Bytes;
using simtest::Cat;
using simtest::Exchange;
using simtest::ReadByte;
using simtest::Start;
using simtest::Stop;
using simtest::WriteByte;

namespace {

const char* const kExpected = "S C0 A 10 A Sr C1 A 5A A A5 N P";

// A traced write-then-read at the given clock divisor.
struct TracedTransaction {
    CSimulatedFtdiDriver driver;
    std::shared_ptr<CTestTarget> target = std::make_shared<CTestTarget>();

    explicit TracedTransaction(uint16_t divisor)
    {
        target->SetByte(0x10, 0x5A);
        target->SetByte(0x11, 0xA5);
        driver.Bus().Attach(0xC0, target);
        FtdiHandle h = simtest::OpenI2C(driver, divisor);
        driver.StartTrace();
        Exchange(driver, h, Cat({Start(), WriteByte(0xC0), WriteByte(0x10)}), 2);
        Exchange(driver, h, Cat({Start(), WriteByte(0xC1), ReadByte(false), ReadByte(true), Stop()}), 3);
        driver.StopTrace();
    }
};

// Reads the dump back and replays its changes into a fresh bus, which must
// decode the same transaction.
std::string ReplayVcd(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    CI2cBus bus;
    uint64_t time = 0;
    uint64_t lastStamp = 0;
    bool sawTimescale = false, sawScl = false, sawSda = false, sawDumpvars = false, inDumpvars = false;
    bool first = true;
    while (std::getline(in, line)) {
        if (line == "$timescale 1 ns $end") sawTimescale = true;
        else if (line == "$var wire 1 ! SCL $end") sawScl = true;
        else if (line == "$var wire 1 \" SDA $end") sawSda = true;
        else if (line == "$dumpvars") sawDumpvars = inDumpvars = true;
        else if (line == "$end") inDumpvars = false;
        else if (!line.empty() && line[0] == '#') {
            time = std::stoull(line.substr(1));
            if (!first) {
                EXPECT_GT(time, lastStamp) << "time stamps rise strictly";
            }
            lastStamp = time;
            first = false;
        } else if (line.size() == 2 && (line[0] == '0' || line[0] == '1')) {
            const bool level = line[0] == '1';
            if (inDumpvars) {
                EXPECT_TRUE(level) << "the trace starts with the bus idle";
                continue;
            }
            if (line[1] == '!')
                bus.SetScl(level, time);
            else if (line[1] == '"')
                bus.SetMasterSda(level, time);
            else
                ADD_FAILURE() << "unknown variable in " << line;
        }
    }
    EXPECT_TRUE(sawTimescale && sawScl && sawSda && sawDumpvars);
    return bus.EventLog();
}

#ifndef _WIN32
std::filesystem::path TempVcd(const std::string& name)
{
    // The process id keeps parallel runs from different build trees apart.
    return std::filesystem::temp_directory_path() /
           ("zent2-sim-" + std::to_string(getpid()) + "-" + name + ".vcd");
}
#endif

TEST(BusTrace, IsOffUntilStartedAndCanBeClearedAndResumed)
{
    CSimulatedFtdiDriver driver;
    FtdiHandle h = simtest::OpenI2C(driver);
    const Bytes probe = Cat({Start(), WriteByte(0xC0), Stop()});
    Exchange(driver, h, probe, 1);
    EXPECT_TRUE(driver.Bus().Trace().Events().empty());

    driver.StartTrace();
    Exchange(driver, h, probe, 1);
    const size_t one = driver.Bus().Trace().Events().size();
    EXPECT_GT(one, 0u);
    driver.StopTrace();
    Exchange(driver, h, probe, 1);
    EXPECT_EQ(driver.Bus().Trace().Events().size(), one);
    driver.StartTrace();
    Exchange(driver, h, probe, 1);
    EXPECT_EQ(driver.Bus().Trace().Events().size(), 2 * one);
    EXPECT_EQ(ReplayVcd(driver.Bus().Trace().VcdText()), "S C0 N P S C0 N P");

    driver.ClearTrace();
    EXPECT_TRUE(driver.Bus().Trace().Events().empty());
    Exchange(driver, h, probe, 1);
    EXPECT_EQ(driver.Bus().Trace().Events().size(), one) << "recording goes on after a clear";
}

TEST(BusTrace, StopsRecordingAtItsLimit)
{
    CSimulatedFtdiDriver driver;
    FtdiHandle h = simtest::OpenI2C(driver);
    driver.Bus().Trace().SetMaxEvents(10);
    driver.StartTrace();
    Exchange(driver, h, Cat({Start(), WriteByte(0xC0), Stop()}), 1);
    EXPECT_EQ(driver.Bus().Trace().Events().size(), 10u);
    EXPECT_TRUE(driver.Bus().Trace().Truncated());
    EXPECT_NE(driver.Bus().Trace().VcdText().find("$comment"), std::string::npos);
}

class TraceAtDivisor : public ::testing::TestWithParam<uint16_t> {};

TEST_P(TraceAtDivisor, VcdReplaysToTheSameTransaction)
{
    TracedTransaction run(GetParam());
    ASSERT_EQ(run.driver.EventLog(), kExpected);
    EXPECT_EQ(ReplayVcd(run.driver.Bus().Trace().VcdText()), kExpected);
}

TEST_P(TraceAtDivisor, SigrokDecodesTheVcd)
{
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli is run through a POSIX shell";
#else
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";

    TracedTransaction run(GetParam());
    const std::filesystem::path path = TempVcd(std::to_string(GetParam()));
    ASSERT_TRUE(run.driver.WriteVcd(path.string()));
    std::string tokens, output;
    const bool ok = sigrok::Decode(path.string(), &tokens, &output);
    std::filesystem::remove(path);
    ASSERT_TRUE(ok) << output;
    EXPECT_EQ(tokens, kExpected) << output;
#endif
}

INSTANTIATE_TEST_SUITE_P(Rates, TraceAtDivisor, ::testing::Values(59, 14, 0),
                         [](const ::testing::TestParamInfo<uint16_t>& info) {
                             return "Divisor" + std::to_string(info.param);
                         });

TEST(BusTrace, WriteVcdReportsAFileThatCannotBeWritten)
{
    CSimulatedFtdiDriver driver;
    EXPECT_FALSE(driver.WriteVcd("/nonexistent-folder/trace.vcd"));
}

}  // namespace
