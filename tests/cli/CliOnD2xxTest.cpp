// zent2-cli on the D2XX backend, whose calls land on the simulated board,
// prints what it prints with --simulated-board: the same bytes reach the same
// board. Here over the SimulatedD2xx table; on Windows also through the
// stand-in ftd2xx.dll loaded by its path, so that the library's loading, its
// calls and its 64-bit list nodes are the real ones.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "link/D2xxDriver.h"
#include "tests/link/ScriptedD2xx.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "link/CableBackend.h"
#include "link/D2xxNativeApi.h"
#endif

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
    std::string file;  // what the command wrote to the log file

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o)
{
    return os << "status " << o.status << "\n--- out\n" << o.out << "--- err\n" << o.err << "--- file\n" << o.file;
}

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

const char* const kScript =
    "write-main 0 0x05   # margining +5 %\n"
    "read-main 0\n"
    "trim 0 1 1.1\n"
    "trim 0 1\n"
    "write 1 C 0x34 0x5C\n"
    "update 1\n"
    "read 1 C 0x34\n"
    "hvout 0\n"
    "gpio 1\n"
    "ues 0\n"
    "measure 1\n";

class CliOnD2xx : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::string name = "zent2-d2xx-" + std::to_string(std::time(nullptr)) + "-" + test + ".log";
        logFile = (fs::temp_directory_path() / name).string();
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove(logFile, ec);
    }

    // One run on a fresh board; the log command's clock moves only when it sleeps.
    Outcome Run(const std::string& line, const CZent2Cli::DriverFactory& cable)
    {
        std::error_code ec;
        fs::remove(logFile, ec);
        CZent2Cli cli;
        std::vector<std::string> args = Words(line);
        for (std::string& arg : args)
            if (arg == "LOG") arg = logFile;
        if (cable)
            cli.SetCableFactory(cable);
        else
            args.insert(args.begin(), "--simulated-board");
        std::istringstream script(kScript);
        cli.SetInput(&script);
        long long virtualMs = 0;
        LogClock clock;
        clock.now = [&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(virtualMs)); };
        clock.sleep = [&](std::chrono::milliseconds time) { virtualMs += time.count(); };
        clock.wallTime = [] { return std::time_t(1714997000); };
        cli.SetLogClock(clock);
        std::ostringstream out, err;
        Outcome outcome;
        outcome.status = cli.Run(args, out, err);
        outcome.out = out.str();
        outcome.err = err.str();
        std::ifstream in(logFile, std::ios::binary);
        outcome.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return outcome;
    }

    // Every command gives the simulated board's answer through the cable.
    void ExpectSameAsSimulatedBoard(const CZent2Cli::DriverFactory& cable)
    {
        const char* const lines[] = {
            "scan", "measure 0", "dump 1", "faults 0", "hvout 1", "log --output LOG --count 3 --interval 2", "-",
        };
        for (const char* line : lines) {
            SCOPED_TRACE(line);
            const Outcome simulated = Run(line, {});
            const Outcome d2xx = Run(line, cable);
            EXPECT_EQ(simulated.status, 0) << simulated;
            EXPECT_EQ(d2xx, simulated);
        }
    }

    std::string logFile;
};

TEST_F(CliOnD2xx, EveryCommandPrintsWhatTheSimulatedBoardGives)
{
    ExpectSameAsSimulatedBoard([] {
        return std::make_shared<CD2xxDriver>(
            std::make_unique<scripted_d2xx::SimulatedD2xx>(CSimulatedBoard::CreateDefault()));
    });
    // The cable's channels as the library names them.
    const Outcome devices = Run("devices", [] {
        return std::make_shared<CD2xxDriver>(
            std::make_unique<scripted_d2xx::SimulatedD2xx>(CSimulatedBoard::CreateDefault()));
    });
    EXPECT_EQ(devices.out,
              "0 ZSIM2232A  cable ZSIM2232 channel A, 0403:6010 at location ID 0x211\n"
              "1 ZSIM2232B  cable ZSIM2232 channel B, 0403:6010 at location ID 0x212\n");
}

#ifdef _WIN32

fs::path StandInLibrary()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / "standin" / "ftd2xx.dll";
}

TEST_F(CliOnD2xx, TheStandInLibraryGivesWhatTheSimulatedBoardGives)
{
    const fs::path library = StandInLibrary();
    ASSERT_TRUE(fs::exists(library)) << library.string();
    // Every run loads the library afresh (and unloads it with its driver), so
    // every run starts on a fresh board.
    ExpectSameAsSimulatedBoard([library] {
        std::string failure;
        std::unique_ptr<CD2xxApi> api = LoadD2xxLibraryFrom(library, &failure);
        EXPECT_TRUE(api) << failure;
        return std::make_shared<CD2xxDriver>(std::move(api), failure);
    });
}

TEST(CliOnWindows, WithoutFtdisDriverTheCableSaysWhatToInstall)
{
    std::string failure;
    if (LoadSystemD2xxLibrary(&failure)) {
        GTEST_SKIP() << "FTDI's D2XX driver is installed on this machine";
    }
    EXPECT_STREQ(CableBackendName(), "FTDI D2XX");
    CZent2Cli cli;
    std::ostringstream out, err;
    EXPECT_EQ(cli.Run({"scan"}, out, err), CZent2Cli::kExitDevice);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(),
              "zent2-cli: cannot open the cable: the FTDI D2XX driver (ftd2xx.dll) is not installed (it is not in the "
              "Windows system folder): install FTDI's D2XX driver (the CDM driver package from ftdichip.com) and plug "
              "the cable in again\n");
    std::ostringstream listOut, listErr;
    EXPECT_EQ(cli.Run({"devices"}, listOut, listErr), CZent2Cli::kExitDevice);
    EXPECT_EQ(listErr.str(),
              "zent2-cli: cannot list the FTDI devices: the FTDI D2XX driver (ftd2xx.dll) is not installed (it is "
              "not in the Windows system folder): install FTDI's D2XX driver (the CDM driver package from "
              "ftdichip.com) and plug the cable in again\n");
}

#endif

}  // namespace
