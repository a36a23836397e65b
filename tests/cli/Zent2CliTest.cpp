// zent2-cli end to end on the simulated board: what it prints, its exit
// status, and the bus traffic it makes (or must not make).

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "cli/Zent2Cli.h"
#include "device/RegisterMap.h"
#include "device/blocks/FaultLog.h"
#include "device/blocks/Imon.h"
#include "util/TextFormat.h"
#include "sim/SimulatedBoard.h"
#include "tests/SigrokDecode.h"
#include "tests/link/ScriptedLibFtdi.h"

namespace {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

bool IsOneLine(const std::string& text)
{
    return text.rfind("zent2-cli: ", 0) == 0 && text.find('\n') == text.size() - 1;
}

std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zent2-cli-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::vector<std::string> SplitArgs(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    return args;
}

class CliOnBoard : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = CSimulatedBoard::CreateDefault();
        board->AddExampleFaults();
        cable = std::make_shared<CSimulatedFtdiDriver>();  // stands in for the real cable
        cable->SetDeviceSerials({"FT7QX1A", "FT7QX1B", "FT7QX1C"});
    }
    CliResult Run(const std::string& line) { return Run(SplitArgs(line)); }
    CliResult Run(const std::vector<std::string>& args)
    {
        CZent2Cli cli;
        cli.SetBoard(board.get());
        cli.SetCableFactory([this] { return cable; });
        std::ostringstream out, err;
        const int status = cli.Run(args, out, err);
        return {status, out.str(), err.str()};
    }
    CliResult Sim(const std::string& line) { return Run("--simulated-board " + line); }
    // Runs the command on the simulated board with a trace, and checks that
    // sigrok decodes the trace to the tokens, which are also what the bus saw.
    void ExpectTraceDecodes(const std::string& command, const std::string& tokens, const std::string& path)
    {
        Bus().ClearEventLog();
        ASSERT_EQ(Sim("--trace " + path + " " + command).status, 0) << command;
        std::string decoded, output;
        ASSERT_TRUE(sigrok::Decode(path, &decoded, &output)) << output;
        EXPECT_EQ(decoded, tokens) << command << "\n" << output;
        EXPECT_EQ(decoded, Bus().EventLog()) << command;
    }
    CSimulatedFtdiDriver& Bus() { return *board->Driver(); }
    CHmuDevice& Hmu(int n) { return *board->Hmu(n); }
    uint64_t Writes() { return Bus().Counters().writeCalls + cable->Counters().writeCalls; }

    std::unique_ptr<CSimulatedBoard> board;
    std::shared_ptr<CSimulatedFtdiDriver> cable;
};

TEST_F(CliOnBoard, BadUsageExitsTwoWithOneLineAndNoBusTraffic)
{
    // A device that never ends is not read as a board file. (Windows has
    // none; its NUL device is not taken for a file either.)
#ifdef _WIN32
    const std::string kEndlessDevice = "NUL";
    const char* const kNoDevice = "cannot open board file NUL";
#else
    const std::string kEndlessDevice = "/dev/zero";
    const char* const kNoDevice = "not a regular file";
#endif
    const std::string badBoard = TempPath("bad-board.txt");
    std::ofstream(badBoard) << "hmu0.vmon1 = 1.0\nhmu9.present = 1\n";
    const std::string junkBoard = TempPath("junk-board.txt");
    std::ofstream(junkBoard) << "\x01\x02\x1B[2J" << std::string(300, 'x') << "\n";
    const std::string tinyOhms = "0." + std::string(50, '0') + "1";  // shown as 1e-51, a float 0
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no command"}, {{"frobnicate"}, "unknown command"}, {{"--frob", "scan"}, "unknown option"},
        {{"-x", "scan"}, "unknown option"}, {{"read", "0", "C"}, "missing"}, {{"read", "0", "C", "1", "2"}, "too many"},
        {{"scan", "0"}, "too many"}, {{"read", "0", "C", "256"}, "0..255"}, {{"read", "0", "M", "0x100"}, "0..255"},
        {{"write", "0", "C", "1", "0x100"}, "over 0xFF"}, {{"read", "8", "C", "0"}, "0..7"},
        {{"dump", "-1"}, "bad number"}, {{"read", "0", "X", "1"}, "C or M"}, {{"read", "0", "C", "12abc"}, "bad number"},
        {{"read", "0", "C", "0x"}, "bad number"}, {{"read", "0", "C", ""}, "bad number"},
        {{"--rate", "0", "scan"}, "--rate"}, {{"--rate"}, "needs a value"}, {{"--base", "0xC1", "scan"}, "even"},
        {{"--base", "0x100", "scan"}, "0..0xFE"}, {{"--main", "0x41", "scan"}, "even"},
        {{"--base", "0xF2", "read", "7", "C", "0"}, "beyond 0xFE"}, {{"--simulated-board", "--demo", "scan"}, "exclude"},
        {{"--trace", "t.vcd", "scan"}, "needs --simulated-board"},
        {{"--cable-round-trip", "125", "scan"}, "needs --simulated-board"},
        {{"--simulated-board", "--cable-round-trip", "2000000", "scan"}, "microseconds"}, {{"--board", badBoard, "scan"}, "needs --simulated"},
        {{"--simulated-board", "--board", badBoard, "scan"}, "line 2"},
        {{"--simulated-board", "--board", TempPath("missing"), "scan"}, "missing"},
        {{"--simulated-board", "--trace", "/nonexistent-dir/t.vcd", "scan"}, "trace file"},
        {{"--demo", "ues", "0"}, "demo"}, {{"--demo", "devices"}, "demo"},
        {{"--demo", "write", "0", "M", "0", "1"}, "demo"}, {{"--demo", "write", "0", "C", "119", "1"}, "0..118"},
        {{"--demo=1", "scan"}, "no value"}, {{"--rsense", "0", "measure", "0"}, "--rsense"},
        {{"--rsense", tinyOhms, "measure", "0"}, "--rsense"},
        {{"--rsense", "1" + std::string(39, '0'), "measure", "0"}, "--rsense"},
        {{"sc\nan\x1B"}, "unknown command 'sc\\x0Aan\\x1B'"},
        {{"--base", "0x" + std::string(300, 'A'), "scan"}, "0xAAAAAAAAAA"},
        {{"read", "0", "C", std::string(300, '9')}, "0..255"},
        {{"read-main", std::string(300, '9')}, "0..3"},
        {{"trim", "0", std::string(300, '9')}, "1..4"},
        {{"log", "--output", "x.log", "--interval", std::string(300, '9')}, "1..86400"},
        {{"log", "--output", "x.log", "--count", std::string(300, '9')}, "too large"},
        {{"--simulated-board", "log", "--output", "x.log", "--select", "vmon1,\x02"}, "unknown channel '\\x02'"},
        {{"--simulated-board", "--board", std::filesystem::temp_directory_path().string(), "scan"},
         "not a regular file"},
        {{"--simulated-board", "--board", kEndlessDevice, "scan"}, kNoDevice},
        {{"--simulated-board", "--board", junkBoard, "scan"}, "line 1: expected \"key = value\", found \"\\x01\\x02\\x1B[2Jxxx"},
        {{"--vid-pid", "0403", "scan"}, "VID:PID"}, {{"--vid-pid=0403:0", "scan"}, "VID:PID"},
        {{"--serial", "FT1", "--simulated-board", "scan"}, "not with"}, {{"--demo", "--vid-pid", "1234:5678", "scan"}, "not with"},
        {{"--serial"}, "needs a value"},
        {{"save-config", "c.cfg", "1", "0x1"}, "given twice"}, {{"save-config", "c.cfg", "8"}, "0..7"},
        {{"--base", "0xF2", "save-config", "c.cfg", "7"}, "beyond 0xFE"},
        {{"--dry-run", "diff-config", "c.cfg"}, "belongs to the load-config"},
        {{"load-config", "c.cfg", "--dry-run=1"}, "no value"},
        {{"--simulated-board", "load-config", TempPath("missing.cfg")}, "does not exist"},
        {{"--simulated-board", "save-config", std::filesystem::temp_directory_path().string()}, "is a folder"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.status, CZent2Cli::kExitUsage) << line;
        EXPECT_TRUE(IsOneLine(r.err)) << line << "-> " << r.err;
        EXPECT_LT(r.err.size(), 200u) << line << "-> " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "-> " << r.err;
        EXPECT_EQ(r.out, "") << line;
        EXPECT_EQ(Writes(), 0u) << line;
        EXPECT_EQ(Bus().OpenAttempts(1) + cable->OpenAttempts(1), 0) << line;
    }
    // The bad board file changed nothing, not even its good first line.
    EXPECT_EQ(board->Values(0).vmonVolts[0], CSimulatedBoard::TypicalValues(0).vmonVolts[0]);
    std::filesystem::remove(badBoard);
    std::filesystem::remove(junkBoard);
}

TEST_F(CliOnBoard, HelpDescribesEveryCommandAndExitsZero)
{
    for (const char* line : {"--help", "help", "-h", "--bogus -h"}) {
        const CliResult r = Run(line);
        EXPECT_EQ(r.status, 0) << line;
        EXPECT_EQ(r.err, "") << line;
        for (const char* word : {"devices", "scan", "read HMU TYPE REG", "write HMU TYPE REG VALUE", "update HMU",
                                 "dump HMU", "measure [HMU]", "ues HMU", "--demo", "--trace", "--rsense", "--serial",
                                 "--vid-pid", "Exit status"})
            EXPECT_NE(r.out.find(word), std::string::npos) << line << ": " << word;
    }
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(CliOnBoard, ScanListsWhoAnswersAtTheChosenAddresses)
{
    board->RemoveHmu(1);
    board->AddHmu(5);
    const struct {
        const char* options;
        int base, main, listed;
    } cases[] = {{"", 0xC0, 0x40, 8}, {"--base 0xC2 --main=0x42", 0xC2, 0x42, 8}, {"--base 0xF2", 0xF2, 0x40, 7}};
    for (const auto& c : cases) {
        std::string expected;
        for (int n = 0; n < c.listed; ++n) {
            const int address = c.base + 2 * n, slot = (address - 0xC0) / 2;
            const bool present = slot >= 0 && slot < 8 && board->Hmu(slot) != nullptr;
            expected += FormatText("HMU%d 0x%02X %s\n", n, address, present ? "present" : "absent");
        }
        expected += FormatText("main 0x%02X %s\n", c.main, c.main == 0x40 ? "present" : "absent");
        const CliResult r = Sim(std::string(c.options) + " scan");
        EXPECT_EQ(r.status, 0) << c.options;
        EXPECT_EQ(r.out, expected) << c.options;
    }
}

TEST_F(CliOnBoard, ReadShowsTheDeviceRegisters)
{
    Hmu(0).SetConfiguration(0x34, 0xA7);
    Hmu(1).SetConfiguration(22, 0x3C);
    Hmu(0).SetMonitorRegister(0x70, 0x96);
    const struct {
        int hmu;
        char type;
        int reg;
    } cases[] = {{0, 'C', 0x34}, {1, 'C', 22}, {0, 'C', 97}, {0, 'C', 200}, {0, 'M', 0x70},
                 {0, 'M', 0x80}, {0, 'M', 0x85}, {1, 'M', 0x82}, {0, 'M', 0x86}};
    for (const auto& c : cases) {
        const int expected = c.type == 'C' ? Hmu(c.hmu).PendingConfiguration(c.reg) : Hmu(c.hmu).MonitorRegister(c.reg);
        const CliResult r = Sim(FormatText("read %d %c %d", c.hmu, c.type, c.reg));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, FormatText("0x%02X\n", expected)) << c.hmu << c.type << c.reg;
    }
}

TEST_F(CliOnBoard, ConfigurationWritesWaitForUpdateButReadBackAtOnce)
{
    for (const int hmu : {0, 1}) {
        const uint8_t before = Hmu(hmu).ActiveConfiguration(0x20), value = before ^ 0x5A;
        const int updates = Hmu(hmu).UpdateCount();
        const CliResult w = Sim(FormatText("write %d C 0x20 0x%X", hmu, value));
        EXPECT_EQ(w.status, 0);
        EXPECT_EQ(w.out + w.err, "");
        EXPECT_EQ(Hmu(hmu).ActiveConfiguration(0x20), before);
        EXPECT_EQ(Sim(FormatText("read %d C 32", hmu)).out, FormatText("0x%02X\n", value));
        EXPECT_EQ(Sim(FormatText("update %d", hmu)).status, 0);
        EXPECT_EQ(Hmu(hmu).ActiveConfiguration(0x20), value);
        EXPECT_EQ(Hmu(hmu).UpdateCount(), updates + 1);
    }
    EXPECT_EQ(Sim("write 1 M 0x70 0xC3").status, 0);
    EXPECT_EQ(Hmu(1).MonitorRegister(0x70), 0xC3);
}

TEST_F(CliOnBoard, DumpListsEveryRowOfTheMapWithTheDeviceValue)
{
    Hmu(1).SetConfiguration(102, 0x5D);
    for (const int hmu : {0, 1}) {
        const CliResult r = Sim(FormatText("dump %d", hmu));
        ASSERT_EQ(r.status, 0);
        std::istringstream lines(r.out);
        std::string line;
        for (const RegisterEntry& row : regmap::DeviceRows()) {
            ASSERT_TRUE(std::getline(lines, line)) << row.name;
            EXPECT_EQ(line.rfind(FormatText("%c %3d 0x%02X  %s ", row.TypeLetter(), row.reg, row.reg, row.name.c_str()), 0), 0u)
                << line;
            // Conversion and record registers change as they are read.
            const bool moving = row.type == kMonitorRegister && row.reg <= 8 && row.reg != 3 && row.reg != 4;
            const int value = row.type == kMonitorRegister ? Hmu(hmu).MonitorRegister(row.reg)
                                                           : Hmu(hmu).PendingConfiguration(row.reg);
            if (!moving) {
                EXPECT_EQ(line.substr(line.size() - 5), FormatText(" 0x%02X", value)) << line;
            }
        }
        EXPECT_FALSE(std::getline(lines, line)) << "extra line: " << line;
    }
}

TEST_F(CliOnBoard, MeasureShowsTheBoardValuesWithUnits)
{
    for (const int hmu : {0, 1}) {
        for (int m = 0; m < 2; ++m) board->SetSenseResistor(hmu, m, 0.005);
        const HmuBoardValues& v = board->Values(hmu);
        const CliResult r = Sim(FormatText("--rsense 0.005 measure %d", hmu));
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream lines(r.out);
        std::string line;
        for (int c = 0; c < 10; ++c) {
            std::getline(lines, line);
            int code = Hmu(hmu).ConversionCode(static_cast<uint8_t>(c));
            const bool attenuated = code == 1023;
            if (attenuated) code = Hmu(hmu).ConversionCode(static_cast<uint8_t>(c | 0x80));  // unscaled, as the page
            EXPECT_NEAR(std::strtod(line.c_str() + 8, nullptr), code * 0.002, 0.0006) << line;
            EXPECT_EQ(line.substr(line.size() - 2), attenuated ? " *" : " V") << line;
        }
        for (int m = 0; m < 2; ++m) {
            std::getline(lines, line);
            double volts = 0, amps = 0;
            int gain = 0;
            ASSERT_EQ(std::sscanf(line.c_str() + 8, "%lf V at gain %d: %lf A", &volts, &gain, &amps), 3) << line;
            EXPECT_EQ(gain, imon::GainOfRange((Hmu(hmu).ActiveConfiguration(m == 0 ? 53 : 55) >> 2) & 3)) << line;
            EXPECT_NEAR(amps, v.senseAmps[m], 0.002 / (gain * 0.005) + 0.001) << line;
        }
        for (int t = 0; t < 3; ++t) {
            std::getline(lines, line);
            EXPECT_EQ(line.substr(8), FormatText(" %7.2f \u00B0C", v.temperatures[t])) << line;
        }
        // The board's HVMON is above full scale.
        EXPECT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "* read through the attenuator; not rescaled");
        EXPECT_FALSE(std::getline(lines, line));
    }
    board->SetSenseResistor(0, 1, 1.0);
    const std::string saturated = Sim("measure 0").out;
    EXPECT_NE(saturated.find("ohm (amplifier at full scale)\nTMON1"), std::string::npos) << saturated;
    EXPECT_EQ(saturated.find("full scale"), saturated.rfind("full scale")) << saturated;
}

TEST_F(CliOnBoard, SignatureAndDeviceList)
{
    Hmu(0).SetSignature(0x0123456789ABCDEFull);
    Hmu(1).SetSignature(0x8000000000000001ull);
    EXPECT_EQ(Sim("ues 0").out, "0x01 23 45 67 89 AB CD EF\n");
    EXPECT_EQ(Sim("ues 1").out, "0x80 00 00 00 00 00 00 01\n");
    EXPECT_EQ(Run("devices").out, "0 FT7QX1A\n1 FT7QX1B\n2 FT7QX1C\n");
    const auto& serials = Bus().DeviceSerials();
    EXPECT_EQ(Sim("devices").out, "0 " + serials.at(0) + "\n1 " + serials.at(1) + "\n");
    cable->SetDeviceCount(0);
    const CliResult none = Run("devices");
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.out.empty() && IsOneLine(none.err)) << none.err;
}

TEST_F(CliOnBoard, DeviceAndCableFailuresExitOne)
{
    const struct {
        const char* line;
        std::function<void()> fault;
    } cases[] = {
        {"--simulated-board read 2 C 0", nullptr}, {"--simulated-board read 2 M 0x70", nullptr},
        {"--simulated-board write 2 C 0x20 1", nullptr}, {"--simulated-board update 2", nullptr},
        {"--simulated-board dump 2", nullptr}, {"--simulated-board measure 2", nullptr},
        {"--simulated-board ues 2", nullptr}, {"--simulated-board --base 0xC4 read 0 C 0", nullptr},
        {"--simulated-board read 0 C 0", [this] { Bus().InjectAddressNack(0xC1, -1); }},
        {"--simulated-board ues 0", [this] { Bus().InjectAddressNack(0xC1, -1); }},
        {"read 0 C 0", [this] { cable->SetPlugged(false); }},
        {"scan", [this] { cable->FailOpens(1, -1); }},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.fault) c.fault();
        const CliResult r = Run(c.line);
        EXPECT_EQ(r.status, CZent2Cli::kExitDevice) << c.line;
        EXPECT_EQ(r.out, "") << c.line;
        EXPECT_TRUE(IsOneLine(r.err)) << c.line << "-> " << r.err;
    }
    SetUp();
    Bus().InjectAddressNack(0xC0, 4);  // within the port's five attempts
    EXPECT_EQ(Sim("read 0 C 0x34").status, 0);
}

// Every command against every fault of the simulated cable. A fault that
// clears within the port's five attempts must not show; one that persists
// ends the command with status 1 and one line, after printing only lines it
// read in full (never a value made up for what failed). Afterwards the board
// answers as before: no leftover bytes, no phantom device.
TEST_F(CliOnBoard, FaultMatrixOfEveryCommand)
{
    // What a fault hits: HMU0's address, its read address, its command or
    // data bytes (faults of the HMU0 device), any transfer of the cable, or
    // only a command of more than three exchanges.
    enum class Hits { HmuAddress, Reads, Commands, Data, Cable, Long, Never };
    const struct {
        const char* line;
        bool hmu;  // talks to HMU0 (else only to the main device, or to all in turn)
        bool reads, commands, data, longer;
    } commands[] = {
        {"scan", false, false, false, false, true},
        {"read 0 C 0x34", true, true, true, false, false},
        {"read 0 M 0x70", true, true, true, false, false},
        {"write 0 C 0x20 0x5A", true, false, true, true, false},
        {"update 0", true, false, true, false, false},
        {"dump 0", true, true, true, false, true},
        {"measure 0", true, true, true, true, true},
        {"ues 0", true, true, true, false, true},
        {"trim 0 1", true, true, true, true, true},
        {"trim 0 2 1.1", true, true, true, true, true},  // reads two bytes after the target
        {"hvout 0", true, true, true, true, true},  // selects the monitor records it reads
        {"gpio 0", true, true, true, true, true},
        {"faults 0", true, true, true, false, true},
        {"erase-faults 0", true, true, true, true, true},
        {"read-main 1", false, true, true, false, false},
        {"write-main 1 0x99", false, false, true, true, false},
    };
    using D = CSimulatedFtdiDriver;
    const struct {
        const char* name;
        Hits hits;
        std::function<void(D&)> inject;
    } faults[] = {
        {"address NACK always", Hits::HmuAddress, [](D& d) { d.InjectAddressNack(0xC0, D::kAlways); }},
        {"address NACK 4 times", Hits::Never, [](D& d) { d.InjectAddressNack(0xC0, 4); }},
        {"read address NACK always", Hits::Reads, [](D& d) { d.InjectAddressNack(0xC1, D::kAlways); }},
        {"read address NACK 4 times", Hits::Never, [](D& d) { d.InjectAddressNack(0xC1, 4); }},
        {"command NACK always", Hits::Commands, [this](D&) { Hmu(0).InjectFault(HmuFault::CommandNack, D::kAlways); }},
        {"command NACK once", Hits::Never, [this](D&) { Hmu(0).InjectFault(HmuFault::CommandNack, 1); }},
        {"data NACK always", Hits::Data, [this](D&) { Hmu(0).InjectFault(HmuFault::DataNack, D::kAlways); }},
        {"data NACK once", Hits::Never, [this](D&) { Hmu(0).InjectFault(HmuFault::DataNack, 1); }},
        {"short read", Hits::Never, [](D& d) { d.ShortenReads(1, 1); }},
        {"two short reads", Hits::Never, [](D& d) { d.ShortenReads(1, 2); }},
        {"failed write", Hits::Never, [](D& d) { d.FailWrites(1); }},
        {"short write", Hits::Never, [](D& d) { d.ShortenWrites(3, 1); }},
        {"every write fails", Hits::Cable, [](D& d) { d.FailWrites(100000); }},
        // Opening the cable takes two writes; the third is the command's first.
        {"unplugged in the first exchange", Hits::Cable, [](D& d) { d.UnplugAfterTransfers(3); }},
        {"unplugged in the fourth exchange", Hits::Long, [](D& d) { d.UnplugAfterTransfers(9); }},
    };
    const auto clear = [this] {
        Bus().InjectAddressNack(0xC0, 0);
        Bus().InjectAddressNack(0xC1, 0);
        Hmu(0).InjectFault(HmuFault::CommandNack, 0);
        Hmu(0).InjectFault(HmuFault::DataNack, 0);
        Bus().ShortenReads(0, 0);
        Bus().FailWrites(0);
        Bus().ShortenWrites(0, 0);
        Bus().UnplugAfterTransfers(-1);
        Bus().SetPlugged(true);
    };
    for (const auto& command : commands) {
        SetUp();
        const CliResult reference = Sim(command.line);
        ASSERT_EQ(reference.status, 0) << command.line << ": " << reference.err;
        const CliResult referenceRead = Sim("read 0 C 0x34");
        const CliResult referenceScan = Sim("scan");
        for (const auto& fault : faults) {
            const std::string cell = std::string(command.line) + " / " + fault.name;
            SetUp();
            fault.inject(Bus());
            const CliResult r = Sim(command.line);
            const bool onHmu = command.hmu;
            const bool hit = fault.hits == Hits::Cable || (fault.hits == Hits::Long && command.longer) ||
                             (onHmu && fault.hits == Hits::HmuAddress) ||
                             (onHmu && fault.hits == Hits::Reads && command.reads) ||
                             (onHmu && fault.hits == Hits::Commands && command.commands) ||
                             (onHmu && fault.hits == Hits::Data && command.data);
            if (fault.hits == Hits::HmuAddress && std::string(command.line) == "scan") {
                // A device that does not answer is absent: that is what scan reports.
                std::string expected = reference.out;
                expected.replace(expected.find("HMU0 0xC0 present"), 17, "HMU0 0xC0 absent");
                EXPECT_EQ(r.status, 0) << cell;
                EXPECT_EQ(r.out, expected) << cell;
            } else if (hit) {
                EXPECT_EQ(r.status, CZent2Cli::kExitDevice) << cell;
                EXPECT_TRUE(IsOneLine(r.err)) << cell << " -> " << r.err;
                EXPECT_EQ(reference.out.rfind(r.out, 0), 0u) << cell << ": printed\n" << r.out;
                EXPECT_TRUE(r.out.empty() || r.out.back() == '\n') << cell;
            } else {
                EXPECT_EQ(r.status, 0) << cell << ": " << r.err;
                EXPECT_EQ(r.out, reference.out) << cell;
                EXPECT_EQ(r.err, "") << cell;
            }
            clear();
            EXPECT_EQ(Sim("read 0 C 0x34").out, referenceRead.out) << cell;
            EXPECT_EQ(Sim("scan").out, referenceScan.out) << cell;
        }
    }
}

TEST_F(CliOnBoard, OneCableLockPerCommandAndTheRateOfTheLink)
{
    const struct {
        const char* line;
        int divisor;
    } cases[] = {{"scan", 14},          {"--rate 100 dump 0", 59},  {"--rate 1000 measure 1", 5},
                 {"--rate 2000 ues 0", 2}, {"--rate 800 update 0", 7}, {"--rate 300 read 2 C 0", 59}};
    for (const auto& c : cases) {
        Bus().ResetCounters();
        const CliResult r = Sim(c.line);
        EXPECT_EQ(Bus().EnableRisingEdges(), 1) << c.line;
        EXPECT_EQ(Bus().EnableFallingEdges(), 1) << c.line;
        EXPECT_EQ(Bus().Engine(1)->Divisor(), c.divisor) << c.line;
        EXPECT_EQ(r.err.find("runs at 100 kHz") != std::string::npos, std::string(c.line).find("300") != std::string::npos);
    }
}

TEST_F(CliOnBoard, BoardFileAndDemoMode)
{
    const std::string file = TempPath("board.txt");
    std::ofstream(file) << "# a third device\nhmu3.present = 1\nhmu3.signature = 0x1122334455667788\n";
    EXPECT_NE(Sim("--board " + file + " scan").out.find("HMU3 0xC6 present\n"), std::string::npos);
    EXPECT_EQ(Sim("--board " + file + " ues 3").out, "0x11 22 33 44 55 66 77 88\n");
    std::filesystem::remove(file);

    // Demo mode answers from the port's register file and sends nothing anywhere.
    Bus().ResetCounters();
    const CliResult scan = Run("--demo scan");
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.out.find("absent"), std::string::npos);
    EXPECT_NE(scan.out.find("HMU7 0xCE present\nmain 0x40 present\n"), std::string::npos);
    EXPECT_EQ(Run("--demo read 5 C 20").out, "0x14\n");
    EXPECT_EQ(Run("--demo read 0 M 7").out, "0x80\n");
    EXPECT_EQ(Run("--demo write 0 C 20 0x5A").status, 0);
    const std::string dump = Run("--demo dump 1").out;
    EXPECT_NE(dump.find("Writeprotect Usertag       0x66\n"), std::string::npos);
    EXPECT_NE(dump.find("TMON stat B                0x07\n"), std::string::npos);
    EXPECT_EQ(Writes(), 0u);
}

TEST_F(CliOnBoard, TraceDecodesToTheTransactionsOfThePort)
{
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli is run through a POSIX shell";
#endif
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";
    const uint64_t signature = 0x0123456789ABCDEFull;
    Hmu(0).SetSignature(signature);
    std::string scan, ues;
    for (int n = 0; n < 8; ++n)  // an absent device is tried five times
        for (int attempt = 0; attempt < (board->Hmu(n) ? 1 : 5); ++attempt)
            scan += FormatText("S %02X %s P ", 0xC0 + 2 * n, board->Hmu(n) ? "A" : "N");
    for (int i = 0; i < 8; ++i)
        ues += FormatText(" S C0 A 25 A %02X A Sr C1 A %02X N P", 0x70 + i, static_cast<int>((signature >> (8 * i)) & 0xFF));
    const struct {
        const char* command;
        std::string tokens;
    } cases[] = {
        {"read 0 C 0x34", FormatText("S C0 A 33 A 34 A Sr C1 A %02X N P", Hmu(0).PendingConfiguration(0x34))},
        {"write 0 C 0x20 0x5A", "S C0 A 31 A 20 A 5A A P"},
        {"update 0", "S C0 A 35 A P"},
        {"scan", scan + "S 40 A P"},
        {"ues 0", ues.substr(1)},
    };
    const std::string path = TempPath("trace.vcd");
    for (const auto& c : cases) ExpectTraceDecodes(c.command, c.tokens, path);
    std::filesystem::remove(path);
#ifdef __linux__
    const CliResult full = Sim("--trace /dev/full read 0 C 0x34");  // created fine, cannot be written
    EXPECT_EQ(full.status, CZent2Cli::kExitDevice);
    EXPECT_NE(full.err.find("cannot write the bus trace"), std::string::npos);
#endif
}

// Sees, while the command runs, what the trace file holds.
class CTraceSpy : public CI2cTarget {
public:
    explicit CTraceSpy(std::string path) : m_path(std::move(path)) {}
    bool OnAddress(bool) override
    {
        std::ifstream in(m_path, std::ios::binary);
        seen.push_back(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        return false;
    }
    bool OnWrite(uint8_t) override { return false; }
    uint8_t OnRead() override { return 0xFF; }
    std::vector<std::string> seen;

private:
    std::string m_path;
};

TEST_F(CliOnBoard, ATraceReplacesTheOldOneOnlyWhenCompleteAndOnlyWhenTheBusRan)
{
    const std::filesystem::path folder = TempPath("traces");
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "t.vcd").string();
    const auto spy = std::make_shared<CTraceSpy>(path);
    Bus().Bus().Attach(0xC4, spy);  // probed by scan as HMU2
    std::ofstream(path) << "old trace";

    ASSERT_EQ(Sim("--trace " + path + " scan").status, 0);
    ASSERT_FALSE(spy->seen.empty());
    for (const std::string& during : spy->seen) EXPECT_EQ(during, "old trace");
#ifndef _WIN32  // sigrok-cli is run through a POSIX shell
    std::string tokens, output;
    EXPECT_TRUE(sigrok::Decode(path, &tokens, &output)) << output;
#endif
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary file left";

    // Nothing on the bus: no trace, and the old one stays.
    std::ofstream(path) << "old trace";
    const CliResult devices = Sim("--trace " + path + " devices");
    EXPECT_EQ(devices.status, 0);
    EXPECT_NE(devices.err.find("no trace written"), std::string::npos) << devices.err;
    const std::string other = (folder / "none.vcd").string();
    EXPECT_EQ(Sim("--trace " + other + " devices").status, 0);
    EXPECT_FALSE(std::filesystem::exists(other));
    // Refused before anything ran: the old trace stays too.
    EXPECT_EQ(Sim("--trace " + path + " read 9 C 0").status, CZent2Cli::kExitUsage);
    {
        // Closed before the folder goes: Windows removes no open file.
        std::ifstream in(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old trace");
    }
    std::filesystem::remove_all(folder);
}

TEST_F(CliOnBoard, OutputThatCannotBeWrittenIsAnError)
{
    // A stream whose every write fails, as standard output on a full disk.
    struct : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } full;
    std::ostream out(&full);
    std::ostringstream err;
    CZent2Cli cli;
    cli.SetBoard(board.get());
    EXPECT_EQ(cli.Run(SplitArgs("--simulated-board scan"), out, err), CZent2Cli::kExitDevice);
    EXPECT_TRUE(IsOneLine(err.str())) << err.str();
    EXPECT_NE(err.str().find("cannot write the output"), std::string::npos);
}

#ifndef _WIN32
TEST(CliProgram, MainRunsTheCommandAndReturnsItsStatus)
{
    const struct {
        const char* args;
        int status;
        const char* output;
    } cases[] = {{"--simulated-board scan", 0, "HMU0 0xC0 present\nHMU1 0xC2 present\nHMU2 0xC4 absent\n"},
                 {"--simulated-board read 2 C 0", 1, ""},
                 {"read 0 C 256", 2, ""},
                 {"--help", 0, "Usage: zent2-cli"}};
    for (const auto& c : cases) {
        FILE* pipe = popen((std::string(ZENT2_CLI_PATH) + " " + c.args + " 2>/dev/null").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[512];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        const int status = pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status)) << c.args;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
        EXPECT_EQ(output.rfind(c.output, 0), 0u) << c.args << ": " << output;
    }
#ifdef __linux__
    const int full = std::system((std::string(ZENT2_CLI_PATH) + " --simulated-board scan >/dev/full 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(full));
    EXPECT_EQ(WEXITSTATUS(full), 1) << "a failed write to standard output is an error";
    // --version too, with the system's reason.
    const std::string errPath = TempPath("version-err.txt");
    const int version =
        std::system((std::string(ZENT2_CLI_PATH) + " --version >/dev/full 2>" + errPath).c_str());
    ASSERT_TRUE(WIFEXITED(version));
    EXPECT_EQ(WEXITSTATUS(version), 1);
    std::ifstream errFile(errPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(errFile), {}),
              std::string("zent2-cli: cannot write the output: ") + std::strerror(ENOSPC) + "\n");
    std::filesystem::remove(errPath);
#endif
    // A pipe whose reader has gone (the end of "| head"): a quiet end, not
    // an error, and not the end by SIGPIPE either.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    const std::string closedErr = TempPath("closed-err.txt");
    const int closed = std::system((std::string(ZENT2_CLI_PATH) + " --simulated-board dump 0 2>" + closedErr + " >&" +
                                    std::to_string(fds[1]))
                                       .c_str());
    close(fds[1]);
    ASSERT_TRUE(WIFEXITED(closed));
    EXPECT_EQ(WEXITSTATUS(closed), 0) << "a closed pipe ends quietly";
    std::ifstream closedFile(closedErr);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(closedFile), {}), "");
    std::filesystem::remove(closedErr);
}
#endif

// zent2-cli on libftdi1 as a real cable meets it, through the scripted seam.
class CliOnLibFtdi : public ::testing::Test {
protected:
    CliResult Run(const std::string& line)
    {
        CZent2Cli cli;
        cli.SetCableFactory([this] { return std::make_shared<CLibFtdiDriver>(std::make_unique<scripted::FakeApi>(usb)); });
        std::ostringstream out, err;
        const int status = cli.Run(SplitArgs(line), out, err);
        return {status, out.str(), err.str()};
    }
    scripted::FakeCable usb;
};

TEST_F(CliOnLibFtdi, DevicesInUsbTreeOrderWithTheirCableSerialAndPlace)
{
    usb.chips = {scripted::FakeChip(0x6010, "JTAG9", 2).At(3, {1}), scripted::FakeChip(0x6010, "ZB01", 2).At(1, {2, 4}),
                 scripted::FakeChip(0x6014, "SOLO", 1).At(1, {1})};
    usb.chips[0].serialFails = true;
    const CliResult all = Run("devices");
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out,
              "0 ZB01A  cable ZB01 channel A, 0403:6010 at usb 1-2.4\n"
              "1 ZB01B  cable ZB01 channel B, 0403:6010 at usb 1-2.4\n"
              "2 (no serial text)  cable (serial unreadable) channel A, 0403:6010 at usb 3-1\n"
              "3 (no serial text)  cable (serial unreadable) channel B, 0403:6010 at usb 3-1\n"
              "4 SOLO  cable SOLO channel A, 0403:6014 at usb 1-1\n");
    usb.chips[0].serialFails = false;
    EXPECT_EQ(Run("--serial JTAG9 devices").out,
              "0 JTAG9A  cable JTAG9 channel A, 0403:6010 at usb 3-1\n"
              "1 JTAG9B  cable JTAG9 channel B, 0403:6010 at usb 3-1\n");
    const CliResult absent = Run("--serial NOPE devices");
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "zent2-cli: no FTDI cable with the serial number NOPE found\n");
}

TEST_F(CliOnLibFtdi, ACableThatDoesNotOpenSaysWhyOnOneLineAndExitsOne)
{
    struct Case {
        const char* name;
        const char* line;
        std::function<void()> fault;
        std::vector<std::string> said;
    };
    const std::vector<Case> cases = {
        {"no permission", "scan", [this] { usb.openError = scripted::kNoPermission; },
         {"zent2-cli: cannot open the I2C channel of the cable: no permission", "errno 13",
          "install the udev rule 60-zent2-ftdi.rules (the zent2-i2c package installs it", "(Open Status = 3; Device = 1; ZB01B; Devices Found = 2)"}},
        {"another program", "read 0 C 0", [this] { usb.openError = scripted::kClaimedElsewhere; },
         {"another program holds this channel", "errno 16", "Open Status = 3"}},
        {"engine out of step", "scan", [this] { usb.syncAnswer = {0x12}; },
         {"did not answer in step (the bad command AA was answered 12, not FA AA)", "Open Status = 4"}},
        {"no such cable", "--serial ZB02 scan", [] {},
         {"zent2-cli: cannot open the cable: no cable with the serial number ZB02 is attached"}},
        {"nothing plugged in", "scan", [this] { usb.chips.clear(); }, {"zent2-cli: cannot open the cable: no FTDI device found"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        usb = scripted::FakeCable{};
        usb.chips = {scripted::FakeChip(0x6010, "ZB01", 2)};
        c.fault();
        const CliResult r = Run(c.line);
        EXPECT_EQ(r.status, CZent2Cli::kExitDevice);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(IsOneLine(r.err)) << r.err;
        for (const std::string& part : c.said) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    }
}

TEST_F(CliOnLibFtdi, OwnUsbIdsPutTheCableFirst)
{
    scripted::FakeChip own = scripted::FakeChip(0x6011, "OWN4", 4).At(1, {1});  // an FT4232H cable with ids of its own
    own.vendor = 0x1A2B;
    own.product = 0x0042;
    usb.chips = {scripted::FakeChip(0x6010, "JTAG9", 2), own};
    EXPECT_EQ(Run("devices").out.substr(0, 8), "0 JTAG9A");
    const CliResult r = Run("--vid-pid 1a2b:0042 devices");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "0 OWN4A  cable OWN4 channel A, 1A2B:0042 at usb 1-1");
    // This fake cable answers no exchange at all: the scan says the cable
    // failed rather than listing devices it never heard from as absent.
    const CliResult scanned = Run("--vid-pid 1a2b:0042 scan");
    EXPECT_EQ(scanned.status, CZent2Cli::kExitDevice);
    EXPECT_EQ(scanned.err, "zent2-cli: the cable failed while talking to HMU0 at 0xC0\n");
    EXPECT_EQ(usb.Last()->chip, 1) << "the scan ran on the chosen cable";
}

}  // namespace

namespace {

faultlog::Record RecordWith(std::initializer_list<int> bits)
{
    faultlog::Record record{};
    for (const int bit : bits) faultlog::SetRecordBit(record, bit, true);
    return record;
}

TEST_F(CliOnBoard, FaultsListsTheRecordsAndEraseFaultsChecksTheErase)
{
    const struct {
        const char* line;
        std::function<void(CSimulatedBoard&)> setUp;
        int status;
        const char* out;  // the whole output, or its start when it ends with "..."
        const char* err;  // a part of the one-line message; "" for none
        int recordsAfter; // HMU0's records afterwards, -1: not checked
    } cases[] = {
        {"faults 0",
         [](CSimulatedBoard& b) {
             b.Hmu(0)->ClearFaultRecords();
             b.Hmu(0)->AddFaultRecord(RecordWith({faultlog::VmonBit(0, 0), faultlog::TmonBit(0, 1), faultlog::GpioBit(3)}));
             b.Hmu(0)->AddFaultRecord({});
         },
         0, "Faults: 2\nFault 1 of 2: VMON1 A, TMON1 B, GPIO4\nFault 2 of 2: none\n", "", 2},
        {"faults 1", nullptr, 0, "No faults\n", "", -1},
        {"faults 1",
         [](CSimulatedBoard& b) {
             b.Hmu(1)->SetIdentification(0x88);
             b.Hmu(1)->AddFaultRecord(RecordWith({faultlog::GpioBit(5), faultlog::GpioBit(6)}));
         },
         0, "Faults: 1\nFault 1 of 1: GPIO6\n", "", -1},
        {"faults 0",
         [](CSimulatedBoard& b) {
             for (int r = 2; r < 16; ++r) b.Hmu(0)->AddFaultRecord(RecordWith({faultlog::ImonBit(1, 1)}));
         },
         0, "Faults: 16\nFault 1 of 16: ...", "", 16},
        {"faults 0", [](CSimulatedBoard& b) { b.Hmu(0)->SetFaultStatusFlags(0, faultlog::kStatus1Invalid); }, 0,
         "No faults (status 0x00 0x82: the log is busy or not valid)\n", "", 2},
        {"faults 2", nullptr, 1, "", "did not acknowledge", -1},
        {"erase-faults 0", nullptr, 0, "Fault log of HMU0 erased\n", "", 0},
        {"--unlock-code 1234 erase-faults 0", [](CSimulatedBoard& b) { b.Hmu(0)->SetUnlockCode(0x1234); }, 0,
         "Fault log of HMU0 erased\n", "", 0},
        // A log that will not open: its records are not printed as zeros, and nothing is erased.
        {"faults 0", [](CSimulatedBoard& b) { b.Hmu(0)->InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways); },
         1, "", "READ_FAULT_ENABLE has failed", 2},
        {"erase-faults 0",
         [](CSimulatedBoard& b) { b.Hmu(0)->InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways); }, 1, "",
         "READ_FAULT_ENABLE has failed! Nothing was erased", 2},
        // A command the device refused is an acknowledge failure, also when the status reads empty.
        {"erase-faults 0",
         [](CSimulatedBoard& b) {
             b.Hmu(0)->InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, faultlog::kCmdEndErase);
         },
         1, "",
         "HMU0 at 0xC0 did not acknowledge the end-of-erase command (0x05) (an acknowledge failure): the erase did "
         "not complete\n",
         0},
        {"erase-faults 0",
         [](CSimulatedBoard& b) {
             b.Hmu(0)->InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, faultlog::kCmdUnlock);
         },
         1, "",
         "HMU0 at 0xC0 did not acknowledge the unlock command (0x04) (an acknowledge failure): the erase did not "
         "complete; the fault log still holds 2 faults\n",
         2},
        // A comparator crossing on the board is the next record.
        {"faults 0", [](CSimulatedBoard& b) { b.SetTemperature(0, 0, 45.0); }, 0, "Faults: 3\n...", "", 3},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.setUp) c.setUp(*board);
        const CliResult r = Sim(c.line);
        EXPECT_EQ(r.status, c.status) << c.line << ": " << r.err;
        const std::string out = c.out;
        if (out == "Faults: 16\nFault 1 of 16: ...") {
            EXPECT_EQ(r.out.rfind(out.substr(0, out.size() - 3), 0), 0u) << c.line << ": " << r.out;
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 17) << r.out;
            EXPECT_NE(r.out.find("Fault 16 of 16: HIMON B\n"), std::string::npos) << r.out;
        } else if (out == "Faults: 3\n...") {
            const size_t last = r.out.find("Fault 3 of 3: ");
            ASSERT_NE(last, std::string::npos) << r.out;
            const std::string record = r.out.substr(last);
            EXPECT_NE(record.find("TMON1 A, TMON2 A"), std::string::npos) << record;
            EXPECT_EQ(record.find("TMON1 B"), std::string::npos) << record;
        } else {
            EXPECT_EQ(r.out, out) << c.line;
        }
        if (*c.err) {
            EXPECT_TRUE(IsOneLine(r.err)) << c.line << "-> " << r.err;
            EXPECT_NE(r.err.find(c.err), std::string::npos) << c.line << "-> " << r.err;
        } else {
            EXPECT_EQ(r.err, "") << c.line;
        }
        if (c.recordsAfter >= 0) {
            EXPECT_EQ(static_cast<int>(Hmu(0).FaultRecords().size()), c.recordsAfter) << c.line;
        }
        EXPECT_EQ(Bus().Counters().transactionsWithEnableLow, 0u) << c.line << ": traffic outside the cable lock";
    }

    // Demo mode has the demonstration log and nothing to erase; bad codes are refused before the bus.
    SetUp();
    const CliResult demo = Run("--demo faults 3");
    EXPECT_EQ(demo.status, 0);
    EXPECT_EQ(demo.out.rfind("Faults: 16\nFault 1 of 16: VMON1 A\n", 0), 0u) << demo.out;
    EXPECT_NE(demo.out.find("Fault 16 of 16: TMON int B\n"), std::string::npos) << demo.out;
    for (const char* line : {"--demo erase-faults 0", "--simulated-board --unlock-code 3CA erase-faults 0",
                             "--simulated-board --unlock-code 0x3CA5 erase-faults 0", "faults 0 1", "erase-faults 8"}) {
        const CliResult r = Run(line);
        EXPECT_EQ(r.status, CZent2Cli::kExitUsage) << line;
        EXPECT_TRUE(IsOneLine(r.err)) << line << "-> " << r.err;
    }
    EXPECT_EQ(Writes(), 0u);
    EXPECT_EQ(Hmu(0).FaultRecords().size(), 2u);
    const std::string help = Run("--help").out;
    for (const char* word : {"faults HMU", "erase-faults HMU", "--unlock-code HHHH", "No faults"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

TEST_F(CliOnBoard, FaultLogTracesDecodeToTheSequencesOfThePage)
{
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli is run through a POSIX shell";
#endif
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";
    std::string records;
    int left = faultlog::kRecordBytes * static_cast<int>(Hmu(0).FaultRecords().size());
    for (const faultlog::Record& record : Hmu(0).FaultRecords())
        for (const uint8_t byte : record) records += FormatText(" %02X %s", byte, --left == 0 ? "N" : "A");
    const std::string enable = "S C0 A 74 A B7 A Sr C1 A F0 N P";
    const std::string disable = "S C0 A 74 A 00 A Sr C1 A 00 N P";
    const struct {
        const char* command;
        std::string tokens;
    } cases[] = {
        // Identification, status (two records), the log opened, the records, the log closed.
        {"faults 0", "S C0 A 02 A Sr C1 A 8A N P S C0 A 03 A Sr C1 A 00 A 02 N P " + enable +
                         " S C0 A 76 A Sr C1 A" + records + " P " + disable},
        // Unlock, open, erase, close, end; then the status shows the log empty.
        {"erase-faults 0", "S C0 A 04 A 3C A A5 A P " + enable + " S C0 A 71 A P " + disable +
                               " S C0 A 05 A P S C0 A 03 A Sr C1 A 00 A 00 N P"},
        // After that erase nothing is left to read: the log is not opened.
        {"faults 0", "S C0 A 02 A Sr C1 A 8A N P S C0 A 03 A Sr C1 A 00 A 00 N P"},
    };
    const std::string path = TempPath("faults.vcd");
    for (const auto& c : cases) ExpectTraceDecodes(c.command, c.tokens, path);
    std::filesystem::remove(path);
}

}  // namespace
