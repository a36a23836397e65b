#include "logging/TrendGeometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace trend {

namespace {

// Keeps a range of the same span inside `whole`, or makes it `whole` when wider.
Range Within(Range view, Range whole)
{
    const double span = view.Span();
    if (span >= whole.Span()) return whole;
    if (view.min < whole.min) return {whole.min, whole.min + span};
    if (view.max > whole.max) return {whole.max - span, whole.max};
    return view;
}

// The points whose x lies in `view`, with the neighbour just outside each
// end (the lines to the edges pass through it), as indexes [first, end).
std::pair<size_t, size_t> NearView(const std::vector<Point>& points, Range view)
{
    auto first = std::lower_bound(points.begin(), points.end(), view.min,
                                  [](const Point& p, double v) { return p.x < v; });
    auto end = std::upper_bound(points.begin(), points.end(), view.max,
                                [](double v, const Point& p) { return v < p.x; });
    if (first != points.begin()) --first;
    if (end != points.end()) ++end;
    return {static_cast<size_t>(first - points.begin()), static_cast<size_t>(end - points.begin())};
}

}  // namespace

std::vector<Point> StepPoints(const std::vector<Point>& samples)
{
    std::vector<Point> steps;
    steps.reserve(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (i > 0 && samples[i].y != samples[i - 1].y && !std::isnan(samples[i].y) && !std::isnan(samples[i - 1].y))
            steps.push_back({samples[i].x, samples[i - 1].y});
        steps.push_back(samples[i]);
    }
    return steps;
}

double LaneY(int lane, int lanes, double state)
{
    return (lanes - 1 - lane) * kLaneHeight + state;
}

Range LaneRange(int lanes)
{
    return {-0.25, std::max(lanes, 1) * kLaneHeight - 0.25};
}

std::vector<Point> Thin(const std::vector<Point>& points, Range view, int buckets)
{
    if (buckets < 1 || points.size() <= static_cast<size_t>(buckets) * 2) return points;
    const auto [first, end] = NearView(points, view);
    if (end <= first) return {};
    if (end - first <= static_cast<size_t>(buckets) * 2)
        return std::vector<Point>(points.begin() + static_cast<long>(first), points.begin() + static_cast<long>(end));

    std::vector<Point> thin;
    thin.reserve(static_cast<size_t>(buckets) * 2 + 2);
    thin.push_back(points[first]);
    const double width = view.Span() / buckets;
    size_t i = first + 1;
    const size_t last = end - 1;
    while (i < last) {
        // The bucket of point i, and every point in it.
        const double bucket = width > 0 ? std::floor((points[i].x - view.min) / width) : 0.0;
        const double bucketEnd = view.min + (bucket + 1) * width;
        size_t low = i, high = i, j = i;
        while (j < last && (width <= 0 || points[j].x < bucketEnd)) {
            if (points[j].y < points[low].y) low = j;
            if (points[j].y > points[high].y) high = j;
            ++j;
        }
        if (j == i) ++j;  // a point at the bucket's very end starts the next bucket
        thin.push_back(points[std::min(low, high)]);
        if (low != high) thin.push_back(points[std::max(low, high)]);
        i = j;
    }
    thin.push_back(points[last]);
    return thin;
}

bool ValueRange(const std::vector<Point>& points, Range view, Range& values)
{
    const auto [first, end] = NearView(points, view);
    if (end <= first) return false;
    values = {points[first].y, points[first].y};
    for (size_t i = first + 1; i < end; ++i) {
        values.min = std::min(values.min, points[i].y);
        values.max = std::max(values.max, points[i].y);
    }
    return true;
}

Range Padded(Range values)
{
    double room = values.Span() * 0.05;
    if (room <= 0) room = values.max != 0 ? std::fabs(values.max) * 0.05 : 0.5;
    return {values.min - room, values.max + room};
}

double NiceStep(Range values, int maxTicks)
{
    maxTicks = std::max(maxTicks, 2);
    const double span = values.Span();
    if (!std::isfinite(span) || !(span > 0)) return 1.0;
    // Ticks at multiples of step within the span: at most span / step + 1.
    const double power = std::pow(10.0, std::floor(std::log10(span / maxTicks)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
        const double step = factor * power;
        if (std::floor(span / step) + 1 <= maxTicks) return step;
    }
    return 100.0 * power;
}

double FirstTick(Range values, double step)
{
    return std::ceil(values.min / step) * step;
}

TimeTicks TimeTickStep(Range view, double width, double labelWidth, double offset)
{
    constexpr double kSecond = 1000.0, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;
    static constexpr double kSteps[] = {
        100,          200,          500,          kSecond,      2 * kSecond,  5 * kSecond, 10 * kSecond,
        15 * kSecond, 30 * kSecond, kMinute,      2 * kMinute,  5 * kMinute,  10 * kMinute, 15 * kMinute,
        30 * kMinute, kHour,        2 * kHour,    3 * kHour,    6 * kHour,    12 * kHour,  kDay,
        2 * kDay,     7 * kDay,     14 * kDay,
    };
    const double span = view.Span();
    // A label and a gap of half its width again between two.
    const double least = width > 0 && span > 0 ? span * labelWidth * 1.5 / width : 0.0;
    double step = kSteps[0];
    for (const double s : kSteps) {
        step = s;
        if (s >= least) break;
    }
    while (step < least && std::isfinite(least)) step *= 2;
    return {step, std::ceil((view.min + offset) / step) * step - offset};
}

int StepDecimals(double step)
{
    if (!(step > 0)) return 0;
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

Range Zoom(Range view, double anchor, double factor, Range whole, double minimumSpan)
{
    anchor = std::clamp(anchor, 0.0, 1.0);
    const double at = view.min + anchor * view.Span();
    double span = std::max(view.Span() * factor, std::min(minimumSpan, whole.Span()));
    if (span >= whole.Span()) return whole;
    return Within({at - anchor * span, at + (1 - anchor) * span}, whole);
}

Range Pan(Range view, double fraction, Range whole)
{
    const double shift = fraction * view.Span();
    return Within({view.min + shift, view.max + shift}, whole);
}

Range Select(double x1, double x2, Range whole, double minimumSpan)
{
    Range range{std::min(x1, x2), std::max(x1, x2)};
    range.min = std::max(range.min, whole.min);
    range.max = std::min(range.max, whole.max);
    const double span = std::min(minimumSpan, whole.Span());
    if (range.Span() < span) {
        const double middle = (range.min + range.max) / 2;
        range = {middle - span / 2, middle + span / 2};
    }
    return Within(range, whole);
}

}  // namespace trend
