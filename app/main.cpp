// zent2-i2c: the desktop utility. Without options it drives the FTDI cable;
// --simulated-board runs it on the simulated cable and demonstration board.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QGuiApplication>

#include "settings/Settings.h"
#include "app/Tovin_I2C_App.h"
#include "util/PathText.h"
#include "util/Version.h"
#include "link/CableBackend.h"
#include "sim/SimulatedBoard.h"

namespace {

const char* const kUsage =
    "Usage: zent2-i2c [--simulated-board [--board FILE] [--cable-round-trip US] | --serial SERIAL | --vid-pid VID:PID]\n"
    "\n"
    "ZENT2 I2C utility: monitors and controls the HMU devices of a Sentrix II\n"
    "evaluation board through a dual-channel FTDI USB cable.\n"
    "\n"
    "Options:\n"
    "  --simulated-board  run on a simulated cable and demonstration board\n"
    "                     (HMU0, HMU1 and the main device) instead of the cable;\n"
    "                     Options > Simulated Board shows its knobs and lamps\n"
    "  --board FILE       load a board file into the simulated board first\n"
    "                     (--help-board lists its keys)\n"
    "  --cable-round-trip MICROSECONDS\n"
    "                     the simulated cable waits this long for every read\n"
    "                     from the chip, as a USB round trip does (default 0)\n"
    "  --serial SERIAL    use the FTDI cable with this USB serial number (see\n"
    "                     zent2-cli devices) for this run, when several are\n"
    "                     plugged in; the cable dialog stores a choice\n"
    "  --vid-pid VID:PID  a cable with USB ids of its own (hex, e.g. 0403:6011)\n"
    "  --help             show this text\n"
    "  --help-board       show the keys of board files\n"
    "  --version          show the version and the source revision it was built from\n";

}  // namespace

int main(int argc, char** argv)
{
    bool simulated = false;
    const char* boardFile = nullptr;
    long roundTripUs = 0;
    // The board file's name as UTF-8: on Windows argv is in the ANSI code page.
    const std::vector<std::string> words = ProgramArguments(argc, argv);
    FtdiCableChoice cable;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulated-board") == 0) {
            simulated = true;
        } else if (std::strcmp(argv[i], "--serial") == 0 || std::strcmp(argv[i], "--vid-pid") == 0) {
            const bool serial = argv[i][2] == 's';
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "zent2-i2c: %s needs a value\n\n%s", argv[i], kUsage);
                return 2;
            }
            const char* value = argv[++i];
            if (serial) {
                cable.serial = value;
            } else if (!ParseUsbIds(value, &cable.vendor, &cable.product)) {
                std::fprintf(stderr, "zent2-i2c: --vid-pid %s: give the USB ids as VID:PID in hex, e.g. 0403:6010\n",
                             value);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--board") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "zent2-i2c: --board needs a value\n\n%s", kUsage);
                return 2;
            }
            ++i;
            boardFile = words.size() + 1 == size_t(argc) ? words[size_t(i) - 1].c_str() : argv[i];
        } else if (std::strcmp(argv[i], "--cable-round-trip") == 0) {
            char* end = nullptr;
            const char* value = i + 1 < argc ? argv[i + 1] : "";
            roundTripUs = std::strtol(value, &end, 10);
            if (value[0] < '0' || value[0] > '9' || *end != '\0' || roundTripUs > 1000000) {
                std::fprintf(stderr, "zent2-i2c: --cable-round-trip needs a round trip in microseconds (0 to 1000000)\n\n%s",
                             kUsage);
                return 2;
            }
            ++i;
        } else if (std::strcmp(argv[i], "--help-board") == 0) {
            const std::string_view help = CSimulatedBoard::BoardFileHelp();
            std::fwrite(help.data(), 1, help.size(), stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(VersionText("zent2-i2c").c_str(), stdout);
            return 0;
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            // Leave the toolkit's own options (-platform, -style, ...) to it.
            std::fprintf(stderr, "zent2-i2c: unknown option %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }

    if (simulated && (!cable.serial.empty() || cable.vendor != 0)) {
        std::fprintf(stderr, "zent2-i2c: --serial and --vid-pid choose an FTDI cable: not with --simulated-board\n");
        return 2;
    }
    if (roundTripUs != 0 && !simulated) {
        std::fprintf(stderr, "zent2-i2c: --cable-round-trip needs --simulated-board\n");
        return 2;
    }
    if (boardFile && !simulated) {
        std::fprintf(stderr, "zent2-i2c: --board needs --simulated-board\n");
        return 2;
    }

    std::unique_ptr<CSimulatedBoard> board;
    std::shared_ptr<CFtdiDriver> driver;
    if (simulated) {
        board = CSimulatedBoard::CreateDefault();
        std::string error;
        // Before any window, so that a bad file stops the program with its line.
        if (boardFile && !board->LoadFile(boardFile, error)) {
            std::fprintf(stderr, "zent2-i2c: %s\n", error.c_str());
            return 2;
        }
        board->Driver()->SetRoundTrip(std::chrono::microseconds(roundTripUs));
        driver = board->Driver();
    } else {
        driver = MakeCableDriver();
    }
    // Lets the desktop match the windows to the installed zent2-i2c.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("zent2-i2c"));
    CTovin_I2C_App app(argc, argv, driver, CreateUserSettingsStore());
    app.SetCableOverride(cable);
    app.SetSimulatedBoard(board.get());
    return app.Run();
}
