// zent2-usb-testbed: runs a program with emulated FT2232H cables plugged in,
// as its libusb sees them, the way umockdev-run runs one under a test bed.
// The cables, their chips and the simulated boards behind them live in this
// process; the program runs as a child under umockdev's preload, so that the
// real libusb and libftdi1 in it reach the cables through their device nodes.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "util/TextFormat.h"
#include "link/FtdiDriver.h"
#include "sim/SimulatedBoard.h"
#include "usbtestbed/UsbTestbed.h"

extern char** environ;

namespace {

const char* const kUsage =
    "Usage: zent2-usb-testbed [--board FILE] [--cables N] [--serial S]... [--fault FAULT]\n"
    "                         [--own-ids VID:PID] [--single-channel] [--trace FILE.vcd] [--stats]\n"
    "                         -- COMMAND [ARGS]\n"
    "\n"
    "Runs COMMAND (e.g. zent2-cli scan, or zent2-i2c) with emulated FT2232H cables\n"
    "plugged in, as the real libusb and libftdi1 in it see them: each cable carries\n"
    "a simulated demonstration board of its own.\n"
    "\n"
    "Options:\n"
    "  --board FILE      load a board file into every cable's board (zent2-cli\n"
    "                    --help-board lists the keys)\n"
    "  --cables N        plug in N cables, 1 to 8 (default 1, or one per --serial);\n"
    "                    cable 1 sits at usb 2-1, 2 at usb 1-3.2, 3 at usb 1-3.1,\n"
    "                    4 at usb 1-1, 5 to 8 at usb 3-1 to 3-4\n"
    "  --serial S        the USB serial number of the next cable (default ZTB001,\n"
    "                    ZTB002, ...); may be given once per cable\n"
    "  --fault FAULT     a fault of cable 1: busy (another program holds it),\n"
    "                    permission (its device node may not be opened),\n"
    "                    unplug-after:N (pulled out right after the N-th write\n"
    "                    to channel B), mute-after:N (its chip answers no read\n"
    "                    after the N-th write to channel B), late-reply:N (the\n"
    "                    last byte of the reply to the N-th write to channel B\n"
    "                    comes after the read gave up)\n"
    "  --own-ids VID:PID the last cable shows USB ids of its own (hex) instead of\n"
    "                    0403:6010, as a cable whose EEPROM was programmed so\n"
    "  --single-channel  the last cable is a single-channel FT232H (0403:6014)\n"
    "                    instead, as when the wrong cable is plugged in\n"
    "  --trace FILE.vcd  record cable 1's I2C bus for sigrok/PulseView or GTKWave\n"
    "  --stats           print what each cable saw on standard error at the end\n"
    "\n"
    "The exit status is COMMAND's; 2 for bad usage, 127 when COMMAND cannot run.\n";

std::atomic<pid_t> g_child{0};

// A signal sent to this process (kill) goes on to the command. One from the
// terminal (Ctrl-C) reaches the command by itself, as it is in the same
// process group: handing it on too would make it two.
extern "C" void Forward(int signal, siginfo_t* info, void*)
{
    const pid_t child = g_child.load();
    if (child > 0 && info && info->si_code <= 0) kill(child, signal);
}

int Usage(const std::string& error)
{
    std::fprintf(stderr, "zent2-usb-testbed: %s\n\n%s", error.c_str(), kUsage);
    return 2;
}

std::string StatsLine(const CUsbTestbed& bed, int cable)
{
    const UsbCableStats s = bed.Stats(cable);
    const auto u = [](uint64_t v) { return static_cast<unsigned long long>(v); };
    return FormatText(
        "cable %s (%s): urbs=%llu control=%llu writes.A=%llu writes.B=%llu reads.A=%llu reads.B=%llu "
        "reads-with-data.A=%llu reads-with-data.B=%llu bytes-out.B=%llu bytes-in.B=%llu discards=%llu "
        "claims.A=%llu claims.B=%llu refused-claims=%llu polls=%llu",
        bed.Serial(cable).c_str(), CUsbTestbed::PlaceText(CUsbTestbed::PlaceOf(cable)).c_str(), u(s.Urbs()),
        u(s.controlTransfers), u(s.bulkOut[0]), u(s.bulkOut[1]), u(s.bulkIn[0]), u(s.bulkIn[1]),
        u(s.bulkInWithData[0]), u(s.bulkInWithData[1]), u(s.bytesOut[1]), u(s.bytesIn[1]), u(s.discards),
        u(s.claims[0]), u(s.claims[1]), u(s.refusedClaims), u(s.reapPolls));
}

}  // namespace

int main(int argc, char** argv)
{
    std::string boardFile;
    std::string tracePath;
    std::vector<std::string> serials;
    int cables = 0;
    bool stats = false;
    UsbFaultPlan fault;
    uint16_t ownVendor = 0, ownProduct = 0;
    bool singleChannel = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--stats") {
            stats = true;
            continue;
        }
        if (arg == "--single-channel") {
            singleChannel = true;
            continue;
        }
        if (arg != "--board" && arg != "--cables" && arg != "--serial" && arg != "--fault" && arg != "--trace" &&
            arg != "--own-ids")
            return Usage("unknown option " + arg);
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--board") {
            boardFile = value;
        } else if (arg == "--trace") {
            tracePath = value;
        } else if (arg == "--serial") {
            if (value.size() > 14) return Usage("--serial " + value + ": at most 14 characters");
            serials.push_back(value);
        } else if (arg == "--own-ids") {
            if (!ParseUsbIds(value, &ownVendor, &ownProduct))
                return Usage("--own-ids " + value + ": give the USB ids as VID:PID in hex, e.g. 0403:6011");
        } else if (arg == "--fault") {
            if (!ParseUsbFault(value, &fault)) return Usage("--fault " + value + ": not a fault");
        } else {
            if (value.size() != 1 || value[0] < '1' || value[0] > '0' + CUsbTestbed::kMaxCables)
                return Usage("--cables " + value + ": give 1 to " + std::to_string(CUsbTestbed::kMaxCables));
            cables = value[0] - '0';
        }
    }
    if (i >= argc) return Usage("no command given after --");
    if (cables == 0) cables = std::max<int>(1, static_cast<int>(serials.size()));
    if (static_cast<int>(serials.size()) > cables) return Usage("more --serial than --cables");
    if (static_cast<int>(serials.size()) > CUsbTestbed::kMaxCables) return Usage("at most 8 cables");
    while (static_cast<int>(serials.size()) < cables) serials.push_back(FormatText("ZTB%03d", int(serials.size()) + 1));

    // Boards first, so that a bad file stops everything with its line.
    std::vector<std::unique_ptr<CSimulatedBoard>> boards;
    for (int c = 0; c < cables; ++c) {
        auto board = CSimulatedBoard::CreateDefault();
        std::string error;
        if (!boardFile.empty() && !board->LoadFile(boardFile, error)) {
            std::fprintf(stderr, "zent2-usb-testbed: %s\n", error.c_str());
            return 2;
        }
        boards.push_back(std::move(board));
    }

    CUsbTestbed::PreparePreloadEnvironment();
    auto bed = std::make_unique<CUsbTestbed>();
    for (int c = 0; c < cables; ++c) {
        std::string error;
        const bool last = c == cables - 1;
        const bool own = ownVendor != 0 && last;
        if (bed->AddCable(serials[static_cast<size_t>(c)], std::move(boards[static_cast<size_t>(c)]), &error,
                          own ? ownVendor : uint16_t{0x0403}, own ? ownProduct : uint16_t{0x6010},
                          singleChannel && last) < 0) {
            std::fprintf(stderr, "zent2-usb-testbed: cannot plug in cable %d: %s\n", c + 1, error.c_str());
            return 1;
        }
    }
    bed->SetFault(0, fault);
    if (!tracePath.empty()) {
        bed->WithBoards([](int cable, CSimulatedBoard& board) {
            if (cable == 0) board.Driver()->StartTrace();
        });
    }

    struct sigaction forward {};
    forward.sa_sigaction = Forward;
    forward.sa_flags = SA_SIGINFO;
    sigemptyset(&forward.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(s, &forward, nullptr);

    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[i], nullptr, nullptr, argv + i, environ);
    if (spawned != 0) {
        std::fprintf(stderr, "zent2-usb-testbed: cannot run %s: %s\n", argv[i], std::strerror(spawned));
        return 127;
    }
    g_child = child;

    // The boards' clocks run in real time, as the desktop program runs its
    // simulated board's; unplugged cables leave sysfs from this thread.
    int status = 0;
    auto last = std::chrono::steady_clock::now();
    while (true) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) {
            std::fprintf(stderr, "zent2-usb-testbed: lost the command: %s\n", std::strerror(errno));
            status = 1 << 8;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto now = std::chrono::steady_clock::now();
        bed->AdvanceBoards(std::chrono::duration_cast<std::chrono::microseconds>(now - last));
        last = now;
        bed->ProcessUnplugs();
    }
    g_child = 0;

    int result = 0;
    if (!tracePath.empty()) {
        bool written = false, empty = false;
        bed->WithBoards([&](int cable, CSimulatedBoard& board) {
            if (cable != 0) return;
            board.Driver()->StopTrace();
            empty = board.Driver()->Bus().Trace().Events().empty();
            if (!empty) written = board.Driver()->WriteVcd(tracePath);
        });
        if (empty) std::fprintf(stderr, "zent2-usb-testbed: nothing ran on the bus: no trace written to %s\n",
                                tracePath.c_str());
        else if (!written) {
            std::fprintf(stderr, "zent2-usb-testbed: cannot write the bus trace to %s\n", tracePath.c_str());
            result = 1;
        }
    }
    if (stats)
        for (int c = 0; c < cables; ++c) std::fprintf(stderr, "zent2-usb-testbed: %s\n", StatsLine(*bed, c).c_str());
    bed.reset();

    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        std::raise(WTERMSIG(status));
    }
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    return exitStatus != 0 ? exitStatus : result;
}
