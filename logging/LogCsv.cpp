#include "logging/LogCsv.h"

#include <charconv>
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

    // One cursor per channel: the records come in the order the points do.
    std::vector<size_t> next(series.size(), 0);
    for (const int record : data.Records()) {
        row = std::to_string(record) + "," + data.RecordTimeText(record);
        for (size_t i = 0; i < series.size(); ++i) {
            row += ',';
            const std::vector<LogPoint>& points = series[i].points;
            if (next[i] < points.size() && points[next[i]].record == record) {
                row += FormatLogValue(points[next[i]].value, series[i].decimals);
                ++next[i];
            }
        }
        out << row << '\n';
        if (!out) return false;
    }
    return static_cast<bool>(out.flush());
}

}  // namespace logread
