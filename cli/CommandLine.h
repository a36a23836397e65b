#pragma once
// What zent2-cli was asked to do, read from its arguments and checked in full
// before anything is opened, so that bad input never reaches the bus.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/blocks/FaultLog.h"
#include "logging/LogSelection.h"
#include "util/NumberText.h"

namespace cli {

enum class Backend { RealCable, SimulatedBoard, Demo };
enum class Command {
    Help, Devices, Scan, Read, Write, Update, Dump, Measure, Ues, Trim, Hvout, Gpio, Faults, EraseFaults, Log,
    BoardHelp,  // --help-board: the board file keys
    ReadMain, WriteMain,  // registers 0..3 of the main device
    Sleep,      // lets the board clock run (in scripts)
    Script,     // commands from a file or standard input, on one board or cable session
    Csv,        // a log file as CSV, no cable
    SaveConfig, DiffConfig, LoadConfig,  // board configuration files
    Watch,      // the live view of every channel
    Detect,     // every address that acknowledges, as i2cdetect lays it out
    Serve       // the live view as Prometheus metrics over HTTP
};

constexpr int kMaxLogInterval = 86400;  // one day
constexpr double kMinWatchInterval = 0.1;  // seconds
constexpr int kDefaultServePort = 9847;
// A scrape every 5 s or more sees every poll, and the bus is free between them.
constexpr double kDefaultServeInterval = 5.0;  // seconds
constexpr size_t kMaxBoardNameBytes = 100;

// Whether this zent2-cli can serve: the HTTP library (cpp-httplib) was found
// when it was built (Debian's on Linux, the vendored header on Windows).
bool ServeBuiltIn();

constexpr logsel::DeviceChannels AllLogChannels()
{
    logsel::DeviceChannels all{};
    for (bool& channel : all) channel = true;
    return all;
}

struct CliRequest {
    Backend backend = Backend::RealCable;
    std::string boardFile;  // empty: the board as it comes
    std::string traceFile;  // empty: no trace
    int cableRoundTripUs = 0;  // the simulated cable's USB round trip per read; 0: none
    int rateKhz = 400;
    // Which cable, when several are plugged in: its USB serial number, and
    // USB ids of its own (0 when it has FTDI's).
    std::string cableSerial;
    uint16_t cableVendor = 0;
    uint16_t cableProduct = 0;
    int hmuBase = 0xC0;   // 8-bit write addresses, whatever the address format
    int mainAddress = 0x40;
    // How addresses are shown and taken: 8 the write address (0xC0), 7 the
    // 7-bit address as i2c-tools and sigrok give it (0x60).
    int addressFormat = 8;
    double senseOhms = 0.1;
    bool senseGiven = false;  // --rsense given: else each monitor's stored setting
    uint16_t unlockCode = faultlog::kUnlockCode;  // erase-faults; the built-in code unless --unlock-code

    Command command = Command::Help;
    std::string helpCommand;  // Help: the command whose usage is asked for; empty: all
    int hmu = 0;
    bool allDevices = false;  // measure, faults without HMU: every device that answers
    int type = 0;  // RegisterType: 0 configuration, 1 monitor
    int reg = 0;
    int value = 0;
    int cell = 1;                 // trim: 1..4
    std::optional<float> volts;   // trim: the target to write; none: read

    // log: the file, seconds between records, records to write (0 until
    // interrupted) and the channels logged of every device.
    std::string logFile;
    int logInterval = 1;
    int logCount = 0;
    logsel::DeviceChannels logChannels = AllLogChannels();
    // watch: the devices (empty: every one that answers) and the seconds
    // between frames; --count and --select are log's (logCount, logChannels).
    std::vector<int> watchDevices;
    double watchInterval = 1.0;
    // serve: where it listens (loopback unless --listen says otherwise; port
    // 0 lets the system pick one), the board label of its metrics and the
    // seconds between polls (a fraction allowed, as for watch).
    std::string listenHost = "127.0.0.1";
    int listenPort = kDefaultServePort;
    std::string boardName;  // empty: --serial when given, else "zent2"
    double serveInterval = kDefaultServeInterval;
    double seconds = 0.0;    // sleep
    std::string scriptFile;  // Script: the file, "-" for standard input

    // csv: the log file to convert.
    std::string csvFile;

    // save-config, diff-config, load-config: the configuration file ("-":
    // standard output for save-config), the devices to save (empty: every
    // device that answers) and load-config's --dry-run.
    std::string configFile;
    std::vector<int> configDevices;
    bool dryRun = false;

    // Remarks that do not stop the command (a rate outside the link's table).
    std::vector<std::string> notes;
};

// Decimal or 0x hex (util/NumberText.h).
using ::ParseNumber;

// A resistance in ohms: plain decimal with an optional fraction, above 0 and
// within what a float holds (from its smallest normal value to its largest).
std::optional<double> ParseOhms(std::string_view text);
// Seconds: plain decimal with an optional fraction, 0 or more.
std::optional<double> ParseSeconds(std::string_view text);

// A trim target in volts, as the trim dialog takes it: plain decimal with an
// optional fraction, from 0 to 8.19 in single precision.
std::optional<float> ParseTrimVolts(std::string_view text);

// Fills the request from the arguments (without the program name). On false,
// error holds a one-line message and the request is not to be used.
bool ParseCommandLine(const std::vector<std::string>& args, CliRequest& request, std::string& error);

// The longest sleep of one command, seconds.
constexpr double kMaxSleepSeconds = 3600.0;

// A script is read in full before it runs: like a board file, it is refused
// when larger than this, or when a line is longer than this.
constexpr size_t kMaxScriptBytes = 1024 * 1024;
constexpr size_t kMaxScriptLineBytes = 4096;

// One line of a script: a command and its arguments (no options: those of the
// session apply); '#' starts a comment. An empty line gives false with an
// empty error; a bad one false with the message.
bool ParseScriptLine(const std::string& line, const CliRequest& session, CliRequest& request, std::string& error);

// The --help text.
std::string UsageText();
// One command's usage and its lines of the --help text (help COMMAND,
// COMMAND --help); empty for a name that is no command.
std::string CommandUsageText(const std::string& command);

// --listen's HOST:PORT or [IPV6]:PORT, the port 0..65535 (0: any free one).
// On false, error says what is wrong with the text.
bool ParseListenAddress(std::string_view text, std::string& host, int& port, std::string& error);

// An 8-bit write address as the address format shows it: "0xC0" or "0x60".
std::string AddressText(int address8, int addressFormat);

// The log file name that means standard output, and the csv file name that
// means standard input.
inline constexpr const char* kStandardStream = "-";

}  // namespace cli
