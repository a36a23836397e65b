// zent2-cli watch on the simulated board and a virtual clock: the frames it
// prints when its output is not a terminal, the board file's values in
// them, failed readings and missing devices, the exit statuses, and bad
// usage that never reaches the bus.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"

namespace {

struct WatchRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> frames;  // the frames, split at their blank lines
};

class CliWatch : public ::testing::Test {
protected:
    WatchRun Run(const std::string& boardText, std::vector<std::string> args, const std::string& script = "")
    {
        board = CSimulatedBoard::CreateDefault();
        std::string error;
        EXPECT_TRUE(board->LoadText(boardText, error)) << error;
        args.insert(args.begin(), "--simulated-board");
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::istringstream in(script);
        cli.SetInput(&in);
        LogClock clock;
        clock.now = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(virtualMs)); };
        clock.sleep = [this](std::chrono::milliseconds time) { virtualMs += time.count(); };
        clock.wallTime = [] { return std::time_t(0); };
        cli.SetLogClock(clock);
        std::ostringstream out, err;
        WatchRun run;
        virtualMs = 0;
        run.status = cli.Run(args, out, err);
        run.out = out.str();
        run.err = err.str();
        for (size_t start = 0; start < run.out.size();) {
            const size_t end = run.out.find("\n\n", start);
            run.frames.push_back(run.out.substr(start, end == std::string::npos ? std::string::npos : end - start + 1));
            start = end == std::string::npos ? run.out.size() : end + 2;
        }
        return run;
    }

    std::unique_ptr<CSimulatedBoard> board;
    long long virtualMs = 0;
};

TEST_F(CliWatch, PrintsOnePlainFramePerRefresh)
{
    const std::string trace = (std::filesystem::temp_directory_path() / "zent2-watch-test.vcd").string();
    std::filesystem::remove(trace);
    struct Case {
        std::string board;
        std::vector<std::string> args;
        int status;
        size_t frames;
        long long elapsedMs;
        std::vector<std::string> inEveryFrame;
        std::vector<std::string> inNoFrame;
        std::string err;
    };
    const Case cases[] = {
        {"hmu0.vmon1 = 1.25\nhmu1.temp1 = 41.5\nhmu0.gpio5.input = 0\n",
         {"watch", "--count", "3", "--interval", "0.5"}, 0, 3, 1000,
         {"HMU0\n", "  VMON1             1.250 V      1.250 V      1.250 V      0  0\n",  // under comparator A
          "  VMON7     POT1    1.200 V", "  TMON2     R203    ", "HMU1\n",
          "  TMON1             41.50 °C     41.50 °C     41.50 °C     ",
          "* read through the attenuator; not rescaled\n"},
         {"---", "HMU2"}, ""},
        // Only the channels asked for, of the device asked for, and a trace of it.
        {"hmu1.vmon2 = 0.75\n", {"--trace", trace, "watch", "1", "--select", "vmon2,tmon3", "--count", "2"}, 0, 2,
         1000, {"HMU1\n", "  VMON2             0.750 V", "  TMON int  "}, {"HMU0", "VMON1", "GPIO"}, ""},
        // Failed readings show no value, never a zero; the run says so and exits 1.
        {"hmu0.nack.command.0x52 = always\n", {"watch", "0", "--count", "3"}, 1, 3, 2000,
         {"  VMON1             ---          ---          ---          ---", "(reading failed)"},
         {"0.000 V", "1.800 V"}, "zent2-cli: 29 readings of the last frame failed\n"},
        {"hmu0.fault.conversion = always\n", {"watch", "--count", "1", "--select", "vmon,tmon"}, 1, 1, 0,
         {"  VMON1             ---          ---          ---          1  0  (reading failed)",
          "  TMON1             35.00 °C"},
         {"0.000 V"}, "zent2-cli: 10 readings of the last frame failed\n"},
        // A device asked for that does not answer.
        {"", {"watch", "0", "3", "--count", "1", "--select", "vmon1"}, 1, 1, 0,
         {"HMU0\n", "HMU3 (absent: does not answer)\n"}, {"HMU1"},
         "zent2-cli: 1 reading of the last frame failed\n"},
        // In a script, beside other commands on the same board.
        {"", {"-"}, 0, 2, 1000, {"HMU0\n", "  VMON1             1.800 V"}, {"---"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const WatchRun run = Run(c.board, c.args, c.args[0] == "-" ? "watch 0 --select vmon1 --count 2\nscan\n" : "");
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(virtualMs, c.elapsedMs);
        ASSERT_EQ(run.frames.size(), c.frames) << run.out;
        for (size_t f = 0; f < run.frames.size(); ++f) {
            const std::string& frame = run.frames[f];
            EXPECT_EQ(frame.rfind("Frame " + std::to_string(f + 1) + "\n", 0), 0u) << frame;
            for (const std::string& text : c.inEveryFrame) EXPECT_NE(frame.find(text), std::string::npos) << text << " in\n" << frame;
            for (const std::string& text : c.inNoFrame) EXPECT_EQ(frame.find(text), std::string::npos) << text << " in\n" << frame;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(trace));
    std::filesystem::remove(trace);
}

TEST_F(CliWatch, BadUsageExitsTwoBeforeTheBus)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"watch", "8"}, "HMU index 8 is outside 0..7"},
        {{"watch", "0", "0"}, "watch: HMU 0 is given twice"},
        {{"watch", "--interval", "0.05"}, "--interval 0.05 is outside 0.1..86400"},
        {{"watch", "--interval", "x"}, "--interval 'x'"},
        {{"watch", "--output", "f.log"}, "--output belongs to the log command"},
        {{"watch", "--select", "temp"}, "unknown channel 'temp'"},
        {{"scan", "--count", "2"}, "--count belongs to the log and watch commands"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const WatchRun run = Run("", c.args);
        EXPECT_EQ(run.status, CZent2Cli::kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

}  // namespace
