#include "logging/LogReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <limits>

#include "util/PathText.h"
#include "util/TextFormat.h"

namespace logread {

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonthNames = {"January", "February", "March",     "April",
                                                          "May",     "June",     "July",      "August",
                                                          "September", "October", "November", "December"};

constexpr std::string_view kVersionLine = "Norvane Semiconductor Sentrix II I2C Utility version: ";
constexpr std::string_view kDriverLine = "FTDI driver version: ";
constexpr std::string_view kLibraryLine = "FTDI library version: ";
constexpr std::string_view kOsLine = "OS Version: ";
constexpr std::string_view kIntervalLine = "Logging interval: ";
constexpr std::string_view kRecordLine = "Record ";
constexpr std::string_view kRecordLineEnd = " Value, Name";

// The longest logging interval the loggers take: one day. Record times then
// stay within what a clock can show.
constexpr int kMaxInterval = 86400;

// Longer lines are not the logger's; they are skipped without being kept.
constexpr size_t kMaxLine = 4096;

constexpr size_t kKeys = kChannelKeys;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A whole decimal number of digits only, up to INT_MAX.
std::optional<int> ParseCount(std::string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Consumes `prefix` from the front of `text`.
bool Take(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// Consumes digits from the front of `text`: exactly `width` of them when
// width > 0, else one or more.
std::optional<int> TakeNumber(std::string_view& text, size_t width = 0)
{
    size_t digits = 0;
    while (digits < text.size() && IsDigit(text[digits]) && (width == 0 || digits < width)) ++digits;
    if (digits == 0 || (width != 0 && digits != width) || digits > 9) return std::nullopt;
    const std::optional<int> value = ParseCount(text.substr(0, digits));
    text.remove_prefix(digits);
    return value;
}

std::optional<uint32_t> ParseHex32(std::string_view text)
{
    if (!Take(text, "0x") || text.empty() || text.size() > 8) return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The line as a message may show it, quoted: control and 8-bit characters
// escaped, cut short after 60 characters.
std::string Quote(std::string_view line)
{
    return "'" + ShownText(line, 60) + "'";
}

long long DaysFromCivil(int year, int month, int day)
{
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                    1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A number as the logger writes it, "-1.250": a sign, digits without a
// leading zero, a point with digits after it, at most 15 digits in all so
// that their integer and the power of ten are exact doubles and one
// division gives the nearest double, as from_chars does. False for any
// other text, which from_chars then reads. The division is left to those
// who want the value: it costs more than the rest of the line.
struct PlainDigits {
    uint64_t units = 0;
    size_t fraction = 0;
    bool negative = false;
    double Value() const
    {
        const double value = static_cast<double>(units) / kPowersOfTen[fraction];
        return negative ? -value : value;
    }
    // 0 or 1 (also "-0" and "1.000"), without the division.
    bool IsState() const
    {
        static constexpr uint64_t kUnitsOfOne[] = {1,      10,      100,      1000,      10000,
                                                   100000, 1000000, 10000000, 100000000, 1000000000};
        return units == 0 || (!negative && units == kUnitsOfOne[fraction]);
    }
};

// Reads a plain number from `begin`, no further than `limit`: where it
// stopped, or null when the text there is not one.
const char* ReadPlainNumber(const char* begin, const char* limit, PlainDigits& digits)
{
    const char* at = begin;
    digits.negative = at < limit && *at == '-';
    if (digits.negative) ++at;
    const char* const first = at;
    uint64_t units = 0;
    while (at < limit && IsDigit(*at)) units = units * 10 + static_cast<uint64_t>(*at++ - '0');
    const auto whole = static_cast<size_t>(at - first);
    if (whole == 0 || (whole > 1 && *first == '0')) return nullptr;
    size_t fraction = 0;
    if (at < limit && *at == '.') {
        const char* const point = ++at;
        while (at < limit && IsDigit(*at)) units = units * 10 + static_cast<uint64_t>(*at++ - '0');
        fraction = static_cast<size_t>(at - point);
        if (fraction == 0) return nullptr;
    }
    if (whole + fraction > 15 || fraction > 9) return nullptr;
    digits.units = units;
    digits.fraction = fraction;
    return at;
}

bool PlainNumber(std::string_view text, PlainDigits& digits)
{
    const char* const end = text.data() + text.size();
    return !text.empty() && ReadPlainNumber(text.data(), end, digits) == end;
}

// Line names by device and channel, to know a name again at the cost of a
// comparison: the logger writes a device's channels in their order. Each is
// kept as its length and its first and last eight bytes (every name has
// more than eight), compared without a loop whose end the processor guesses.
struct KnownName {
    size_t size = 0;
    uint64_t head = 0;
    uint64_t tail = 0;
};

KnownName Known(std::string_view name)
{
    KnownName known;
    known.size = name.size();
    if (name.size() < 8) return known;
    std::memcpy(&known.head, name.data(), 8);
    std::memcpy(&known.tail, name.data() + name.size() - 8, 8);
    return known;
}

const std::array<KnownName, kDevices * kChannels>& ChannelNames()
{
    static const std::array<KnownName, kDevices * kChannels> names = [] {
        std::array<KnownName, kDevices * kChannels> all;
        for (int d = 0; d < kDevices; ++d)
            for (int c = 0; c < kChannels; ++c) all[static_cast<size_t>(d * kChannels + c)] = Known(LogValueName(d, c));
        return all;
    }();
    return names;
}

bool IsName(std::string_view name, const KnownName& known)
{
    if (name.size() != known.size || name.size() < 8) return false;
    uint64_t head = 0;
    uint64_t tail = 0;
    std::memcpy(&head, name.data(), 8);
    std::memcpy(&tail, name.data() + name.size() - 8, 8);
    return head == known.head && tail == known.tail;
}

// The quantity of each channel, looked up once per value line.
const std::array<Quantity, kChannels>& Quantities()
{
    static const std::array<Quantity, kChannels> quantities = [] {
        std::array<Quantity, kChannels> all{};
        for (int c = 0; c < kChannels; ++c) all[static_cast<size_t>(c)] = QuantityOf(c);
        return all;
    }();
    return quantities;
}

// CLogData as a reader's sink.
class CDataSink : public CLogSink {
public:
    explicit CDataSink(CLogData& data) : m_data(data) {}
    void Record(int record) override { m_data.AddRecord(record); }
    bool Value(int record, ChannelId id, double value, int decimals, std::string_view) override
    {
        return m_data.Add(record, id.device, id.channel, value, decimals);
    }

private:
    CLogData& m_data;
};

// Reads the lines of one log into a result and a sink, one line at a time.
class CParser {
public:
    // `expectedBytes`: the file's size when known, for `data` to take room
    // for its records once the first is read.
    CParser(LogReadResult& result, CLogSink& sink, CLogData* data = nullptr, uint64_t expectedBytes = 0)
        : m_result(result), m_sink(sink), m_wantsValues(sink.WantsValues()), m_data(data), m_expectedBytes(expectedBytes)
    {
    }

    // The whole lines of `text`, up to its last line end; gives how many
    // bytes that is. A value line the logger wrote in the usual order is
    // read where it starts, without a search for its end first.
    size_t Lines(std::string_view text)
    {
        const char* const begin = text.data();
        const char* const end = begin + text.size();
        const char* at = begin;
        while (at < end) {
            if (m_inRecords && !m_skipping && UsualValueLine(at, end)) continue;
            const auto* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            if (lineEnd == nullptr) break;
            const auto size = static_cast<size_t>(lineEnd - at);
            if (size > kMaxLine) LongLine();
            else Line(std::string_view(at, size));
            at = lineEnd + 1;
        }
        return static_cast<size_t>(at - begin);
    }

    void Line(std::string_view line)
    {
        ++m_line;
        m_bytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;
        if (line[0] == 'R' && line.substr(0, kRecordLine.size()) == kRecordLine) {
            RecordLine(line);
        } else if (!m_inRecords) {
            if (HeaderLine(line)) {
                m_recognised = true;
            } else {
                Problem(line.find(", HMU") != std::string_view::npos ? "a value before the first record line: "
                                                                      : "not a header line: ",
                        Quote(line));
            }
        } else if (!m_skipping) {
            ValueLine(line);
        }
    }

    bool Recognised() const { return m_recognised; }

    void LongLine()
    {
        ++m_line;
        Problem("the line is too long for a log line", "");
    }

    // `rest`: what followed the last line end.
    void Finish(std::string_view rest, bool tooLong, size_t bytes)
    {
        if (!rest.empty() || tooLong) m_result.cutLine = m_line + 1;
        m_result.lines = m_line + (m_result.cutLine ? 1 : 0);
        if (m_recognised) {
            m_result.ok = true;
        } else {
            m_result.error = bytes == 0 ? "the file is empty"
                                        : "not a log file: it has no log header and no record line";
        }
    }

private:
    void Problem(std::string_view what, const std::string& detail)
    {
        ++m_result.problemCount;
        if (m_result.problems.size() < LogReadResult::kMaxProblems)
            m_result.problems.push_back({m_line, std::string(what) + detail});
    }

    void RecordLine(std::string_view line)
    {
        std::string_view rest = line.substr(kRecordLine.size());
        const std::optional<int> number = TakeNumber(rest);
        if (!number || rest != kRecordLineEnd || *number < 1) {
            Problem("not a record line, its lines are skipped: ", Quote(line));
            m_skipping = m_inRecords;
            return;
        }
        m_recognised = true;
        if (!m_inRecords) m_sink.Header(m_result.data.info);
        m_inRecords = true;
        if (*number < m_record) {
            Problem("record " + std::to_string(*number) + " comes after record " + std::to_string(m_record) +
                        ", its lines are skipped",
                    "");
            m_skipping = true;
            return;
        }
        if (*number != m_record) NewRecord();
        m_record = *number;
        m_result.lastRecord = m_record;
        m_skipping = false;
        m_sink.Record(m_record);
    }

    // At the second record the size of one is known: room for as many as
    // the file will hold, with a little to spare.
    void NewRecord()
    {
        if (++m_distinctRecords == 1) m_firstRecordAt = m_bytes;
        // From the average of the first records, not the first alone: one
        // without its values (no device answered) would reserve for millions.
        constexpr int kMeasured = 16;
        if (m_distinctRecords != kMeasured + 1 || m_data == nullptr || m_expectedBytes == 0) return;
        const uint64_t perRecord = std::max<uint64_t>((m_bytes - m_firstRecordAt) / uint64_t{kMeasured}, 1);
        const uint64_t records = (m_expectedBytes - std::min(m_expectedBytes, m_firstRecordAt)) / perRecord;
        m_data->Reserve(static_cast<size_t>(std::min<uint64_t>(records + records / 32 + 16, 1u << 26)));
    }

    // Plain out-parameters: an optional copied on every line costs more than the line.
    bool Channel(std::string_view name, ChannelId& id)
    {
        const size_t guess = m_next[m_lastKey];
        if (IsName(name, m_names[guess])) {
            m_lastKey = guess;
            id = IdOf(guess);
            return true;
        }
        const std::optional<ChannelId> parsed = ParseChannelName(name);
        if (!parsed) return false;
        id = *parsed;
        const auto key = static_cast<size_t>(id.device * kChannels + id.channel);
        // The logger leaves out the channels not selected: next time the
        // guess is the channel that came after this one now.
        m_next[m_lastKey] = key;
        m_lastKey = key;
        return true;
    }

    static std::array<size_t, kKeys + 1> FirstGuesses()
    {
        std::array<size_t, kKeys + 1> next{};
        for (size_t key = 0; key <= kKeys; ++key) next[key] = key + 1 < kKeys ? key + 1 : 0;
        return next;
    }

    // A value line as the logger writes it, "1.250, HMU0_VMON3" and its line
    // end, of the channel after the last one (or the one that followed it
    // before): read, and `at` moved past it. False for any other line (a
    // record line, one with CR LF, a channel out of turn), which Line reads.
    bool UsualValueLine(const char*& at, const char* end)
    {
        // The number read as PlainNumber reads it, up to the comma: any
        // other form is read the slow way. A plain number has at most 15
        // digits, so that 24 characters hold any.
        const char* const limit = end - at > 24 ? at + 24 : end;
        PlainDigits digits;
        const char* const comma = ReadPlainNumber(at, limit, digits);
        if (comma == nullptr) return false;
        if (end - comma < 2 || *comma != ',' || comma[1] != ' ') return false;
        const char* const name = comma + 2;
        const size_t guess = m_next[m_lastKey];
        const KnownName& known = m_names[guess];
        if (static_cast<size_t>(end - name) <= known.size || name[known.size] != '\n' ||
            !IsName(std::string_view(name, known.size), known))
            return false;
        const char* const lineEnd = name + known.size;
        ++m_line;
        m_bytes += static_cast<uint64_t>(lineEnd - at) + 1;
        m_lastKey = guess;
        PlainValue(std::string_view(at, static_cast<size_t>(comma - at)), std::string_view(name, known.size), IdOf(guess),
                   digits);
        at = lineEnd + 1;
        return true;
    }

    bool HeaderLine(std::string_view line)
    {
        LogInfo& info = m_result.data.info;
        std::string_view rest = line;
        if (Take(rest, kVersionLine)) {
            info.programVersion = std::string(rest);
            return true;
        }
        if (Take(rest, kDriverLine)) {
            info.driverVersion = ParseHex32(rest);
            return info.driverVersion.has_value();
        }
        if (Take(rest, kLibraryLine)) {
            info.libraryVersion = ParseHex32(rest);
            return info.libraryVersion.has_value();
        }
        if (Take(rest, kOsLine)) {
            info.osText = std::string(rest);
            return true;
        }
        if (Take(rest, kIntervalLine)) {
            const std::optional<int> interval = TakeNumber(rest);
            if (!interval || *interval < 1 || *interval > kMaxInterval || !Take(rest, " sec, Total logs: "))
                return false;
            const std::optional<int> total = TakeNumber(rest);
            if (!total || rest != " (0 - unlimited)") return false;
            info.intervalSeconds = interval;
            info.totalRecords = total;
            return true;
        }
        if (const std::optional<LogDateTime> start = ParseHeaderTime(line)) {
            info.start = start;
            return true;
        }
        return false;
    }

    void ValueLine(std::string_view line)
    {
        // By hand: a value line is short, and a library search costs more than the line.
        size_t comma = 0;
        while (comma + 1 < line.size() && (line[comma] != ',' || line[comma + 1] != ' ')) ++comma;
        if (comma + 1 >= line.size()) {
            Problem("not a value line: ", Quote(line));
            return;
        }
        const std::string_view text = line.substr(0, comma);
        const std::string_view name = line.substr(comma + 2);
        ChannelId id;
        if (!Channel(name, id)) {
            Problem("not a channel of a log: ", Quote(name));
            return;
        }
        Value(text, name, id);
    }

    // The value `text` of channel `id`, named `name` in the line.
    void Value(std::string_view text, std::string_view name, ChannelId id)
    {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        PlainDigits digits;
        if (PlainNumber(text, digits)) {
            PlainValue(text, name, id, digits);
            return;
        }
        double value = std::numeric_limits<double>::quiet_NaN();
        int decimals = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
            Problem("not a number: " + Quote(text) + " for ", std::string(name));
            return;
        }
        if (const size_t point = text.find('.'); point != std::string_view::npos) {
            const size_t exponent = text.find_first_of("eE");
            decimals = exponent == std::string_view::npos ? static_cast<int>(text.size() - point - 1) : 6;
        } else if (text.find_first_of("eE") != std::string_view::npos) {
            decimals = 6;
        }
        if (m_quantities[static_cast<size_t>(id.channel)] == Quantity::State && value != 0.0 && value != 1.0) {
            Problem(std::string(name) + " is a state, 0 or 1, not ", Quote(text));
            return;
        }
        if (!m_sink.Value(m_record, id, value, std::min(decimals, 9), std::string_view()))
            Duplicate(name);
    }

    // A value as the logger writes it, its digits read already.
    void PlainValue(std::string_view text, std::string_view name, ChannelId id, const PlainDigits& digits)
    {
        if (m_quantities[static_cast<size_t>(id.channel)] == Quantity::State && !digits.IsState()) {
            Problem(std::string(name) + " is a state, 0 or 1, not ", Quote(text));
            return;
        }
        const double value = m_wantsValues ? digits.Value() : std::numeric_limits<double>::quiet_NaN();
        if (!m_sink.Value(m_record, id, value, static_cast<int>(digits.fraction), text)) Duplicate(name);
    }

    void Duplicate(std::string_view name)
    {
        Problem(std::string(name) + " has a value in record " + std::to_string(m_record) + " already", "");
    }

    LogReadResult& m_result;
    CLogSink& m_sink;
    bool m_wantsValues;
    CLogData* m_data;
    uint64_t m_expectedBytes;
    uint64_t m_bytes = 0;
    uint64_t m_firstRecordAt = 0;
    int m_distinctRecords = 0;
    size_t m_lastKey = kKeys;  // none yet
    // The key of the channel expected after each (kKeys: first of all).
    std::array<size_t, kKeys + 1> m_next = FirstGuesses();
    // Looked up once: a function's static costs a check at every call.
    const std::array<KnownName, kKeys>& m_names = ChannelNames();
    const std::array<Quantity, kChannels>& m_quantities = Quantities();
    int m_line = 0;
    int m_record = 0;
    bool m_inRecords = false;
    bool m_skipping = false;
    bool m_recognised = false;
};

}  // namespace

Quantity QuantityOf(int channel)
{
    switch (logsel::GroupOf(channel)) {
    case logsel::Group::Vmon: return Quantity::Volts;
    case logsel::Group::Hvout:
    case logsel::Group::Gpio: return Quantity::State;
    case logsel::Group::Tmon: return Quantity::Celsius;
    case logsel::Group::Imon: return Quantity::Amperes;
    }
    return Quantity::Volts;
}

std::optional<ChannelId> ParseChannelName(std::string_view name)
{
    if (!Take(name, "HMU") || name.size() < 2 || !IsDigit(name[0]) || name[1] != '_') return std::nullopt;
    const int device = name[0] - '0';
    if (device >= kDevices) return std::nullopt;
    name.remove_prefix(2);
    for (int g = 0; g < logsel::kGroups; ++g) {
        const auto group = static_cast<logsel::Group>(g);
        std::string_view rest = name;
        if (!Take(rest, LogLineKind(group))) continue;
        // No leading zero: "VMON01" is not a name the logger writes.
        if (rest.empty() || rest[0] == '0') return std::nullopt;
        const std::optional<int> number = ParseCount(rest);
        if (!number || *number < 1 || *number > logsel::RangeOf(group).count) return std::nullopt;
        return ChannelId{device, logsel::Channel(group, *number)};
    }
    return std::nullopt;
}

std::optional<LogDateTime> ParseHeaderTime(std::string_view line)
{
    std::string_view rest = line;
    const bool day = std::any_of(kDayNames.begin(), kDayNames.end(), [&](std::string_view name) {
        return Take(rest, name);
    });
    if (!day || !Take(rest, ", ")) return std::nullopt;
    LogDateTime time;
    time.month = 0;
    for (size_t i = 0; i < kMonthNames.size() && time.month == 0; ++i)
        if (Take(rest, kMonthNames[i])) time.month = static_cast<int>(i) + 1;
    if (time.month == 0 || !Take(rest, " ")) return std::nullopt;
    const std::optional<int> dayOfMonth = TakeNumber(rest, 2);
    if (!dayOfMonth || !Take(rest, ", ")) return std::nullopt;
    const std::optional<int> year = TakeNumber(rest, 4);
    if (!year || !Take(rest, " ")) return std::nullopt;
    const std::optional<int> hour = TakeNumber(rest, 2);
    if (!hour || !Take(rest, ":")) return std::nullopt;
    const std::optional<int> minute = TakeNumber(rest, 2);
    if (!minute || !Take(rest, ":")) return std::nullopt;
    const std::optional<int> second = TakeNumber(rest, 2);
    if (!second || !rest.empty()) return std::nullopt;
    time.year = *year;
    time.day = *dayOfMonth;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    // A leap second (60) is what strftime may write; a clock reads it as the next minute.
    if (time.day < 1 || time.day > DaysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 ||
        time.second > 60)
        return std::nullopt;
    return time;
}

LogDateTime AddSeconds(const LogDateTime& time, long long seconds)
{
    long long total = DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600LL +
                      time.minute * 60LL + time.second + seconds;
    long long days = total / 86400;
    long long within = total % 86400;
    if (within < 0) {
        within += 86400;
        --days;
    }
    LogDateTime result;
    CivilFromDays(days, result.year, result.month, result.day);
    result.hour = static_cast<int>(within / 3600);
    result.minute = static_cast<int>(within / 60 % 60);
    result.second = static_cast<int>(within % 60);
    return result;
}

std::string FormatIsoTime(const LogDateTime& time)
{
    // By hand for the years a header can give: the CSV writes one a row, and snprintf costs more than the row's values.
    if (time.year >= 0 && time.year <= 9999) {
        std::string text = "0000-00-00 00:00:00";
        const auto put = [&text](size_t at, int value, int digits) {
            for (size_t i = at + static_cast<size_t>(digits); i-- > at; value /= 10)
                text[i] = static_cast<char>('0' + value % 10);
        };
        put(0, time.year, 4);
        put(5, time.month, 2);
        put(8, time.day, 2);
        put(11, time.hour, 2);
        put(14, time.minute, 2);
        put(17, time.second, 2);
        return text;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    return text;
}

std::array<int, kDevices * kChannels> CLogData::MakeEmptyIndex()
{
    std::array<int, kDevices * kChannels> index{};
    index.fill(-1);
    return index;
}

namespace {

// The double a float holds when its value was written with `decimals`
// digits after the point: the nearest double to that decimal.
double Restore(float value, int decimals)
{
    const double scale = kPowersOfTen[decimals];
    const double scaled = static_cast<double>(value) * scale;
    // Rounded half away from zero as std::round does, without its call while the integer fits.
    if (std::fabs(scaled) < 4e15) {
        const double whole = static_cast<double>(static_cast<long long>(scaled + (scaled < 0 ? -0.5 : 0.5)));
        return std::copysign(whole, scaled) / scale;
    }
    return std::round(scaled) / scale;
}

}  // namespace

double LogSeries::At(size_t index) const
{
    if (index >= Span()) return std::numeric_limits<double>::quiet_NaN();
    if (m_storage != Storage::Floats) return RawAt(index);
    const float value = m_floats[index];
    return std::isnan(value) ? std::numeric_limits<double>::quiet_NaN() : Restore(value, decimals);
}

bool LogSeries::Append(size_t index, double value, int newDecimals)
{
    if (index < Span()) return false;
    // A state is 0 or 1; -0 (a "-0" in the file) keeps its sign only in a float.
    if (m_storage == Storage::Bytes && !(value == 1.0 || (value == 0.0 && !std::signbit(value)))) ToFloats();
    if (m_storage == Storage::Floats && newDecimals > decimals && m_count > 0) {
        // More decimals: each float must still give its value back.
        for (const float f : m_floats)
            if (!std::isnan(f) && Restore(f, newDecimals) != Restore(f, decimals)) {
                Widen();
                break;
            }
    }
    decimals = std::max(decimals, newDecimals);
    const float narrow = static_cast<float>(value);
    if (m_storage == Storage::Floats && Restore(narrow, decimals) != value) Widen();
    switch (m_storage) {
    case Storage::Bytes:
        m_bytes.resize(index, kNoByte);
        m_bytes.push_back(value == 1.0 ? 1 : 0);
        break;
    case Storage::Floats:
        m_floats.resize(index, std::numeric_limits<float>::quiet_NaN());
        m_floats.push_back(narrow);
        break;
    case Storage::Doubles:
        m_doubles.resize(index, std::numeric_limits<double>::quiet_NaN());
        m_doubles.push_back(value);
        break;
    }
    ++m_count;
    return true;
}

void LogSeries::ToFloats()
{
    m_floats.reserve(std::max(m_bytes.capacity(), m_bytes.size() + 1));
    for (size_t i = 0; i < m_bytes.size(); ++i) m_floats.push_back(static_cast<float>(RawAt(i)));
    m_storage = Storage::Floats;
    std::vector<unsigned char>().swap(m_bytes);
}

void LogSeries::Widen()
{
    m_doubles.reserve(std::max(m_floats.capacity(), m_floats.size() + 1));
    for (size_t i = 0; i < m_floats.size(); ++i) m_doubles.push_back(At(i));
    m_storage = Storage::Doubles;
    std::vector<float>().swap(m_floats);
}

void LogSeries::InsertGap(size_t index)
{
    if (index >= Span()) return;
    switch (m_storage) {
    case Storage::Bytes: m_bytes.insert(m_bytes.begin() + static_cast<long>(index), kNoByte); break;
    case Storage::Floats:
        m_floats.insert(m_floats.begin() + static_cast<long>(index), std::numeric_limits<float>::quiet_NaN());
        break;
    case Storage::Doubles:
        m_doubles.insert(m_doubles.begin() + static_cast<long>(index), std::numeric_limits<double>::quiet_NaN());
        break;
    }
}

void LogSeries::Reserve(size_t records)
{
    switch (m_storage) {
    case Storage::Bytes: m_bytes.reserve(records); break;
    case Storage::Floats: m_floats.reserve(records); break;
    case Storage::Doubles: m_doubles.reserve(records); break;
    }
}

bool CLogData::Add(int record, int device, int channel, double value, int decimals)
{
    if (device < 0 || device >= kDevices || channel < 0 || channel >= kChannels || !std::isfinite(value))
        return false;
    // As many as the reader takes: the stored value is restored through a table of powers of ten.
    decimals = std::clamp(decimals, 0, 9);
    const size_t key = static_cast<size_t>(device * kChannels + channel);
    // Where the record is or goes: a value before the channel's last is refused.
    const size_t index = !m_records.empty() && m_records.back() == record ? m_records.size() - 1 : RecordIndex(record);
    if (m_index[key] >= 0 && index < m_series[static_cast<size_t>(m_index[key])].Span()) return false;
    if (m_index[key] < 0) {
        const auto place = std::lower_bound(m_series.begin(), m_series.end(), key, [](const LogSeries& s, size_t k) {
            return static_cast<size_t>(s.device * kChannels + s.channel) < k;
        });
        LogSeries series;
        series.device = device;
        series.channel = channel;
        if (QuantityOf(channel) == Quantity::State) series.m_storage = LogSeries::Storage::Bytes;
        series.Reserve(std::max(m_reserve, m_records.size() + 1));
        m_series.insert(place, std::move(series));
        for (size_t i = 0; i < m_series.size(); ++i)
            m_index[static_cast<size_t>(m_series[i].device * kChannels + m_series[i].channel)] = static_cast<int>(i);
    }
    if (index == m_records.size() || m_records[index] != record) AddRecord(record);
    m_series[static_cast<size_t>(m_index[key])].Append(index, value, decimals);
    ++m_values;
    return true;
}

void CLogData::AddRecord(int record)
{
    if (m_records.empty() || m_records.back() < record) {
        m_records.push_back(record);
        return;
    }
    if (m_records.back() == record) return;
    const auto place = std::lower_bound(m_records.begin(), m_records.end(), record);
    if (*place == record) return;
    // A record between others: every channel has no value in it.
    const auto index = static_cast<size_t>(place - m_records.begin());
    m_records.insert(place, record);
    for (LogSeries& series : m_series) series.InsertGap(index);
}

void CLogData::Reserve(size_t records)
{
    m_reserve = records;
    m_records.reserve(records);
    for (LogSeries& series : m_series) series.Reserve(records);
}

size_t CLogData::RecordIndex(int record) const
{
    return static_cast<size_t>(std::lower_bound(m_records.begin(), m_records.end(), record) - m_records.begin());
}

std::vector<LogPoint> CLogData::Points(const LogSeries& series) const
{
    std::vector<LogPoint> points;
    points.reserve(series.Count());
    for (size_t i = 0; i < series.Span(); ++i)
        if (series.Has(i)) points.push_back({m_records[i], series.At(i)});
    return points;
}

const LogSeries* CLogData::Find(int device, int channel) const
{
    if (device < 0 || device >= kDevices || channel < 0 || channel >= kChannels) return nullptr;
    const int i = m_index[static_cast<size_t>(device * kChannels + channel)];
    return i < 0 ? nullptr : &m_series[static_cast<size_t>(i)];
}

std::string CLogData::RecordTimeText(int record) const
{
    if (!info.intervalSeconds) return {};
    if (info.start) return FormatIsoTime(AddSeconds(*info.start, RecordSeconds(record)));
    return std::to_string(RecordSeconds(record));
}

std::vector<std::string> LogReadResult::Messages() const
{
    std::vector<std::string> messages;
    for (const LogProblem& problem : problems)
        messages.push_back("line " + std::to_string(problem.line) + ": " + problem.text);
    if (problemCount > static_cast<int>(problems.size()))
        messages.push_back("and " + std::to_string(problemCount - static_cast<int>(problems.size())) +
                           " more lines skipped");
    if (cutLine) {
        std::string text = "line " + std::to_string(*cutLine) + ": cut short (no line end), left out";
        if (lastRecord > 0)
            text += "; the log ends with record " + std::to_string(lastRecord) +
                    " up to its last whole line";
        messages.push_back(text);
    }
    return messages;
}

namespace {

// A log begins with its header; a stream with none in this many bytes is no
// log, and reading it to its end (a device, an endless pipe) would not end.
constexpr size_t kRecognitionWindow = size_t{1} << 20;

// Reads the stream block by block into `sink` (into the result's data
// without one); false when a read failed. `total`: the file's size, when known.
bool ReadStream(std::istream& in, LogReadResult& result, CLogSink* sink = nullptr, uint64_t total = 0,
                const ReadProgress& progress = {})
{
    CDataSink dataSink(result.data);
    CParser parser(result, sink ? *sink : dataSink, sink ? nullptr : &result.data, total);
    std::string carry;  // a line begun in an earlier block
    bool tooLong = false;
    size_t bytes = 0;
    std::vector<char> block(1 << 18);
    while (in) {
        if (progress && !progress(bytes, total)) {
            result = LogReadResult{};
            result.cancelled = true;
            result.error = "the reading was cancelled";
            return true;
        }
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        bytes += got;
        const std::string_view text(block.data(), got);
        size_t start = 0;
        bool begun = tooLong || !carry.empty();
        if (begun) {
            // The end of the line begun in an earlier block, if this one has it.
            if (const size_t end = text.find('\n'); end != std::string_view::npos) {
                if (tooLong || carry.size() + end > kMaxLine) {
                    parser.LongLine();
                } else {
                    carry.append(text.substr(0, end));
                    parser.Line(carry);
                }
                carry.clear();
                tooLong = false;
                begun = false;
                start = end + 1;
            }
        }
        if (!begun) start += parser.Lines(text.substr(start));
        const std::string_view rest = text.substr(start);
        if (tooLong || carry.size() + rest.size() > kMaxLine) {
            tooLong = true;
            carry.clear();
        } else {
            carry.append(rest);
        }
        if (!parser.Recognised() && bytes >= kRecognitionWindow) {
            result = LogReadResult{};
            result.error = "not a log file: its first MiB has no log header and no record line";
            return true;
        }
    }
    if (in.bad()) return false;
    parser.Finish(carry, tooLong, bytes);
    return true;
}

}  // namespace

LogReadResult ReadLog(std::istream& in)
{
    LogReadResult result;
    if (!ReadStream(in, result)) {
        result = LogReadResult{};
        result.error = "the file could not be read";
    }
    return result;
}

std::optional<std::string> LogFileProblem(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    // Missing, unreadable: the open says why.
    if (error || status.type() == fs::file_type::regular || status.type() == fs::file_type::directory)
        return std::nullopt;
    const char* kind = status.type() == fs::file_type::fifo        ? "a FIFO"
                       : status.type() == fs::file_type::character ? "a character device"
                       : status.type() == fs::file_type::block     ? "a block device"
                       : status.type() == fs::file_type::socket    ? "a socket"
                                                                   : "not a file";
    // Opening a FIFO waits for a writer, and a device may never end.
    return "cannot open " + path + ": " + kind + ", not a regular file: only a log file on disk can be read";
}

namespace {

LogReadResult ReadFile(const std::string& path, CLogSink* sink, const ReadProgress& progress)
{
    LogReadResult result;
    if (std::optional<std::string> problem = LogFileProblem(path)) {
        result.error = std::move(*problem);
        return result;
    }
    std::error_code ignored;
    errno = 0;
    std::ifstream in;
    const std::filesystem::path file = PathFromUtf8(path);
    if (std::filesystem::is_directory(file, ignored)) {
        errno = EISDIR;
    } else {
        in.open(file, std::ios::binary);
    }
    if (!in.is_open()) {
        const int error = errno;
        result.error = "cannot open " + path + ": " + (error != 0 ? std::strerror(error) : "unknown error");
        return result;
    }
    const uint64_t total = std::filesystem::file_size(file, ignored);
    if (!ReadStream(in, result, sink, total == static_cast<uint64_t>(-1) ? 0 : total, progress)) {
        const int error = errno;
        result = LogReadResult{};
        result.error = "cannot read " + path + (error != 0 ? std::string(": ") + std::strerror(error) : "");
    } else if (!result.ok && !result.cancelled) {
        result.error = path + ": " + result.error;
    }
    return result;
}

}  // namespace

LogReadResult ReadLogFile(const std::string& path, const ReadProgress& progress)
{
    return ReadFile(path, nullptr, progress);
}

LogReadResult ReadLogFile(const std::string& path, CLogSink& sink)
{
    return ReadFile(path, &sink, {});
}

LogReadResult ReadLogText(std::string_view text)
{
    LogReadResult result;
    CDataSink sink(result.data);
    CParser parser(result, sink);
    const std::string_view rest = text.substr(parser.Lines(text));
    parser.Finish(rest.size() > kMaxLine ? std::string_view() : rest, rest.size() > kMaxLine, text.size());
    return result;
}

}  // namespace logread
