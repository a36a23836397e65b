#include "device/blocks/Imon.h"

#include <cmath>

#include "device/HmuCommands.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Adc.h"

namespace imon {

int GainOfRange(int rangeCode)
{
    static constexpr std::array<int, 4> kGains = {100, 50, 25, 10};
    return kGains[rangeCode & 3];
}

int TripPointEntry(int level, int range)
{
    for (int entry = 0; entry < kTripPoints; ++entry) {
        if (kTripPointTable[entry].level == (level & 3) && kTripPointTable[entry].range == (range & 3))
            return entry;
    }
    return 0;  // unreachable: the table holds every pair
}

float TripPointVolts(int entry)
{
    if (entry < 0 || entry >= kTripPoints)
        entry = 0;
    return kTripPointTable[entry].senseVolts;
}

std::optional<int> EntryOfTripPoint(float senseVolts)
{
    for (int entry = 0; entry < kTripPoints; ++entry) {
        if (kTripPointTable[entry].senseVolts == senseVolts)
            return entry;
    }
    return std::nullopt;
}

TripRegister DecodeTripRegister(uint8_t value)
{
    TripRegister decoded;
    decoded.entryA = TripPointEntry(value >> 6, value >> 2);
    decoded.entryB = TripPointEntry(value >> 4, value);
    decoded.gain = GainOfRange(value >> 2);
    return decoded;
}

TripWrite EncodeTripRegister(int entryA, int entryB)
{
    if (entryA < 0 || entryA >= kTripPoints)
        entryA = 0;
    if (entryB < 0 || entryB >= kTripPoints)
        entryB = 0;
    const TripPoint& a = kTripPointTable[entryA];
    const TripPoint& b = kTripPointTable[entryB];
    TripWrite write;
    write.value = static_cast<uint8_t>((a.level << 6) | (b.level << 4) | (a.range << 2) | b.range);
    write.gain = GainOfRange(a.range);
    return write;
}

uint8_t EncodeSettings(Settings settings)
{
    return static_cast<uint8_t>((settings.glitchFilter ? 0x10 : 0) | (settings.windowMode ? 0x08 : 0));
}

Settings DecodeSettings(uint8_t value)
{
    return {(value & 0x10) != 0, (value & 0x08) != 0};
}

float UsableSenseResistance(float storedOhms)
{
    if (!std::isfinite(storedOhms) || storedOhms <= 0.0f)
        return kDefaultSenseResistance;
    return storedOhms;
}

float CurrentAmps(float volts, int gain, float ohms)
{
    if (gain <= 0)
        return 0.0f;
    return volts / (static_cast<float>(gain) * UsableSenseResistance(ohms));
}

std::string CurrentText(float amps)
{
    return FormatText("%0.3f Amps", static_cast<double>(amps));
}

std::string TripPointText(int entry, float ohms)
{
    const float amps = TripPointVolts(entry) / UsableSenseResistance(ohms);
    return FormatText("%3.3f Amps", static_cast<double>(amps));
}

std::vector<std::string> TripPointListTexts(float ohms)
{
    std::vector<std::string> texts;
    texts.reserve(kTripPoints);
    for (int entry = 0; entry < kTripPoints; ++entry)
        texts.push_back(TripPointText(entry, ohms));
    return texts;
}

std::string ResistorCaption(float ohms)
{
    const float milliohms = UsableSenseResistance(ohms) * 1000.0f;
    return FormatText("%4.1f mOhms", static_cast<double>(milliohms));
}

std::string SenseResistorSettingName(int device, int monitor)
{
    return FormatText("HMU%d_IMON%d_SenseResistor", device, monitor);
}

RecordBit ComparatorRecordBit(int monitor, int comparator)
{
    if (monitor == 0)
        return comparator == 0 ? RecordBit{3, 7} : RecordBit{2, 0};
    return comparator == 0 ? RecordBit{3, 5} : RecordBit{3, 6};
}

float MeasureVolts(CTovin_I2C_Port& port, int monitor)
{
    return adc::MeasureVoltage(port, monitor);
}

int SenseRangeFigure(int value)
{
    return DecodeTripRegister(static_cast<uint8_t>(value)).gain;
}

int ReadSenseRange(CTovin_I2C_Port& port, int monitor, uint8_t* raw)
{
    const uint8_t value = port.ReadRegister(hmu::kCmdReadConfig, RegistersOf(monitor).tripRegister);
    if (raw != nullptr) *raw = value;
    return SenseRangeFigure(value);
}

int WriteSenseRange(CTovin_I2C_Port& port, int monitor, int value)
{
    port.WriteRegister(hmu::kCmdWriteConfig, RegistersOf(monitor).tripRegister, value);
    return SenseRangeFigure(value);
}

int ReadGain(CTovin_I2C_Port& port, int monitor)
{
    return ReadSenseRange(port, monitor, nullptr);
}

bool ReadComparatorStates(CTovin_I2C_Port& port, Values& values)
{
    constexpr int kPolls = 3;
    bool allReady = true;
    for (const uint8_t select : kRecordSelects) {
        port.WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegMonitorSelect, select);
        bool ready = false;
        for (int poll = 0; poll < kPolls && !ready; ++poll)
            ready = (port.ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorSelect) & hmu::kRecordReady) != 0;
        if (!ready) {
            allReady = false;
            continue;
        }
        const uint8_t record = port.ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorRecord);
        for (int m = 0; m < kMonitors; ++m)
            for (int k = 0; k < 2; ++k) {
                const RecordBit where = ComparatorRecordBit(m, k);
                if (where.select == select) values[m].comparators[k] = ((record >> where.bit) & 1) != 0;
            }
    }
    return allReady;
}

void Read(CTovin_I2C_Port& port, Values& values)
{
    for (int m = 0; m < kMonitors; ++m) values[m].volts = MeasureVolts(port, m);
    ReadComparatorStates(port, values);
    for (int m = 0; m < kMonitors; ++m) {
        uint8_t raw = 0;
        values[m].gain = ReadSenseRange(port, m, &raw);
        const TripRegister trip = DecodeTripRegister(raw);
        values[m].tripEntries = {trip.entryA, trip.entryB};
    }
    for (int m = 0; m < kMonitors; ++m)
        values[m].settings = DecodeSettings(port.ReadRegister(hmu::kCmdReadConfig, RegistersOf(m).settingsRegister));
}

void Write(CTovin_I2C_Port& port, Values& values)
{
    for (int m = 0; m < kMonitors; ++m) {
        const TripWrite trip = EncodeTripRegister(values[m].tripEntries[0], values[m].tripEntries[1]);
        values[m].gain = WriteSenseRange(port, m, trip.value);
    }
    port.UpdateConfiguration();
    for (int m = 0; m < kMonitors; ++m)
        port.WriteRegister(hmu::kCmdWriteConfig, RegistersOf(m).settingsRegister, EncodeSettings(values[m].settings));
    port.UpdateConfiguration();
}

}  // namespace imon
