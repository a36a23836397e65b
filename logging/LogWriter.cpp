#include "logging/LogWriter.h"

#include <iomanip>
#include <locale>
#include <sstream>

#include "device/ReadingWatch.h"
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

// The readings of one device, in the order the lines come: the probe, each
// VMON, the pin records with the identification (read whatever is selected),
// each TMON, each IMON. A channel whose reading failed is named instead of
// given a value.
constexpr int kProbeUnit = 0;
constexpr int kFirstVmonUnit = 1;
constexpr int kPinsUnit = kFirstVmonUnit + vmon::kChannels;
constexpr int kFirstTmonUnit = kPinsUnit + 1;
constexpr int kFirstImonUnit = kFirstTmonUnit + tmon::kMonitors;
constexpr int kDeviceUnits = kFirstImonUnit + imon::kMonitors;

// One reading unit after the probe; the port addresses the device already.
void ReadDeviceUnit(CTovin_I2C_Port& port, int unit, const logsel::LogSelection& selection,
                    const SenseResistance& senseOhms, LogDeviceBlock& block)
{
    const int device = block.device;
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

    if (unit >= kFirstVmonUnit && unit < kPinsUnit) {
        const int c = unit - kFirstVmonUnit;
        if (!selected(Group::Vmon, c + 1)) return;
        const CReadingWatch watch(port);
        const double volts = vmon::MeasureInput(port, c);
        add(Group::Vmon, c + 1, volts, watch.Failed());
    } else if (unit == kPinsUnit) {
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
    } else if (unit >= kFirstTmonUnit && unit < kFirstImonUnit) {
        const int t = unit - kFirstTmonUnit;
        if (!selected(Group::Tmon, t + 1)) return;
        const CReadingWatch watch(port);
        const double celsius = tmon::ReadTemperature(port, t);
        add(Group::Tmon, t + 1, celsius, watch.Failed());
    } else if (unit >= kFirstImonUnit && unit < kDeviceUnits) {
        const int m = unit - kFirstImonUnit;
        if (!selected(Group::Imon, m + 1)) return;
        // The current needs both the amplifier voltage and its gain.
        const CReadingWatch watch(port);
        const float volts = imon::MeasureVolts(port, m);
        const int gain = imon::ReadGain(port, m);
        const float ohms = senseOhms ? senseOhms(device, m) : imon::kDefaultSenseResistance;
        add(Group::Imon, m + 1, imon::CurrentAmps(volts, gain, ohms), watch.Failed());
    }
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

CLogRecordReader::CLogRecordReader(CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                                   const SenseResistance& senseOhms)
    : m_port(port), m_selection(selection), m_senseOhms(senseOhms), m_record{number, {}}
{
}

bool CLogRecordReader::Step(std::chrono::microseconds budget)
{
    if (Done()) return true;
    const auto start = std::chrono::steady_clock::now();
    CCableLock lock;
    const int current = m_port.GetHmuIndex();
    const int device = m_device;
    do {
        if (m_unit == kProbeUnit) {
            if (!m_port.ProbeHmu(device)) {
                NextDevice();
                break;
            }
            m_port.SetHmuIndex(device);
            m_record.devices.push_back(LogDeviceBlock{device, {}, {}});
        } else {
            m_port.SetHmuIndex(device);
            ReadDeviceUnit(m_port, m_unit, m_selection, m_senseOhms, m_record.devices.back());
        }
        if (++m_unit == kDeviceUnits) {
            NextDevice();
            break;
        }
    } while (std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) < budget);
    ++m_steps;
    m_port.SetHmuIndex(current);
    return Done();
}

void CLogRecordReader::NextDevice()
{
    ++m_device;
    m_unit = kProbeUnit;
}

LogRecord ReadLogRecord(CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                        const SenseResistance& senseOhms)
{
    // One lock for the whole record: the steps' own locks only count.
    CCableLock lock;
    CLogRecordReader reader(port, number, selection, senseOhms);
    while (!reader.Step(std::chrono::microseconds::max())) {
    }
    return reader.Take();
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
