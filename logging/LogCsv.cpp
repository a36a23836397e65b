#include "logging/LogCsv.h"

#ifdef _WIN32
#include <process.h>

#include <atomic>
#include <filesystem>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <vector>

namespace logread {

std::string FormatLogValue(double value, int decimals)
{
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return {};
    return std::string(text, end);
}

bool WriteLogCsv(const CLogData& data, std::ostream& out)
{
    const std::vector<LogSeries>& series = data.Series();
    std::string row = "record,time";
    for (const LogSeries& s : series) row += "," + s.Name();
    out << row << '\n';

    const std::vector<int>& records = data.Records();
    for (size_t index = 0; index < records.size(); ++index) {
        row = std::to_string(records[index]) + "," + data.RecordTimeText(records[index]);
        for (const LogSeries& s : series) {
            row += ',';
            if (s.Has(index)) row += FormatLogValue(s.At(index), s.decimals);
        }
        out << row << '\n';
        if (!out) return false;
    }
    return static_cast<bool>(out.flush());
}

namespace {

constexpr size_t kKeys = kChannelKeys;

// The first reading: which channels have a value, with how many decimals.
class CColumnFinder final : public CLogSink {
public:
    void Record(int) override {}
    bool WantsValues() const override { return false; }
    bool Value(int record, ChannelId id, double, int decimals, std::string_view) override
    {
        const size_t key = KeyOf(id);
        if (m_last[key] >= record) return false;
        m_last[key] = record;
        m_decimals[key] = std::max(m_decimals[key], decimals);
        return true;
    }
    std::vector<LogCsvColumn> Columns() const
    {
        std::vector<LogCsvColumn> columns;
        for (size_t key = 0; key < kKeys; ++key)
            if (m_last[key] > 0)
                columns.push_back({IdOf(key), m_decimals[key]});
        return columns;
    }

private:
    std::array<int, kKeys> m_last{};
    std::array<int, kKeys> m_decimals{};
};

std::string HeaderRow(const std::vector<LogCsvColumn>& columns)
{
    std::string header = "record,time";
    for (const LogCsvColumn& column : columns) header += "," + LogValueName(column.id.device, column.id.channel);
    return header + '\n';
}

bool SameColumns(const std::vector<LogCsvColumn>& a, const std::vector<LogCsvColumn>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const LogCsvColumn& x, const LogCsvColumn& y) {
        return x.id.device == y.id.device && x.id.channel == y.id.channel && x.decimals == y.decimals;
    });
}

// Where the rows go, a large piece at a time; false when it failed.
using RowOutput = std::function<bool(const char* text, size_t size)>;

// A row as each record ends, written in large pieces. A value is kept in a
// slot of its channel as the log wrote it, and gets the decimals of its
// column when the row is written.
class CRowWriter final : public CLogSink {
public:
    // `columns`: the columns of the rows; without them (nullptr) they are
    // what `finder` has found when the first row ends, and the writer stops
    // (Stopped) at a later row that has a value in none of them.
    CRowWriter(const std::vector<LogCsvColumn>* columns, const CColumnFinder* finder, int lastRecord,
               RowOutput output)
        : m_finder(finder), m_lastRecord(lastRecord), m_output(std::move(output))
    {
        m_column.fill(-1);
        if (columns) SetColumns(*columns);
        m_buffer.resize(kFlushAt + 256);
    }

    void Header(const LogInfo& info) override { m_time.info = info; }
    bool WantsValues() const override { return false; }

    void Record(int record) override
    {
        if (m_open && record == m_record) return;
        EndRow();
        if (record > m_lastRecord) return;  // written since the first reading
        m_record = record;
        m_open = true;
    }

    bool Value(int record, ChannelId id, double value, int written, std::string_view plain) override
    {
        if (!m_open || record != m_record || m_stopped) return true;
        const size_t key = KeyOf(id);
        if (m_laidOut && m_column[key] < 0) {
            if (m_finder) m_stopped = true;  // a column the rows so far lack
            return true;
        }
        Slot& slot = m_slots[key];
        if (slot.size != kEmpty) return false;
        if (!plain.empty() && plain.size() <= sizeof slot.text) {
            std::memcpy(slot.text, plain.data(), plain.size());
            slot.size = static_cast<unsigned char>(plain.size());
            slot.written = static_cast<unsigned char>(written);
        } else {
            if (!plain.empty()) std::from_chars(plain.data(), plain.data() + plain.size(), value);
            slot.value = value;
            slot.size = kNumber;
        }
        m_filled.push_back(key);
        return true;
    }

    bool Finish()
    {
        EndRow();
        Flush();
        return !m_failed;
    }

    bool Stopped() const { return m_stopped || m_failed; }
    const std::vector<LogCsvColumn>& Columns() const { return m_columns; }

private:
    static constexpr unsigned char kEmpty = 255;
    static constexpr unsigned char kNumber = 254;  // not as FormatLogValue writes it: `value`
    static constexpr size_t kFlushAt = size_t{1} << 16;
    struct Slot {
        char text[22] = {};  // a plain value has at most a sign, 15 digits and a point
        unsigned char written = 0;
        unsigned char size = kEmpty;
        double value = 0.0;
    };

    void SetColumns(const std::vector<LogCsvColumn>& columns)
    {
        m_columns = columns;
        for (size_t c = 0; c < columns.size(); ++c) m_column[KeyOf(columns[c].id)] = static_cast<int>(c);
        m_laidOut = true;
    }

    void EndRow()
    {
        if (!m_open) return;
        m_open = false;
        if (!m_laidOut) SetColumns(m_finder ? m_finder->Columns() : std::vector<LogCsvColumn>{});
        if (!m_stopped && !m_failed) WriteRow();
        for (const size_t key : m_filled) m_slots[key].size = kEmpty;
        m_filled.clear();
    }

    void WriteRow()
    {
        Put(std::to_string(m_record));
        Put(",");
        Put(m_time.RecordTimeText(m_record));
        // Room for each cell's comma, its whole slot copied at once (cheaper
        // than an exact copy) and the zeros of its decimals.
        constexpr size_t kCell = 1 + sizeof(Slot::text) + 10;
        if (m_buffer.size() < m_columns.size() * kCell + 1) m_buffer.resize(m_columns.size() * kCell + kFlushAt);
        if (m_used + m_columns.size() * kCell > m_buffer.size()) Flush();
        for (const LogCsvColumn& column : m_columns) {
            const Slot& slot = m_slots[KeyOf(column.id)];
            m_buffer[m_used++] = ',';
            if (slot.size == kEmpty) continue;
            const int decimals = column.decimals;
            if (slot.size != kNumber) {
                // Text as the logger wrote it is what the formatting would give, with
                // zeros for decimals it left out, while it has at most 15 digits.
                const int written = slot.written;
                const size_t whole = slot.size - (written > 0 ? static_cast<size_t>(written) + 1 : 0);
                if (whole + static_cast<size_t>(decimals) <= 15 + (slot.text[0] == '-' ? 1u : 0u)) {
                    std::memcpy(m_buffer.data() + m_used, slot.text, sizeof slot.text);
                    m_used += slot.size;
                    if (written < decimals) {
                        if (written == 0) m_buffer[m_used++] = '.';
                        std::memset(m_buffer.data() + m_used, '0', static_cast<size_t>(decimals - written));
                        m_used += static_cast<size_t>(decimals - written);
                    }
                    continue;
                }
            }
            double value = slot.value;
            if (slot.size != kNumber) std::from_chars(slot.text, slot.text + slot.size, value);
            Put(FormatLogValue(value, decimals));
            if (m_used + m_columns.size() * kCell > m_buffer.size()) Flush();  // room again for the rest
        }
        Put("\n");
        if (m_used >= kFlushAt) Flush();
    }

    void Put(std::string_view text)
    {
        if (m_used + text.size() > m_buffer.size()) Flush();
        if (text.size() > m_buffer.size()) {
            m_failed = m_failed || !m_output(text.data(), text.size());
            return;
        }
        std::memcpy(m_buffer.data() + m_used, text.data(), text.size());
        m_used += text.size();
    }

    void Flush()
    {
        if (m_used > 0 && !m_failed) m_failed = !m_output(m_buffer.data(), m_used);
        m_used = 0;
    }

    const CColumnFinder* m_finder;
    int m_lastRecord;
    RowOutput m_output;
    CLogData m_time;  // the header, for the times of the records
    std::vector<LogCsvColumn> m_columns;
    bool m_laidOut = false;
    std::array<int, kKeys> m_column{};  // by key: the column, or -1
    std::array<Slot, kKeys> m_slots{};
    std::vector<size_t> m_filled;  // the keys of the slots this row filled
    std::vector<char> m_buffer;
    size_t m_used = 0;
    int m_record = 0;
    bool m_open = false;
    bool m_stopped = false;
    bool m_failed = false;
};

// The first reading finds the columns, and writes the rows to a temporary
// file as it goes, laid out by the columns of the first record: when the
// rest of the log has the same columns, with the same decimals (the usual
// case), the second reading only copies that file and need not read the log
// again.
class CFirstReading final : public CLogSink {
public:
    explicit CFirstReading(std::FILE* rows)
        : m_rows(rows),
          m_writer(nullptr, &m_finder, std::numeric_limits<int>::max(), [rows](const char* text, size_t size) {
              return rows != nullptr && std::fwrite(text, 1, size, rows) == size;
          })
    {
    }

    void Header(const LogInfo& info) override { m_writer.Header(info); }
    bool WantsValues() const override { return false; }
    void Record(int record) override
    {
        if (!m_writer.Stopped()) m_writer.Record(record);
    }
    bool Value(int record, ChannelId id, double value, int decimals, std::string_view plain) override
    {
        if (!m_finder.Value(record, id, value, decimals, plain)) return false;
        if (!m_writer.Stopped()) m_writer.Value(record, id, value, decimals, plain);
        return true;
    }

    std::vector<LogCsvColumn> Columns() const { return m_finder.Columns(); }
    // Whether the rows written are those of the columns found.
    bool RowsHold(const std::vector<LogCsvColumn>& columns)
    {
        return m_rows != nullptr && m_writer.Finish() && !m_writer.Stopped() && SameColumns(m_writer.Columns(), columns) &&
               std::fflush(m_rows) == 0;
    }

private:
    std::FILE* m_rows;
    CColumnFinder m_finder;
    CRowWriter m_writer;
};

}  // namespace

namespace {

// A scratch file that is gone once closed. Windows' tmpfile makes it in the
// root of the drive, where a user may not write: there it goes in the
// temporary folder instead.
std::FILE* ScratchFile()
{
#ifdef _WIN32
    static std::atomic<unsigned> made{0};
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) return nullptr;
    const std::filesystem::path file =
        folder / ("zent2-csv-" + std::to_string(_getpid()) + "-" + std::to_string(made++) + ".tmp");
    // T: kept in memory where it can be, D: deleted when closed.
    return _wfopen(file.c_str(), L"w+bTD");
#else
    return std::tmpfile();
#endif
}

}  // namespace

LogCsvPlan PlanLogCsv(const std::string& path)
{
    // Without a temporary file the second reading reads the log again.
    std::shared_ptr<std::FILE> rows(ScratchFile(), [](std::FILE* file) {
        if (file) std::fclose(file);
    });
    CFirstReading reading(rows.get());
    LogCsvPlan plan;
    plan.read = ReadLogFile(path, reading);
    plan.columns = reading.Columns();
    if (plan.read.ok && reading.RowsHold(plan.columns)) plan.rows = std::move(rows);
    return plan;
}

bool StreamLogCsv(const std::string& path, const LogCsvPlan& plan, std::ostream& out, std::string& error)
{
    const std::string header = HeaderRow(plan.columns);
    if (plan.rows) {
        std::FILE* rows = plan.rows.get();
        if (!out.write(header.data(), static_cast<std::streamsize>(header.size()))) return false;
        std::vector<char> block(size_t{1} << 16);
        std::rewind(rows);
        for (size_t got; (got = std::fread(block.data(), 1, block.size(), rows)) > 0;)
            if (!out.write(block.data(), static_cast<std::streamsize>(got))) return false;
        if (std::ferror(rows)) {
            error = "the rows of " + path + " could not be read back from a temporary file";
            return false;
        }
        return static_cast<bool>(out.flush());
    }
    CRowWriter writer(&plan.columns, nullptr, plan.read.lastRecord, [&out](const char* text, size_t size) {
        return static_cast<bool>(out.write(text, static_cast<std::streamsize>(size)));
    });
    writer.Header(plan.read.data.info);
    if (!out.write(header.data(), static_cast<std::streamsize>(header.size()))) return false;
    const LogReadResult again = ReadLogFile(path, writer);
    if (!again.ok) {
        error = again.error;
        return false;
    }
    return writer.Finish() && static_cast<bool>(out.flush());
}

}  // namespace logread
