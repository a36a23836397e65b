#include "pages/TmonCodes.h"

#include "pages/TextFormat.h"

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

int Config3Register(int monitor) { return 59 + 9 * monitor; }
int Config4Register(int monitor) { return 60 + 9 * monitor; }
int Config5Register(int monitor) { return 61 + 9 * monitor; }

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

}  // namespace tmon
