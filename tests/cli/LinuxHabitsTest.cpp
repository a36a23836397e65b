// zent2-cli as Linux tools behave: help for one command, every device when
// none is named, 7-bit addresses, an i2cdetect grid, "-" for standard
// streams and a quiet end when the reader of standard output goes away.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome RunOnBoard(const std::string& line)
{
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::istringstream words(line);
    std::vector<std::string> args;
    for (std::string word; words >> word;) args.push_back(word);
    CZent2Cli cli;
    cli.SetBoard(board.get());
    std::ostringstream out, err;
    const int status = cli.Run(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliHabits, CommandsAndOptionsAsLinuxToolsTakeThem)
{
    const struct {
        const char* args;
        int status;
        std::vector<const char*> shown;  // each in standard output
    } cases[] = {
        {"help measure", 0, {"Usage: zent2-cli [OPTIONS] measure [HMU]\n", "without HMU every device"}},
        {"--simulated-board measure --help", 0, {"Usage: zent2-cli [OPTIONS] measure [HMU]\n"}},
        {"trim --help", 0, {"trim HMU CELL VOLTS", "trim HMU CELL  "}},
        {"help nonsense", 2, {}},
        {"help measure faults", 2, {}},
        {"--simulated-board scan", 0, {"HMU0 0xC0 present\n", "main 0x40 present\n"}},
        {"--simulated-board --address-format 7 scan", 0, {"HMU0 0x60 present\nHMU1 0x61 present\n", "main 0x20 present\n"}},
        {"--simulated-board --address-format 7 --base 0x61 --main 0x20 scan", 0, {"HMU0 0x61 present\nHMU1 0x62 absent\n"}},
        {"--simulated-board --base 0x61 --address-format 7 scan", 0, {"HMU0 0x61 present\n"}},
        {"--simulated-board --address-format 7 --base 0x80 scan", 2, {}},
        {"--simulated-board --address-format 9 scan", 2, {}},
        {"--simulated-board detect", 0,
         {"     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n00:          -- --",
          "\n20: 20 -- --", "\n60: 60 61 -- --", "\n70: -- -- -- -- -- -- -- --\n",
          "Acknowledged (8-bit write address): 0x40 0xC0 0xC2\n"}},
        {"--simulated-board --address-format 7 detect", 0, {"Acknowledged (7-bit): 0x20 0x60 0x61\n"}},
        {"--demo detect", 2, {}},
        {"--simulated-board measure", 0, {"HMU0 0xC0\nVMON1 ", "\n\nHMU1 0xC2\nVMON1 "}},
        {"--simulated-board faults", 0, {"HMU0 0xC0\n", "\n\nHMU1 0xC2\n"}},
    };
    for (const auto& c : cases) {
        const Outcome result = RunOnBoard(c.args);
        EXPECT_EQ(result.status, c.status) << c.args << ": " << result.err;
        for (const char* text : c.shown) EXPECT_NE(result.out.find(text), std::string::npos) << c.args << ":\n" << result.out;
        if (c.status == 2) {
            EXPECT_EQ(result.out, "") << c.args;
        }
    }
    // Without any device on the bus, measure has nothing to show.
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::string error;
    ASSERT_TRUE(board->LoadText("hmu0.present = 0\nhmu1.present = 0\n", error)) << error;
    CZent2Cli cli;
    cli.SetBoard(board.get());
    std::ostringstream out, err;
    EXPECT_EQ(cli.Run({"--simulated-board", "measure"}, out, err), 1);
    EXPECT_EQ(err.str(), "zent2-cli: no HMU device answered\n");
}

#ifndef _WIN32
// The built program in a shell pipeline: its status, what it wrote to
// standard output and to standard error.
Outcome Shell(const std::string& pipeline)
{
    const std::string errPath = testing::TempDir() + "zent2-cli-habits-err.txt";
    FILE* pipe = popen(("(" + pipeline + ") 2>" + errPath).c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    std::string err;
    if (FILE* file = std::fopen(errPath.c_str(), "r")) {
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) err.append(buffer, n);
        std::fclose(file);
    }
    std::remove(errPath.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err};
}

TEST(CliHabits, StandardStreamsAndAClosedPipe)
{
    const std::string cli = ZENT2_CLI_PATH;
    const struct {
        std::string pipeline;
        int status;
        const char* shown;  // in standard output
        const char* error;  // all of standard error
    } cases[] = {
        // A reader that goes away ends the program quietly; the first lines arrived.
        {"(" + cli + " --simulated-board dump 0; echo \"status $?\" >&2) | head -1", 0, "M   0 0x00  ADC MUX",
         "status 0\n"},
        // A log to standard output without end: it ends when its reader does.
        {"(" + cli + " --simulated-board log --output - --interval 1 2>/dev/null; echo \"status $?\" >&2) | head -1", 0,
         "Sentrix II I2C Utility version", "status 0\n"},
        // log - and csv -: a log through a pipe, as CSV.
        {cli + " --simulated-board log --output - --count 2 2>/dev/null | " + cli + " csv -", 0,
         "record,time,HMU0_VMON1,", ""},
        {"echo nothing | " + cli + " csv -", 1, "", nullptr},
        // A full disk is still an error.
        {cli + " --simulated-board scan >/dev/full", 1, "", "zent2-cli: cannot write the output\n"},
    };
    for (const auto& c : cases) {
        const Outcome result = Shell(c.pipeline);
        EXPECT_EQ(result.status, c.status) << c.pipeline << ": " << result.err;
        EXPECT_NE(result.out.find(c.shown), std::string::npos) << c.pipeline << ":\n" << result.out;
        if (c.error != nullptr) {
            EXPECT_EQ(result.err, c.error) << c.pipeline;
        }
    }
    // The stored sense resistor of the desktop utility, unless --rsense is given.
    const std::string config = testing::TempDir() + "zent2-cli-habits-config";
    const std::string folder = config + "/Norvane Semiconductor Corporation/ZENT2_I2C_Utility";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/Settings.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Norvane Semiconductor Corporation\\ZENT2_I2C_Utility\\Settings]\r\n"
           "\"HMU0_IMON0_SenseResistor\"=\"0.005\"\r\n";
    const struct {
        const char* options;
        const char* imon1;
        const char* himon1;
    } sense[] = {{"", "through 0.005 ohm", "through 0.1 ohm"}, {"--rsense 0.2", "through 0.2 ohm", "through 0.2 ohm"}};
    for (const auto& c : sense) {
        const Outcome result =
            Shell("XDG_CONFIG_HOME='" + config + "' " + cli + " --simulated-board " + c.options + " measure 0");
        EXPECT_NE(result.out.find(std::string("A ") + c.imon1 + "\nHIMON1"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(std::string("A ") + c.himon1 + "\nTMON1"), std::string::npos) << result.out;
    }
    std::filesystem::remove_all(config);
    const Outcome csv = Shell(cli + " --simulated-board log --output - --count 2 2>/dev/null | " + cli + " csv -");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3) << csv.out;
}
#endif

}  // namespace
