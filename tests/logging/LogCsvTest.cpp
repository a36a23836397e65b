// A log as CSV, row by row: the conversion itself and zent2-cli csv.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"
#include "logging/LogCsv.h"
#include "tests/CommaLocale.h"
#include "tests/logging/LogTestFile.h"

namespace {

using logtest::Value;

// Devices come and go: record 2 lacks HMU1, record 3 is missing altogether.
std::string GappyLog(int interval, bool withDate)
{
    return logtest::Header(interval, 0, withDate) +
           logtest::Record(1, {0, 1}, {{0, 0, 1.202}, {0, 26, 31.25}, {1, 11, 1}}) +
           logtest::Record(2, {0}, {{0, 0, 1.204}, {0, 26, -0.5}}) +
           logtest::Record(4, {1}, {{1, 11, 0}});
}

TEST(LogCsv, WritesOneRowPerRecordWithEmptyCellsForMissingValues)
{
    const struct {
        const char* name;
        std::string log;
        std::vector<std::string> rows;
    } cases[] = {
        {"with a start time",
         GappyLog(2, true),
         {"record,time,HMU0_VMON1,HMU0_TMON3,HMU1_HVOUT2", "1,2024-12-31 23:59:58,1.202,31.250,1",
          "2,2025-01-01 00:00:00,1.204,-0.500,", "4,2025-01-01 00:00:04,,,0"}},
        {"without a date line",
         GappyLog(2, false),
         {"record,time,HMU0_VMON1,HMU0_TMON3,HMU1_HVOUT2", "1,0,1.202,31.250,1", "2,2,1.204,-0.500,", "4,6,,,0"}},
        {"without a header",
         logtest::Record(7, {3}, {{3, 9, 12.5}, {3, 28, 0.015}}),
         {"record,time,HMU3_VMON10,HMU3_IMON2", "7,,12.500,0.015"}},
        {"of a header only", logtest::Header(), {"record,time"}},
    };
    // Under a comma locale as well: the numbers keep their point.
    const bool comma = UseCommaLocale(LC_ALL) != nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const logread::LogReadResult log = logread::ReadLogText(c.log);
        ASSERT_TRUE(log.ok) << log.error;
        std::ostringstream out;
        ASSERT_TRUE(logread::WriteLogCsv(log.data, out));
        std::string expected;
        for (const std::string& row : c.rows) expected += row + "\n";
        EXPECT_EQ(out.str(), expected);
    }
    if (comma) std::setlocale(LC_ALL, "C");
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args)
{
    CZent2Cli cli;
    std::ostringstream out, err;
    const int status = cli.Run(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(LogCsv, ZentCliCsvConvertsALogOrSaysWhyItCannot)
{
    logtest::TempFile good("good.log", GappyLog(2, true));
    const std::string cut = GappyLog(2, true);
    logtest::TempFile crashed("crashed.log", cut.substr(0, cut.size() - 4));  // inside "0, HMU1_HVOUT2"
    logtest::TempFile garbage("garbage.log", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR");
    logtest::TempFile missing("missing.log");

    const CliRun ok = RunCli({"csv", good.Path()});
    EXPECT_EQ(ok.status, CZent2Cli::kExitOk);
    EXPECT_EQ(ok.out, "record,time,HMU0_VMON1,HMU0_TMON3,HMU1_HVOUT2\n1,2024-12-31 23:59:58,1.202,31.250,1\n"
                      "2,2025-01-01 00:00:00,1.204,-0.500,\n4,2025-01-01 00:00:04,,,0\n");
    EXPECT_EQ(ok.err, "");

    // A crash cut the last line: the rows hold what is whole, and stderr says so.
    const CliRun partial = RunCli({"csv", crashed.Path()});
    EXPECT_EQ(partial.status, CZent2Cli::kExitOk);
    EXPECT_EQ(partial.out, "record,time,HMU0_VMON1,HMU0_TMON3,HMU1_HVOUT2\n1,2024-12-31 23:59:58,1.202,31.250,1\n"
                           "2,2025-01-01 00:00:00,1.204,-0.500,\n4,2025-01-01 00:00:04,,,\n");
    EXPECT_EQ(partial.err, "zent2-cli: " + crashed.Path() +
                               ": line 17: cut short (no line end), left out; the log ends with record 4 up to its last "
                               "whole line\n");

    const CliRun absent = RunCli({"csv", missing.Path()});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_EQ(absent.err, "zent2-cli: cannot open " + missing.Path() + ": " + std::strerror(ENOENT) + "\n");

    const CliRun notLog = RunCli({"csv", garbage.Path()});
    EXPECT_EQ(notLog.status, 1);
    EXPECT_EQ(notLog.out, "");
    EXPECT_EQ(notLog.err, "zent2-cli: " + garbage.Path() + ": not a log file: it has no log header and no record line\n");

    const CliRun usage = RunCli({"csv"});
    EXPECT_EQ(usage.status, CZent2Cli::kExitUsage);
    EXPECT_EQ(usage.err, "zent2-cli: csv: missing arguments (usage: csv FILE.log)\n");
}

TEST(LogCsv, ZentCliScriptsLogAndConvertOnOneBoard)
{
    auto board = CSimulatedBoard::CreateDefault();
    logtest::TempFile log("script.log");
    logtest::TempFile missing("script-missing.log");
    const auto script = [&](const std::string& text) {
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::istringstream in(text);
        cli.SetInput(&in);
        std::ostringstream out, err;
        const int status = cli.Run({"--simulated-board", "-"}, out, err);
        return CliRun{status, out.str(), err.str()};
    };
    const CliRun both = script("log --output " + log.Path() + " --count 1 --select vmon1\ncsv " + log.Path() + "\n");
    EXPECT_EQ(both.status, CZent2Cli::kExitOk) << both.err;
    EXPECT_EQ(both.out.rfind("record,time,HMU0_VMON1,HMU1_VMON1\n1,", 0), 0u) << both.out;
    EXPECT_EQ(std::count(both.out.begin(), both.out.end(), '\n'), 2);

    const CliRun stopped = script("csv " + missing.Path() + "\nscan\n");
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out, "");
    EXPECT_EQ(stopped.err, "zent2-cli: cannot open " + missing.Path() + ": " + std::strerror(ENOENT) +
                               "\nzent2-cli: standard input, line 1: the script stops at \"csv " + missing.Path() +
                               "\"\n");
}

}  // namespace
