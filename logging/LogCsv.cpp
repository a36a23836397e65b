#include "logging/LogCsv.h"

#include <array>
#include <charconv>
#include <cstring>
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

constexpr size_t kKeys = static_cast<size_t>(kDevices * kChannels);

size_t KeyOf(ChannelId id)
{
    return static_cast<size_t>(id.device * kChannels + id.channel);
}

// The first reading: which channels have a value, with how many decimals.
class CColumnFinder : public CLogSink {
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
                columns.push_back({{static_cast<int>(key) / kChannels, static_cast<int>(key) % kChannels},
                                   m_decimals[key]});
        return columns;
    }

private:
    std::array<int, kKeys> m_last{};
    std::array<int, kKeys> m_decimals{};
};

// The second reading: a row as each record ends, written in large pieces.
// A cell's text is kept in a slot of its own, a longer one (a number of
// hundreds of digits) in a string beside it.
class CRowWriter : public CLogSink {
public:
    CRowWriter(const LogCsvPlan& plan, std::ostream& out) : m_out(out), m_lastRecord(plan.read.lastRecord)
    {
        m_time.info = plan.read.data.info;
        m_column.fill(-1);
        std::string header = "record,time";
        for (const LogCsvColumn& column : plan.columns) {
            m_column[KeyOf(column.id)] = static_cast<int>(m_decimals.size());
            m_decimals.push_back(column.decimals);
            header += "," + LogValueName(column.id.device, column.id.channel);
        }
        m_slots.resize(m_decimals.size());
        m_long.resize(m_decimals.size());
        m_buffer.resize(kFlushAt + kSlot + 64);
        Put(header);
        Put("\n");
    }

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
        if (!m_open || record != m_record) return true;
        const int column = m_column[KeyOf(id)];
        if (column < 0) return true;
        const auto c = static_cast<size_t>(column);
        Slot& slot = m_slots[c];
        if (slot.size != kEmpty) return false;
        const int decimals = m_decimals[c];
        // Text as the logger wrote it is what the formatting would give, with
        // zeros for decimals it left out, while it has at most 15 digits.
        // `written`: the decimals of a plain text.
        const size_t whole = plain.size() - (written > 0 ? static_cast<size_t>(written) + 1 : 0);
        if (!plain.empty() && whole + static_cast<size_t>(decimals) <= 15 + (plain[0] == '-' ? 1u : 0u)) {
            // At most a sign, 15 digits and a point: it fits its slot.
            std::memcpy(slot.text, plain.data(), plain.size());
            size_t size = plain.size();
            if (written < decimals) {
                if (written == 0) slot.text[size++] = '.';
                std::memset(slot.text + size, '0', static_cast<size_t>(decimals - written));
                size += static_cast<size_t>(decimals - written);
            }
            slot.size = static_cast<unsigned char>(size);
        } else {
            if (!plain.empty()) std::from_chars(plain.data(), plain.data() + plain.size(), value);
            m_long[c] = FormatLogValue(value, decimals);
            slot.size = kLong;
        }
        return true;
    }

    bool Finish()
    {
        EndRow();
        Flush();
        return static_cast<bool>(m_out.flush());
    }

private:
    static constexpr size_t kSlot = 31;
    static constexpr unsigned char kEmpty = 255;
    static constexpr unsigned char kLong = 254;
    static constexpr size_t kFlushAt = size_t{1} << 16;
    struct Slot {
        char text[kSlot] = {};
        unsigned char size = kEmpty;
    };

    void EndRow()
    {
        if (!m_open) return;
        m_open = false;
        Put(std::to_string(m_record));
        Put(",");
        Put(m_time.RecordTimeText(m_record));
        for (size_t c = 0; c < m_slots.size(); ++c) {
            Slot& slot = m_slots[c];
            // Room for the comma and a whole slot, copied whole: one fixed-size copy is cheaper than an exact one.
            if (m_used + 1 + kSlot > m_buffer.size()) Flush();
            m_buffer[m_used++] = ',';
            if (slot.size == kEmpty) continue;
            if (slot.size == kLong) {
                Put(m_long[c]);
            } else {
                std::memcpy(m_buffer.data() + m_used, slot.text, kSlot);
                m_used += slot.size;
            }
            slot.size = kEmpty;
        }
        Put("\n");
        if (m_used >= kFlushAt) Flush();
    }

    void Put(std::string_view text)
    {
        if (m_used + text.size() > m_buffer.size()) Flush();
        if (text.size() > m_buffer.size()) {
            m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return;
        }
        std::memcpy(m_buffer.data() + m_used, text.data(), text.size());
        m_used += text.size();
    }

    void Flush()
    {
        m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_used));
        m_used = 0;
    }

    std::ostream& m_out;
    int m_lastRecord;
    CLogData m_time;  // the header, for the times of the records
    std::array<int, kKeys> m_column{};
    std::vector<int> m_decimals;
    std::vector<Slot> m_slots;
    std::vector<std::string> m_long;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    int m_record = 0;
    bool m_open = false;
};

}  // namespace

LogCsvPlan PlanLogCsv(const std::string& path)
{
    CColumnFinder finder;
    LogCsvPlan plan;
    plan.read = ReadLogFile(path, finder);
    plan.columns = finder.Columns();
    return plan;
}

bool StreamLogCsv(const std::string& path, const LogCsvPlan& plan, std::ostream& out, std::string& error)
{
    CRowWriter writer(plan, out);
    const LogReadResult again = ReadLogFile(path, writer);
    if (!again.ok) {
        error = again.error;
        return false;
    }
    return writer.Finish();
}

}  // namespace logread
