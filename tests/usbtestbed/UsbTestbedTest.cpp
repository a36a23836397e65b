// The real USB stack end to end: the built zent2-cli and zent2-i2c on the
// libftdi1 backend, libftdi1 and libusb from the system, reaching emulated
// FT2232H cables through zent2-usb-testbed (umockdev). What a command prints
// there must be what it prints on --simulated-board with the same board file;
// the cables are listed and chosen as real ones are; and every fault a user
// meets at first contact gives its message.

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "util/TextFormat.h"
#include "link/LibFtdiDriver.h"
#include "link/LibFtdiNativeApi.h"
#include "tests/SigrokDecode.h"

namespace {

namespace fs = std::filesystem;

// A folder of this test process's own, gone when the process ends.
fs::path Folder()
{
    static const struct Scratch {
        fs::path path = fs::temp_directory_path() / ("zent2-usbtestbed-" + std::to_string(getpid()));
        Scratch() { fs::create_directories(path); }
        ~Scratch()
        {
            std::error_code error;
            fs::remove_all(path, error);
        }
    } scratch;
    return scratch.path;
}

std::string FileText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

fs::path WriteFile(const std::string& name, const std::string& text)
{
    const fs::path path = Folder() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Ran {
    int status = -1;  // the exit status, or 128 + the signal
    std::string out;
    std::string err;
};

// Starts a program with standard output and error in files; stdin is /dev/null.
pid_t Start(const std::vector<std::string>& args, const fs::path& out, const fs::path& err,
            const std::vector<std::pair<std::string, std::string>>& env = {})
{
    const pid_t child = fork();
    if (child != 0) return child;
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || o < 0 || e < 0) _exit(126);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

int Wait(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Ran Run(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env = {})
{
    static int runs = 0;
    const fs::path out = Folder() / ("out" + std::to_string(++runs));
    const fs::path err = Folder() / ("err" + std::to_string(runs));
    Ran ran;
    ran.status = Wait(Start(args, out, err, env));
    ran.out = FileText(out);
    ran.err = FileText(err);
    fs::remove(out);
    fs::remove(err);
    return ran;
}

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// zent2-cli on the simulated board, and on the libftdi1 backend through the test bed.
Ran Simulated(const std::vector<std::string>& cli, const fs::path& board)
{
    return Run(Cat({ZENT2_CLI_PATH, "--simulated-board", "--board", board.string()}, cli));
}

Ran OnTestbed(const std::vector<std::string>& bed, const std::vector<std::string>& cli,
              const std::vector<std::string>& prefix = {})
{
    return Run(Cat(Cat(Cat(prefix, {ZENT2_USB_TESTBED_PATH}), Cat(bed, {"--", ZENT2_CLI_PATH})), cli));
}

// The launcher's --stats lines: per cable serial, its counts by name.
std::map<std::string, std::map<std::string, long>> CableStats(const std::string& err)
{
    std::map<std::string, std::map<std::string, long>> stats;
    const std::string prefix = "zent2-usb-testbed: cable ";
    for (const std::string& line : Lines(err)) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::istringstream words(line.substr(prefix.size()));
        std::string serial, word;
        words >> serial;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos) stats[serial][word.substr(0, eq)] = std::stol(word.substr(eq + 1));
        }
    }
    return stats;
}

// The serials of the cables whose I2C channel (B) was claimed.
std::vector<std::string> UsedCables(const std::string& err)
{
    std::vector<std::string> used;
    for (const auto& [serial, counts] : CableStats(err))
        if (counts.at("claims.B") > 0) used.push_back(serial);
    return used;
}

// Everything but the launcher's own lines.
std::string CommandErr(const std::string& err)
{
    std::string text;
    for (const std::string& line : Lines(err))
        if (line.rfind("zent2-usb-testbed: ", 0) != 0) text += line + "\n";
    return text;
}

// The board both sides start from: the demonstration board, a third device
// with a fault in its log, and changed values.
fs::path Board()
{
    static const fs::path path = WriteFile("board.txt",
                                           "hmu3.present = 1\n"
                                           "hmu3.signature = 0x1122334455667788\n"
                                           "hmu3.faultlog.record = 00 00 00 00 00 02 00\n"
                                           "hmu0.vmon2 = 1.55\n"
                                           "hmu1.temp1 = 47.25\n");
    return path;
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "@LOG" and "@SCRIPT" stand for files of the test
};

const CliCase kCliCases[] = {
    {"scan", {"scan"}},
    {"dump", {"dump", "3"}},
    {"measure", {"measure", "1"}},
    {"trim", {"trim", "0", "2"}},
    {"faults", {"faults", "0"}},
    {"log", {"log", "--output", "@LOG", "--count", "3", "--interval", "1"}},
    {"script", {"--script", "@SCRIPT"}},
};

void PrintTo(const CliCase& c, std::ostream* os)
{
    *os << c.name;
}

class UsbTestbedCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(UsbTestbedCli, PrintsWhatTheSimulatedBoardPrints)
{
    const fs::path log = Folder() / (std::string(GetParam().name) + ".log");
    // Margining needs the board's clock: sleep lets it run (at once on the
    // simulated board, in real time on the test bed's).
    const fs::path script = WriteFile("script.txt",
                                      "write-main 0 0x01   # margining +5 %\n"
                                      "sleep 1\n"
                                      "measure 0\n"
                                      "write 0 C 0x34 0x12\n"
                                      "update 0\n"
                                      "read 0 C 0x34\n"
                                      "trim 0 1 1.1\n"
                                      "ues 3\n");
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args)
        args.push_back(a == "@LOG" ? log.string() : a == "@SCRIPT" ? script.string() : a);

    const Ran simulated = Simulated(args, Board());
    const std::string simulatedLog = FileText(log);
    const Ran real = OnTestbed({"--board", Board().string()}, args);
    const std::string realLog = FileText(log);
    ASSERT_EQ(simulated.status, 0) << simulated.err;
    ASSERT_FALSE(simulated.out.empty() && simulatedLog.empty());
    EXPECT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(real.out, simulated.out);
    EXPECT_EQ(real.err, simulated.err);
    if (simulatedLog.empty()) return;

    // The header names the driver and library in use: the simulated cable's
    // own numbers there, libusb's and libftdi1's here. The date is the run's.
    CLibFtdiNativeApi api;
    const std::string versions[2] = {
        FormatText("FTDI driver version: 0x%08X", static_cast<unsigned>(PackFtdiVersion(api.GetUsbLibraryVersion()))),
        FormatText("FTDI library version: 0x%08X", static_cast<unsigned>(PackFtdiVersion(api.GetLibraryVersion())))};
    std::vector<std::string> a = Lines(simulatedLog), b = Lines(realLog);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 7u);
    EXPECT_EQ(b[1], versions[0]);
    EXPECT_EQ(b[2], versions[1]);
    for (const size_t differs : {1, 2, 5}) a[differs] = b[differs] = "";
    EXPECT_EQ(a, b);
    fs::remove(log);
}

INSTANTIATE_TEST_SUITE_P(Cli, UsbTestbedCli, ::testing::ValuesIn(kCliCases),
                         [](const ::testing::TestParamInfo<CliCase>& info) { return std::string(info.param.name); });

TEST(UsbTestbed, SigrokDecodesTheEmulatedBoardsBusAsTheSimulatedOne)
{
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";
    const fs::path simulatedTrace = Folder() / "simulated.vcd", realTrace = Folder() / "testbed.vcd";
    const std::vector<std::string> args = {"read", "0", "C", "0x34"};
    ASSERT_EQ(Simulated(Cat({"--trace", simulatedTrace.string()}, args), Board()).status, 0);
    const Ran real = OnTestbed({"--board", Board().string(), "--trace", realTrace.string()}, args);
    ASSERT_EQ(real.status, 0) << real.err;
    std::string simulatedTokens, realTokens, simulatedOutput, realOutput;
    ASSERT_TRUE(sigrok::Decode(simulatedTrace.string(), &simulatedTokens, &simulatedOutput)) << simulatedOutput;
    ASSERT_TRUE(sigrok::Decode(realTrace.string(), &realTokens, &realOutput)) << realOutput;
    EXPECT_EQ(realTokens, "S C0 A 33 A 34 A Sr C1 A 10 N P");
    EXPECT_EQ(realTokens, simulatedTokens);
}

TEST(UsbTestbed, CablesAreListedByPlaceAndChosenBySerialOrOwnIds)
{
    // What zent2-cli devices prints for these cables (serial, USB ids, place), in this order.
    const auto listing = [](const std::vector<std::array<const char*, 3>>& cables) {
        std::string text;
        int index = 0;
        for (const auto& [serial, ids, place] : cables)
            for (const char channel : {'A', 'B'})
                text += FormatText("%d %s%c  cable %s channel %c, %s at %s\n", index++, serial, channel, serial,
                                   channel, ids, place);
        return text;
    };
    const std::array<const char*, 3> first = {"ZTB001", "0403:6010", "usb 2-1"};
    const std::array<const char*, 3> second = {"ZTB002", "0403:6010", "usb 1-3.2"};
    const std::array<const char*, 3> third = {"ZTB003", "0403:6010", "usb 1-3.1"};
    const std::array<const char*, 3> own = {"ZTB003", "1234:ABCD", "usb 1-3.1"};
    const std::string two = listing({second, first});
    const struct {
        const char* name;
        std::vector<std::string> bed, cli;
        int status;
        std::string out;                // compared when the command lists
        std::vector<std::string> used;  // the cables whose I2C channel was opened
        std::string err;
    } cases[] = {
        {"two cables, by place", {"--cables", "2"}, {"devices"}, 0, two, {}, ""},
        {"three cables, by place", {"--cables", "3"}, {"devices"}, 0, listing({third, second, first}), {}, ""},
        {"the first listed is used", {"--cables", "3"}, {"read-main", "1"}, 0, "", {"ZTB003"}, ""},
        {"--serial chooses", {"--cables", "3"}, {"--serial", "ZTB001", "read-main", "1"}, 0, "", {"ZTB001"}, ""},
        {"--serial of two named cables", {"--serial", "AAA", "--serial", "BBB"},
         {"--serial", "AAA", "read-main", "1"}, 0, "", {"AAA"}, ""},
        {"--serial of a cable not plugged in", {"--cables", "2"}, {"--serial", "ZTB009", "scan"}, 1, "", {},
         "zent2-cli: cannot open the cable: no cable with the serial number ZTB009 is attached\n"},
        {"a cable with ids of its own is not listed", {"--cables", "3", "--own-ids", "1234:ABCD"}, {"devices"}, 0,
         two, {}, ""},
        {"a single-channel chip: one device, no channel letter", {"--cables", "2", "--single-channel"}, {"devices"}, 0,
         listing({first}) + "2 ZTB002  cable ZTB002 channel A, 0403:6014 at usb 1-3.2\n", {}, ""},
        {"--vid-pid lists it first", {"--cables", "3", "--own-ids", "1234:ABCD"},
         {"--vid-pid", "1234:abcd", "devices"}, 0, listing({own, second, first}), {}, ""},
        {"--vid-pid uses it", {"--cables", "3", "--own-ids", "1234:ABCD"}, {"--vid-pid", "1234:ABCD", "read-main", "1"},
         0, "", {"ZTB003"}, ""},
    };
    for (const auto& c : cases) {
        const Ran ran = OnTestbed(Cat({"--stats"}, c.bed), c.cli);
        EXPECT_EQ(ran.status, c.status) << c.name << ": " << ran.err;
        if (!c.out.empty()) {
            EXPECT_EQ(ran.out, c.out) << c.name;
        }
        EXPECT_EQ(UsedCables(ran.err), c.used) << c.name;
        EXPECT_EQ(CommandErr(ran.err), c.err) << c.name;
    }
}

bool CanRunAsNobody()
{
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0 &&
           Run({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/true"}).status == 0;
}

TEST(UsbTestbed, EveryFirstContactFaultGivesItsMessage)
{
    const std::string status = " (Open Status = %d; Device = 1; %s; Devices Found = 2)\n";
    const std::string channel = "zent2-cli: cannot open the I2C channel of the cable: ";
    const std::string permission =
        "no permission to open the USB device (libftdi: %s; errno 13: " + std::string(std::strerror(EACCES)) +
        "): install the udev rule 60-zent2-ftdi.rules (the zent2-i2c package installs it; from the sources: "
        "scripts/setup, or copy dist/linux/60-zent2-ftdi.rules to /etc/udev/rules.d) and re-plug the cable; when "
        "logged in remotely, also join the plugdev group";
    // Without the udev rule the node cannot be opened and the serial not read;
    // root opens any node, so there the test bed refuses the claim instead.
    const std::string nodeRefused =
        FormatText((channel + permission + status).c_str(), "libusb_open() failed, code -4", 3, "");
    const std::string claimRefused = FormatText(
        (channel + permission + status).c_str(),
        "unable to claim usb device. Make sure the default FTDI driver is not in use, code -5", 3, "ZTB001B");
    const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    const struct {
        const char* name;
        std::vector<std::string> prefix;
        std::vector<std::string> bed;
        std::string err;
    } cases[] = {
        // Its only cable has USB ids of its own, so no FTDI chip is listed.
        {"no cable plugged in", {}, {"--own-ids", "1234:5678"}, "zent2-cli: cannot open the cable: no FTDI device found\n"},
        {"another program holds the cable", {}, {"--fault", "busy"},
         channel +
             FormatText(("another program holds this channel of the cable (libftdi: unable to claim usb device. "
                         "Make sure the default FTDI driver is not in use, code -5; errno 16: %s): close it "
                         "(another zent2-i2c or zent2-cli, OpenOCD, an FPGA or JTAG tool) and try again" +
                         status).c_str(),
                        std::strerror(EBUSY), 3, "ZTB001B")},
        {"no udev rule", {}, {"--fault", "permission"}, geteuid() == 0 ? claimRefused : nodeRefused},
        {"no udev rule, as a user", CanRunAsNobody() ? nobody : std::vector<std::string>{}, {"--fault", "permission"},
         CanRunAsNobody() || geteuid() != 0 ? nodeRefused : claimRefused},
        {"a single-channel chip in the cable's place", {}, {"--single-channel"},
         channel + "device 1 is not listed: only 1 FTDI channel is attached (Open Status = 2; Device = 1; ; Devices "
                   "Found = 1)\n"},
        {"a mute chip", {}, {"--fault", "mute-after:0"},
         channel +
             FormatText(("the MPSSE engine of channel B did not answer in step (the bad command AA was answered "
                         "nothing, not FA AA): re-plug the cable" + status).c_str(),
                        4, "ZTB001B")},
    };
    for (const auto& c : cases) {
        const Ran ran = OnTestbed(c.bed, {"read", "0", "C", "0x34"}, c.prefix);
        EXPECT_EQ(ran.status, 1) << c.name;
        EXPECT_EQ(ran.out, "") << c.name;
        EXPECT_EQ(ran.err, c.err) << c.name;
    }
}

TEST(UsbTestbed, ALateByteIsDroppedNotTakenForTheNextReply)
{
    // Three writes open the I2C channel; the fourth is the first read's.
    const fs::path script = WriteFile("reads.txt", "read 0 C 0x34\nread 0 C 0x35\nread 0 M 0x70\nues 1\n");
    const Ran simulated = Simulated({"--script", script.string()}, Board());
    ASSERT_EQ(simulated.status, 0);
    for (const char* fault : {"late-reply:4", "late-reply:5", "late-reply:9"}) {
        const Ran ran = OnTestbed({"--board", Board().string(), "--fault", fault}, {"--script", script.string()});
        EXPECT_EQ(ran.status, 0) << fault << ": " << ran.err;
        EXPECT_EQ(ran.out, simulated.out) << fault;
    }
}

TEST(UsbTestbed, ACableUnpluggedDuringALogEndsItWithExitOneAndTheRecordsBeforeIt)
{
    const fs::path log = Folder() / "unplug.log";
    // Where records begin, in writes to channel B: the opening's, then each record's.
    const auto writes = [&](const char* count) {
        const Ran ran = OnTestbed({"--stats"}, {"log", "--output", log.string(), "--count", count});
        EXPECT_EQ(ran.status, 0) << ran.err;
        return CableStats(ran.err)["ZTB001"]["writes.B"];
    };
    const long one = writes("1"), two = writes("2");
    const long perRecord = two - one, opening = one - perRecord;
    ASSERT_GT(perRecord, 10);
    const std::vector<std::string> clean = Lines(FileText(log));

    const long unplugAt = opening + perRecord + perRecord / 2;  // halfway through record 2
    const Ran ran = OnTestbed({"--fault", "unplug-after:" + std::to_string(unplugAt)},
                              {"log", "--output", log.string(), "--count", "3"});
    EXPECT_EQ(ran.status, 1);
    const std::vector<std::string> progress = Lines(ran.err);
    ASSERT_EQ(progress.size(), 3u) << ran.err;
    EXPECT_EQ(progress[0], "Record 1 of 3: HMU0, HMU1");
    // The readings after the unplug failed: named, not logged.
    EXPECT_EQ(progress[1].rfind("Record 2 of 3: HMU0, HMU1 (failed, not logged: ", 0), 0u) << progress[1];
    EXPECT_EQ(progress[2], "zent2-cli: the cable failed during record 2 (unplugged, or its chip stopped answering): "
                           "the log ends there; the records before it are complete in " + log.string());
    // Header and record 1 as in the run that kept its cable (the date aside).
    const std::vector<std::string> lines = Lines(FileText(log));
    size_t recordOne = 0;
    while (recordOne < clean.size() && clean[recordOne].rfind("Record 2 ", 0) != 0) ++recordOne;
    ASSERT_GT(lines.size(), recordOne);
    for (size_t i = 0; i < recordOne; ++i) {
        if (i == 4 || i == 5) continue;  // the count, the date
        EXPECT_EQ(lines[i], clean[i]) << "line " << i + 1;
    }
    fs::remove(log);
}

// The child the launcher started, once it runs.
pid_t ChildOf(pid_t parent)
{
    std::ifstream children("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    pid_t child = 0;
    children >> child;
    return child;
}

// Whether the process runs this program: a child the launcher is still
// spawning is a copy of the launcher, with its handlers, until its exec.
bool Runs(pid_t pid, const char* program)
{
    std::error_code error;
    return fs::equivalent(fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error), program, error);
}

bool CatchesSigterm(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// What can be seen from outside without a feature added for it: the program
// starts on the emulated cable, opens its I2C channel with the MPSSE answering
// in step, runs its event loop without a word on standard error, and ends on
// SIGTERM with its settings saved. The window itself is not looked at.
TEST(UsbTestbed, TheDesktopProgramStartsOnTheEmulatedCable)
{
    const fs::path config = Folder() / "config", runtime = Folder() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const fs::path out = Folder() / "i2c.out", err = Folder() / "i2c.err";
    const pid_t launcher = Start({ZENT2_USB_TESTBED_PATH, "--stats", "--", ZENT2_I2C_PATH}, out, err,
                                 {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_CONFIG_HOME", config.string()},
                                  {"XDG_RUNTIME_DIR", runtime.string()}});
    bool ready = false;
    for (int i = 0; i < 600 && !ready; ++i) {
        const pid_t program = ChildOf(launcher);
        ready = program > 0 && Runs(program, ZENT2_I2C_PATH) && CatchesSigterm(program);
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ready) kill(launcher, SIGKILL);
    ASSERT_TRUE(ready) << FileText(err);
    kill(launcher, SIGTERM);  // handed on to the program
    EXPECT_EQ(Wait(launcher), 0);
    const std::string text = FileText(err);
    std::string said = CommandErr(text);
    // The offscreen platform's own remark on every window it shows.
    for (size_t at; (at = said.find("This plugin does not support propagateSizeHints()\n")) != std::string::npos;)
        said.erase(at, 50);
    EXPECT_EQ(said, "");
    const auto stats = CableStats(text);
    ASSERT_EQ(stats.count("ZTB001"), 1u) << text;
    EXPECT_EQ(stats.at("ZTB001").at("claims.B"), 1);
    EXPECT_GE(stats.at("ZTB001").at("reads-with-data.B"), 1) << "FA AA came back";
    EXPECT_GE(stats.at("ZTB001").at("writes.B"), 3) << "first contact, pins and clock divisor";
    EXPECT_TRUE(fs::exists(config / "Norvane Semiconductor Corporation" / "ZENT2_I2C_Utility" / "Settings.reg"));
}

}  // namespace
