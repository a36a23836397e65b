#pragma once
// The arithmetic of the Trend window's charts, apart from the widgets so that
// it can be checked on its own: step lines for pin states, lanes that keep
// the states of several channels apart, thinning a long series to what a
// plot can show, the value range of what is in view, and zooming and panning
// the time range.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace trend {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

struct Range {
    double min = 0.0;
    double max = 0.0;
    double Span() const { return max - min; }
    bool operator==(const Range&) const = default;
};

// A state holds until the next sample: each change becomes a vertical step.
// A point with a NaN y is a gap: no step is drawn across it.
std::vector<Point> StepPoints(const std::vector<Point>& samples);

// In a list of indexes, where a line breaks: a sample with no value lies between.
constexpr size_t kGap = std::numeric_limits<size_t>::max();

// Runs of kBlock samples summed up once, so that decimating a day of
// records need not visit every sample again at each zoom step: the index of
// the lowest and of the highest sample of each run, or kNoBlock for a run
// with a sample without a value.
constexpr size_t kBlock = 16;
constexpr uint32_t kNoBlock = std::numeric_limits<uint32_t>::max();
struct Block {
    uint32_t low = kNoBlock;
    uint32_t high = kNoBlock;
};
// Adds the blocks of the samples [0, span) that `blocks` lacks, whole ones only.
template <class Y>
void Summarize(std::vector<Block>& blocks, size_t span, Y&& y)
{
    for (size_t b = blocks.size(); (b + 1) * kBlock <= span && span < kNoBlock; ++b) {
        Block block;
        double lowY = 0.0, highY = 0.0;
        for (size_t i = b * kBlock; i < (b + 1) * kBlock; ++i) {
            const double value = y(i);
            if (std::isnan(value)) {
                block = Block{};
                break;
            }
            if (block.low == kNoBlock || value < lowY) {
                lowY = value;
                block.low = static_cast<uint32_t>(i);
            }
            if (block.high == kNoBlock || value > highY) {
                highY = value;
                block.high = static_cast<uint32_t>(i);
            }
        }
        blocks.push_back(block);
    }
}

// The samples [first, end) that a plot `columns` pixels wide needs over
// `view`, as indexes in rising order: sample i lies at x(i) (rising) with
// the value y(i), NaN when the record has none. With no more than four
// samples a column, all of them; else for each column the first, the lowest,
// the highest and the last of the samples in it, so that a spike of a single
// sample still shows, less those between two of the same value. A sample without a value never joins its neighbours:
// kGap stands in its place (once for a run of them), and a column's samples
// on either side of it are kept as two. `blocks`, when given, sums up y.
template <class X, class Y>
std::vector<size_t> Decimate(size_t first, size_t end, X&& x, Y&& y, Range view, int columns,
                             const std::vector<Block>* blocks = nullptr)
{
    std::vector<size_t> kept;
    if (end <= first) return kept;
    const bool all = columns < 1 || end - first <= static_cast<size_t>(columns) * 4;
    kept.reserve(all ? end - first : static_cast<size_t>(columns) * 4 + 8);
    const double width = all ? 0.0 : view.Span() / columns;
    bool open = false;
    double columnStart = 0.0, columnEnd = 0.0;
    size_t firstIn = 0, low = 0, high = 0, last = 0;
    double lowY = 0.0, highY = 0.0;
    const auto close = [&] {
        if (!open) return;
        open = false;
        size_t in[4] = {firstIn, std::min(low, high), std::max(low, high), last};
        for (const size_t i : in)
            if (kept.empty() || kept.back() == kGap || kept.back() < i) kept.push_back(i);
    };
    for (size_t i = first; i < end; ++i) {
        // A whole block inside the open column: its extremes stand for it.
        if (blocks && open && i % kBlock == 0 && i / kBlock < blocks->size() && i + kBlock <= end) {
            const Block& block = (*blocks)[i / kBlock];
            if (block.low != kNoBlock && x(i + kBlock - 1) < columnEnd) {
                last = i + kBlock - 1;
                if (y(block.low) < lowY) {
                    lowY = y(block.low);
                    low = block.low;
                }
                if (y(block.high) > highY) {
                    highY = y(block.high);
                    high = block.high;
                }
                i += kBlock - 1;
                continue;
            }
        }
        const double value = y(i);
        if (std::isnan(value)) {
            close();
            if (!kept.empty() && kept.back() != kGap) kept.push_back(kGap);
            continue;
        }
        if (all) {
            kept.push_back(i);
            continue;
        }
        // The column changes rarely: a comparison tells, a division only then which.
        const double at = x(i);
        if (!open || at >= columnEnd || at < columnStart) {
            close();
            open = true;
            const double column = width > 0 ? std::floor((at - view.min) / width) : 0.0;
            columnStart = width > 0 ? view.min + column * width : -std::numeric_limits<double>::infinity();
            columnEnd = width > 0 ? columnStart + width : std::numeric_limits<double>::infinity();
            if (at < columnStart || at >= columnEnd) columnStart = columnEnd = at;  // rounding at an edge
            firstIn = low = high = last = i;
            lowY = highY = value;
            continue;
        }
        last = i;
        if (value < lowY) {
            lowY = value;
            low = i;
        }
        if (value > highY) {
            highY = value;
            high = i;
        }
    }
    close();
    if (!kept.empty() && kept.back() == kGap) kept.pop_back();
    if (all) return kept;
    // A sample between two of the same value adds nothing to the line: a
    // state that holds for an hour needs its two ends, not four a column.
    size_t out = 0;
    for (size_t k = 0; k < kept.size(); ++k) {
        const bool inner = out > 0 && k + 1 < kept.size() && kept[out - 1] != kGap && kept[k] != kGap &&
                           kept[k + 1] != kGap && y(kept[out - 1]) == y(kept[k]) && y(kept[k + 1]) == y(kept[k]);
        if (!inner) kept[out++] = kept[k];
    }
    kept.resize(out);
    return kept;
}

// Pin states are drawn in lanes, the first at the top: state s of lane i
// (of `lanes`) is drawn at LaneY(i, lanes, s).
constexpr double kLaneHeight = 1.5;
double LaneY(int lane, int lanes, double state);
// The value range showing all lanes with a margin.
Range LaneRange(int lanes);

// The samples of `points` (rising x) that a plot `buckets` wide needs over
// `view`: all of them when there are few; otherwise the first and last,
// the lowest and highest of each bucket in their order, and the one just
// outside each end, so that lines run to the edges.
std::vector<Point> Thin(const std::vector<Point>& points, Range view, int buckets);

// The lowest and highest y of the points whose x lies in `view` (and of the
// neighbours just outside, which the lines to the edges pass through).
// False when no point is near the view.
bool ValueRange(const std::vector<Point>& points, Range view, Range& values);
// A value range with some room above and below; a flat line gets room of
// its own size (or 1 around zero).
Range Padded(Range values);

// The distance of ticks at round values over `values`: 1, 2 or 5 times a
// power of ten, the smallest that gives at most `maxTicks` ticks.
double NiceStep(Range values, int maxTicks);
// The first tick at or above values.min.
double FirstTick(Range values, double step);
// Digits after the point that labels `step` apart need: 0.05 needs 2, 5 none.
int StepDecimals(double step);

// Ticks of the time axis at round clock times, in milliseconds.
struct TimeTicks {
    double step = 0.0;
    double first = 0.0;  // the first tick at or after the view's start
    bool operator==(const TimeTicks&) const = default;
};
// The ticks over `view` (milliseconds since 1970) on a plot `width` pixels
// wide whose labels need `labelWidth` pixels each: the least of 0.1, 0.2,
// 0.5, 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h,
// 1, 2, 7, 14 days (then doubling) that keeps the labels apart. `offset`
// is the local clock's lead on UTC (ms): ticks fall at round local times,
// a day at midnight.
TimeTicks TimeTickStep(Range view, double width, double labelWidth, double offset = 0.0);

// The time range after a wheel step: `factor` below 1 zooms in around the
// point at `anchor` (0 the left edge of the plot, 1 the right). The result
// stays within `whole` and is never narrower than `minimumSpan`.
Range Zoom(Range view, double anchor, double factor, Range whole, double minimumSpan);
// The time range moved by `fraction` of its span (positive: later), kept
// within `whole`.
Range Pan(Range view, double fraction, Range whole);
// The range from x1 to x2 (either order) within `whole`, at least `minimumSpan`.
Range Select(double x1, double x2, Range whole, double minimumSpan);

}  // namespace trend
