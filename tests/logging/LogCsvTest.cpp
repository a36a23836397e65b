// A log as CSV, row by row: the conversion itself and zent2-cli csv.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <tuple>
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

// The CSV of a file, written row by row as it is read (zent2-cli csv), is
// byte for byte the CSV of the whole log read first, and the values the
// reader keeps are those of the text: logs of the simulated board, and
// numbers of every form the reader takes.
TEST(LogCsv, RowByRowEqualsTheWholeLogAndKeepsEveryValue)
{
    auto board = CSimulatedBoard::CreateDefault();
    logtest::TempFile simulated("simulated.log");
    {
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::ostringstream out, err;
        ASSERT_EQ(cli.Run({"--simulated-board", "log", "--output", simulated.Path(), "--count", "3"}, out, err),
                  CZent2Cli::kExitOk)
            << err.str();
    }
    std::ifstream in(simulated.Path(), std::ios::binary);
    const std::string real((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_NE(real.find("HMU1_IMON2"), std::string::npos);

    // Value lines by hand: forms the logger does not write but a file may hold.
    const std::string odd = logtest::Header(1, 0, true) +
                            "Record 1 Value, Name\n"
                            "1.2, HMU0_VMON1\n-0, HMU0_VMON2\n1.5e-7, HMU0_VMON3\n  00.50, HMU0_VMON4\n"
                            "12345678901.2345, HMU0_VMON5\n0, HMU0_GPIO1\n-0, HMU0_GPIO2\n.5, HMU0_VMON6\n"
                            "Record 2 Value, Name\n"
                            "1.234567891, HMU0_VMON1\n-0.000, HMU0_VMON2\n2E3, HMU0_VMON3\n5., HMU0_VMON4\n"
                            "0.000000001, HMU0_VMON5\n1.0, HMU0_GPIO1\n7, HMU0_VMON6\n8, HMU0_VMON6\n"
                            "Record 1 Value, Name\n9.9, HMU0_VMON7\n"
                            "Record 4 Value, Name\n3.25, HMU2_TMON1\n";
    using Expected = std::vector<std::tuple<int, int, int, double>>;  // record, device, channel, value
    const Expected oddValues = {
        {1, 0, 0, 1.2},   {2, 0, 0, 1.234567891}, {1, 0, 1, -0.0},  {2, 0, 1, -0.0},
        {1, 0, 2, 1.5e-7}, {2, 0, 2, 2e3},        {1, 0, 3, 0.5},   {2, 0, 3, 5.0},
        {1, 0, 4, 12345678901.2345}, {2, 0, 4, 0.000000001},         {1, 0, 5, 0.5},
        {2, 0, 5, 7.0},   {1, 0, 14, 0.0},        {2, 0, 14, 1.0},  {1, 0, 15, -0.0}, {4, 2, 24, 3.25},
    };
    const struct {
        const char* name;
        std::string log;
        Expected values;  // empty: every value line of the text, read with from_chars
    } cases[] = {
        {"the simulated board, three records", real, {}},
        {"numbers of every form", odd, oddValues},
        {"the simulated board, cut inside a line", real.substr(0, real.size() * 2 / 3), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        logtest::TempFile file("rows.log", c.log);
        const logread::LogReadResult whole = logread::ReadLogFile(file.Path());
        ASSERT_TRUE(whole.ok) << whole.error;
        Expected values = c.values;
        if (values.empty()) {
            // The logger's own lines: every whole one is a value of the record above it.
            std::istringstream lines(c.log.substr(0, c.log.rfind('\n') + 1));
            int record = 0;
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();  // text files on Windows
                if (line.rfind("Record ", 0) == 0) record = std::stoi(line.substr(7));
                const auto comma = line.find(", HMU");
                if (record == 0 || comma == std::string::npos) continue;
                const auto id = logread::ParseChannelName(line.substr(comma + 2));
                ASSERT_TRUE(id) << line;
                double value = 0;
                std::from_chars(line.data(), line.data() + comma, value);
                values.emplace_back(record, id->device, id->channel, value);
            }
            ASSERT_GT(values.size(), 29u);
        }
        Expected read;
        for (const logread::LogSeries& s : whole.data.Series())
            for (const logread::LogPoint& p : whole.data.Points(s)) read.emplace_back(p.record, s.device, s.channel, p.value);
        std::sort(values.begin(), values.end());
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, values);  // exactly: a float would lose 12345678901.2345, a byte the sign of -0
        for (size_t i = 0; i < std::min(read.size(), values.size()); ++i)
            EXPECT_EQ(std::signbit(std::get<3>(read[i])), std::signbit(std::get<3>(values[i])));

        std::ostringstream expected;
        ASSERT_TRUE(logread::WriteLogCsv(whole.data, expected));
        const logread::LogCsvPlan plan = logread::PlanLogCsv(file.Path());
        ASSERT_TRUE(plan.read.ok);
        EXPECT_EQ(plan.read.Messages(), whole.Messages());
        std::ostringstream rows;
        std::string error;
        ASSERT_TRUE(logread::StreamLogCsv(file.Path(), plan, rows, error)) << error;
        EXPECT_EQ(rows.str(), expected.str());
    }
}

// A log still being written when it is converted: the rows are those of the
// log as the first reading found it, whether the columns of its first record
// hold to its end or a later record brings a column or more decimals.
TEST(LogCsv, RowsAreThoseOfTheLogAsFirstRead)
{
    const std::string header = logtest::Header(1, 0, true);
    const std::string first = logtest::Record(1, {0, 1}, {{0, 0, 1.202}, {0, 26, 31.25}, {1, 11, 1}});
    const struct {
        const char* name;
        std::string log;
    } cases[] = {
        {"the columns of the first record", header + first + logtest::Record(2, {0, 1}, {{0, 0, 1.204}, {1, 11, 0}})},
        {"a column from a later record", header + first + logtest::Record(2, {0, 2}, {{0, 0, 1.204}, {2, 3, 0.9}})},
        {"more decimals in a later record",
         header + first + "Record 2 Value, Name\n1.2045, HMU0_VMON1\n-0.5, HMU0_TMON3\n"},
    };
    // Written while the rows were being made: a value of the last record, a record, a channel.
    const std::string later = "1.5, HMU0_VMON2\n" + logtest::Record(3, {0, 3}, {{0, 0, 1.1}, {3, 5, 2.25}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostringstream expected;
        ASSERT_TRUE(logread::WriteLogCsv(logread::ReadLogText(c.log).data, expected));
        logtest::TempFile file("growing.log", c.log);
        const logread::LogCsvPlan plan = logread::PlanLogCsv(file.Path());
        ASSERT_TRUE(plan.read.ok) << plan.read.error;
        std::ofstream(file.Path(), std::ios::binary | std::ios::app) << later;
        std::ostringstream rows;
        std::string error;
        ASSERT_TRUE(logread::StreamLogCsv(file.Path(), plan, rows, error)) << error;
        EXPECT_EQ(rows.str(), expected.str());
    }
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
