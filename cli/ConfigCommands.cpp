#include "cli/ConfigCommands.h"

#include <ctime>
#include <filesystem>
#include <ostream>

#include "device/Tovin_I2C_Port.h"
#include "settings/FileSettingsStore.h"
#include "util/TextFormat.h"
#include "util/Version.h"

namespace cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDevice = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxAddress = 0xFE;

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

std::string Device(const CTovin_I2C_Port& port, int hmu)
{
    return FormatText("HMU%d at 0x%02X", hmu, port.HmuAddress(hmu));
}

// A register as a message names it: "VMON1 Config0" (22)
std::string Named(const boardconfig::Setting& s)
{
    return FormatText("\"%s\" (%d)", s.Register().name.c_str(), s.Register().reg);
}

std::string DeviceList(const std::vector<int>& devices)
{
    std::string text;
    for (const int d : devices) text += FormatText("%sHMU%d", text.empty() ? "" : " ", d);
    return text;
}

std::string LocalDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return "unknown";
#else
    if (localtime_r(&now, &local) == nullptr) return "unknown";
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A probe that failed on the cable says nothing about the device.
bool CableFailed(CTovin_I2C_Port& port)
{
    return port.GetLink().IsOutOfStep();
}

// The devices of the file answer; otherwise the message, and the status to end with.
bool DevicesAnswer(const boardconfig::Settings& file, const std::string& source, CTovin_I2C_Port& port,
                   const char* consequence, std::ostream& err, int& status)
{
    const std::vector<int> absent = boardconfig::AbsentDevices(port, file);
    if (absent.empty()) return true;
    if (CableFailed(port)) {
        Message(err, "the cable failed while talking to " + Device(port, absent.front()) + ": " + consequence);
        status = kExitDevice;
    } else {
        Message(err, boardconfig::AbsentDeviceError(file, absent.front(), source) + ": " + consequence);
        status = kExitUsage;
    }
    return false;
}

// What failed: the device, or the cable (a transaction that failed with the
// cable out of step failed on the cable, not by a NACK). `what` follows
// "HMU1 at 0xC2 did not acknowledge" or "the cable failed at".
std::string Failed(CTovin_I2C_Port& port, int hmu, const std::string& deviceWords, const std::string& what)
{
    if (CableFailed(port)) return "the cable failed talking to " + Device(port, hmu) + ": " + what;
    return Device(port, hmu) + " " + deviceWords + " " + what;
}

void ReportReadFailure(const boardconfig::Setting& failed, CTovin_I2C_Port& port, const char* consequence,
                       std::ostream& err)
{
    Message(err, Failed(port, failed.device, "stopped answering while", Named(failed) + " was read") + ": " +
                     consequence);
}

// What a load that stopped half way did and did not do.
void ReportUnfinishedLoad(const boardconfig::LoadResult& result, CTovin_I2C_Port& port, std::ostream& err)
{
    using Failure = boardconfig::LoadResult::Failure;
    const boardconfig::Setting& failed = result.failed;
    switch (result.failure) {
    case Failure::Write:
        Message(err, Failed(port, failed.device, "did not acknowledge", "the write of " + Named(failed)) +
                         ": load-config stopped");
        break;
    case Failure::Update:
        Message(err, Failed(port, failed.device, "did not acknowledge", "Update Configuration") +
                         ": load-config stopped");
        break;
    case Failure::ReadBack:
        Message(err, Failed(port, failed.device, "stopped answering while", Named(failed) + " was read back") +
                         ": load-config stopped");
        break;
    case Failure::Read:
    case Failure::None: return;
    }
    for (const int device : boardconfig::Devices(result.written)) {
        int count = 0;
        for (const boardconfig::Setting& s : result.written) count += s.device == device ? 1 : 0;
        Message(err, FormatText("written: %d register%s of HMU%d, %s", count, count == 1 ? "" : "s", device,
                                result.Applied(device) ? "applied (update sent)"
                                                       : "not applied (no update sent: not in effect)"));
    }
    for (const boardconfig::Setting& s : result.notWritten)
        Message(err, "not written: " + boardconfig::RegisterText(s) + FormatText("  0x%02X", s.value));
    if (result.notWritten.empty()) Message(err, "every register that differed was written");
}

}  // namespace

bool ReadConfigFile(const std::string& path, boardconfig::Settings& settings, std::ostream& err)
{
    std::string error;
    if (boardconfig::ReadFile(path, settings, error)) return true;
    Message(err, error);
    return false;
}

bool CheckSaveTarget(const CliRequest& request, std::ostream& err)
{
    if (request.configFile == "-") return true;
    std::error_code ec;
    if (std::filesystem::is_directory(request.configFile, ec)) {
        Message(err, "save-config: " + request.configFile + " is a folder, not a file");
        return false;
    }
    return true;
}

int SaveConfig(const CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err)
{
    if (!CheckSaveTarget(request, err)) return kExitUsage;  // a script line comes here unchecked
    std::vector<int> devices = request.configDevices;
    if (devices.empty()) {
        for (int n = 0; n < CTovin_I2C_Port::kHmuDevices; ++n) {
            if (port.GetHmuBase() + 2 * n > kMaxAddress) break;  // would wrap to the general call address
            if (port.ProbeHmu(n)) {
                devices.push_back(n);
            } else if (CableFailed(port)) {
                Message(err, "the cable failed while talking to " + Device(port, n) + ": nothing was saved");
                return kExitDevice;
            }
        }
        if (devices.empty()) {
            Message(err, "no HMU device answers: nothing was saved");
            return kExitDevice;
        }
    } else {
        for (const int n : devices) {
            if (port.ProbeHmu(n)) continue;
            Message(err, Device(port, n) + " did not acknowledge: nothing was saved");
            return kExitDevice;
        }
    }
    // Everything is read before the file is touched: a device that stops
    // answering leaves no file of zeros behind, and an older file stays.
    const boardconfig::Reading reading = boardconfig::Read(port, boardconfig::AllRegisters(devices));
    if (!reading.ok) {
        ReportReadFailure(reading.failed, port, "nothing was saved", err);
        return kExitDevice;
    }
    const boardconfig::Header header{ProgramVersion(), LocalDate()};
    if (request.configFile == "-") {
        out << boardconfig::Format(reading.values, header, "\n");
        return kExitOk;
    }
    if (!WriteFileAtomically(request.configFile, boardconfig::Format(reading.values, header))) {
        Message(err, "cannot write the configuration file " + request.configFile);
        return kExitDevice;
    }
    out << FormatText("%d registers of %s saved to ", static_cast<int>(reading.values.size()), DeviceList(devices).c_str())
        << request.configFile << '\n';
    return kExitOk;
}

int DiffConfig(const boardconfig::Settings& file, const std::string& source, CTovin_I2C_Port& port,
               std::ostream& out, std::ostream& err)
{
    // 1 means only "differs": trouble is 2, as diff has it.
    int ignored = kExitUsage;
    if (!DevicesAnswer(file, source, port, "nothing was compared", err, ignored)) return kExitUsage;
    const boardconfig::Reading reading = boardconfig::Read(port, file);
    if (!reading.ok) {
        ReportReadFailure(reading.failed, port, "nothing was compared", err);
        return kExitUsage;
    }
    const std::vector<boardconfig::Difference> differences = boardconfig::Compare(file, reading.values);
    for (const boardconfig::Difference& d : differences)
        out << boardconfig::RegisterText(d.file)
            << FormatText("  file 0x%02X  device 0x%02X\n", d.file.value, d.deviceValue);
    return differences.empty() ? kExitOk : kExitDevice;
}

int LoadConfig(const CliRequest& request, const boardconfig::Settings& file, CTovin_I2C_Port& port,
               std::ostream& out, std::ostream& err)
{
    int status = kExitUsage;
    if (!DevicesAnswer(file, request.configFile, port, "nothing was written", err, status)) return status;
    const boardconfig::LoadResult result = boardconfig::Load(port, file, request.dryRun);
    if (result.failure == boardconfig::LoadResult::Failure::Read) {
        ReportReadFailure(result.failed, port, "nothing was written", err);
        return kExitDevice;
    }
    const auto change = [](const boardconfig::Difference& d) {
        return boardconfig::RegisterText(d.file) + FormatText("  0x%02X -> 0x%02X\n", d.deviceValue, d.file.value);
    };
    if (request.dryRun) {
        for (const boardconfig::Difference& d : result.differences) out << change(d);
        out << FormatText("dry run: %d register%s would be written; nothing was written\n",
                          static_cast<int>(result.differences.size()),
                          result.differences.size() == 1 ? "" : "s");
        return kExitOk;
    }
    // What was written: the differences, in order, as far as the writes went.
    for (size_t i = 0; i < result.written.size(); ++i) out << change(result.differences[i]);
    for (const int device : result.updated) out << FormatText("HMU%d: update sent\n", device);
    if (result.failure != boardconfig::LoadResult::Failure::None) {
        ReportUnfinishedLoad(result, port, err);
        return kExitDevice;
    }
    for (const boardconfig::Difference& d : result.notTaken)
        Message(err, "did not take: " + boardconfig::RegisterText(d.file) +
                         FormatText(": written 0x%02X, reads back 0x%02X", d.file.value, d.deviceValue));
    return result.notTaken.empty() ? kExitOk : kExitDevice;
}

}  // namespace cli
