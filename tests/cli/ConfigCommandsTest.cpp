// zent2-cli save-config, diff-config and load-config end to end on the
// simulated board: a saved board changed by a board file, compared and put
// back, with the bus sequence as sigrok decodes it; damaged files; devices
// that stop answering half way.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "cli/Zent2Cli.h"
#include "sim/SimulatedBoard.h"
#include "tests/SigrokDecode.h"
#include "util/TextFormat.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Registers the tests change after saving: VMON1 Config0, GPIO Config0,
// HVOUT2 Config1, Writeprotect Usertag.
struct Change {
    int hmu;
    int reg;
    int value;
};
constexpr Change kChanges[] = {{0, 22, 0x5A}, {0, 98, 0x05}, {1, 86, 0xE5}, {1, 102, 0x01}};

std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zent2-config-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// (hmu address, register, value) of every configuration write, and the
// address of every update, in a decoded bus log.
std::multiset<std::tuple<int, int, int>> Writes(const std::string& log)
{
    std::multiset<std::tuple<int, int, int>> writes;
    static const std::regex write("S (C[0-9A-F]) A 31 A ([0-9A-F]{2}) A ([0-9A-F]{2}) A P");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), write); it != std::sregex_iterator(); ++it)
        writes.insert({std::stoi((*it)[1], nullptr, 16), std::stoi((*it)[2], nullptr, 16),
                       std::stoi((*it)[3], nullptr, 16)});
    return writes;
}

bool WritesAnything(const std::string& log)
{
    return std::regex_search(log, std::regex("S C[0-9A-F] A (31|32|35|51) A"));
}

class ConfigCommands : public ::testing::Test {
protected:
    Result Sim(const std::string& line)
    {
        std::istringstream in("--simulated-board " + line);
        std::vector<std::string> args;
        for (std::string word; in >> word;) args.push_back(word);
        CZent2Cli cli;
        cli.SetBoard(board.get());
        std::ostringstream out, err;
        const int status = cli.Run(args, out, err);
        return {status, out.str(), err.str()};
    }
    void Load(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(board->LoadText(text, error)) << error;
    }
    // Saves the board, then changes the registers of kChanges as a board file would.
    void SaveAndChange(const std::string& path)
    {
        ASSERT_EQ(Sim("save-config " + path).status, 0);
        for (const Change& c : kChanges) {
            saved.push_back(Hmu(c.hmu).PendingConfiguration(c.reg));
            Load(FormatText("hmu%d.config.%d = 0x%02X\n", c.hmu, c.reg, c.value));
        }
    }
    std::string Decode(const std::string& vcd)
    {
        std::string tokens, output;
        EXPECT_TRUE(sigrok::Decode(vcd, &tokens, &output)) << output;
        return tokens;
    }
    CHmuDevice& Hmu(int n) { return *board->Hmu(n); }

    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::vector<int> saved;  // the values kChanges replaced
};

TEST_F(ConfigCommands, ASavedBoardIsComparedAndPutBackWithOneUpdatePerDevice)
{
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli is run through a POSIX shell";
#endif
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";
    const std::string path = TempPath("board.cfg");
    SaveAndChange(path);

    // The file: a header, then every writable configuration register of HMU0 and HMU1.
    const std::string text = ReadAll(path);
    EXPECT_EQ(text.rfind("# ZENT2 I2C utility ", 0), 0u) << text;
    EXPECT_NE(text.find("# Devices: HMU0 HMU1\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') - 4, 2 * 89);
    for (const char* never : {"ADC MUX", "Output control block", "Trim1 Profile1 Low", "TMON stat A"})
        EXPECT_EQ(text.find(never), std::string::npos) << never;
    EXPECT_NE(text.find(FormatText("HMU0  \"VMON1 Config0\"         22  0x%02X\n", saved[0])), std::string::npos);

    // Exactly the changes, in the file as it is or with CR LF line ends and
    // the byte order mark some Windows editors write.
    std::set<std::tuple<int, int, int, int>> changes;
    for (size_t i = 0; i < std::size(kChanges); ++i)
        changes.insert({kChanges[i].hmu, kChanges[i].reg, saved[i], kChanges[i].value});
    const std::string crlf = TempPath("crlf.cfg");
    std::ofstream(crlf, std::ios::binary) << "\xEF\xBB\xBF" + std::regex_replace(text, std::regex("\n"), "\r\n");
    for (const std::string& file : {path, crlf}) {
        const Result diff = Sim("diff-config " + file);
        EXPECT_EQ(diff.status, 1) << diff.err;
        std::set<std::tuple<int, int, int, int>> listed;
        static const std::regex line(
            "HMU([0-7])  \"[^\"]+\" +([0-9]+)  file 0x([0-9A-F]{2})  device 0x([0-9A-F]{2})\n");
        for (auto it = std::sregex_iterator(diff.out.begin(), diff.out.end(), line); it != std::sregex_iterator(); ++it)
            listed.insert({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3], nullptr, 16),
                           std::stoi((*it)[4], nullptr, 16)});
        EXPECT_EQ(listed, changes) << diff.out;
        EXPECT_EQ(std::count(diff.out.begin(), diff.out.end(), '\n'), 4) << diff.out;
        EXPECT_NE(diff.out.find("HMU1  \"HVOUT2 Config1\""), std::string::npos) << diff.out;
    }

    // A dry run lists the same registers and puts nothing on the bus but reads.
    const std::string vcd = TempPath("load.vcd");
    const Result dry = Sim("--trace " + vcd + " load-config " + path + " --dry-run");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find(FormatText("22  0x5A -> 0x%02X\n", saved[0])), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("4 registers would be written"), std::string::npos) << dry.out;
    EXPECT_FALSE(WritesAnything(Decode(vcd)));
    EXPECT_EQ(Hmu(0).PendingConfiguration(22), 0x5A);

    // The load writes those four, updates each device once after its writes, reads back.
    const int updates[2] = {Hmu(0).UpdateCount(), Hmu(1).UpdateCount()};
    const Result load = Sim("--trace " + vcd + " load-config " + path);
    EXPECT_EQ(load.status, 0) << load.err;
    const std::string tokens = Decode(vcd);
    std::multiset<std::tuple<int, int, int>> restored;
    for (size_t i = 0; i < std::size(kChanges); ++i)
        restored.insert({0xC0 + 2 * kChanges[i].hmu, kChanges[i].reg, saved[i]});
    EXPECT_EQ(Writes(tokens), restored) << tokens;
    for (const int device : {0, 1}) {
        const std::string address = FormatText("S C%X A ", 2 * device);
        const size_t update = tokens.find(address + "35 A P");
        ASSERT_NE(update, std::string::npos) << tokens;
        EXPECT_EQ(tokens.find(address + "35 A P", update + 1), std::string::npos) << "one update per device";
        EXPECT_LT(tokens.rfind(address + "31 A"), update);
        EXPECT_GT(tokens.rfind(address + "33 A"), update) << "read back after the update";
        EXPECT_EQ(Hmu(device).UpdateCount(), updates[device] + 1);
    }
    for (size_t i = 0; i < std::size(kChanges); ++i)
        EXPECT_EQ(Hmu(kChanges[i].hmu).ActiveConfiguration(kChanges[i].reg), saved[i]) << kChanges[i].reg;
    const Result again = Sim("diff-config " + path);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(ReadAll(path), text) << "loading never changes the file";
    for (const std::string& file : {path, crlf, vcd}) std::filesystem::remove(file);
}

TEST_F(ConfigCommands, ADamagedFileIsNamedByItsLineAndNothingIsWritten)
{
    // Every file starts with a valid line that would change the board.
    const std::string good = "HMU0 \"VMON1 Config0\" 22 0x5A\n";
    const struct {
        std::string text;
        int line;
        const char* message;
    } cases[] = {
        {good + "HMU1 \"VMON1 Config0\" 23 0x5A\n", 2, "\"VMON1 Config0\" is register 22, not 23"},
        {good + "# comment\nHMU0 \"VMON1 Config9\" 22 0x5A\n", 3, "no register \"VMON1 Config9\""},
        {good + "HMU0 \"ADC value Low\" 1 0x00\n", 2, "not a writable configuration register"},
        {good + "HMU0 \"ADC MUX\" 0 0x00\n", 2, "not a writable configuration register"},
        {good + "HMU8 \"VMON1 Config0\" 22 0x5A\n", 2, "\"HMU8\" is not a device"},
        {good + "HMU1 \"VMON1 Config0\" 22 0x100\n", 2, "over 0xFF"},
        {good + "HMU1 \"VMON1 Config0\" 22 5A\n", 2, "bad value"},
        {good + "\nhmu0 \"VMON1 Config0\" 22 0x17\n", 3, "given twice (first on line 1)"},
        {good + "HMU3 \"VMON1 Config0\" 22 0x5A\n", 2, "HMU3 is not on the board"},
        {"HMU0 \"VMON1 Config0\" 22 0x5A\r\nHMU0 VMON1 Config1 23 0x5A\r\n", 2, "expected HMUn"},
        {good + "HMU0 \"VMON1 Config1\" 23 0x5A 7\n", 2, "expected HMUn"},
        {good + "# " + std::string(5000, 'x') + "\n", 2, "longer than 4096"},
        {"# nothing but comments\n\n", 0, "no register lines"},
        {good + std::string(1100, '#') + std::string(1024 * 1024, '\n'), 0, "larger than 1024 KiB"},
    };
    const std::string path = TempPath("damaged.cfg");
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
        const std::string where = c.line > 0 ? path + ", line " + std::to_string(c.line) + ": " : path;
        for (const char* command : {"load-config ", "diff-config "}) {
            board->Driver()->ClearEventLog();
            const Result r = Sim(command + path);
            EXPECT_EQ(r.status, 2) << command << c.message;
            EXPECT_NE(r.err.find(where), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_FALSE(WritesAnything(board->Driver()->EventLog())) << c.message;
        }
        EXPECT_NE(Hmu(0).PendingConfiguration(22), 0x5A);
    }
    std::filesystem::remove(path);
}

TEST_F(ConfigCommands, ADeviceThatStopsAnsweringHalfWayIsReportedWithWhatWasAndWasNotWritten)
{
    const struct {
        const char* fault;  // a board file line, given after the save
        const char* command;
        std::vector<std::string> messages;
        bool hmu0Restored;
        bool hmu1Pending;  // HMU1's changed registers were written (not necessarily applied)
    } cases[] = {
        {"hmu1.nack.command.0x33 = always", "save-config ",
         {"HMU1 at 0xC2 stopped answering while \"Trim1 Profile0 Low\" (12) was read: nothing was saved"}, false,
         false},
        {"hmu1.nack.data.0x31 = always", "load-config ",
         {"HMU1 at 0xC2 did not acknowledge the write of \"HVOUT2 Config1\" (86): load-config stopped",
          "written: 2 registers of HMU0, applied (update sent)", "not written: HMU1  \"HVOUT2 Config1\"",
          "not written: HMU1  \"Writeprotect Usertag\" 102  0x00"},
         true, false},
        {"hmu1.nack.command.0x35 = always", "load-config ",
         {"HMU1 at 0xC2 did not acknowledge Update Configuration: load-config stopped",
          "written: 2 registers of HMU1, not applied (no update sent: not in effect)"},
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        board = CSimulatedBoard::CreateDefault();
        saved.clear();
        const std::string path = TempPath("half.cfg");
        SaveAndChange(path);
        const std::string before = ReadAll(path);
        Load(std::string(c.fault) + "\n");
        const Result r = Sim(c.command + path);
        EXPECT_EQ(r.status, 1);
        for (const std::string& message : c.messages) EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(ReadAll(path), before) << "the file stays as it was";
        for (size_t i = 0; i < std::size(kChanges); ++i) {
            const Change& k = kChanges[i];
            const bool restored = k.hmu == 0 ? c.hmu0Restored : false;
            EXPECT_EQ(Hmu(k.hmu).ActiveConfiguration(k.reg), restored ? saved[i] : k.value) << k.reg;
            if (k.hmu == 1) {
                EXPECT_EQ(Hmu(1).PendingConfiguration(k.reg), c.hmu1Pending ? saved[i] : k.value) << k.reg;
            }
        }
        std::filesystem::remove(path);
    }
}

}  // namespace
