#pragma once
// Reading a log file back: the header and the records the data logger
// writes, gathered into one series per channel of (record number, value).
// The time of record n is the header's start time plus (n - 1) logging
// intervals, since the logger writes the first record at once and then one
// every interval.
//
// Damaged files are read as far as they go: line ends may be LF or CR LF; a
// last line without its line end (a crash cut it) is left out and said so;
// any line that is not what the logger writes is reported with its number
// and skipped. Nothing here throws or trusts a count from the file.
//
// Plain C++, so that the command line, the Trend window and the tests all
// read the same way.

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logging/LogSelection.h"
#include "logging/LogWriter.h"

namespace logread {

// Devices and their channels, in the logger's order (logsel); a channel's
// line name is LogValueName, its label logsel::ChannelLabel.
constexpr int kDevices = logsel::kDevices;
constexpr int kChannels = logsel::kChannels;

// The kind of quantity a channel measures; one chart each.
enum class Quantity { Volts, Amperes, Celsius, State };
constexpr int kQuantities = 4;
Quantity QuantityOf(int channel);

struct ChannelId {
    int device = 0;
    int channel = 0;
};
// Every channel of every device as one index, and back.
constexpr size_t kChannelKeys = static_cast<size_t>(kDevices * kChannels);
constexpr size_t KeyOf(ChannelId id)
{
    return static_cast<size_t>(id.device * kChannels + id.channel);
}
constexpr ChannelId IdOf(size_t key)
{
    return {static_cast<int>(key) / kChannels, static_cast<int>(key) % kChannels};
}
// The device and channel of a line name; nothing for any other text.
std::optional<ChannelId> ParseChannelName(std::string_view name);

// A local date and time as the header writes it, without a time zone.
struct LogDateTime {
    int year = 0;
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
// "Monday, May 06, 2024 14:03:07" (English names, as the logger writes them).
std::optional<LogDateTime> ParseHeaderTime(std::string_view line);
// Calendar arithmetic on the written time, ignoring clock changes.
LogDateTime AddSeconds(const LogDateTime& time, long long seconds);
// "2024-05-06 14:03:07".
std::string FormatIsoTime(const LogDateTime& time);

// What the header says; each item is missing when its line is.
struct LogInfo {
    std::string programVersion;
    std::optional<uint32_t> driverVersion;
    std::optional<uint32_t> libraryVersion;
    std::string osText;
    std::optional<int> intervalSeconds;
    std::optional<int> totalRecords;  // 0: unlimited
    std::optional<LogDateTime> start;
};

struct LogPoint {
    int record = 0;
    double value = 0.0;
};

// The values of one channel, by the index of their record in
// CLogData::Records(); a record without a value of the channel (a failed
// reading, a device that did not answer) has none here either.
//
// A day of logging holds tens of millions of values: a pin state is kept
// as a byte, any other value as a 32-bit float, each given back as the
// double its text was read as (the nearest one to the decimals written). A
// channel with a value a byte or a float cannot give back that way keeps
// floats or doubles instead.
struct LogSeries {
    int device = 0;
    int channel = 0;
    int decimals = 0;  // the most written after the point, so a copy keeps them

    std::string Name() const { return LogValueName(device, channel); }
    Quantity GetQuantity() const { return QuantityOf(channel); }

    // Record indexes up to the last one with a value.
    size_t Span() const
    {
        return m_storage == Storage::Bytes    ? m_bytes.size()
               : m_storage == Storage::Floats ? m_floats.size()
                                              : m_doubles.size();
    }
    // The values it holds.
    size_t Count() const { return m_count; }
    bool Has(size_t index) const { return index < Span() && !std::isnan(RawAt(index)); }
    // The value of the record at `index`; NaN when it has none.
    double At(size_t index) const;
    // Near enough to draw (within a float of At); NaN when absent. Cheaper than At.
    double RawAt(size_t index) const
    {
        switch (m_storage) {
        case Storage::Bytes: return m_bytes[index] == kNoByte ? std::numeric_limits<double>::quiet_NaN() : m_bytes[index];
        case Storage::Floats: return static_cast<double>(m_floats[index]);
        case Storage::Doubles: break;
        }
        return m_doubles[index];
    }

private:
    friend class CLogData;
    enum class Storage : unsigned char { Bytes, Floats, Doubles };
    static constexpr unsigned char kNoByte = 2;

    bool Append(size_t index, double value, int decimals);
    void InsertGap(size_t index);
    void Reserve(size_t records);
    void ToFloats();
    void Widen();

    Storage m_storage = Storage::Floats;
    std::vector<unsigned char> m_bytes;  // 0, 1 or kNoByte
    std::vector<float> m_floats;
    std::vector<double> m_doubles;
    size_t m_count = 0;
};

// The values of a log, channel by channel against one record axis; filled
// by the reader from a file or record by record while logging runs.
class CLogData {
public:
    LogInfo info;

    // Adds the value of a channel in a record. Records come in rising order:
    // false (nothing added) for a record before the channel's last one, or a
    // second value of a channel in the same record.
    bool Add(int record, int device, int channel, double value, int decimals);
    // A record begun, with or without values (a device may log no channel).
    void AddRecord(int record);
    // Room for this many records, so that a long log is not copied as it grows.
    void Reserve(size_t records);

    // Every channel that has a value, by device and then channel order.
    const std::vector<LogSeries>& Series() const { return m_series; }
    const LogSeries* Find(int device, int channel) const;
    // The numbers of the records begun, rising.
    const std::vector<int>& Records() const { return m_records; }
    size_t ValueCount() const { return m_values; }
    // The values of a channel with their record numbers.
    std::vector<LogPoint> Points(const LogSeries& series) const;
    // The index in Records() of the first record at or after `record`.
    size_t RecordIndex(int record) const;

    // Seconds from the first record's time to record n's; the interval is
    // taken as 1 s when the header gives none.
    long long RecordSeconds(int record) const
    {
        return (static_cast<long long>(record) - 1) * info.intervalSeconds.value_or(1);
    }
    // "2024-05-06 14:03:07" with a start time; without one the seconds since
    // the start; empty when the header gives no interval.
    std::string RecordTimeText(int record) const;

private:
    std::vector<LogSeries> m_series;
    std::array<int, kDevices * kChannels> m_index = MakeEmptyIndex();
    std::vector<int> m_records;
    size_t m_values = 0;
    size_t m_reserve = 0;

    static std::array<int, kDevices * kChannels> MakeEmptyIndex();
};

struct LogProblem {
    int line = 0;
    std::string text;
};

struct LogReadResult {
    static constexpr size_t kMaxProblems = 100;

    bool ok = false;
    std::string error;  // when not ok: why nothing could be read
    bool cancelled = false;
    CLogData data;
    // Lines skipped, in file order: the first kMaxProblems of problemCount.
    std::vector<LogProblem> problems;
    int problemCount = 0;
    int lines = 0;
    // The last line had no line end and was left out: its number.
    std::optional<int> cutLine;
    // The number of the last record begun; 0 for none.
    int lastRecord = 0;

    // One line per problem, "line 12: ...", and one for a cut last line.
    std::vector<std::string> Messages() const;
};

// Why a path is no file a log can be read from, before anything opens it: a
// FIFO (opening it waits for a writer), a device or a socket. Nothing for
// a regular file, and for a path the open itself will name the problem of
// (missing, a folder, no permission). ReadLogFile asks it first; a window
// asks it before it starts reading.
std::optional<std::string> LogFileProblem(const std::string& path);
// What the reader finds, as it goes, for those that want no CLogData: the
// records begun (the same number again when a record goes on) and the values
// of each line the reader took. `plain` is the value's text when it is
// already as FormatLogValue writes it with its decimals, else empty.
class CLogSink {
public:
    virtual ~CLogSink() = default;
    // The header as read when the first record begins: nothing after it is header.
    virtual void Header(const LogInfo&) {}
    virtual void Record(int record) = 0;
    // False: the channel has a value in this record already. `value` is NaN
    // for a plain one when the sink wants no values.
    virtual bool Value(int record, ChannelId id, double value, int decimals, std::string_view plain) = 0;
    // A sink that writes the text may do without the numbers of plain values.
    virtual bool WantsValues() const { return true; }
};

// Told how far a file has been read; false stops the reading (Cancel).
using ReadProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Reads a whole log. Not ok for a file that cannot be read, an empty one,
// one that is not a regular file, or one without a single line that a log
// holds; not ok either, with `cancelled`, when `progress` stopped it.
LogReadResult ReadLogFile(const std::string& path, const ReadProgress& progress = {});
// The same into `sink`: the result's data holds only the header's info.
LogReadResult ReadLogFile(const std::string& path, CLogSink& sink);
LogReadResult ReadLog(std::istream& in);
LogReadResult ReadLogText(std::string_view text);

}  // namespace logread
