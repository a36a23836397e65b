#include "device/blocks/Tmon.h"

#include "device/DemoRegisterFile.h"
#include "device/HmuCommands.h"
#include "device/MeasureCodes.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"

namespace tmon {
namespace {

constexpr int kCodeMask = 0x1FF;
constexpr int kZeroEntry = kHighestDegrees;  // the entry that shows 0 °C
constexpr int kFirstNegativeCode = 512 + kLowestDegrees;  // 448, -64 °C

}  // namespace

int EntryFromCode(int code)
{
    if (code >= 0 && code <= kHighestDegrees)
        return kHighestDegrees - code;
    if (code >= kFirstNegativeCode && code <= kCodeMask)
        return 667 - code;
    return kZeroEntry;
}

int CodeFromEntry(int entry)
{
    if (entry >= 0 && entry <= kZeroEntry)
        return kHighestDegrees - entry;
    if (entry > kZeroEntry && entry < kEntries)
        return 667 - entry;
    return 0;
}

int EntryDegrees(int entry)
{
    return kHighestDegrees - entry;
}

std::string EntryText(int entry)
{
    // "\xC2\xB0" is the degree sign in UTF-8.
    return FormatText("%d \xC2\xB0" "C", EntryDegrees(entry));
}

std::vector<std::string> ThresholdListTexts()
{
    std::vector<std::string> texts;
    texts.reserve(kEntries);
    for (int entry = 0; entry < kEntries; ++entry)
        texts.push_back(EntryText(entry));
    return texts;
}

int DegreesOfCode(int code)
{
    code &= kCodeMask;
    return code >= 256 ? code - 512 : code;
}

int CodeOfDegrees(int degrees)
{
    return degrees & kCodeMask;
}

Thresholds DecodeThresholds(uint8_t r3, uint8_t r4, uint8_t r5)
{
    Thresholds codes;
    codes.codeA = ((r3 >> 1) << 2) | (r4 & 3);
    codes.codeB = ((r4 >> 2) << 3) | (r5 & 7);
    return codes;
}

ThresholdRegisters EncodeThresholds(Thresholds codes, uint8_t lastR3, uint8_t lastR5)
{
    const int a = codes.codeA & kCodeMask;
    const int b = codes.codeB & kCodeMask;
    ThresholdRegisters regs;
    regs.r3 = static_cast<uint8_t>(((a >> 2) << 1) | (lastR3 & 1));
    regs.r4 = static_cast<uint8_t>(((b >> 3) << 2) | (a & 3));
    regs.r5 = static_cast<uint8_t>((lastR5 & 0xF8) | (b & 7));
    return regs;
}

ComparatorStates DecodeComparatorStats(uint8_t statA, uint8_t statB)
{
    ComparatorStates states{};
    for (int t = 0; t < kMonitors; ++t) {
        states[2 * t] = ((statA >> t) & 1) != 0;
        states[2 * t + 1] = ((statB >> t) & 1) != 0;
    }
    return states;
}

StatRegisters EncodeComparatorStats(const ComparatorStates& states)
{
    int statA = 0;
    int statB = 0;
    for (int t = 0; t < kMonitors; ++t) {
        statA |= (states[2 * t] ? 1 : 0) << t;
        statB |= (states[2 * t + 1] ? 1 : 0) << t;
    }
    return {static_cast<uint8_t>(statA), static_cast<uint8_t>(statB)};
}

float ReadTemperature(CTovin_I2C_Port& port, int monitor)
{
    if (CDemoRegisterFile* demo = port.DemoFile()) return demo->NextTemperature();
    const uint8_t high = port.ReadRegister(hmu::kCmdReadMonitor, MeasHighRegister(monitor));
    const uint8_t low = port.ReadRegister(hmu::kCmdReadMonitor, MeasLowRegister(monitor));
    return measure::TemperatureFromCode(measure::TemperatureCode(high, low));
}

ComparatorStates ReadComparatorStates(CTovin_I2C_Port& port)
{
    const uint8_t statA = port.ReadRegister(hmu::kCmdReadMonitor, kStatARegister);
    const uint8_t statB = port.ReadRegister(hmu::kCmdReadMonitor, kStatBRegister);
    return DecodeComparatorStats(statA, statB);
}

Values Read(CTovin_I2C_Port& port)
{
    Values values;
    for (int t = 0; t < kMonitors; ++t) values.temperatures[t] = ReadTemperature(port, t);
    values.comparators = ReadComparatorStates(port);
    for (int t = 0; t < kMonitors; ++t) {
        ThresholdRegisters& regs = values.registers[t];
        regs.r3 = port.ReadRegister(hmu::kCmdReadConfig, Config3Register(t));
        regs.r4 = port.ReadRegister(hmu::kCmdReadConfig, Config4Register(t));
        regs.r5 = port.ReadRegister(hmu::kCmdReadConfig, Config5Register(t));
        values.thresholds[t] = DecodeThresholds(regs.r3, regs.r4, regs.r5);
    }
    return values;
}

void Write(CTovin_I2C_Port& port, Values& values, const std::array<Thresholds, kMonitors>& codes)
{
    for (int t = 0; t < kMonitors; ++t) {
        const ThresholdRegisters regs = EncodeThresholds(codes[t], values.registers[t].r3, values.registers[t].r5);
        port.WriteRegister(hmu::kCmdWriteConfig, Config3Register(t), regs.r3);
        port.WriteRegister(hmu::kCmdWriteConfig, Config4Register(t), regs.r4);
        port.WriteRegister(hmu::kCmdWriteConfig, Config5Register(t), regs.r5);
        values.registers[t] = regs;
        values.thresholds[t] = codes[t];
    }
    port.UpdateConfiguration();
}

}  // namespace tmon
