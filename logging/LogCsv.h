#pragma once
// A log's values as CSV, for spreadsheets and scripts: the row
// "record,time,HMU0_VMON1,..." naming every channel the log holds (by device,
// then in the logger's channel order), then one row per record. A channel
// without a value in a record is an empty cell. Values keep the decimals
// the log wrote them with, with '.' as the decimal separator whatever the
// locale.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "logging/LogReader.h"

namespace logread {

// A value with `decimals` digits after the point: "1.202", "1", "-0.500".
std::string FormatLogValue(double value, int decimals);

// False when the stream failed.
bool WriteLogCsv(const CLogData& data, std::ostream& out);

// A log file as CSV without holding the log: the first row names every
// channel, so a first reading finds them (PlanLogCsv), writing the rows to a
// temporary file as it goes, and StreamLogCsv writes the header and copies
// them. When the columns of the first record do not hold to the end (a
// channel or more decimals later on), or there is no temporary file, it
// reads the log a second time instead and writes a row as each record ends.
// Memory stays the same for a log of a minute or of a day.
struct LogCsvColumn {
    ChannelId id;
    int decimals = 0;
};
struct LogCsvPlan {
    LogReadResult read;  // what ReadLogFile says of the file, without its values
    std::vector<LogCsvColumn> columns;
    // The rows already, when the first reading could write them to a
    // temporary file (the columns of the first record held to the end):
    // the second reading then copies them.
    std::shared_ptr<std::FILE> rows;
};
LogCsvPlan PlanLogCsv(const std::string& path);
// Writes what the plan found: channels or records that came into the file
// since (a log still being written) are left out. False when the file could
// not be read again (`error` says why) or the stream failed (`error` empty).
bool StreamLogCsv(const std::string& path, const LogCsvPlan& plan, std::ostream& out, std::string& error);

}  // namespace logread
