// zent2-cli log on the simulated board, on virtual time: the file it writes,
// its progress lines, the readings that fail, how SIGINT and SIGTERM end it
// (also in a script, and while a FIFO waits), and what a file that cannot be
// written does to it.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/Zent2Cli.h"
#include "logging/LogCsv.h"
#include "logging/LogReader.h"
#include "sim/SimulatedBoard.h"
#include "tests/logging/FileSizeLimit.h"
#include "tests/logging/LogTestSupport.h"

namespace {

struct LogRun {
    int status = -1;
    std::string err;
    std::vector<std::string> errLines;
};

class CliLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = CSimulatedBoard::CreateDefault();
        path = (LogTestFolder() / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                   ".log")).string();
        std::filesystem::remove(path);
    }

    // Runs on a clock that moves only when the command sleeps; onSleep is
    // told the virtual milliseconds passed after each wait.
    LogRun Run(std::vector<std::string> args, const std::function<void(long long ms)>& onSleep = {},
               const std::string& script = "")
    {
        args.insert(args.begin(), "--simulated-board");
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::istringstream in(script);
        cli.SetInput(&in);
        LogClock clock;
        clock.now = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(virtualMs)); };
        clock.sleep = [this, onSleep](std::chrono::milliseconds time) {
            virtualMs += time.count();
            if (onSleep) onSleep(virtualMs);
        };
        clock.wallTime = [] { return std::time_t(0); };
        cli.SetLogClock(clock);
        std::ostringstream out, err;
        LogRun run;
        run.status = cli.Run(args, out, err);
        EXPECT_EQ(out.str(), "") << "log prints nothing on standard output";
        run.err = err.str();
        run.errLines = Lines(run.err);
        return run;
    }

    std::unique_ptr<CSimulatedBoard> board;
    std::string path;
    long long virtualMs = 0;
};

TEST_F(CliLog, BadOptionsExitTwoWithoutTouchingTheBusOrTheFile)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"log"}, "--output FILE is required"},
        {{"log", "--output"}, "needs a value"},
        {{"log", "--output", "P", "--interval", "0"}, "--interval 0 is outside 1..86400"},
        {{"log", "--output", "P", "--interval", "86401"}, "outside"},
        {{"log", "--output", "P", "--interval", "1.5"}, "bad number"},
        {{"log", "--output", "P", "--count", "0x80000000"}, "too large"},
        {{"log", "--output", "P", "--count", "-1"}, "bad number '-1'"},
        {{"log", "--output", "P", "--select", "vmon1,temp"}, "unknown channel 'temp'"},
        {{"log", "--output", "P", "--select="}, "needs a value"},
        {{"log", "0", "--output", "P"}, "too many arguments"},
        {{"scan", "--output", "P"}, "--output belongs to the log command"},
        {{"measure", "0", "--select", "vmon1"}, "--select belongs to the log and watch commands"},
        // The trace is written at the end, over the log.
        {{"--trace", "P", "log", "--output", "P", "--count", "1"}, "--trace and --output name the same file"},
        {{"--trace", "Q", "log", "--output", "P", "--count", "1"}, "--trace and --output name the same file"},
    };
    // The same file by another way there.
    const std::filesystem::path file(path);
    const std::string other = (file.parent_path() / "." / file.filename()).string();
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (std::string& a : args) {
            if (a == "P") a = path;
            if (a == "Q") a = other;
        }
        const LogRun run = Run(args);
        EXPECT_EQ(run.status, CZent2Cli::kExitUsage) << c.message;
        ASSERT_EQ(run.errLines.size(), 1u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.message << " in " << run.err;
        EXPECT_FALSE(std::filesystem::exists(path)) << c.message;
    }
    EXPECT_EQ(board->Driver()->Counters().writeCalls, 0u);
}

TEST_F(CliLog, CountedRunWritesTheSelectedChannelsOfEveryDeviceOnSchedule)
{
    const LogRun run = Run({"log", "--output", path, "--interval", "2", "--count", "3", "--select",
                            "vmon1,hvout,gpio7,himon"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.errLines, (std::vector<std::string>{"Record 1 of 3: HMU0, HMU1", "Record 2 of 3: HMU0, HMU1",
                                                      "Record 3 of 3: HMU0, HMU1",
                                                      "zent2-cli: 3 records written to " + path}));
    EXPECT_EQ(virtualMs, 4000) << "records at 0, 2 and 4 seconds, no wait after the last";

    const std::string text = FileText(path);
    EXPECT_NE(text.find("Logging interval: 2 sec, Total logs: 3 (0 - unlimited)\n"), std::string::npos);
    const auto records = RecordLines(text);
    ASSERT_EQ(records.size(), 3u);
    const std::vector<std::string>& first = records.at(1);
    // HMU0: VMON1, HVOUT1..4, GPIO7, IMON2; HMU1 the same without GPIO7.
    ASSERT_EQ(first.size(), 8u + 7u);
    EXPECT_EQ(first[0], "Record 1 Value, Name");
    EXPECT_NE(first[1].find(", HMU0_VMON1"), std::string::npos);
    EXPECT_EQ(first[6], "0, HMU0_GPIO7");
    EXPECT_NE(first[7].find(", HMU0_IMON2"), std::string::npos);
    EXPECT_EQ(first[8], "Record 1 Value, Name");
    EXPECT_NE(first[14].find(", HMU1_IMON2"), std::string::npos);
    // Each record its own cable lock; none held through the waits.
    EXPECT_EQ(board->Driver()->OpenCount(CSimulatedFtdiDriver::kEnableChannel), 3);
    EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, 0u);
}

TEST_F(CliLog, DevicesThatStopAnsweringAreLeftOutAndSaidSo)
{
    const LogRun run = Run({"log", "--output", path, "--count", "3", "--select", "tmon1"}, [&](long long ms) {
        if (ms == 500) board->RemoveHmu(0);
        if (ms == 1500) board->RemoveHmu(1);
    });
    EXPECT_EQ(run.status, 0);
    ASSERT_GE(run.errLines.size(), 3u);
    EXPECT_EQ(run.errLines[0], "Record 1 of 3: HMU0, HMU1");
    EXPECT_EQ(run.errLines[1], "Record 2 of 3: HMU1");
    EXPECT_EQ(run.errLines[2], "Record 3 of 3: no HMU device answered");
    const auto records = RecordLines(FileText(path));
    EXPECT_EQ(records.size(), 2u) << "a record of no device has no line at all";
}

TEST_F(CliLog, ACableThatFailsEndsTheRunWithExitOneAfterItsRecord)
{
    const std::string failed = " (a reading failed: some values are not measurements)";
    const struct {
        const char* name;
        std::function<void(CSimulatedFtdiDriver&)> fault;  // at 1.5 s, between records 2 and 3
        int status;
        std::vector<std::string> progress;
    } cases[] = {
        {"unplugged", [](CSimulatedFtdiDriver& d) { d.SetPlugged(false); }, 1,
         {"Record 1 of 4: HMU0, HMU1", "Record 2 of 4: HMU0, HMU1", "Record 3 of 4: no HMU device answered",
          "zent2-cli: the cable failed during record 3 (unplugged, or its chip stopped answering): the log ends "
          "there; the records before it are complete in " + path}},
        // One write the driver refuses is tried again: the cable works.
        {"one failed write", [](CSimulatedFtdiDriver& d) { d.FailWrites(1); }, 0,
         {"Record 1 of 4: HMU0, HMU1", "Record 2 of 4: HMU0, HMU1", "Record 3 of 4: HMU0, HMU1",
          "Record 4 of 4: HMU0, HMU1", "zent2-cli: 4 records written to " + path}},
    };
    for (const auto& c : cases) {
        SetUp();
        const LogRun run = Run({"log", "--output", path, "--count", "4", "--select", "vmon1"}, [&](long long ms) {
            if (ms == 1500) c.fault(*board->Driver());
        });
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.errLines, c.progress) << c.name;
        EXPECT_EQ(RecordLines(FileText(path)).size(), c.status == 0 ? 4u : 2u) << c.name;
    }
}

// A reading that failed is not in the file as a value (the CSV and the
// Trend window then show nothing there); every record is written all the
// same, the progress names what is missing, a summary closes the run and
// the exit status is 1.
TEST_F(CliLog, FailedReadingsAreLeftOutNamedAndEndTheRunWithStatusOne)
{
    const struct {
        const char* board;  // a board file
        std::vector<std::string> progress;
        std::string summary;
        std::string missing;  // a line name no record holds
    } cases[] = {
        {"hmu0.fault.conversion = always",
         {"Record 1 of 2: HMU0 (failed, not logged: VMON1-10, IMON1-2), HMU1",
          "Record 2 of 2: HMU0 (failed, not logged: VMON1-10, IMON1-2), HMU1"},
         "24 readings failed: HMU0 VMON1-10, IMON1-2 in records 1-2", "HMU0_IMON2"},
        // The gains: not a current at half its value.
        {"hmu0.nack.command.0x33 = always",
         {"Record 1 of 2: HMU0 (failed, not logged: IMON1-2), HMU1",
          "Record 2 of 2: HMU0 (failed, not logged: IMON1-2), HMU1"},
         "4 readings failed: HMU0 IMON1-2 in records 1-2", "HMU0_IMON1"},
        {"hmu1.nack.command.0x52 = always",
         {"Record 1 of 2: HMU0, HMU1 (failed, not logged: VMON1-10, HVOUT1-4, GPIO1-6, GPIO8-10, TMON1-3, IMON1-2)",
          "Record 2 of 2: HMU0, HMU1 (failed, not logged: VMON1-10, HVOUT1-4, GPIO1-6, GPIO8-10, TMON1-3, IMON1-2)"},
         "56 readings failed: HMU1 VMON1-10, HVOUT1-4, GPIO1-6, GPIO8-10, TMON1-3, IMON1-2 in records 1-2",
         "HMU1_TMON1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board);
        SetUp();
        std::string error;
        ASSERT_TRUE(board->LoadText(c.board, error)) << error;
        const LogRun run = Run({"log", "--output", path, "--count", "2"});
        EXPECT_EQ(run.status, 1);
        std::vector<std::string> expected = c.progress;
        expected.push_back("zent2-cli: 2 records written to " + path);
        expected.push_back("zent2-cli: " + c.summary + " (not in the log)");
        EXPECT_EQ(run.errLines, expected);
        const std::string text = FileText(path);
        EXPECT_EQ(RecordLines(text).size(), 2u);
        EXPECT_EQ(text.find(c.missing), std::string::npos);
        EXPECT_NE(text.find("HMU0_TMON1"), std::string::npos) << "the other readings are logged";
    }

    // A reading that fails once: an empty cell of its record in the CSV.
    SetUp();
    virtualMs = 0;
    const LogRun run = Run({"log", "--output", path, "--count", "3", "--select", "vmon1"}, [&](long long ms) {
        if (ms == 1000) board->Hmu(1)->InjectFault(HmuFault::ConversionNeverReady, 1);
    });
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.errLines.size(), 5u) << run.err;
    EXPECT_EQ(run.errLines[1], "Record 2 of 3: HMU0, HMU1 (failed, not logged: VMON1)");
    EXPECT_EQ(run.errLines[4], "zent2-cli: 1 reading failed: HMU1 VMON1 in record 2 (not in the log)");
    const logread::LogReadResult log = logread::ReadLogFile(path);
    ASSERT_TRUE(log.ok) << log.error;
    EXPECT_EQ(log.problemCount, 0);
    std::ostringstream csv;
    ASSERT_TRUE(logread::WriteLogCsv(log.data, csv));
    const std::vector<std::string> rows = Lines(csv.str());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "record,time,HMU0_VMON1,HMU1_VMON1");
    EXPECT_EQ(rows[2].substr(rows[2].size() - 1), ",") << rows[2];
    EXPECT_NE(rows[3].back(), ',') << rows[3];
}

// The simulated bus keeps its newest decoded events only: a long run does
// not grow by them.
TEST_F(CliLog, ALongRunOnTheSimulatedBoardDoesNotKeepEveryBusEvent)
{
    const LogRun run = Run({"log", "--output", path, "--count", "120"});
    EXPECT_EQ(run.status, 0) << run.err;
    const CI2cBus& bus = board->Driver()->Bus();
    EXPECT_GT(bus.DroppedEvents(), 0u) << "the run makes more events than are kept";
    EXPECT_LE(bus.Events().size(), CI2cBus::kDefaultMaxEvents);
    EXPECT_EQ(bus.EventLog().rfind("... ", 0), 0u);
}

#ifndef _WIN32
TEST_F(CliLog, SigintOrSigtermEndsTheRunWithTheFileClosed)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        virtualMs = 0;
        const LogRun run = Run({"log", "--output", path, "--interval", "10"}, [&](long long ms) {
            if (ms == 3000) std::raise(signal);  // while waiting for record 2
        });
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.errLines, (std::vector<std::string>{"Record 1: HMU0, HMU1",
                                                          "zent2-cli: 1 record written to " + path}));
        EXPECT_EQ(RecordLines(FileText(path)).size(), 1u);
        // The program's own handling is back.
        const auto previous = std::signal(signal, SIG_DFL);
        EXPECT_EQ(previous, SIG_DFL);
    }
}

TEST_F(CliLog, FilesThatCannotBeWrittenExitOneWithTheSystemsText)
{
    const LogRun missing = Run({"log", "--output", (LogTestFolder() / "no folder" / "x.log").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(std::string(": ") + std::strerror(ENOENT)), std::string::npos) << missing.err;

    std::unique_ptr<CFileSizeLimit> full;
    std::string written;
    const LogRun run = Run({"log", "--output", path}, [&](long long ms) {
        if (ms != 100) return;
        written = FileText(path);
        full = std::make_unique<CFileSizeLimit>(written.size() + 10);
    });
    full.reset();
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.errLines.size(), 2u) << run.err;
    EXPECT_EQ(run.errLines[1], "zent2-cli: writing the log file " + path + " failed: " + std::strerror(EFBIG) +
                                   "; 1 record before it are in the file");
    EXPECT_EQ(RecordLines(written).at(1).size(), 2u + 29u + 28u);
    EXPECT_EQ(FileText(path), written) << "no part of record 2 is left in the file";
}

// A FIFO that nobody reads, or whose reader stops reading: the log waits
// for the reader, and a signal ends the wait (neither the open nor a write
// holds on to the program).
TEST_F(CliLog, AFifoThatIsNotReadIsWaitedForUntilASignal)
{
    const std::string fifo = path + ".fifo";
    const std::string waiting = "zent2-cli: waiting for a program to read the FIFO " + fifo + " (Ctrl-C ends)";
    for (const bool reader : {false, true}) {
        SCOPED_TRACE(reader ? "a reader that stops reading" : "no reader");
        std::filesystem::remove(fifo);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
        // The reader opens and never reads; a one-page pipe fills at once.
        const int readEnd = reader ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        if (reader) {
            ASSERT_GE(readEnd, 0) << std::strerror(errno);
            ::fcntl(readEnd, F_SETPIPE_SZ, 4096);
        }
        virtualMs = 0;
        const LogRun run = Run({"log", "--output", fifo, "--interval", "1"}, [&](long long ms) {
            if (ms == 60000) std::raise(SIGTERM);
        });
        std::string inPipe;
        char buffer[4096];
        for (ssize_t n; reader && (n = ::read(readEnd, buffer, sizeof buffer)) > 0;) inPipe.append(buffer, size_t(n));
        if (reader) ::close(readEnd);
        std::filesystem::remove(fifo);
        EXPECT_EQ(run.status, 1);
        if (!reader) {
            EXPECT_EQ(run.errLines, (std::vector<std::string>{waiting, "zent2-cli: SIGTERM arrived before the log file " +
                                                                           fifo + " was opened: nothing was logged"}));
            continue;
        }
        // Every record before the stall is whole in the pipe; the one it
        // stalled in is said to be cut short.
        ASSERT_GE(run.errLines.size(), 3u) << run.err;
        EXPECT_EQ(std::count(run.errLines.begin(), run.errLines.end(), waiting), 1) << run.err;
        const auto records = RecordLines(inPipe);
        const auto whole = std::count_if(records.begin(), records.end(),
                                         [](const auto& record) { return record.second.size() == 2u + 29u + 28u; });
        EXPECT_GE(whole, 1) << inPipe;
        EXPECT_LE(records.size(), size_t(whole) + 1) << "only the last record is cut";
        EXPECT_EQ(run.errLines.back(),
                  "zent2-cli: writing the log file " + fifo +
                      " failed: the program reading the FIFO stopped reading: the last record in it is cut short; " +
                      std::to_string(whole) + (whole == 1 ? " record" : " records") + " before it are in the file");
    }
    EXPECT_EQ(std::signal(SIGTERM, SIG_DFL), SIG_DFL) << "the program's own handling is back";
}

// In a script a signal ends the script, not only its log: what follows the
// log line never reaches the board.
TEST_F(CliLog, ASignalDuringAScriptsLogEndsTheScript)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        SetUp();
        virtualMs = 0;
        const std::string line = "log --output " + path + " --interval 10";
        const LogRun run = Run({"-"}, [&](long long ms) {
            if (ms == 3000) std::raise(signal);
        }, line + "\nwrite-main 0 0x05\n");
        EXPECT_EQ(run.status, 128 + signal);
        EXPECT_EQ(run.errLines,
                  (std::vector<std::string>{
                      "Record 1: HMU0, HMU1", "zent2-cli: 1 record written to " + path,
                      std::string("zent2-cli: standard input, line 1: ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                          " ended the script at \"" + line + "\"; the lines after it did not run"}));
        EXPECT_NE(board->Main()->Register(0), 0x05) << "the next line ran";
        EXPECT_EQ(RecordLines(FileText(path)).size(), 1u);
    }
}

// The program itself, stopped by a real signal while it logs for ever.
TEST_F(CliLog, TheProgramStopsCleanlyOnASignalFromOutside)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        std::filesystem::remove(path);
        int errPipe[2];
        ASSERT_EQ(pipe(errPipe), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(errPipe[1], STDERR_FILENO);
            close(errPipe[0]);
            execl(ZENT2_CLI_PATH, ZENT2_CLI_PATH, "--simulated-board", "log", "--output", path.c_str(), "--interval",
                  "1", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(errPipe[1]);
        FILE* err = fdopen(errPipe[0], "r");
        std::string output;
        char line[256];
        // The first record is written at once; the signal comes while the program waits or writes the next.
        if (std::fgets(line, sizeof line, err) != nullptr) output += line;
        kill(child, signal);
        while (std::fgets(line, sizeof line, err) != nullptr) output += line;
        std::fclose(err);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of ending";
        EXPECT_EQ(WEXITSTATUS(status), 0) << output;
        EXPECT_EQ(output.rfind("Record 1: HMU0, HMU1\n", 0), 0u) << output;
        EXPECT_NE(output.find("written to " + path), std::string::npos) << output;
        const auto records = RecordLines(FileText(path));
        ASSERT_GE(records.size(), 1u);
        for (const auto& [number, lines] : records) EXPECT_EQ(lines.size(), 2u + 29u + 28u) << number;
    }
}
#endif

}  // namespace
