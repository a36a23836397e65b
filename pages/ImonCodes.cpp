#include "pages/ImonCodes.h"

#include <cmath>

#include "pages/TextFormat.h"

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

MonitorRegisters RegistersOf(int monitor)
{
    if (monitor == 0)
        return {0x10, 52, 53};
    return {0x13, 54, 55};
}

RecordBit ComparatorRecordBit(int monitor, int comparator)
{
    if (monitor == 0)
        return comparator == 0 ? RecordBit{3, 7} : RecordBit{2, 0};
    return comparator == 0 ? RecordBit{3, 5} : RecordBit{3, 6};
}

}  // namespace imon
