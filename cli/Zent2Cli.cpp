#include "cli/Zent2Cli.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <random>
#include <sstream>
#include <thread>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "settings/FileSettingsStore.h"
#include "cli/CliCableContext.h"
#include "cli/ConfigCommands.h"
#include "cli/SenseResistors.h"
#include "cli/StandardOutput.h"
#include "cli/WatchCommand.h"
#ifdef ZENT2_HAVE_HTTPLIB
#include "cli/ServeCommand.h"
#endif
#include "device/MeasureCodes.h"
#include "device/RegisterMap.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "link/CableBackend.h"
#include "logging/LogCsv.h"
#include "util/PathText.h"
#include "util/TextFormat.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/FaultLog.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"
#include "device/blocks/Vmon.h"
#include "sim/SimulatedBoard.h"

namespace fs = std::filesystem;

namespace {

// watch redraws its screen in place only on a terminal; piped, it writes plain frames.
bool OutputIsTerminal(const std::ostream& out)
{
    if (&out != &std::cout) return false;
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

constexpr int kMaxAddress = 0xFE;

constexpr std::array<const char*, 10> kVoltageNames = {
    "VMON1", "VMON2", "VMON3", "VMON4", "VMON5", "VMON6", "VMON7", "VMON8", "VMON9", "HVMON"};
constexpr std::array<const char*, 2> kCurrentNames = {"IMON1", "HIMON1"};
constexpr std::array<const char*, 3> kTemperatureNames = {"TMON1", "TMON2", "TMON int"};

// How this run shows addresses (--address-format); one run at a time.
int g_addressFormat = 8;

std::string Address(int address8)
{
    return cli::AddressText(address8, g_addressFormat);
}

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

// Why the I2C channel did not open, with the driver's reason when it has one.
std::string CableOpenFailure(CI2C_FTDI& link)
{
    const std::string reason = link.Driver().OpenFailure(CI2C_FTDI::kI2CChannelIndex);
    if (link.DevicesFound() == 0)
        return "cannot open the cable: " + (reason.empty() ? std::string("no FTDI device found") : reason);
    if (reason.empty()) return "cannot open the cable (" + link.StatusText() + ")";
    return "cannot open the I2C channel of the cable: " + reason + " (" + link.StatusText() + ")";
}

// A transaction that failed with the cable out of step failed on the cable
// (a write that did not go out, replies that did not come), not by a NACK.
bool CableFailed(CTovin_I2C_Port& port)
{
    return port.GetLink().IsOutOfStep();
}

int NoAnswer(std::ostream& err, CTovin_I2C_Port& port, int hmu)
{
    const std::string address = Address(port.HmuAddress(hmu));
    if (CableFailed(port))
        Message(err, FormatText("the cable failed while talking to HMU%d at %s", hmu, address.c_str()));
    else
        Message(err, FormatText("HMU%d at %s did not acknowledge", hmu, address.c_str()));
    return CZent2Cli::kExitDevice;
}

int NoMainAnswer(std::ostream& err, const CTovin_I2C_Port& port)
{
    Message(err, "the main device at " + Address(port.GetMainAddress()) + " did not acknowledge");
    return CZent2Cli::kExitDevice;
}

// One register read of the current HMU. On the bus it is exactly the two
// transactions of ReadRegister, taken apart so that a device that does not
// answer is told from one that answers 0x00. Demo mode has no bus to ask.
bool ReadHmuRegister(CTovin_I2C_Port& port, int command, int reg, uint8_t& value)
{
    if (port.GetDemoMode()) {
        value = port.ReadRegister(command, reg);
        return true;
    }
    value = 0;
    return port.BeginCommand(command, reg) && port.ReadBytes(&value, 1);
}

// Watches a reading from its making on for what its values cannot show: a
// device that stops answering after its probe gives zeros, and a conversion
// or monitor record that never becomes ready gives 0 or a stale value.
// Neither is ever to be printed as the device's values.
class CFailureWatch {
public:
    explicit CFailureWatch(const CTovin_I2C_Port& port)
        : m_port(port), m_failed(port.FailedTransactions()), m_unready(port.UnreadyResults())
    {
    }
    bool Failed() const { return StoppedAnswering() || m_port.UnreadyResults() != m_unready; }
    // Names what could not be read, and why; returns the exit status.
    int Report(std::ostream& err, int hmu, const std::string& what) const
    {
        const std::string address = Address(m_port.HmuAddress(hmu));
        if (StoppedAnswering())
            Message(err, FormatText("HMU%d at %s stopped answering: %s", hmu, address.c_str(), what.c_str()));
        else
            Message(err, FormatText("HMU%d at %s: %s: the device never reported the result ready", hmu,
                                    address.c_str(), what.c_str()));
        return CZent2Cli::kExitDevice;
    }

private:
    bool StoppedAnswering() const { return m_port.FailedTransactions() != m_failed; }

    const CTovin_I2C_Port& m_port;
    uint64_t m_failed;
    uint64_t m_unready;
};

// A trace replaces a regular file (or makes a new one) only when it is
// complete: it is written beside it and renamed over it, so a run that is
// killed leaves the old trace. Anything else (a device, a pipe) is written
// as it is.
bool IsReplaceable(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(PathFromUtf8(path), ec);
    return status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular;
}

bool CanWriteTrace(const std::string& path)
{
    const fs::path file = PathFromUtf8(path);
    if (!IsReplaceable(path)) {
        std::error_code ec;
        if (fs::is_directory(file, ec)) return false;
        return static_cast<bool>(std::ofstream(file, std::ios::binary | std::ios::app));
    }
    // The folder must take a new file: try one, and leave nothing behind.
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path probe = folder / (".zent2-cli-probe-" + std::to_string(random()));
#ifdef _WIN32
        FILE* made = _wfopen(probe.c_str(), L"wbx");
#else
        FILE* made = std::fopen(probe.c_str(), "wbx");
#endif
        if (made == nullptr) {
            if (errno == EEXIST) continue;
            return false;
        }
        std::fclose(made);
        std::error_code ec;
        fs::remove(probe, ec);
        return true;
    }
    return false;
}

bool SaveTrace(const CBusTrace& trace, const std::string& path)
{
    if (!IsReplaceable(path)) return trace.WriteVcd(path);
    return WriteFileAtomically(PathFromUtf8(path), trace.VcdText());
}

}  // namespace

CZent2Cli::CZent2Cli() = default;
CZent2Cli::~CZent2Cli() = default;

int CZent2Cli::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    int status = RunCommand(args, out, err);
    // Output that did not arrive (a full disk) is a failure; a reader that
    // went away (| head) took what it wanted.
    out.flush();
    if (!out && &out == &std::cout && cli::StandardOutputReaderGone()) return status;
    if (!out) {
        Message(err, "cannot write the output");
        if (status == kExitOk) status = kExitDevice;
    }
    return status;
}

int CZent2Cli::RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    // The board of this run, for sleep; it does not outlive the run.
    struct Running {
        CSimulatedBoard*& board;
        ~Running() { board = nullptr; }
    } running{m_running};

    cli::CliRequest request;
    std::string error;
    if (!cli::ParseCommandLine(args, request, error)) {
        Message(err, error);
        return kExitUsage;
    }
    g_addressFormat = request.addressFormat;
    if (request.command == cli::Command::Help) {
        out << (request.helpCommand.empty() ? cli::UsageText() : cli::CommandUsageText(request.helpCommand));
        return kExitOk;
    }
    if (request.command == cli::Command::BoardHelp) {
        out << CSimulatedBoard::BoardFileHelp();
        return kExitOk;
    }
    for (const std::string& note : request.notes) Message(err, note);
    // A file to read: no cable.
    if (request.command == cli::Command::Csv) return Csv(request, out, err);

    // A configuration file too.
    m_configFile.reset();
    if (request.command == cli::Command::DiffConfig || request.command == cli::Command::LoadConfig) {
        boardconfig::Settings file;
        if (!cli::ReadConfigFile(request.configFile, file, err)) return kExitUsage;
        m_configFile = std::move(file);
    }
    if (request.command == cli::Command::SaveConfig && !cli::CheckSaveTarget(request, err)) return kExitUsage;

    // A script is read and checked in full before anything is opened.
    std::vector<ScriptLine> script;
    std::string source;
    if (request.command == cli::Command::Script && !ReadScript(request, script, source, err)) return kExitUsage;

    // Declared before the port, so the board outlives it.
    std::unique_ptr<CSimulatedBoard> ownBoard;
    std::shared_ptr<CSimulatedFtdiDriver> simulated;
    std::shared_ptr<CFtdiDriver> driver;
    switch (request.backend) {
    case cli::Backend::SimulatedBoard: {
        CSimulatedBoard* board = m_board;
        if (board == nullptr) {
            ownBoard = CSimulatedBoard::CreateDefault();
            board = ownBoard.get();
        }
        if (!request.boardFile.empty()) {
            std::string boardError;
            if (!board->LoadFile(request.boardFile, boardError)) {
                Message(err, boardError);
                return kExitUsage;
            }
        }
        simulated = board->Driver();
        simulated->SetRoundTrip(std::chrono::microseconds(request.cableRoundTripUs));
        driver = simulated;
        m_running = board;
        break;
    }
    case cli::Backend::Demo: {
        // Demo mode answers from the port's register file; a cable that lists
        // nothing stands behind it so nothing real is ever touched.
        auto none = std::make_shared<CSimulatedFtdiDriver>();
        none->SetPlugged(false);
        driver = none;
        break;
    }
    case cli::Backend::RealCable:
        driver = m_cableFactory ? m_cableFactory() : MakeCableDriver();
        driver->SelectCable({request.cableSerial, request.cableVendor, request.cableProduct});
        break;
    }

    // Checked before the command, so a path that cannot be written stops it
    // before anything is sent; an existing trace stays as it is until then.
    if (!request.traceFile.empty() && !CanWriteTrace(request.traceFile)) {
        Message(err, "cannot create the trace file " + request.traceFile);
        return kExitUsage;
    }

    CTovin_I2C_Port port(driver);
    const bool demo = request.backend == cli::Backend::Demo;
    port.SetDemoMode(demo);
    port.GetLink().SetRate(request.rateKhz);
    CCliCableContext context(port);

    if (request.command == cli::Command::Devices) {
        const int status = Devices(request, port, out, err);
        if (!request.traceFile.empty()) Message(err, "nothing ran on the bus: no trace written to " + request.traceFile);
        return status;
    }

    if (!demo && port.OpenCable() != FTDI_OK) {
        Message(err, CableOpenFailure(port.GetLink()));
        return kExitDevice;
    }
    port.SetHmuBase(request.hmuBase);
    port.SetMainAddress(request.mainAddress);

    if (simulated && !request.traceFile.empty()) {
        simulated->ClearTrace();
        simulated->StartTrace();
    }
    int status = kExitOk;
    if (request.command == cli::Command::Script) {
        status = RunScript(script, source, port, out, err);
    } else if (request.command == cli::Command::Sleep) {
        Sleep(request);
    } else if (request.command == cli::Command::Log) {
        // Each record takes its own cable lock: the enable line is not held
        // high through the waits between records.
        status = RunLogCommand(request, port, err, m_logClock);
    } else if (request.command == cli::Command::Watch) {
        // Each device of a frame takes its own cable lock, as a log record does.
        status = RunWatchCommand(request, port, out, err, m_logClock, OutputIsTerminal(out));
    } else if (request.command == cli::Command::Serve) {
        status = Serve(request, port, out, err);
    } else {
        CCableLock lock;
        status = Execute(request, port, out, err);
    }
    if (simulated && !request.traceFile.empty()) {
        simulated->StopTrace();
        if (simulated->Bus().Trace().Events().empty()) {
            Message(err, "nothing ran on the bus: no trace written to " + request.traceFile);
        } else if (!SaveTrace(simulated->Bus().Trace(), request.traceFile)) {
            Message(err, "cannot write the bus trace to " + request.traceFile);
            if (status == kExitOk) status = kExitDevice;
        }
    }
    return status;
}

int CZent2Cli::Execute(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                       std::ostream& err)
{
    switch (request.command) {
    case cli::Command::Scan: return Scan(port, out, err);
    case cli::Command::Read: return Read(request, port, out, err);
    case cli::Command::Write: return Write(request, port, err);
    case cli::Command::Update: return Update(request, port, err);
    case cli::Command::Dump: return Dump(request, port, out, err);
    case cli::Command::Detect: return Detect(port, out, err);
    case cli::Command::Measure:
        return request.allDevices ? EveryDevice(request, port, out, err, &CZent2Cli::Measure)
                                  : Measure(request, port, out, err);
    case cli::Command::Ues: return Ues(request, port, out, err);
    case cli::Command::Trim: return Trim(request, port, out, err);
    case cli::Command::Hvout: return Hvout(request, port, out, err);
    case cli::Command::Gpio: return Gpio(request, port, out, err);
    case cli::Command::Faults:
        return request.allDevices ? EveryDevice(request, port, out, err, &CZent2Cli::Faults)
                                  : Faults(request, port, out, err);
    case cli::Command::EraseFaults: return EraseFaults(request, port, out, err);
    case cli::Command::ReadMain: return ReadMainRegister(request, port, out, err);
    case cli::Command::WriteMain: return WriteMainRegister(request, port, err);
    case cli::Command::SaveConfig: return cli::SaveConfig(request, port, out, err);
    case cli::Command::DiffConfig:
    case cli::Command::LoadConfig: return ConfigFileCommand(request, port, out, err);
    case cli::Command::Help:
    case cli::Command::BoardHelp:
    case cli::Command::Devices:
    case cli::Command::Sleep:
    case cli::Command::Script:
    case cli::Command::Log:  // handled apart, without one lock around the whole command
    case cli::Command::Watch:
    case cli::Command::Serve:
    case cli::Command::Csv: break;  // handled before the cable is opened
    }
    return kExitOk;
}

bool CZent2Cli::ReadScript(const cli::CliRequest& session, std::vector<ScriptLine>& lines, std::string& source,
                           std::ostream& err)
{
    std::ifstream file;
    std::istream* in = m_input ? m_input : &std::cin;
    source = "standard input";
    if (session.scriptFile != "-") {
        source = session.scriptFile;
        file.open(PathFromUtf8(session.scriptFile), std::ios::binary);
        if (!file) {
            Message(err, "cannot read the script " + session.scriptFile);
            return false;
        }
        in = &file;
    }
    // Read in full before the first line runs, so bounded as a board file
    // is: an endless input (/dev/zero, a "yes" pipe) is refused, not read on.
    std::string script;
    std::vector<char> block(size_t{1} << 16);
    size_t lineLength = 0;
    int lineNumber = 1;
    while (*in) {
        in->read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<size_t>(in->gcount());
        for (size_t i = 0; i < got; ++i) {
            if (block[i] == '\n') {
                lineLength = 0;
                ++lineNumber;
            } else if (++lineLength > cli::kMaxScriptLineBytes) {
                Message(err, source + ", line " + std::to_string(lineNumber) + ": line longer than " +
                                 std::to_string(cli::kMaxScriptLineBytes) + " characters");
                return false;
            }
        }
        if (script.size() + got > cli::kMaxScriptBytes) {
            Message(err, "the script from " + source + " is larger than " +
                             std::to_string(cli::kMaxScriptBytes / 1024) + " KiB: nothing was run");
            return false;
        }
        script.append(block.data(), got);
    }
    if (in->bad()) {
        Message(err, "cannot read the script from " + source);
        return false;
    }

    std::istringstream lineStream(script);
    std::string text;
    for (int number = 1; std::getline(lineStream, text); ++number) {
        ScriptLine line{number, text, {}};
        std::string error;
        if (cli::ParseScriptLine(text, session, line.request, error)) {
            if (const size_t end = text.find_last_not_of(" \t\r"); end != std::string::npos) line.text.resize(end + 1);
            lines.push_back(std::move(line));
        } else if (!error.empty()) {
            Message(err, source + ", line " + std::to_string(number) + ": " + error);
            return false;
        }
    }
    return true;
}

int CZent2Cli::RunScript(const std::vector<ScriptLine>& lines, const std::string& source, CTovin_I2C_Port& port,
                         std::ostream& out, std::ostream& err)
{
    for (const ScriptLine& line : lines) {
        const cli::CliRequest& request = line.request;
        int status = kExitOk;
        int stopSignal = 0;
        switch (request.command) {
        case cli::Command::Help:
            out << (request.helpCommand.empty() ? cli::UsageText() : cli::CommandUsageText(request.helpCommand));
            break;
        case cli::Command::Sleep: Sleep(request); break;
        case cli::Command::Devices: status = Devices(request, port, out, err); break;
        case cli::Command::Log: status = RunLogCommand(request, port, err, m_logClock, &stopSignal); break;
        case cli::Command::Watch:
            status = RunWatchCommand(request, port, out, err, m_logClock, OutputIsTerminal(out), &stopSignal);
            break;
        case cli::Command::Serve: status = Serve(request, port, out, err, &stopSignal); break;
        case cli::Command::Csv: status = Csv(request, out, err); break;
        default: {
            CCableLock lock;
            status = Execute(request, port, out, err);
        }
        }
        // Ctrl-C or SIGTERM during a log or watch ends the whole script, not only its line.
        if (stopSignal != 0) {
            const bool last = &line == &lines.back();
            Message(err, source + ", line " + std::to_string(line.number) + ": " +
                             (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") + " ended the script at \"" + line.text +
                             "\"" + (last ? "" : "; the lines after it did not run"));
            return kExitSignal + stopSignal;
        }
        if (status != kExitOk) {
            Message(err, source + ", line " + std::to_string(line.number) + ": the script stops at \"" + line.text +
                             "\"");
            return status;
        }
    }
    return kExitOk;
}

int CZent2Cli::Serve(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                     int* stopSignal)
{
#ifdef ZENT2_HAVE_HTTPLIB
    // Each device of a poll takes its own cable lock, as a watch frame does.
    return RunServeCommand(request, port, out, err, m_logClock, stopSignal);
#else
    // The command line refuses serve in such a build; nothing to run.
    (void)request, (void)port, (void)out, (void)stopSignal;
    Message(err, "serve: this zent2-cli was built without the HTTP library (cpp-httplib) and cannot serve");
    return kExitUsage;
#endif
}

void CZent2Cli::Sleep(const cli::CliRequest& request)
{
    const auto duration = std::chrono::duration<double>(request.seconds);
    if (m_running) {
        m_running->Advance(std::chrono::duration_cast<CSimulatedBoard::Duration>(duration));
    } else if (request.backend == cli::Backend::RealCable) {
        std::this_thread::sleep_for(duration);
    }
}

int CZent2Cli::ReadMainRegister(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                                std::ostream& err)
{
    const int value = port.ReadMain(request.reg);
    if (port.GetError() != 0) return NoMainAnswer(err, port);
    out << FormatText("0x%02X\n", value);
    return kExitOk;
}

int CZent2Cli::WriteMainRegister(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err)
{
    port.WriteMain(request.reg, request.value);
    if (port.GetError() != 0) return NoMainAnswer(err, port);
    return kExitOk;
}

int CZent2Cli::Devices(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    CI2C_FTDI& link = port.GetLink();
    const int count = link.ListDevices();
    if (count <= 0) {
        // The driver's library may be missing: say so rather than "no device".
        if (const std::string reason = link.Driver().ListFailure(); !reason.empty()) {
            Message(err, "cannot list the FTDI devices: " + reason);
            return kExitDevice;
        }
        Message(err, request.cableSerial.empty() ? std::string("no FTDI device found")
                                                 : "no FTDI cable with the serial number " + request.cableSerial +
                                                       " found");
        return kExitDevice;
    }
    for (int i = 0; i < count; ++i) {
        // The link fetches serial texts only for a list that fits its store.
        const std::string serial = link.DeviceSerial(i);
        out << i << ' ' << (serial.empty() ? std::string("(no serial text)") : serial);
        const FtdiDeviceDetails details = link.Driver().DeviceDetails(i);
        if (!details.location.empty()) {
            // What --serial takes, and where the chip sits.
            out << FormatText("  cable %s channel %c, %04X:%04X at %s",
                              details.cableSerial.empty() ? "(serial unreadable)" : details.cableSerial.c_str(),
                              details.channel, details.vendor, details.product, details.location.c_str());
        }
        out << '\n';
    }
    return kExitOk;
}

int CZent2Cli::Scan(CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    // A probe that failed on the cable says nothing about the device: that
    // is an error, not an absent device.
    for (int n = 0; n < CTovin_I2C_Port::kHmuDevices; ++n) {
        if (port.GetHmuBase() + 2 * n > kMaxAddress) break;  // would wrap to the general call address
        const int address = port.HmuAddress(n);
        const bool present = port.ProbeHmu(n);
        if (!present && CableFailed(port)) return NoAnswer(err, port, n);
        out << FormatText("HMU%d %s %s\n", n, Address(address).c_str(), present ? "present" : "absent");
    }
    const bool present = port.ProbeMain();
    if (!present && CableFailed(port)) {
        Message(err, FormatText("the cable failed while talking to the main device at 0x%02X", port.GetMainAddress()));
        return kExitDevice;
    }
    out << FormatText("main %s %s\n", Address(port.GetMainAddress()).c_str(), present ? "present" : "absent");
    return kExitOk;
}

int CZent2Cli::Detect(CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    // The addresses i2cdetect probes, 7-bit; each with its address byte
    // alone (a START, the write address, a STOP), so nothing is written.
    constexpr int kFirst = 0x03;
    constexpr int kLast = 0x77;
    std::string grid = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n";
    std::string found;
    for (int row = 0; row <= kLast; row += 16) {
        grid += FormatText("%02x:", row);
        for (int address = row; address < row + 16 && address <= kLast; ++address) {
            if (address < kFirst) {
                grid += "   ";
                continue;
            }
            const bool acknowledged = port.Probe(address << 1);
            if (!acknowledged && CableFailed(port)) {
                Message(err, FormatText("the cable failed while probing 0x%02X (7-bit)", address));
                return kExitDevice;
            }
            grid += acknowledged ? FormatText(" %02x", address) : std::string(" --");
            if (acknowledged) found += " " + Address(address << 1);
        }
        grid += '\n';
    }
    out << grid;
    out << (found.empty() ? std::string("No address acknowledged")
                          : (g_addressFormat == 7 ? "Acknowledged (7-bit):" : "Acknowledged (8-bit write address):") +
                                found)
        << '\n';
    return kExitOk;
}

int CZent2Cli::EveryDevice(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                           std::ostream& err, DeviceCommand command)
{
    // Each device that answers a probe, one after the other; one that fails
    // is named and the others still run.
    int status = kExitOk;
    int answered = 0;
    for (int n = 0; n < CTovin_I2C_Port::kHmuDevices; ++n) {
        if (port.GetHmuBase() + 2 * n > kMaxAddress) break;
        if (!port.ProbeHmu(n)) {
            if (CableFailed(port)) return NoAnswer(err, port, n);
            continue;
        }
        cli::CliRequest one = request;
        one.hmu = n;
        one.allDevices = false;
        out << (answered++ == 0 ? "" : "\n") << "HMU" << n << ' ' << Address(port.HmuAddress(n)) << '\n';
        const int result = (this->*command)(one, port, out, err);
        if (result != kExitOk && status == kExitOk) status = result;
    }
    if (answered == 0) {
        Message(err, "no HMU device answered");
        return kExitDevice;
    }
    return status;
}

int CZent2Cli::Read(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    const int command =
        request.type == kMonitorRegister ? hmu::kCmdReadMonitor : hmu::kCmdReadConfig;
    uint8_t value = 0;
    if (!ReadHmuRegister(port, command, request.reg, value)) return NoAnswer(err, port, request.hmu);
    out << FormatText("0x%02X\n", value);
    return kExitOk;
}

int CZent2Cli::Write(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    const int command =
        request.type == kMonitorRegister ? hmu::kCmdWriteMonitor : hmu::kCmdWriteConfig;
    if (port.GetDemoMode()) {
        port.WriteRegister(command, request.reg, request.value);
        return kExitOk;
    }
    // The transactions of WriteRegister, with the acknowledges known.
    const uint8_t byte = static_cast<uint8_t>(request.value);
    if (!port.BeginCommand(command, request.reg) || !port.WriteBytes(&byte, 1))
        return NoAnswer(err, port, request.hmu);
    return kExitOk;
}

int CZent2Cli::Update(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    port.ClearError();
    port.UpdateConfiguration();
    if (port.GetError() == CTovin_I2C_Port::kErrorAck) return NoAnswer(err, port, request.hmu);
    return kExitOk;
}

int CZent2Cli::Dump(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    for (const RegisterEntry& row : regmap::DeviceRows()) {
        uint8_t value = 0;
        if (!ReadHmuRegister(port, row.ReadCommand(), row.reg, value)) return NoAnswer(err, port, request.hmu);
        out << FormatText("%c %3d 0x%02X  %-26s 0x%02X\n", row.TypeLetter(), row.reg, row.reg, row.name.c_str(),
                          value);
    }
    return kExitOk;
}

int CZent2Cli::Measure(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                       std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    // The measurement reads cannot tell a silent device from a reading of 0.
    if (!port.ProbeHmu(request.hmu)) return NoAnswer(err, port, request.hmu);
    // A device can still stop answering in the middle: a reading with a
    // transaction that failed is named and ends the command, never shown as 0.
    const CFailureWatch watch(port);
    const auto failed = [&](const std::string& reading) {
        if (!watch.Failed()) return false;
        watch.Report(err, request.hmu, reading + " could not be read");
        return true;
    };
    bool anyAttenuated = false;
    for (int c = 0; c < static_cast<int>(kVoltageNames.size()); ++c) {
        bool attenuated = false;
        const float volts = vmon::MeasureInput(port, c, &attenuated);
        if (failed(kVoltageNames[c])) return kExitDevice;
        // Above full scale the device gives the attenuated reading, unscaled:
        // shown as it came, but marked.
        anyAttenuated = anyAttenuated || attenuated;
        out << FormatText("%-8s %7.3f V%s\n", kVoltageNames[c], static_cast<double>(volts), attenuated ? " *" : "");
    }
    const std::function<float(int, int)> senseOhms = cli::SenseResistors(request);
    for (int m = 0; m < static_cast<int>(kCurrentNames.size()); ++m) {
        const float ohms = senseOhms(request.hmu, m);
        const int gain = imon::ReadGain(port, m);
        const float volts = imon::MeasureVolts(port, m);
        if (failed(kCurrentNames[m])) return kExitDevice;
        const double amps = imon::CurrentAmps(volts, gain, ohms);
        // A saturated amplifier only says the current is at least this much.
        const bool fullScale = volts >= measure::kAdcFullScale * measure::kVoltsPerCount - 0.0005f;
        out << FormatText("%-8s %7.3f V at gain %d: %.3f A through %g ohm%s\n", kCurrentNames[m],
                          static_cast<double>(volts), gain, amps, static_cast<double>(ohms),
                          fullScale ? " (amplifier at full scale)" : "");
    }
    for (int t = 0; t < static_cast<int>(kTemperatureNames.size()); ++t) {
        const double celsius = tmon::ReadTemperature(port, t);
        if (failed(kTemperatureNames[t])) return kExitDevice;
        out << FormatText("%-8s %7.2f \u00B0C\n", kTemperatureNames[t], celsius);
    }
    if (anyAttenuated) out << "* read through the attenuator; not rescaled\n";
    return kExitOk;
}

int CZent2Cli::Ues(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    // The eight reads of ReadSignature, byte 0x70 the least significant, with
    // the acknowledges known: an unanswered byte is an error, not a 0x00.
    uint64_t signature = 0;
    for (int i = 0; i < signature::kBytes; ++i) {
        uint8_t byte = 0;
        if (!ReadHmuRegister(port, hmu::kCmdSignature, signature::Position(i), byte))
            return NoAnswer(err, port, request.hmu);
        signature |= static_cast<uint64_t>(byte) << (8 * i);
    }
    out << signature::HexText(signature) << '\n';
    return kExitOk;
}

// The blocks' reads cannot tell a silent device from one that reads 0: each
// of these commands first makes sure the device answers.
int CZent2Cli::Trim(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    if (!port.ProbeHmu(request.hmu)) return NoAnswer(err, port, request.hmu);
    const int cell = request.cell - 1;
    const CFailureWatch watch(port);
    if (request.volts) {
        const uint16_t code = trim::WriteTarget(port, cell, *request.volts);
        if (watch.Failed())
            return watch.Report(err, request.hmu,
                                    FormatText("the target of trim cell %d may not have been written", request.cell));
        out << FormatText("Trim Cell%d: target code %u (0x%03X, %.3f V) written\n", request.cell, code, code,
                          static_cast<double>(trim::CodeVolts(code)));
        return kExitOk;
    }
    const trim::Reading reading = trim::Read(port, cell);
    if (watch.Failed())
        return watch.Report(err, request.hmu, FormatText("trim cell %d could not be read", request.cell));
    // A rail above full scale is shown as read through the attenuator, marked as measure marks it.
    out << FormatText("Trim Cell%d: output %.3f V%s, target %.3f V (code %d)\n", request.cell,
                      static_cast<double>(reading.measuredVolts), reading.attenuated ? " *" : "",
                      static_cast<double>(trim::CodeVolts(reading.code)), reading.code);
    if (reading.attenuated) out << "* read through the attenuator; not rescaled\n";
    return kExitOk;
}

namespace {

std::string Entry(std::string_view text)
{
    return std::string(text);
}

}  // namespace

int CZent2Cli::Hvout(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    if (!port.ProbeHmu(request.hmu)) return NoAnswer(err, port, request.hmu);
    const CFailureWatch watch(port);
    const hvout::Values values = hvout::Read(port);
    if (watch.Failed()) return watch.Report(err, request.hmu, "the HVOUT settings could not be read");
    for (int k = 0; k < hvout::kOutputs; ++k) {
        const hvout::OutputConfig& c = values.outputs[k];
        out << FormatText(
            "HVOUT%d = %d  source %s (signal %s)  %s (%s kHz, %s %%)  %s (%s V, source %s uA, sink %s uA)\n", k + 1,
            values.levels[k] ? 1 : 0, c.source == hvout::kSourceOcb ? "OCB" : "HMU/IF",
            Entry(ocb::kSignalNames[values.sourceSignals[k]]).c_str(), c.mode == hvout::kSwitched ? "Switched" : "Static",
            Entry(hvout::kFrequencies[c.frequency]).c_str(), Entry(hvout::kDutyCycles[c.dutyCycle]).c_str(),
            c.outputType == hvout::kOpenDrain ? "Open Drain" : "Charge Pump",
            Entry(hvout::kPumpVoltages[c.pumpVoltage]).c_str(), Entry(hvout::kSourceCurrents[c.sourceCurrent]).c_str(),
            Entry(hvout::kSinkCurrents[c.sinkCurrent]).c_str());
    }
    return kExitOk;
}

int CZent2Cli::Faults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                      std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    // As the fault log page reads it: the identification, then the log.
    uint8_t identification = 0;
    if (!ReadHmuRegister(port, hmu::kCmdIdentify, -1, identification)) return NoAnswer(err, port, request.hmu);
    faultlog::Records records{};
    const faultlog::LogRead log = port.GetDemoMode() ? faultlog::ReadDemoLog(records) : faultlog::ReadLog(port, records);
    if (!log.Answered()) return NoAnswer(err, port, request.hmu);
    if (log.enableFailed) {
        // The records cannot be read: printing them would print zeros.
        Message(err, FormatText("HMU%d: READ_FAULT_ENABLE has failed: the %d faults the status announces cannot be read",
                                request.hmu, log.count));
        return kExitDevice;
    }
    if (log.count == 0) {
        out << "No faults";
        if (log.unusable)
            out << FormatText(" (status 0x%02X 0x%02X: the log is busy or not valid)", log.status.status0,
                              log.status.status1);
        out << '\n';
        return kExitOk;
    }
    const bool hasGpio7 = !gpio::Gpio7Absent(identification);
    out << "Faults: " << log.count << '\n';
    for (int r = 0; r < log.count; ++r) {
        const std::vector<std::string> names = faultlog::SetFlagNames(faultlog::DecodeRecord(records[r]), hasGpio7);
        std::string line;
        for (const std::string& name : names) line += (line.empty() ? "" : ", ") + name;
        out << FormatText("Fault %d of %d: %s\n", r + 1, log.count, line.empty() ? "none" : line.c_str());
    }
    return kExitOk;
}

int CZent2Cli::Gpio(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    if (!port.ProbeHmu(request.hmu)) return NoAnswer(err, port, request.hmu);
    const CFailureWatch watch(port);
    const gpio::Values values = gpio::Read(port);
    const bool gpio7Absent = gpio::Gpio7Absent(gpio::ReadIdentification(port));
    if (watch.Failed()) return watch.Report(err, request.hmu, "the GPIO settings could not be read");
    for (int pin = 0; pin < gpio::kPins; ++pin) {
        if (pin == gpio::kGpio7 && gpio7Absent) {
            out << FormatText("GPIO%d = N/A\n", pin + 1);
            continue;
        }
        std::string line = FormatText("GPIO%d = %d  %s", pin + 1, values.levels[pin] ? 1 : 0,
                                      values.directions[pin] == gpio::kInput ? "Input" : "Output");
        for (int which = 0; which < ocb::kGpioSignals; ++which)
            if (ocb::GpioPinOf(which) == pin)
                line += "  signal " + Entry(ocb::kSignalNames[values.sourceSignals[which]]);
        out << line << '\n';
    }
    return kExitOk;
}

int CZent2Cli::EraseFaults(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                           std::ostream& err)
{
    port.SetHmuIndex(request.hmu);
    const faultlog::EraseResult result = faultlog::EraseLog(port, request.unlockCode);
    if (!result.after.answered) return NoAnswer(err, port, request.hmu);
    const int left = faultlog::CountFromStatus(result.after.status0, result.after.status1);
    switch (result.Outcome()) {
    case faultlog::EraseOutcome::Erased: break;
    case faultlog::EraseOutcome::NotAcknowledged:
        // A refused command is an acknowledge failure, whatever the status shows.
        Message(err, FormatText("HMU%d at 0x%02X did not acknowledge %s (an acknowledge failure): the erase did not "
                                "complete",
                                request.hmu, port.HmuAddress(request.hmu),
                                faultlog::EraseStepText(result.notAcknowledged).c_str()) +
                         (left != 0 ? FormatText("; the fault log still holds %d faults", left) : std::string()));
        return kExitDevice;
    case faultlog::EraseOutcome::ReadEnableFailed:
        Message(err, FormatText("HMU%d: READ_FAULT_ENABLE has failed! Nothing was erased", request.hmu));
        return kExitDevice;
    case faultlog::EraseOutcome::NotErased:
        Message(err, FormatText("HMU%d: the fault log still holds %d faults after the erase (does the board expect "
                                "another --unlock-code than %04X?)",
                                request.hmu, faultlog::StatusCount(result.after.status1), request.unlockCode));
        return kExitDevice;
    }
    out << FormatText("Fault log of HMU%d erased\n", request.hmu);
    return kExitOk;
}

int CZent2Cli::Csv(const cli::CliRequest& request, std::ostream& out, std::ostream& err)
{
    const bool standardInput = request.csvFile == cli::kStandardStream;
    // A file is read row by row, so that a day of logging takes no more
    // memory than a minute (the rows wait in a temporary file for the header
    // that names the columns); standard input can be read only once.
    logread::LogCsvPlan plan;
    if (standardInput) plan.read = logread::ReadLog(m_input ? *m_input : std::cin);
    else plan = logread::PlanLogCsv(request.csvFile);
    const logread::LogReadResult& log = plan.read;
    if (!log.ok) {
        Message(err, log.error);
        return kExitDevice;
    }
    for (const std::string& message : log.Messages()) Message(err, request.csvFile + ": " + message);
    std::string error;
    const bool written = standardInput ? logread::WriteLogCsv(log.data, out)
                                       : logread::StreamLogCsv(request.csvFile, plan, out, error);
    if (!error.empty()) {
        Message(err, error);
        return kExitDevice;
    }
    if (!written) {
        if (&out == &std::cout && cli::StandardOutputReaderGone()) return kExitOk;
        Message(err, "the CSV could not be written to standard output");
        return kExitDevice;
    }
    return kExitOk;
}

int CZent2Cli::ConfigFileCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out,
                                 std::ostream& err)
{
    boardconfig::Settings file;
    if (m_configFile) {
        file = *m_configFile;
    } else if (!cli::ReadConfigFile(request.configFile, file, err)) {
        return kExitUsage;
    }
    if (request.command == cli::Command::DiffConfig) return cli::DiffConfig(file, request.configFile, port, out, err);
    return cli::LoadConfig(request, file, port, out, err);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CZent2Cli cli;
    return cli.Run(args, out, err);
}
