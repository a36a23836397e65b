#pragma once
// A log's values as CSV, for spreadsheets and scripts: the row
// "record,time,HMU0_VMON1,..." naming every channel the log holds (by device,
// then in the logger's channel order), then one row per record. A channel
// without a value in a record is an empty cell. Values keep the decimals
// the log wrote them with, with '.' as the decimal separator whatever the
// locale.

#include <iosfwd>
#include <string>

#include "logging/LogReader.h"

namespace logread {

// A value with `decimals` digits after the point: "1.202", "1", "-0.500".
std::string FormatLogValue(double value, int decimals);

// False when the stream failed.
bool WriteLogCsv(const CLogData& data, std::ostream& out);

}  // namespace logread
