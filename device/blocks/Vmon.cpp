#include "device/blocks/Vmon.h"

#include "device/HmuCommands.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Adc.h"

namespace vmon {
namespace {

using Row = std::array<int, kColumns>;
using Table = std::array<Row, kRows>;

// Characterised rows in millivolts. The over-voltage rows between them are
// interpolated; the under-voltage table is the over-voltage one moved up two
// rows, with its last two rows characterised on their own.
struct ListedRows {
    Row over0, over1, over15, over30, under29, under30;
};

constexpr ListedRows kRange1Rows = {
    {796, 948, 1128, 1342, 1591, 1899, 2261, 2685, 3182, 3790, 4863, 5792},
    {791, 943, 1122, 1335, 1583, 1889, 2249, 2671, 3165, 3770, 4837, 5761},
    {732, 872, 1038, 1235, 1464, 1747, 2081, 2471, 2928, 3488, 4475, 5330},
    {669, 796, 948, 1128, 1337, 1596, 1900, 2256, 2674, 3186, 4087, 4868},
    {664, 791, 942, 1121, 1329, 1586, 1888, 2242, 2657, 3165, 4061, 4837},
    {660, 786, 936, 1114, 1320, 1575, 1876, 2228, 2640, 3145, 4035, 4806},
};

constexpr ListedRows kRange2Rows = {
    {2274, 2700, 3200, 3757, 4431, 5236, 6171, 7200, 8429, 9874, 11520, 13292},
    {2262, 2687, 3184, 3738, 4409, 5210, 6141, 7164, 8387, 9825, 11462, 13226},
    {2103, 2498, 2960, 3475, 4098, 4844, 5709, 6660, 7797, 9134, 10656, 12295},
    {1933, 2295, 2720, 3193, 3766, 4451, 5246, 6120, 7165, 8393, 9792, 11298},
    {1921, 2282, 2704, 3174, 3744, 4425, 5215, 6084, 7123, 8344, 9734, 11232},
    {1910, 2268, 2688, 3155, 3722, 4399, 5184, 6048, 7081, 8294, 9677, 11166},
};

constexpr std::array<Row, 2> kLowRange = {{
    {76, 91, 108, 129, 152, 182, 216, 257, 305, 363, 466, 555},
    {227, 270, 320, 376, 443, 524, 617, 720, 843, 987, 1152, 1329},
}};

// Point at `step` of `steps` on the line from `from` to `to`, to the nearest
// millivolt (halves away from zero; every value here is positive).
constexpr int Interpolate(int from, int to, int step, int steps)
{
    const int scaled = from * (steps - step) + to * step;
    return (2 * scaled + steps) / (2 * steps);
}

constexpr Table OverTable(const ListedRows& rows)
{
    Table table{};
    for (int col = 0; col < kColumns; ++col) {
        table[0][col] = rows.over0[col];
        table[1][col] = rows.over1[col];
        for (int r = 2; r < 15; ++r)
            table[r][col] = Interpolate(rows.over1[col], rows.over15[col], r - 1, 14);
        table[15][col] = rows.over15[col];
        for (int r = 16; r < 30; ++r)
            table[r][col] = Interpolate(rows.over15[col], rows.over30[col], r - 15, 15);
        table[30][col] = rows.over30[col];
    }
    return table;
}

constexpr Table UnderTable(const ListedRows& rows)
{
    const Table over = OverTable(rows);
    Table table{};
    for (int r = 0; r + 2 < kRows; ++r)
        table[r] = over[r + 2];
    table[29] = rows.under29;
    table[30] = rows.under30;
    return table;
}

// [range - 1][direction]
constexpr std::array<std::array<Table, 2>, 2> kTables = {{
    {UnderTable(kRange1Rows), OverTable(kRange1Rows)},
    {UnderTable(kRange2Rows), OverTable(kRange2Rows)},
}};

int RangeIndex(Range range) { return range == Range::Range2 ? 1 : 0; }
int DirectionIndex(Direction direction) { return direction == Direction::Over ? 1 : 0; }

}  // namespace

int EntryFromCode(ThresholdCode code)
{
    const int a = code.coarse;
    const int b = code.fine;
    if (a < 0 || a >= kColumns || b < 0 || b > kLowFine || b == kLowFine - 1)
        return 0;
    if (b == kLowFine)
        return a;
    // Fine 31 lands on the last entry of the column before (31a + 11); the
    // lists have no row for it.
    return 31 * a - b + 42;
}

ThresholdCode CodeFromEntry(int entry)
{
    if (entry < 0 || entry >= kEntries)
        entry = 0;
    if (entry < kLowEntries)
        return {entry, kLowFine};
    const int offset = entry - kLowEntries;
    return {offset / kRows, (kRows - 1) - offset % kRows};
}

Range ChannelRange(int channel)
{
    return channel == kHvmonChannel ? Range::Range2 : Range::Range1;
}

Range ComparatorRange(int comparator)
{
    return ChannelRange(comparator / 2);
}

int TableMillivolts(Range range, Direction direction, int row, int column)
{
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns)
        return 0;
    return kTables[RangeIndex(range)][DirectionIndex(direction)][row][column];
}

int LowRangeMillivolts(Range range, int index)
{
    if (index < 0 || index >= kLowEntries)
        return 0;
    return kLowRange[RangeIndex(range)][index];
}

int EntryMillivolts(Range range, Direction direction, int entry)
{
    if (entry < 0 || entry >= kEntries)
        entry = 0;
    if (entry < kLowEntries)
        return LowRangeMillivolts(range, entry);
    const ThresholdCode code = CodeFromEntry(entry);
    return TableMillivolts(range, direction, code.fine, code.coarse);
}

double EntryVolts(Range range, Direction direction, int entry)
{
    return EntryMillivolts(range, direction, entry) / 1000.0;
}

double ThresholdVolts(Range range, Direction direction, ThresholdCode code)
{
    return EntryVolts(range, direction, EntryFromCode(code));
}

std::string EntryText(Range range, Direction direction, int entry)
{
    return FormatText("%3.3f V", EntryVolts(range, direction, entry));
}

std::vector<std::string> ThresholdListTexts(Range range, Direction direction)
{
    std::vector<std::string> texts;
    texts.reserve(kEntries);
    for (int entry = 0; entry < kEntries; ++entry)
        texts.push_back(EntryText(range, direction, entry));
    return texts;
}

ChannelConfig DecodeConfig(uint8_t config0, uint8_t config1, uint8_t config2)
{
    ChannelConfig config;
    config.a.fine = ((config1 << 2) | (config0 >> 6)) & 0x3F;
    config.a.coarse = config2 >> 4;
    config.b.fine = config0 & 0x3F;
    config.b.coarse = config2 & 0x0F;
    config.glitchFilter = (config1 & 0x20) != 0;
    config.windowMode = (config1 & 0x10) != 0;
    return config;
}

ConfigWrite EncodeConfig(const ChannelConfig& config)
{
    const int fineA = config.a.fine & 0x3F;
    ConfigWrite write;
    write.config0 = static_cast<uint8_t>(((fineA & 3) << 6) | (config.b.fine & 0x3F));
    write.config1Value = static_cast<uint8_t>((config.glitchFilter ? 0x20 : 0) |
                                              (config.windowMode ? 0x10 : 0) | (fineA >> 2));
    write.config1Mask = 0xC0;
    write.config2 = static_cast<uint8_t>(((config.a.coarse & 0x0F) << 4) | (config.b.coarse & 0x0F));
    return write;
}

RecordBit ComparatorRecordBit(int comparator)
{
    if (comparator < 0 || comparator >= kComparators)
        return {0, 0};  // select 0 carries no comparator
    if (comparator < 7)
        return {5, comparator + 1};
    if (comparator < 15)
        return {4, comparator - 7};
    return {3, comparator - 15};
}

void DecodeMonitorRecord(uint8_t select, uint8_t record, ComparatorStates& states)
{
    for (int j = 0; j < kComparators; ++j) {
        const RecordBit where = ComparatorRecordBit(j);
        if (where.select == select)
            states[j] = ((record >> where.bit) & 1) != 0;
    }
}

uint8_t EncodeMonitorRecord(uint8_t select, const ComparatorStates& states)
{
    int record = 0;
    for (int j = 0; j < kComparators; ++j) {
        const RecordBit where = ComparatorRecordBit(j);
        if (where.select == select && states[j])
            record |= 1 << where.bit;
    }
    return static_cast<uint8_t>(record);
}

std::string DirectionsSettingName(int device)
{
    return FormatText("VMON%d Directions", device);
}

std::vector<uint8_t> EncodeDirections(const Directions& directions)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(kDirectionsSize);
    for (Direction direction : directions) {
        const uint32_t value = static_cast<uint32_t>(direction);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
    return bytes;
}

std::optional<Directions> DecodeDirections(std::span<const uint8_t> bytes)
{
    if (bytes.size() != kDirectionsSize)
        return std::nullopt;
    Directions directions{};
    for (int j = 0; j < kComparators; ++j) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | bytes[4 * j + i];
        directions[j] = value == 1 ? Direction::Over : Direction::Under;
    }
    return directions;
}

float MeasureInput(CTovin_I2C_Port& port, int channel, bool* attenuated)
{
    return adc::MeasureVoltageRanged(port, InputSelector(channel), attenuated);
}

void MeasureVoltages(CTovin_I2C_Port& port, Values& values)
{
    for (int c = 0; c < kChannels; ++c) values.volts[c] = MeasureInput(port, c, &values.attenuated[c]);
}

void ReadComparatorStates(CTovin_I2C_Port& port, Values& values)
{
    for (const uint8_t select : kRecordSelects) {
        port.WriteRegister(hmu::kCmdWriteMonitor, hmu::kRegMonitorSelect, select);
        DecodeMonitorRecord(select, port.ReadRegister(hmu::kCmdReadMonitor, hmu::kRegMonitorRecord),
                            values.comparators);
    }
}

void ReadThresholds(CTovin_I2C_Port& port, Values& values)
{
    for (int c = 0; c < kChannels; ++c) {
        const uint8_t config0 = port.ReadRegister(hmu::kCmdReadConfig, Config0Register(c));
        const uint8_t config1 = port.ReadRegister(hmu::kCmdReadConfig, Config1Register(c));
        const uint8_t config2 = port.ReadRegister(hmu::kCmdReadConfig, Config2Register(c));
        const ChannelConfig config = DecodeConfig(config0, config1, config2);
        values.channels[c].a = config.a;
        values.channels[c].b = config.b;
    }
}

void ReadFilterBits(CTovin_I2C_Port& port, Values& values)
{
    for (int c = 0; c < kChannels; ++c) {
        const ChannelConfig bits = DecodeConfig(0, port.ReadRegister(hmu::kCmdReadConfig, Config1Register(c)), 0);
        values.channels[c].glitchFilter = bits.glitchFilter;
        values.channels[c].windowMode = bits.windowMode;
    }
}

Values Read(CTovin_I2C_Port& port)
{
    Values values;
    MeasureVoltages(port, values);
    ReadComparatorStates(port, values);
    ReadThresholds(port, values);
    ReadFilterBits(port, values);
    return values;
}

void Write(CTovin_I2C_Port& port, const std::array<ChannelConfig, kChannels>& channels)
{
    for (int c = 0; c < kChannels; ++c) {
        const ConfigWrite write = EncodeConfig(channels[c]);
        port.WriteRegister(hmu::kCmdWriteConfig, Config0Register(c), write.config0);
        port.MaskedWrite(Config1Register(c), write.config1Value, write.config1Mask);
        port.WriteRegister(hmu::kCmdWriteConfig, Config2Register(c), write.config2);
    }
    port.UpdateConfiguration();
}

}  // namespace vmon
