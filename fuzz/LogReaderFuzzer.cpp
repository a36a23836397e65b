// The log reader on any bytes: it must not crash, must read a text the same
// way from memory and through a stream (whatever its read blocks), and what
// it keeps must be what a log can hold: records in rising order, finite
// values, pin states 0 or 1, problems on lines that exist, in printable
// messages of bounded length. The CSV of what it read has a row per record.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "logging/LogCsv.h"
#include "logging/LogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const logread::LogReadResult memory = logread::ReadLogText(text);
    std::istringstream in(text);
    const logread::LogReadResult stream = logread::ReadLog(in);

    FUZZ_CHECK(memory.ok == stream.ok);
    FUZZ_CHECK(memory.ok != !memory.error.empty());
    FUZZ_CHECK(memory.lines == stream.lines && memory.cutLine == stream.cutLine);
    FUZZ_CHECK(memory.problemCount == stream.problemCount);
    FUZZ_CHECK(memory.data.ValueCount() == stream.data.ValueCount());
    FUZZ_CHECK(memory.problems.size() <= logread::LogReadResult::kMaxProblems);
    FUZZ_CHECK(static_cast<int>(memory.problems.size()) <= memory.problemCount);
    for (const logread::LogProblem& problem : memory.problems) {
        FUZZ_CHECK(problem.line >= 1 && problem.line <= memory.lines);
        FUZZ_CHECK(!problem.text.empty() && problem.text.size() < 400);
        for (const char c : problem.text) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }

    size_t values = 0;
    for (const logread::LogSeries& series : memory.data.Series()) {
        const std::vector<logread::LogPoint> points = memory.data.Points(series);
        FUZZ_CHECK(!points.empty() && points.size() == series.Count());
        for (size_t i = 0; i < points.size(); ++i) {
            const logread::LogPoint& point = points[i];
            FUZZ_CHECK(std::isfinite(point.value));
            FUZZ_CHECK(i == 0 || points[i - 1].record < point.record);
            if (series.GetQuantity() == logread::Quantity::State) FUZZ_CHECK(point.value == 0.0 || point.value == 1.0);
        }
        values += points.size();
    }
    FUZZ_CHECK(values == memory.data.ValueCount());

    std::ostringstream csv;
    FUZZ_CHECK(logread::WriteLogCsv(memory.data, csv));
    size_t rows = 0;
    for (const char c : csv.str()) rows += c == '\n';
    FUZZ_CHECK(rows == memory.data.Records().size() + 1);
    return 0;
}
