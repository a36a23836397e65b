#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "device/RegisterMap.h"
#include "device/blocks/Trim.h"
#include "link/FtdiDriver.h"
#include "link/I2C_FTDI.h"
#include "util/TextFormat.h"
#include "util/NumberText.h"

namespace cli {

namespace {

struct CommandInfo {
    const char* name;
    Command command;
    int arguments;
    const char* usage;
};

constexpr std::array<CommandInfo, 25> kCommands = {{
    {"help", Command::Help, 0, "help [COMMAND]"},
    {"devices", Command::Devices, 0, "devices"},
    {"scan", Command::Scan, 0, "scan"},
    {"detect", Command::Detect, 0, "detect"},
    {"read", Command::Read, 3, "read HMU TYPE REG"},
    {"write", Command::Write, 4, "write HMU TYPE REG VALUE"},
    {"update", Command::Update, 1, "update HMU"},
    {"dump", Command::Dump, 1, "dump HMU"},
    {"measure", Command::Measure, 0, "measure [HMU]"},
    {"ues", Command::Ues, 1, "ues HMU"},
    {"trim", Command::Trim, 2, "trim HMU CELL [VOLTS]"},
    {"hvout", Command::Hvout, 1, "hvout HMU"},
    {"gpio", Command::Gpio, 1, "gpio HMU"},
    {"faults", Command::Faults, 0, "faults [HMU]"},
    {"erase-faults", Command::EraseFaults, 1, "erase-faults HMU"},
    {"log", Command::Log, 0, "log --output FILE [--interval SECONDS] [--count N] [--select CHANNELS]"},
    {"read-main", Command::ReadMain, 1, "read-main REG"},
    {"write-main", Command::WriteMain, 2, "write-main REG VALUE"},
    {"sleep", Command::Sleep, 1, "sleep SECONDS"},
    {"csv", Command::Csv, 1, "csv FILE.log"},
    {"save-config", Command::SaveConfig, 1, "save-config FILE [HMU...]"},
    {"diff-config", Command::DiffConfig, 1, "diff-config FILE"},
    {"load-config", Command::LoadConfig, 1, "load-config FILE [--dry-run]"},
    {"watch", Command::Watch, 0, "watch [HMU...] [--interval SECONDS] [--count N] [--select CHANNELS]"},
    {"serve", Command::Serve, 0,
     "serve [--listen ADDRESS:PORT] [--interval SECONDS] [--board-name NAME] [--select CHANNELS]"},
}};

// Arguments a command may take beyond its required ones.
int OptionalArguments(Command command)
{
    if (command == Command::SaveConfig || command == Command::Watch) return regmap::kDevices;  // HMU...
    // trim's VOLTS, help's COMMAND, the HMU of measure and faults (none: every device)
    return command == Command::Trim || command == Command::Help || command == Command::Measure ||
                   command == Command::Faults
               ? 1
               : 0;
}

constexpr int kMaxHmuIndex = 7;
constexpr uint64_t kMainRegisters = 4;
constexpr uint64_t kMaxAddress = 0xFE;
constexpr uint64_t kMaxCableRoundTripUs = 1000000;
constexpr int kLastDemoRegister = 118;

const CommandInfo* FindCommand(std::string_view name)
{
    for (const CommandInfo& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// An argument as an error message shows it: on one line, readable, cut short.
std::string Quoted(std::string_view text)
{
    return "'" + ShownText(text) + "'";
}

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%02llX", static_cast<unsigned long long>(value));
    return text;
}

// Two paths of one file: the same file when both exist (links too), else the
// same place once made absolute and tidied.
bool SameFile(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    const auto place = [](const std::string& path) {
        std::error_code error;
        fs::path absolute = fs::absolute(path, error);
        if (error) absolute = path;
        fs::path canonical = fs::weakly_canonical(absolute, error);
        return error ? absolute.lexically_normal() : canonical;
    };
    return place(a) == place(b);
}

bool IsHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

// An argument that looks like an option, not like a (negative) number.
bool IsOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

// Well-formed UTF-8 without control characters.
bool PrintableUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        const size_t length = byte < 0x80 ? 1 : (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        // The code point: no overlong form, no surrogate, nothing past U+10FFFF.
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        char32_t cp = length == 1 ? byte : byte & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = cp << 6 | (next & 0x3F);
        }
        if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

class CParser {
public:
    CParser(CliRequest& request, std::string& error) : m_request(request), m_error(error) {}

    bool Number(const std::string& text, const char* what, uint64_t& value)
    {
        const std::optional<uint64_t> parsed = ParseNumber(text);
        if (!parsed) return Fail("bad number " + Quoted(text) + " for " + what + ": use decimal or 0x hex");
        value = *parsed;
        return true;
    }

    bool Address(const std::string& option, const std::string& text, int& address)
    {
        uint64_t value = 0;
        if (!Number(text, option.c_str(), value)) return false;
        if (m_request.addressFormat == 7) {
            if (value > kMaxAddress / 2) return Fail(option + " " + ShownText(text) + " is outside 0..0x7F (7-bit)");
            address = static_cast<int>(value * 2);
            return true;
        }
        if (value > kMaxAddress) return Fail(option + " " + ShownText(text) + " is outside 0..0xFE");
        if (value % 2 != 0) return Fail(option + " " + ShownText(text) + " must be even (an 8-bit write address)");
        address = static_cast<int>(value);
        return true;
    }

    bool Option(const std::string& arg, const std::vector<std::string>& args, size_t& i)
    {
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        if (name == "--simulated-board" || name == "--demo") {
            if (inlineValue) return Fail(name + " takes no value");
            (name == "--demo" ? m_demo : m_simulated) = true;
            return true;
        }
        // load-config's own: it may stand on a script line too.
        if (name == "--dry-run") {
            if (inlineValue) return Fail(name + " takes no value");
            m_request.dryRun = true;
            return true;
        }
        const bool logOption =
            name == "--output" || name == "--interval" || name == "--count" || name == "--select";
        const bool serveOption = name == "--listen" || name == "--board-name";
        // A script line takes the session's options; only log's and serve's own belong to its line.
        if (m_scriptLine && !logOption && !serveOption)
            return Fail("options go on the command line, before - or --script, not into a script");
        const bool takesValue = logOption || serveOption || name == "--board" || name == "--trace" || name == "--rate" ||
                                name == "--base" || name == "--main" || name == "--rsense" ||
                                name == "--serial" || name == "--vid-pid" || name == "--unlock-code" ||
                                name == "--script" || name == "--cable-round-trip" || name == "--address-format";
        if (!takesValue) return Fail("unknown option " + Quoted(name) + " (see --help)");
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Fail(name + " needs a value");
        }
        if (value.empty()) return Fail(name + " needs a value");
        if (logOption) {
            m_logOptions.push_back(name);
            return LogOption(name, value);
        }
        if (serveOption) {
            m_serveOptions.push_back(name);
            return ServeOption(name, value);
        }

        if (name == "--board") {
            m_request.boardFile = value;
        } else if (name == "--script") {
            m_request.scriptFile = value;
        } else if (name == "--trace") {
            m_request.traceFile = value;
        } else if (name == "--rate") {
            uint64_t rate = 0;
            if (!Number(value, "--rate", rate)) return false;
            if (rate < 1 || rate > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
                return Fail("--rate " + ShownText(value) + " is not a rate in kHz");
            m_request.rateKhz = static_cast<int>(rate);
        } else if (name == "--cable-round-trip") {
            uint64_t us = 0;
            if (!Number(value, "--cable-round-trip", us)) return false;
            if (us > kMaxCableRoundTripUs)
                return Fail("--cable-round-trip " + ShownText(value) + " is not a round trip in microseconds (0 to 1000000)");
            m_request.cableRoundTripUs = static_cast<int>(us);
        } else if (name == "--serial") {
            m_request.cableSerial = value;
        } else if (name == "--vid-pid") {
            if (!ParseUsbIds(value, &m_request.cableVendor, &m_request.cableProduct))
                return Fail("--vid-pid " + Quoted(value) + ": give the USB ids as VID:PID in hex, e.g. 0403:6010");
        } else if (name == "--base" || name == "--main") {
            // Read once the address format is known, wherever it stands.
            m_addresses.emplace_back(name, value);
        } else if (name == "--address-format") {
            if (value != "7" && value != "8")
                return Fail("--address-format " + Quoted(value) + ": give 7 (as i2c-tools) or 8 (the write address)");
            m_request.addressFormat = value == "7" ? 7 : 8;
        } else if (name == "--unlock-code") {
            const std::optional<uint16_t> code = faultlog::ParseUnlockCode(value);
            if (!code) return Fail("--unlock-code " + Quoted(value) + ": give four hex digits, e.g. 3CA5");
            m_request.unlockCode = *code;
        } else {
            const std::optional<double> ohms = ParseOhms(value);
            if (!ohms)
                return Fail("--rsense " + Quoted(value) +
                            ": give the sense resistor in ohms, above 0 (from 1.2e-38 to 3.4e38)");
            m_request.senseOhms = *ohms;
            m_request.senseGiven = true;
        }
        return true;
    }

    bool LogOption(const std::string& name, const std::string& value)
    {
        if (name == "--output") {
            m_request.logFile = value;
            return true;
        }
        if (name == "--select") {
            std::string error;
            const std::optional<logsel::DeviceChannels> channels = logsel::ParseChannelList(value, error);
            if (!channels) return Fail("--select: " + error);
            m_request.logChannels = *channels;
            return true;
        }
        // Whole seconds for log, a fraction allowed for watch: judged once the command is known.
        if (name == "--interval") {
            m_intervalText = value;
            return true;
        }
        uint64_t number = 0;
        if (!Number(value, name.c_str(), number)) return false;
        if (name == "--interval") {
            if (number < 1 || number > static_cast<uint64_t>(kMaxLogInterval))
                return Fail("--interval " + ShownText(value) + " is outside 1.." + std::to_string(kMaxLogInterval) + " seconds");
            m_request.logInterval = static_cast<int>(number);
        } else {
            if (number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
                return Fail("--count " + ShownText(value) + " is too large");
            m_request.logCount = static_cast<int>(number);
        }
        return true;
    }

    bool ServeOption(const std::string& name, const std::string& value)
    {
        if (name == "--listen") {
            std::string error;
            if (!ParseListenAddress(value, m_request.listenHost, m_request.listenPort, error))
                return Fail("--listen " + Quoted(value) + ": " + error);
            return true;
        }
        if (value.size() > kMaxBoardNameBytes)
            return Fail("--board-name is longer than " + std::to_string(kMaxBoardNameBytes) + " bytes");
        // Prometheus refuses a whole scrape for a label that is not UTF-8.
        if (!PrintableUtf8(value)) return Fail("--board-name " + Quoted(value) + ": give printable UTF-8 text");
        m_request.boardName = value;
        return true;
    }

    bool Interval()
    {
        if (!m_intervalText) return true;
        const std::string& value = *m_intervalText;
        if (m_request.command == Command::Watch || m_request.command == Command::Serve) {
            const std::optional<double> seconds = ParseSeconds(value);
            if (!seconds) return Fail("--interval " + Quoted(value) + " is not a number of seconds");
            if (*seconds < kMinWatchInterval || *seconds > kMaxLogInterval)
                return Fail("--interval " + ShownText(value) + " is outside 0.1.." + std::to_string(kMaxLogInterval) +
                            " seconds");
            (m_request.command == Command::Watch ? m_request.watchInterval : m_request.serveInterval) = *seconds;
            return true;
        }
        uint64_t number = 0;
        if (!Number(value, "--interval", number)) return false;
        if (number < 1 || number > static_cast<uint64_t>(kMaxLogInterval))
            return Fail("--interval " + ShownText(value) + " is outside 1.." + std::to_string(kMaxLogInterval) + " seconds");
        m_request.logInterval = static_cast<int>(number);
        return true;
    }

    bool Hmu(const std::string& text)
    {
        uint64_t value = 0;
        if (!Number(text, "HMU", value)) return false;
        if (value > kMaxHmuIndex) return Fail("HMU index " + ShownText(text) + " is outside 0..7");
        m_request.hmu = static_cast<int>(value);
        return true;
    }

    bool Type(const std::string& text)
    {
        if (text == "C" || text == "c") {
            m_request.type = 0;
        } else if (text == "M" || text == "m") {
            m_request.type = 1;
        } else {
            return Fail("register type must be C or M, not " + Quoted(text));
        }
        return true;
    }

    bool Register(const std::string& text)
    {
        uint64_t value = 0;
        if (!Number(text, "REG", value)) return false;
        if (value > 0xFF) return Fail("register number " + ShownText(text) + " is outside 0..255");
        m_request.reg = static_cast<int>(value);
        return true;
    }

    bool Value(const std::string& text)
    {
        uint64_t value = 0;
        if (!Number(text, "VALUE", value)) return false;
        if (value > 0xFF) return Fail("value " + ShownText(text) + " is over 0xFF");
        m_request.value = static_cast<int>(value);
        return true;
    }

    bool MainRegister(const std::string& text)
    {
        uint64_t value = 0;
        if (!Number(text, "REG", value)) return false;
        if (value >= kMainRegisters) return Fail("main device register " + ShownText(text) + " is outside 0..3");
        m_request.reg = static_cast<int>(value);
        return true;
    }

    bool Seconds(const std::string& text)
    {
        const std::optional<double> seconds = ParseSeconds(text);
        if (!seconds || *seconds > kMaxSleepSeconds)
            return Fail("sleep " + Quoted(text) + ": give the seconds as a plain decimal number, 0 to 3600");
        m_request.seconds = *seconds;
        return true;
    }

    bool Trim(const std::vector<std::string>& positionals)
    {
        uint64_t cell = 0;
        if (!Number(positionals[2], "CELL", cell)) return false;
        if (cell < 1 || cell > static_cast<uint64_t>(trim::kCells))
            return Fail("trim: CELL " + ShownText(positionals[2]) + " is outside 1..4");
        m_request.cell = static_cast<int>(cell);
        if (positionals.size() < 4) return true;
        m_request.volts = ParseTrimVolts(positionals[3]);
        if (!m_request.volts) return Fail("trim: VOLTS " + Quoted(positionals[3]) + " is not a voltage from 0 to 8.19");
        return true;
    }

    // save-config's and watch's devices: each 0..7, none twice.
    bool ConfigDevices(const std::vector<std::string>& positionals, size_t first = 2)
    {
        const bool watch = m_request.command == Command::Watch;
        for (size_t i = first; i < positionals.size(); ++i) {
            if (!Hmu(positionals[i])) return false;
            std::vector<int>& devices = watch ? m_request.watchDevices : m_request.configDevices;
            if (std::find(devices.begin(), devices.end(), m_request.hmu) != devices.end())
                return Fail(std::string(watch ? "watch" : "save-config") + ": HMU " + ShownText(positionals[i]) +
                            " is given twice");
            devices.push_back(m_request.hmu);
        }
        m_request.hmu = 0;
        return true;
    }

    bool Positionals(const std::vector<std::string>& positionals)
    {
        const bool script = !m_request.scriptFile.empty() || (!positionals.empty() && positionals[0] == "-");
        if (script) {
            if (m_scriptLine) return Fail("a script cannot run another script");
            if (!m_request.scriptFile.empty() && !positionals.empty())
                return Fail("--script FILE takes its commands from the file: no command after it");
            if (positionals.size() > 1) return Fail("-: the commands come from standard input, no command after it");
            if (m_request.scriptFile.empty()) m_request.scriptFile = "-";
            m_request.command = Command::Script;
            return true;
        }
        if (positionals.empty()) return Fail("no command given (see --help)");
        const CommandInfo* info = FindCommand(positionals[0]);
        if (info == nullptr) return Fail("unknown command " + Quoted(positionals[0]) + " (see --help)");
        m_request.command = info->command;
        const int given = static_cast<int>(positionals.size()) - 1;
        if (given < info->arguments)
            return Fail(std::string(info->name) + ": missing arguments (usage: " + info->usage + ")");
        if (given > info->arguments + OptionalArguments(info->command))
            return Fail(std::string(info->name) + ": too many arguments (usage: " + info->usage + ")");
        switch (info->command) {
        case Command::Help:
            if (given == 1) {
                if (FindCommand(positionals[1]) == nullptr)
                    return Fail("help: unknown command " + Quoted(positionals[1]) + " (see --help)");
                m_request.helpCommand = positionals[1];
            }
            return true;
        case Command::Measure:
        case Command::Faults:
            m_request.allDevices = given == 0;
            return given == 0 || Hmu(positionals[1]);
        case Command::Csv: m_request.csvFile = positionals[1]; return true;
        case Command::SaveConfig: m_request.configFile = positionals[1]; return ConfigDevices(positionals);
        case Command::Watch: return ConfigDevices(positionals, 1);
        case Command::DiffConfig:
        case Command::LoadConfig: m_request.configFile = positionals[1]; return true;
        case Command::ReadMain: return MainRegister(positionals[1]);
        case Command::WriteMain: return MainRegister(positionals[1]) && Value(positionals[2]);
        case Command::Sleep: return Seconds(positionals[1]);
        default: break;
        }
        if (info->arguments >= 1 && !Hmu(positionals[1])) return false;
        if (info->command == Command::Trim) return Trim(positionals);
        if (info->arguments >= 3 && (!Type(positionals[2]) || !Register(positionals[3]))) return false;
        if (info->arguments >= 4 && !Value(positionals[4])) return false;
        return true;
    }

    // A script line: the session's options, no options of its own.
    void ForScriptLine(const CliRequest& session)
    {
        m_request = session;
        m_request.notes.clear();
        m_request.scriptFile.clear();
        m_simulated = session.backend == Backend::SimulatedBoard;
        m_demo = session.backend == Backend::Demo;
        m_scriptLine = true;
    }

    bool Combination()
    {
        const Command command = m_request.command;
        for (const auto& [option, text] : m_addresses)
            if (!Address(option, text, option == "--base" ? m_request.hmuBase : m_request.mainAddress)) return false;
        if (m_simulated && m_demo) return Fail("--simulated-board and --demo exclude each other");
        if (command == Command::Watch || command == Command::Log || command == Command::Serve) {
            if (!Interval()) return false;
        }
        if (command == Command::Log && m_request.logFile.empty()) return Fail("log: --output FILE is required");
        for (const std::string& option : m_logOptions) {
            if (command == Command::Log) break;
            if (command == Command::Serve && (option == "--interval" || option == "--select")) continue;
            if (command != Command::Watch || option == "--output")
                return Fail(option + (option == "--output" ? " belongs to the log command"
                                                           : " belongs to the log and watch commands"));
        }
        for (const std::string& option : m_serveOptions)
            if (command != Command::Serve) return Fail(option + " belongs to the serve command");
        if (command == Command::Serve && !ServeBuiltIn())
            return Fail("serve: this zent2-cli was built without the HTTP library (cpp-httplib) and cannot serve");
        if (command != Command::LoadConfig && m_request.dryRun) return Fail("--dry-run belongs to the load-config command");
        m_request.backend = m_simulated ? Backend::SimulatedBoard : m_demo ? Backend::Demo : Backend::RealCable;
        if (!m_request.boardFile.empty() && !m_simulated) return Fail("--board needs --simulated-board");
        if (m_request.cableRoundTripUs != 0 && !m_simulated)
            return Fail("--cable-round-trip needs --simulated-board: a real cable takes its own time");
        if (!m_request.traceFile.empty() && !m_simulated)
            return Fail("--trace needs --simulated-board: only the simulated bus can be recorded");
        // The trace is written when the command ends, over the log it wrote.
        if (command == Command::Log && !m_request.traceFile.empty() && SameFile(m_request.traceFile, m_request.logFile))
            return Fail("--trace and --output name the same file " + Quoted(m_request.logFile) +
                        ": the trace would replace the log");
        if ((!m_request.cableSerial.empty() || m_request.cableVendor != 0) && (m_simulated || m_demo))
            return Fail("--serial and --vid-pid choose an FTDI cable: not with --simulated-board or --demo");
        const bool addressesHmu = command == Command::Read || command == Command::Write ||
                                  command == Command::Update || command == Command::Dump ||
                                  command == Command::Measure || command == Command::Ues ||
                                  command == Command::Trim || command == Command::Hvout || command == Command::Gpio ||
                                  command == Command::Faults || command == Command::EraseFaults;
        std::vector<int> addressed = m_request.configDevices;
        if (addressesHmu && !m_request.allDevices) addressed.push_back(m_request.hmu);
        for (const int hmu : addressed) {
            const int address = m_request.hmuBase + 2 * hmu;
            if (address > static_cast<int>(kMaxAddress))
                return Fail("HMU" + std::to_string(hmu) + " would be at " + Hex(address) +
                            " with --base " + Hex(m_request.hmuBase) + ", beyond 0xFE");
        }
        if (m_demo) {
            if (command == Command::Devices) return Fail("devices: demo mode has no cable to list");
            if (command == Command::Detect) return Fail("detect: demo mode has no bus to probe");
            if (command == Command::Ues) return Fail("ues: the signature is not simulated in demo mode");
            if (command == Command::Trim && m_request.volts)
                return Fail("trim: the trim target write is not simulated in demo mode, only its read");
            if (command == Command::EraseFaults)
                return Fail("erase-faults: demo mode has only its fixed demonstration log, nothing to erase");
            if (command == Command::Write && m_request.type == 1)
                return Fail("write: monitor registers are not simulated in demo mode, only C registers");
            if (command == Command::Write && m_request.reg > kLastDemoRegister)
                return Fail("write: the demo register file holds registers 0..118 only");
        }
        if (m_scriptLine) return true;  // the session's note was given with it
        if (CI2C_FTDI::DivisorForRate(m_request.rateKhz) == CI2C_FTDI::DivisorForRate(100) &&
            m_request.rateKhz != 100) {
            m_request.notes.push_back(std::to_string(m_request.rateKhz) +
                                      " kHz is not a rate of the link: the bus runs at 100 kHz");
        }
        return true;
    }

private:
    bool Fail(const std::string& message)
    {
        m_error = message;
        return false;
    }

    CliRequest& m_request;
    std::string& m_error;
    bool m_simulated = false;
    bool m_demo = false;
    std::vector<std::string> m_logOptions;  // given, in order
    std::vector<std::string> m_serveOptions;  // --listen, --board-name, in order
    std::optional<std::string> m_intervalText;  // --interval, judged by its command
    std::vector<std::pair<std::string, std::string>> m_addresses;  // --base, --main and their text
    bool m_scriptLine = false;
};

}  // namespace

namespace {

// Digits with at most one point and at least one digit: no sign, no
// exponent, no "inf" or "nan" that strtod would take.
std::optional<double> PlainDecimal(std::string_view text)
{
    int digits = 0;
    int points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.') ++points;
        else return std::nullopt;
    }
    if (digits == 0 || points > 1) return std::nullopt;
    // from_chars reads '.' whatever the locale; a value too large for a
    // double is out of range rather than malformed.
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Options and positionals in any order, then the command and the whole.
bool ParseWords(CParser& parser, const std::vector<std::string>& words)
{
    std::vector<std::string> positionals;
    for (size_t i = 0; i < words.size(); ++i) {
        if (IsOption(words[i])) {
            if (!parser.Option(words[i], words, i)) return false;
        } else {
            positionals.push_back(words[i]);
        }
    }
    return parser.Positionals(positionals) && parser.Combination();
}

}  // namespace

std::optional<double> ParseOhms(std::string_view text)
{
    const std::optional<double> ohms = PlainDecimal(text);
    // The value is computed with as a float: refuse what a float cannot hold.
    if (!ohms || !std::isfinite(*ohms) || *ohms < std::numeric_limits<float>::min() ||
        *ohms > std::numeric_limits<float>::max())
        return std::nullopt;
    return ohms;
}

std::optional<double> ParseSeconds(std::string_view text)
{
    const std::optional<double> seconds = PlainDecimal(text);
    if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
    return seconds;
}

bool ParseScriptLine(const std::string& line, const CliRequest& session, CliRequest& request, std::string& error)
{
    error.clear();
    std::vector<std::string> words;
    std::string word;
    for (const char c : line.substr(0, line.find('#'))) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    if (words.empty()) return false;

    CParser parser(request, error);
    parser.ForScriptLine(session);
    return ParseWords(parser, words);
}

std::optional<float> ParseTrimVolts(std::string_view text)
{
    const std::optional<double> number = PlainDecimal(text);
    if (!number) return std::nullopt;
    // Judged in single precision, as the dialog's field judges it.
    const float volts = static_cast<float>(*number);
    if (!(volts >= 0.0f && volts <= trim::kMaxTargetVolts)) return std::nullopt;
    return volts;
}

bool ParseCommandLine(const std::vector<std::string>& args, CliRequest& request, std::string& error)
{
    request = CliRequest{};
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            // COMMAND --help: that command's usage.
            request.command = Command::Help;
            for (const std::string& word : args)
                if (!IsOption(word) && FindCommand(word) != nullptr) {
                    request.helpCommand = word;
                    break;
                }
            return true;
        }
        if (arg == "--help-board") {
            request.command = Command::BoardHelp;
            return true;
        }
    }
    CParser parser(request, error);
    return ParseWords(parser, args);
}

std::string UsageText()
{
    return R"(Usage: zent2-cli [OPTIONS] COMMAND [ARGUMENTS]
       zent2-cli [OPTIONS] -
       zent2-cli [OPTIONS] --script FILE

Reads and writes the HMU devices and the main device of a ZENT2 evaluation
board through the FTDI cable, the simulated board or the demo register file.

Commands:
  devices                   the FTDI devices: index, serial text, the cable's
                            serial number, channel, USB ids and where it is
                            plugged in (e.g. usb 1-2.3)
  scan                      probes HMU0..HMU7 and the main device, one line each,
                            e.g. "HMU0 0xC0 present", "HMU2 0xC4 absent",
                            "main 0x40 present"; an absent device is tried 5 times
  detect                    probes every address from 0x03 to 0x77 (7-bit) with
                            its address alone, nothing written, and prints a
                            grid as i2cdetect does: the address where one
                            acknowledged, "--" where none did
  read HMU TYPE REG         reads a register and prints its byte as 0xNN
  write HMU TYPE REG VALUE  writes a register; a C write takes effect on the
                            device only after "update", but a C read shows it at once
  update HMU                applies the written configuration registers
  dump HMU                  every register of the map: type, number (decimal and
                            hex), name, value
  measure [HMU]             VMON1..VMON9 and HVMON, IMON1 and HIMON1, the TMON1,
                            TMON2 and internal temperatures, one per line;
                            without HMU every device that answers, each
                            after a line "HMUn 0xAA"
  ues HMU                   the 64-bit user electronic signature, "0x01 23 .. EF"
  trim HMU CELL             trim cell CELL (1..4): the voltage measured on the input
                            it trims (VMON1..VMON4, as the voltage page shows it)
                            and the target with its code, for example
                              Trim Cell1: output 1.200 V, target 1.100 V (code 550)
                            (an output read through the attenuator is marked "*",
                            as measure marks it)
  trim HMU CELL VOLTS       sends a new target (0 to 8.19 V) as the trim dialog
                            does: code = volts x 500, truncated; prints the code
  hvout HMU                 HVOUT1..HVOUT4, one line each: value, source and
                            source signal, mode, output type and their settings
  gpio HMU                  GPIO1..GPIO10, one line each: level and direction,
                            with the source signal of GPIO2 and GPIO3; GPIO7 of
                            a device identified as 0x88 shows "N/A"
  faults [HMU]              the fault log: "Faults: N", then one line per record
                            with the flags that are set, e.g.
                            "Fault 1 of 2: VMON1 A, TMON1 B, GPIO4", or
                            "No faults"; GPIO7 is left out on a device
                            identified as 0x88 (it has none); without HMU
                            every device that answers, each after a line
                            "HMUn 0xAA"
  erase-faults HMU          erases the fault log (unlock code, READ_FAULT_ENABLE,
                            erase, end) and reads the status back to check that
                            it is empty; a command the device did not
                            acknowledge is named as an acknowledge failure
  log --output FILE         logs the measurements of every HMU device that
                            answers to FILE ("-": standard output), in the
                            desktop program's log format, one record every
                            --interval seconds, until --count records are
                            written or it is interrupted
  watch [HMU...]            shows every channel of the devices (default: every
                            HMU device that answers) once every --interval
                            seconds: value, min and max since the start,
                            comparators A and B; redrawn in place on a
                            terminal, one plain frame after another otherwise
  serve                     polls every HMU device that answers as watch reads
                            it, once every --interval seconds (default 5), and
                            serves the last poll as Prometheus metrics at
                            http://ADDRESS:PORT/metrics (default
                            127.0.0.1:9847; see below); not in the Windows
                            build, which has no HTTP library
  read-main REG             reads register REG (0..3) of the main device, the
                            demonstration design, and prints its byte as 0xNN
  write-main REG VALUE      writes register REG (0..3) of the main device
  sleep SECONDS             lets the board clock run for SECONDS (a decimal
                            number, up to 3600): on the simulated board they
                            pass at once, on the cable in real time, in demo
                            mode not at all; meant for scripts
  csv FILE.log              the values of a log file as CSV on standard output,
                            one row per record (no cable needed; see below);
                            "-" reads the log from standard input
  save-config FILE [HMU...]
                            saves the writable configuration registers of the
                            devices (default: every HMU device that answers)
                            to FILE, one line per register (see below); "-"
                            writes to standard output
  diff-config FILE          reads the registers FILE names and prints each one
                            the device holds otherwise: device, name, number,
                            file value, device value; exit 0 when the board
                            holds the file, 1 when it differs
  load-config FILE          writes the registers that differ from FILE, device
                            by device, sends update to each device of the file
                            and reads them back; --dry-run prints what it would
                            write and writes nothing
  -                         runs the commands of standard input as a script
  help                      this text (also --help or -h)
  help COMMAND              the usage of COMMAND (also COMMAND --help)

Arguments:
  HMU    device index 0..7; HMU n is at the HMU base address + 2n
  TYPE   C, a configuration register (read 0x33, written 0x31), or
         M, a monitor register (read 0x52, written 0x51)
  REG    register number 0..255 (dump shows the names of the known ones)
  VALUE  a byte, 0..0xFF
  Numbers are decimal or hex with 0x: 255 or 0xFF.

Options:
  --simulated-board  runs on the simulated demonstration board (HMU0, HMU1 and
                     the main device) instead of the cable
  --board FILE       loads a board file into the simulated board first
  --trace FILE.vcd   records the simulated bus while the command runs and
                     writes it as a VCD file for sigrok/PulseView or GTKWave,
                     replacing an older one only once it is complete (none
                     when nothing ran on the bus); needs --simulated-board
  --cable-round-trip MICROSECONDS
                     the simulated cable waits this long for every read from
                     the chip, as a USB round trip does (default 0); needs
                     --simulated-board
  --demo             demo mode: the register port answers from its own
                     simulated register file, no cable needed (see below)
  --rate KHZ         I2C clock in kHz, default 400; the link knows 100, 200,
                     400, 800 (runs at 750), 1000 and 2000 and runs any other
                     rate at 100
  --base ADDR        8-bit write address of HMU0, default 0xC0 (even, 0..0xFE)
  --main ADDR        8-bit write address of the main device, default 0x40
  --address-format 7 shows and takes 7-bit addresses, as i2c-tools and sigrok
                     do (HMU0 is then 0x60, the main device 0x20, and --base
                     and --main take 0..0x7F); default 8, the write address
  --rsense OHMS      sense resistor of IMON1 and HIMON1 for measure and log;
                     without it, each device's stored setting of the desktop
                     utility (HMUn_IMONm_SenseResistor), else 0.1
  --serial SERIAL    the cable with this USB serial number (see devices), when
                     several FTDI devices are plugged in
  --vid-pid VID:PID  a cable with USB ids of its own (hex, e.g. 0403:6011);
                     it is listed before the FTDI chips
  --unlock-code HHHH the code that unlocks erase-faults, four hex digits,
                     default 3CA5 (the desktop utility's setting "Fault Log
                     Unlock Code")
  --script FILE      runs the commands of FILE as a script
  --help-board       prints the keys of board files (for --board)
  --version          prints the version and the source revision it was built
                     from, and nothing else
  --output FILE      log: the log file; an existing file is replaced
  --interval SECONDS log: seconds between records, 1..86400, default 1;
                     watch: seconds between frames, 0.1..86400 (a fraction
                     allowed), default 1; serve: seconds between polls,
                     0.1..86400, default 5
  --count N          log: records to write, watch: frames to show; default
                     0: until Ctrl-C (SIGINT) or SIGTERM, which let the
                     record or frame being read finish
  --listen ADDRESS:PORT
                     serve: where to listen, HOST:PORT or [IPV6]:PORT;
                     default 127.0.0.1:9847 (this machine only); port 0
                     takes any free port
  --board-name NAME  serve: the board label of every metric; default the
                     --serial given, else "zent2"
  --dry-run          load-config: only print what would be written
  --select CHANNELS  log, watch and serve: the channels of every device, a comma
                     list of vmon1..vmon9, hvmon, hvout1..hvout4,
                     gpio1..gpio10, tmon1, tmon2, tmon3 (internal), imon1,
                     himon, or whole groups vmon, hvout, gpio, tmon, imon;
                     default all

log writes the header (program, FTDI driver and library versions, system,
interval, date), then one record per interval: a "Record N Value, Name" line
for each answering device and a "value, HMUd_CHANNEL" line per channel. Every
record is flushed to the file as it is written, and one progress line per
record goes to standard error. A device that stops answering is left out of
the records until it answers again; a device without GPIO7 has no GPIO7 line.
A reading that fails (not acknowledged, a conversion never ready) has no
line in its record: the progress line names it, a summary at the end names
all of them ("24 readings failed: HMU0 VMON1-10, IMON1-2 in records 1-2"),
and the exit status is 1 once every record is written. A write error leaves
the file ending with the last complete record. A FIFO is waited for until a
program reads it; Ctrl-C or SIGTERM ends the wait.

watch reads every channel of each device as the pages do, one device at a
time: the voltages with comparators A and B (1: the input is above the
threshold), the pin levels of HVOUT1..HVOUT4 and GPIO1..GPIO10, the
temperatures and the currents with their comparators. The rails of the
demonstration design are named beside their channel (POT1..POT4, DC-DC4,
DC-DC8, R203). A reading that fails shows "---" and no value, a full-scale
voltage read again through the attenuator (not rescaled) a "*", and a
device that stops answering "left" until it answers again ("returned").
Written to a terminal, the screen is redrawn in place; piped, each frame
starts with "Frame N" and frames are apart by a blank line. Exit status: 0
when every reading of the last frame succeeded, 1 when one failed or a
device asked for did not answer.
A cable that fails (pulled out, or its chip no longer answering) ends the run
with exit status 1 after the record in which it did.

serve prints "Serving http://ADDRESS:PORT/metrics" once it listens and has
read the board once, then polls the board on its own and answers every
scrape with the last poll, so a scrape never touches the bus. Gauges, each
labelled board="NAME" and device="HMUn": zent2_device_present,
zent2_voltage_volts, zent2_current_amperes, zent2_temperature_celsius,
zent2_pin_level (with channel="VMON1" ...), zent2_comparator_state (and
comparator="A" or "B"), zent2_attenuated, zent2_reading_failed (1 for a
failed reading, whose value gauge is then absent; channel="fault log" for
the fault log status), zent2_fault_log_records, and zent2_poll_duration_seconds
and zent2_last_poll_timestamp_seconds. Only GET and HEAD of /metrics and of
/ (a page linking to it) are answered; other paths give 404, other methods
405. A request must arrive whole within 10 s and 16 KiB; 8 are served at
once and up to 64 more wait, further ones are closed at once. An address
that cannot be listened on ends it with exit status 1 and the system's
reason; SIGINT or SIGTERM end it with 0, and a cable that fails with 1.

Scripts (- or --script FILE): one command per line with its arguments, as
above; '#' starts a comment, blank lines are skipped. The options on the
command line apply to every line; a line takes none of its own. Every line is
checked before the first one runs: a bad one stops the script with exit status
2 and its line number, and nothing is sent. The commands run one after the
other on one simulated board or one cable session, each in a cable lock of
its own; sleep lets the board's clock run between them, e.g.
  write-main 0 0x01         # margining +5 %
  sleep 1                   # the trim loops follow
  measure 0
The script stops at the first command that fails, with that command's exit
status, and says on standard error at which line. It is read in full before
it runs: at most 1 MiB, and 4096 characters a line. SIGINT or SIGTERM during
a log line ends the whole script once the log is closed, with exit status
128 plus the signal (130, 143).

Without --simulated-board or --demo the FTDI cable is used (channel B drives the
I2C bus, channel A the enable line around each command). FTDI chips are listed
in the order of their place in the USB tree, so a cable in the same socket keeps
its indexes; the cable is devices 0 and 1 unless another dual-channel chip sits
before it (then give --serial).

measure: voltages are the ADC readings, 2 mV per count. An input at full scale
(2.046 V) is converted once more with bit 7 of the selector set (the attenuated
input), and that reading is shown as it comes, without scaling, as the voltage
page shows it: such a line reads lower than the input, and is marked "*"
with a footnote "* read through the attenuator; not rescaled". A current
monitor reports the voltage at its amplifier's output; the line shows that
voltage, the amplifier gain (from the trip point register) and the current it
means through the --rsense resistor: voltage / (gain x ohms). An amplifier at
full scale is marked so: the current is then at least the one shown.

Demo mode can show: a configuration register file for each HMU (register r
starts as r; registers 0..118, others read 0x00) that C writes change for the
rest of the command only, since every run starts afresh; fixed monitor
registers (Monitor select 0x80, TMON stat A and B 0x07, all others 0x00); a
ramp of values in measure (voltages 0.01 V up from 1.01 V, currents from
0.11 V, temperatures 0.25 degrees up from -4.75); every device present in scan;
a fixed fault log of 16 records in faults. It cannot show monitor writes, the
signature (ues), trim target writes, an erase of the fault log (erase-faults)
or the cable's devices (devices): these are refused. update does nothing in
demo mode, and hvout and gpio show every level as 0. The main device's
registers start as 0x04, 0xC1, 0xC2, 0x03 and keep what write-main writes for
the rest of the run.

csv: the first row is "record,time," followed by the name of every channel
the log holds (HMU0_VMON1, ..., HMU7_IMON2), by device and then as the log
writes them; each record is a row with its number, its time (the header's
start time plus the logging interval for each record before it, as
"2024-05-06 14:03:07"; the seconds since the first record when the header has
no date line) and its values as the log wrote them; a channel missing from a
record is an empty cell. Lines the file should not hold are skipped and named
on standard error, as is a last line cut short (a crash while logging): the
rows then hold what was read. A file that cannot be read, or that is not a
log, gives exit status 1 and nothing on standard output.

Configuration files (save-config, diff-config, load-config): a header of
'#' comments (version, date, devices), then one line per register, e.g.
  HMU0  "VMON1 Config0"  22  0x5A
the device, the register's name as dump shows it, its number and its value.
Only the writable configuration (C) registers are saved and loaded, never
monitor or read-only ones. A file may name only some registers: diff-config
and load-config concern those. The whole file is checked first (at most 1 MiB,
lines of at most 4096 characters): an unknown device or register, a name that
is not its number's, a value over 0xFF, a register given twice or a device
that does not answer is named with its line, exit status 2, and nothing is
written. load-config then reads the registers, writes those that differ,
sends update once to each device of the file (also to one with nothing to
write: a C read shows what was written, which is not in effect before
update) and reads them back; a register that reads back otherwise is named.
When a transaction fails on the way, it stops and says which registers were
written (and whether their device applied them) and which were not. The file
itself is never changed. In a script, the file is read when its line runs,
so an earlier line may save it.

Exit status:
  0  done
  1  a device did not acknowledge or stopped answering (nothing it did not
     answer is printed), the cable failed or could not be opened, no FTDI
     device was found, the fault log would not open (READ_FAULT_ENABLE) or
     was not erased, the bus trace could not be written, the log file could
     not be created or written (the system's reason is given), a reading
     failed while logging, (csv) the log could not be read or the CSV not
     written, (serve) its address could not be listened on (the system's
     reason is given), or the output could not be written (a full disk, a
     closed pipe)
  2  bad usage or input (unknown command or option, missing or extra
     arguments, a number out of range, a bad board or configuration file, a
     trace file that cannot be created or that is the log file, a script too
     large, serve in a build without the HTTP library): a one-line message,
     and nothing was sent to the bus (nothing written, for a configuration
     file whose device does not answer)
  130, 143  SIGINT or SIGTERM ended a script during its log, watch or serve
     command
  diff-config exits 0 when the board holds the file, 1 when it differs and
  2 for a bad file or a device that did not answer, as diff does, so that 1
  only ever means "differs"
)";
}

std::string CommandUsageText(const std::string& command)
{
    const CommandInfo* info = FindCommand(command);
    if (info == nullptr) return {};
    // The command's entries of the list in the --help text: a line with the
    // name two columns in, and the lines indented further that follow it.
    std::string lines;
    const std::string usage = UsageText();
    const size_t start = usage.find("\nCommands:\n");
    const size_t end = usage.find("\n\n", start + 1);
    bool inside = false;
    for (size_t at = start + 1; at < end;) {
        const size_t next = std::min(usage.find('\n', at), end);
        const std::string line = usage.substr(at, next - at);
        at = next + 1;
        const bool entry = line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] != ' ';
        if (entry) inside = line.compare(2, command.size() + 1, command + " ") == 0 || line.substr(2) == command;
        else if (line.rfind("  ", 0) != 0) inside = false;
        if (inside) lines += line + "\n";
    }
    return "Usage: zent2-cli [OPTIONS] " + std::string(info->usage) + "\n\n" + lines +
           "\nOptions, exit status and details: zent2-cli --help\n";
}

bool ServeBuiltIn()
{
#ifdef ZENT2_HAVE_HTTPLIB
    return true;
#else
    return false;
#endif
}

bool ParseListenAddress(std::string_view text, std::string& host, int& port, std::string& error)
{
    std::string_view hostText;
    std::string_view portText;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "give [IPV6]:PORT, e.g. [::1]:9847";
            return false;
        }
        hostText = text.substr(1, close - 1);
        portText = text.substr(close + 2);
        if (hostText.find(':') == std::string_view::npos) {
            error = "brackets are for an IPv6 address";
            return false;
        }
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = "give HOST:PORT, e.g. 127.0.0.1:9847";
            return false;
        }
        hostText = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (hostText.find(':') != std::string_view::npos) {
            error = "an IPv6 address goes in brackets: [ADDRESS]:PORT";
            return false;
        }
    }
    if (hostText.empty()) {
        error = "the address is missing (0.0.0.0 listens on every IPv4 interface, [::] on every one)";
        return false;
    }
    for (const char c : hostText)
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '[' || c == ']') {
            error = "not a host name or address";
            return false;
        }
    int value = 0;
    bool digits = !portText.empty() && portText.size() <= 5;
    for (const char c : portText) {
        if (c < '0' || c > '9') digits = false;
        if (digits) value = value * 10 + (c - '0');
    }
    if (!digits || value > 65535) {
        error = "the port must be a number from 0 to 65535";
        return false;
    }
    host = std::string(hostText);
    port = value;
    return true;
}

std::string AddressText(int address8, int addressFormat)
{
    return Hex(static_cast<uint64_t>(addressFormat == 7 ? address8 >> 1 : address8));
}

}  // namespace cli
