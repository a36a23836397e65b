// zent2-cli scripts, the main device's registers and the board file help,
// end to end on the simulated board.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"

using namespace std::chrono_literals;

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

class CliScript : public ::testing::Test {
protected:
    void SetUp() override { board = CSimulatedBoard::CreateDefault(); }

    // Runs the arguments with `input` as standard input.
    Result Run(std::vector<std::string> args, const std::string& input = "")
    {
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::istringstream in(input);
        cli.SetInput(&in);
        std::ostringstream out, err;
        const int status = cli.Run(args, out, err);
        return {status, out.str(), err.str()};
    }
    Result Script(const std::string& text) { return Run({"--simulated-board", "-"}, text); }
    CSimulatedFtdiDriver& Bus() { return *board->Driver(); }

    std::unique_ptr<CSimulatedBoard> board;
};

std::string TempFile(const std::string& name, const std::string& text)
{
    const std::string path = (std::filesystem::temp_directory_path() / ("zent2-script-" + name)).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST_F(CliScript, CommandsRunInOrderOnOneBoardAndStopAtTheFirstFailure)
{
    struct Case {
        const char* name;
        std::string script;
        int status;
        std::string out;
        std::string err;  // what standard error holds, "" for nothing
    };
    const std::string config = (std::filesystem::temp_directory_path() / "zent2-script-board.cfg").string();
    const std::vector<Case> cases = {
        {"a configuration saved, changed and loaded back on one board",
         "save-config " + config + " 0\nwrite 0 C 22 0x5A\nload-config " + config + " --dry-run\nload-config " +
             config + "\ndiff-config " + config + "\n",
         0, "89 registers of HMU0 saved to " + config + "\n", ""},
        {"a board that differs from the file stops the script",
         "save-config " + config + "\nwrite 1 C 22 0x5A\ndiff-config " + config + "\nscan\n", 1,
         "178 registers of HMU0 HMU1 saved to " + config + "\nHMU1  \"VMON1 Config0\"         22  file 0x48  device 0x5A\n",
         "zent2-cli: standard input, line 3: the script stops at \"diff-config " + config + "\"\n"},
        {"margining, given time, moves the trimmed rail",
         "# margin +5 %\nwrite-main 0 0x05\n\n   sleep 1.5   # the loops follow\nread-main 0\nmeasure 0\n", 0,
         "0x05\n", ""},
        {"a configuration written, applied and read back on one board",
         "write 0 C 0x34 0x5A\r\nupdate 0\r\nread 0 C 0x34\r\n", 0, "0x5A\n", ""},
        {"the first failing command stops the script with its status",
         "read-main 1\nread 5 C 0\nread-main 2\n", 1, "0xC1\n",
         "zent2-cli: HMU5 at 0xCA did not acknowledge\n"
         "zent2-cli: standard input, line 2: the script stops at \"read 5 C 0\"\n"},
        {"a bad line stops it before anything runs", "read-main 1\nwrite-main 0 0x05\nread-main 9\n", 2, "",
         "zent2-cli: standard input, line 3: main device register 9 is outside 0..3\n"},
        {"options belong to the command line", "scan\n--rate 100 scan\n", 2, "",
         "zent2-cli: standard input, line 2: options go on the command line, before - or --script, not into a "
         "script\n"},
        {"no script inside a script", "-\n", 2, "", "zent2-cli: standard input, line 1: a script cannot run another script\n"},
        {"sleep takes plain seconds", "sleep 1e3\n", 2, "", "zent2-cli: standard input, line 1: sleep '1e3': give "
                                                            "the seconds as a plain decimal number, 0 to 3600\n"},
        {"an empty script does nothing", "# nothing\n\n", 0, "", ""},
        // Read in full before it runs, so bounded as a board file is.
        {"a line longer than a board file's", "read-main 0\n" + std::string(4097, '#') + "\nread-main 1\n", 2, "",
         "zent2-cli: standard input, line 2: line longer than 4096 characters\n"},
        {"more than a board file holds",
         [] {
             std::string endless;
             while (endless.size() <= cli::kMaxScriptBytes) endless += "# " + std::string(97, '.') + "\n";
             return "read-main 0\n" + endless;
         }(),
         2, "", "zent2-cli: the script from standard input is larger than 1024 KiB: nothing was run\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Bus().ResetCounters();
        const Result r = Script(c.script);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(r.err, c.err);
        if (c.status == CZent2Cli::kExitUsage) {
            EXPECT_EQ(Bus().Counters().writeCalls, 0u) << "nothing reaches the bus";
        }
    }

    std::filesystem::remove(config);

    SetUp();
    const Result margined = Script("write-main 0 0x05\nsleep 1.5\nmeasure 0\n");
    EXPECT_NE(margined.out.find("VMON4      1.260 V"), std::string::npos) << margined.out;
    EXPECT_EQ(board->Now(), 1500ms) << "sleep runs the board clock";
}

TEST_F(CliScript, OneCableSessionWithALockPerCommand)
{
    const std::string path = TempFile("session.txt", "scan\nsleep 0.25\nread-main 0\ndump 1\n");
    const Result r = Run({"--simulated-board", "--script", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Bus().OpenCount(1), 1) << "the cable opens once";
    EXPECT_EQ(Bus().EnableRisingEdges(), 3) << "a lock around each command, none around sleep";
    EXPECT_EQ(Bus().Counters().transactionsWithEnableLow, 0u);
    EXPECT_EQ(board->Now(), 250ms);
    std::filesystem::remove(path);

    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--simulated-board", "--script", path}, "cannot read the script " + path},
             {{"--simulated-board", "--script", path, "scan"}, "no command after it"},
             {{"--simulated-board", "-", "scan"}, "no command after it"},
         }) {
        const Result bad = Run(args);
        EXPECT_EQ(bad.status, CZent2Cli::kExitUsage);
        EXPECT_NE(bad.err.find(message), std::string::npos) << bad.err;
    }
}

TEST_F(CliScript, MainDeviceRegistersAndTheBoardFileHelp)
{
    struct Case {
        std::string args;
        int status;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"--simulated-board read-main 3", 0, "0x03\n", ""},
        {"--simulated-board write-main 1 0xE7", 0, "", ""},
        {"--demo read-main 1", 0, "0xC1\n", ""},
        {"--simulated-board read-main 4", 2, "", "zent2-cli: main device register 4 is outside 0..3\n"},
        {"--simulated-board write-main 0 0x100", 2, "", "zent2-cli: value 0x100 is over 0xFF\n"},
        {"--simulated-board write-main 0", 2, "",
         "zent2-cli: write-main: missing arguments (usage: write-main REG VALUE)\n"},
        {"--simulated-board --main 0x42 read-main 0", 1, "", "zent2-cli: the main device at 0x42 did not acknowledge\n"},
        {"--simulated-board --main 0x42 write-main 0 1", 1, "", "zent2-cli: the main device at 0x42 did not acknowledge\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> args;
        std::istringstream words(c.args);
        for (std::string word; words >> word;) args.push_back(word);
        const Result r = Run(args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(board->Main()->Register(1), 0xE7);

    const Result help = Run({"--help-board"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, std::string(CSimulatedBoard::BoardFileHelp()));
    const Result usage = Run({"--help"});
    for (const char* word : {"read-main REG", "write-main REG VALUE", "sleep SECONDS", "--script FILE", "--help-board",
                             "zent2-cli [OPTIONS] -"})
        EXPECT_NE(usage.out.find(word), std::string::npos) << word;
}
