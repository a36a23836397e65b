#pragma once
// One poll of the board in the Prometheus text exposition format (0.0.4), as
// zent2-cli serve hands it to every scrape: a gauge per quantity, labelled by
// board, device and channel. A reading that failed has no sample in its
// value gauge, only zent2_reading_failed 1: a scraper never sees a stale or
// made-up value. Numbers are written with '.' whatever the locale.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "logging/LiveFrame.h"

namespace metrics {

// The fault log of one device as the poll found it: the number of records
// its status announces, none when the status read failed (failed is then
// set) or when the log marks itself busy or not valid.
struct FaultLogCount {
    std::optional<int> records;
    bool failed = false;
};

struct Poll {
    const live::LiveFrameData* frame = nullptr;
    std::array<FaultLogCount, live::kDevices> faultLogs{};  // by device number
    double durationSeconds = 0.0;
    double finishedUnixSeconds = 0.0;  // when the poll ended, seconds since 1970
};

// A label value with '\\', '"' and newlines escaped as the format asks.
std::string EscapeLabelValue(std::string_view text);

// The whole exposition: HELP and TYPE lines, then the samples of every
// watched device (a device that does not answer has only zent2_device_present 0).
std::string FormatMetrics(std::string_view board, const Poll& poll);

// The Content-Type of FormatMetrics' text.
inline constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace metrics
