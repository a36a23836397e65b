#include "logging/LogWriter.h"

#include <iomanip>
#include <locale>
#include <sstream>

#include "util/Version.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Vmon.h"
#include "link/CableLock.h"
#include "link/I2C_FTDI.h"
#include "logging/LogFile.h"
#include "util/OsVersion.h"

using logsel::Group;

const char* LogLineKind(Group group)
{
    switch (group) {
    case Group::Vmon: return "VMON";
    case Group::Hvout: return "HVOUT";
    case Group::Gpio: return "GPIO";
    case Group::Tmon: return "TMON";
    case Group::Imon: return "IMON";
    }
    return "";
}

namespace {

std::optional<std::tm> LocalTime(std::time_t when)
{
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &when) != 0) return std::nullopt;
#else
    if (localtime_r(&when, &local) == nullptr) return std::nullopt;
#endif
    return local;
}

// Whether a reading failed: the port counts every transaction that failed
// all its attempts and every result whose ready bit never came, and gives 0
// or a stale value for them, which the value itself cannot show.
class CReadingWatch {
public:
    explicit CReadingWatch(const CTovin_I2C_Port& port)
        : m_port(port), m_failed(port.FailedTransactions()), m_unready(port.UnreadyResults())
    {
    }
    bool Failed() const { return m_port.FailedTransactions() != m_failed || m_port.UnreadyResults() != m_unready; }

private:
    const CTovin_I2C_Port& m_port;
    uint64_t m_failed;
    uint64_t m_unready;
};

// Reads the device's selected channels in the order the lines come; the pin
// records and the identification are read whatever is selected. A channel
// whose reading failed is named instead of given a value.
LogDeviceBlock ReadDevice(CTovin_I2C_Port& port, int device, const logsel::LogSelection& selection,
                          const SenseResistance& senseOhms)
{
    LogDeviceBlock block{device, {}, {}};
    const auto selected = [&](Group group, int number) {
        return logsel::Selected(selection, device, logsel::Channel(group, number));
    };
    const auto add = [&](Group group, int number, double value, bool failed) {
        const int channel = logsel::Channel(group, number);
        if (failed)
            block.failedChannels.push_back(channel);
        else
            block.values.push_back({device, channel, value});
    };

    for (int c = 0; c < vmon::kChannels; ++c) {
        if (!selected(Group::Vmon, c + 1)) continue;
        const CReadingWatch watch(port);
        const double volts = vmon::MeasureInput(port, c);
        add(Group::Vmon, c + 1, volts, watch.Failed());
    }

    gpio::PinRecords pins;
    const CReadingWatch highWatch(port);
    pins.record2 = gpio::ReadPinRecord(port, gpio::kPinRecordHigh);
    const bool highFailed = highWatch.Failed();
    for (int h = 0; h < 4; ++h)
        if (selected(Group::Hvout, h + 1)) add(Group::Hvout, h + 1, gpio::HvoutLevel(pins, h) ? 1 : 0, highFailed);

    const CReadingWatch identificationWatch(port);
    const uint8_t identification = gpio::ReadIdentification(port);
    const bool identificationFailed = identificationWatch.Failed();
    const CReadingWatch lowWatch(port);
    pins.record1 = gpio::ReadPinRecord(port, gpio::kPinRecordLow);
    const bool lowFailed = lowWatch.Failed();
    for (int p = 0; p < gpio::kPins; ++p) {
        // Without the identification nobody knows whether the device has GPIO7.
        const bool unknownPin = identificationFailed && p == gpio::kGpio7;
        if (!unknownPin && !gpio::PinUsable(identification, p)) continue;
        if (selected(Group::Gpio, p + 1))
            add(Group::Gpio, p + 1, gpio::PinLevel(pins, p) ? 1 : 0, lowFailed || unknownPin);
    }

    for (int t = 0; t < tmon::kMonitors; ++t) {
        if (!selected(Group::Tmon, t + 1)) continue;
        const CReadingWatch watch(port);
        const double celsius = tmon::ReadTemperature(port, t);
        add(Group::Tmon, t + 1, celsius, watch.Failed());
    }

    for (int m = 0; m < imon::kMonitors; ++m) {
        if (!selected(Group::Imon, m + 1)) continue;
        // The current needs both the amplifier voltage and its gain.
        const CReadingWatch watch(port);
        const float volts = imon::MeasureVolts(port, m);
        const int gain = imon::ReadGain(port, m);
        const float ohms = senseOhms ? senseOhms(device, m) : imon::kDefaultSenseResistance;
        add(Group::Imon, m + 1, imon::CurrentAmps(volts, gain, ohms), watch.Failed());
    }
    return block;
}

}  // namespace

std::string LogValueName(int device, int channel)
{
    return FormatText("HMU%d_%s", device, LogChannelName(channel).c_str());
}

std::string LogChannelName(int channel)
{
    return FormatText("%s%d", LogLineKind(logsel::GroupOf(channel)), logsel::NumberInGroup(channel));
}

int LogRecord::FailedReadings() const
{
    int failed = 0;
    for (const LogDeviceBlock& block : devices) failed += static_cast<int>(block.failedChannels.size());
    return failed;
}

std::string FormatLogLine(const LogValue& value)
{
    const Group group = logsel::GroupOf(value.channel);
    const int number = logsel::NumberInGroup(value.channel);
    switch (group) {
    case Group::Vmon:
        return FormatText("%2.3f, HMU%d_VMON%d\n", value.value, value.device, number);
    case Group::Hvout:
        return FormatText("%u, HMU%d_HVOUT%d\n", value.value != 0.0 ? 1u : 0u, value.device, number);
    case Group::Gpio:
        return FormatText("%u, HMU%d_GPIO%d\n", value.value != 0.0 ? 1u : 0u, value.device, number);
    case Group::Tmon:
        return FormatText("%0.3f, HMU%d_TMON%d\n", value.value, value.device, number);
    case Group::Imon:
        return FormatText("%0.3f, HMU%d_IMON%d\n", value.value, value.device, number);
    }
    return {};
}

std::string FormatLogRecord(const LogRecord& record)
{
    std::string text;
    for (const LogDeviceBlock& block : record.devices) {
        text += FormatText("Record %d Value, Name\n", record.number);
        for (const LogValue& value : block.values) text += FormatLogLine(value);
    }
    return text;
}

std::string FormatLogHeader(const LogHeader& header)
{
    std::string text;
    text += FormatText("Norvane Semiconductor Sentrix II I2C Utility version: %s\n", header.programVersion.c_str());
    text += FormatText("FTDI driver version: 0x%08X\n", static_cast<unsigned>(header.driverVersion));
    text += FormatText("FTDI library version: 0x%08X\n", static_cast<unsigned>(header.libraryVersion));
    text += FormatText("OS Version: %s\n", header.osText.c_str());
    text += FormatText("Logging interval: %d sec, Total logs: %d (0 - unlimited)\n", header.delaySeconds,
                       header.totalRecords);
    if (header.localTime) {
        // English day and month names whatever locale the user has chosen.
        std::ostringstream date;
        date.imbue(std::locale::classic());
        date << std::put_time(&*header.localTime, "%A, %B %d, %Y %H:%M:%S");
        if (date) text += date.str() + "\n\n";
    }
    return text;
}

LogHeader MakeLogHeader(CI2C_FTDI& link, int delaySeconds, int totalRecords, std::time_t now)
{
    LogHeader header;
    header.programVersion = ProgramVersion();
    header.driverVersion = link.GetDriverVersion();
    header.libraryVersion = link.GetLibraryVersion();
    GetOsVersionText(header.osText);
    header.delaySeconds = delaySeconds;
    header.totalRecords = totalRecords;
    header.localTime = LocalTime(now);
    return header;
}

LogRecord ReadLogRecord(CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                        const SenseResistance& senseOhms)
{
    LogRecord record{number, {}};
    CCableLock lock;
    const int current = port.GetHmuIndex();
    for (int d = 0; d < logsel::kDevices; ++d) {
        if (!port.ProbeHmu(d)) continue;
        port.SetHmuIndex(d);
        record.devices.push_back(ReadDevice(port, d, selection, senseOhms));
    }
    port.SetHmuIndex(current);
    return record;
}

bool WriteLogHeader(CLogFile& file, CTovin_I2C_Port& port, int delaySeconds, int totalRecords, std::time_t now)
{
    const std::string text = FormatLogHeader(MakeLogHeader(port.GetLink(), delaySeconds, totalRecords, now));
    return file.WriteWhole(text);
}

bool WriteLogRecord(CLogFile& file, CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                    const SenseResistance& senseOhms, LogRecord* written)
{
    LogRecord record = ReadLogRecord(port, number, selection, senseOhms);
    const bool ok = file.WriteWhole(FormatLogRecord(record));
    if (written) *written = std::move(record);
    return ok;
}
