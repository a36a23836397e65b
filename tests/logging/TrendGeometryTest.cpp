// The arithmetic of the Trend window's charts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "logging/TrendGeometry.h"

namespace {

using trend::Point;
using trend::Range;

TEST(TrendGeometry, StatesBecomeStepsInLanesFromTheTop)
{
    EXPECT_EQ(trend::StepPoints({{0, 0}, {1, 1}, {2, 1}, {3, 0}}),
              (std::vector<Point>{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 1}, {3, 0}}));
    EXPECT_EQ(trend::StepPoints({}), std::vector<Point>{});
    // Three lanes: the first at the top, each state inside its own lane.
    EXPECT_EQ(trend::LaneY(0, 3, 0), 3.0);
    EXPECT_EQ(trend::LaneY(0, 3, 1), 4.0);
    EXPECT_EQ(trend::LaneY(2, 3, 0), 0.0);
    const Range all = trend::LaneRange(3);
    EXPECT_LT(all.min, trend::LaneY(2, 3, 0));
    EXPECT_GT(all.max, trend::LaneY(0, 3, 1));
}

TEST(TrendGeometry, ThinningKeepsTheExtremesAndTheEdgesOfTheView)
{
    std::vector<Point> points;
    for (int i = 0; i < 10000; ++i) points.push_back({static_cast<double>(i), i == 4321 ? 99.0 : i == 777 ? -99.0 : i % 7});
    // Few points: all of them.
    const std::vector<Point> few(points.begin(), points.begin() + 100);
    EXPECT_EQ(trend::Thin(few, {0, 99}, 100), few);

    const std::vector<Point> thin = trend::Thin(points, {0, 9999}, 500);
    EXPECT_LE(thin.size(), 1002u);
    EXPECT_EQ(thin.front(), points.front());
    EXPECT_EQ(thin.back(), points.back());
    EXPECT_NE(std::find(thin.begin(), thin.end(), Point{4321, 99}), thin.end());
    EXPECT_NE(std::find(thin.begin(), thin.end(), Point{777, -99}), thin.end());
    EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(), [](const Point& a, const Point& b) { return a.x < b.x; }));

    // A zoomed view: the points just outside it, so the lines reach its edges.
    const std::vector<Point> zoomed = trend::Thin(points, {2000.5, 2100.5}, 500);
    EXPECT_EQ(zoomed.front().x, 2000);
    EXPECT_EQ(zoomed.back().x, 2101);
    EXPECT_EQ(zoomed.size(), 102u);
}

TEST(TrendGeometry, ValueAxesFollowWhatIsInView)
{
    const std::vector<Point> points = {{0, 5}, {10, 1}, {20, 2}, {30, 3}, {40, 9}};
    Range values;
    ASSERT_TRUE(trend::ValueRange(points, {12, 28}, values));
    EXPECT_EQ(values, (Range{1, 3}));  // 10 and 30 lead into the view
    ASSERT_TRUE(trend::ValueRange(points, {0, 40}, values));
    EXPECT_EQ(values, (Range{1, 9}));
    EXPECT_FALSE(trend::ValueRange({}, {0, 40}, values));

    EXPECT_EQ(trend::Padded({1, 3}), (Range{0.9, 3.1}));
    EXPECT_EQ(trend::Padded({2, 2}), (Range{1.9, 2.1}));
    EXPECT_EQ(trend::Padded({0, 0}), (Range{-0.5, 0.5}));

    const struct {
        Range values;
        int maxTicks;
        double step;
        int decimals;
    } ticks[] = {
        {{0.98, 2.08}, 5, 0.5, 1}, {{0.98, 2.08}, 10, 0.2, 1}, {{0.145, 0.255}, 4, 0.05, 2},
        {{28, 46}, 4, 5, 0},      {{28, 46}, 3, 10, 0},      {{-0.5, 0.5}, 2, 1, 0},     {{1000, 1000.004}, 5, 0.001, 3},
    };
    for (const auto& t : ticks) {
        const double step = trend::NiceStep(t.values, t.maxTicks);
        EXPECT_DOUBLE_EQ(step, t.step) << t.values.min << ".." << t.values.max;
        EXPECT_LE(std::floor(t.values.Span() / step) + 1, t.maxTicks);
        EXPECT_EQ(trend::StepDecimals(step), t.decimals);
    }
    EXPECT_DOUBLE_EQ(trend::FirstTick({0.98, 2.08}, 0.5), 1.0);
    EXPECT_DOUBLE_EQ(trend::FirstTick({-0.7, 2}, 0.5), -0.5);
}

TEST(TrendGeometry, ZoomAndPanStayInsideTheLog)
{
    const Range whole{0, 1000};
    const struct {
        const char* name;
        Range result;
        Range expected;
    } cases[] = {
        {"zoom in around the middle", trend::Zoom(whole, 0.5, 0.5, whole, 10), {250, 750}},
        {"zoom in at the left edge", trend::Zoom(whole, 0.0, 0.5, whole, 10), {0, 500}},
        {"zoom in keeps the point under the pointer", trend::Zoom({100, 300}, 0.25, 0.5, whole, 10), {125, 225}},
        {"zoom in stops at the least span", trend::Zoom({100, 110}, 0.5, 0.1, whole, 10), {100, 110}},
        {"zoom out stops at the whole log", trend::Zoom({100, 300}, 0.5, 100, whole, 10), whole},
        {"zoom out near an end stays inside", trend::Zoom({900, 1000}, 0.5, 2, whole, 10), {800, 1000}},
        {"pan later", trend::Pan({100, 300}, 0.5, whole), {200, 400}},
        {"pan stops at the end", trend::Pan({800, 1000}, 0.5, whole), {800, 1000}},
        {"pan stops at the start", trend::Pan({100, 300}, -5, whole), {0, 200}},
        {"select backwards", trend::Select(600, 400, whole, 10), {400, 600}},
        {"select past the end", trend::Select(900, 1200, whole, 10), {900, 1000}},
        {"select too little", trend::Select(500, 502, whole, 10), {496, 506}},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(c.result.min, c.expected.min, 1e-9) << c.name;
        EXPECT_NEAR(c.result.max, c.expected.max, 1e-9) << c.name;
    }
}

}  // namespace

namespace {

// Every pixel column of a decimated line reaches the lowest and the highest
// value of its samples, the line runs from the first sample to the last, and
// no two samples it joins have a missing one between them.
TEST(TrendGeometry, DecimationKeepsEverySpikeAndEveryGap)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr size_t kSamples = 10000;
    constexpr int kColumns = 100;
    const auto wave = [](size_t i) { return 1.0 + 0.01 * static_cast<double>(i % 7); };
    const struct {
        const char* name;
        std::function<double(size_t)> value;
        std::vector<size_t> mustKeep;
    } cases[] = {
        {"a spike at the start", [&](size_t i) { return i == 0 ? 50.0 : wave(i); }, {0}},
        {"a spike in the middle", [&](size_t i) { return i == 4321 ? 50.0 : i == 4322 ? -50.0 : wave(i); }, {4321, 4322}},
        {"a spike at the end", [&](size_t i) { return i == kSamples - 1 ? -50.0 : wave(i); }, {kSamples - 1}},
        {"flat", [](size_t) { return 3.3; }, {0, kSamples - 1}},
        {"a step", [](size_t i) { return i < 6000 ? 0.0 : 1.0; }, {5999, 6000}},
        {"a failed reading", [&](size_t i) { return i == 5000 ? kNaN : wave(i); }, {4999, 5001}},
        {"a device that stopped answering, and came back",
         [&](size_t i) { return i >= 3000 && i < 3050 ? kNaN : wave(i); }, {2999, 3050}},
        {"missing at both ends", [](size_t i) { return i < 10 || i >= kSamples - 10 ? kNaN : 2.0; }, {10, kSamples - 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto x = [](size_t i) { return static_cast<double>(i); };
        const trend::Range view{0, kSamples - 1};
        const std::vector<size_t> kept = trend::Decimate(0, kSamples, x, c.value, view, kColumns);
        ASSERT_FALSE(kept.empty());
        EXPECT_LE(kept.size(), kColumns * 4u + 8);
        EXPECT_NE(kept.front(), trend::kGap);
        EXPECT_NE(kept.back(), trend::kGap);
        for (const size_t i : c.mustKeep) EXPECT_NE(std::find(kept.begin(), kept.end(), i), kept.end()) << i;

        // Each column's extremes, and every gap between two samples kept.
        std::vector<double> low(kColumns, kNaN), high(kColumns, kNaN);
        for (size_t i = 0; i < kSamples; ++i) {
            const double v = c.value(i);
            if (std::isnan(v)) continue;
            const auto col = std::min<size_t>(i * kColumns / (kSamples - 1), kColumns - 1);
            low[col] = std::isnan(low[col]) ? v : std::min(low[col], v);
            high[col] = std::isnan(high[col]) ? v : std::max(high[col], v);
        }
        std::vector<bool> reachedLow(kColumns, false), reachedHigh(kColumns, false);
        size_t previous = trend::kGap;
        for (size_t k = 0; k < kept.size(); ++k) {
            const size_t i = kept[k];
            if (i == trend::kGap) {
                ASSERT_NE(previous, trend::kGap) << "two gaps in a row at " << k;
                ASSERT_LT(k + 1, kept.size());
                bool missing = false;
                for (size_t j = previous + 1; j < kept[k + 1]; ++j) missing = missing || std::isnan(c.value(j));
                EXPECT_TRUE(missing) << "a gap between " << previous << " and " << kept[k + 1];
                previous = trend::kGap;
                continue;
            }
            ASSERT_FALSE(std::isnan(c.value(i)));
            if (previous != trend::kGap) {
                ASSERT_LT(previous, i);
                for (size_t j = previous + 1; j < i; ++j)
                    ASSERT_FALSE(std::isnan(c.value(j))) << "joined across " << j;
            }
            const auto col = std::min<size_t>(i * kColumns / (kSamples - 1), kColumns - 1);
            reachedLow[col] = reachedLow[col] || c.value(i) == low[col];
            reachedHigh[col] = reachedHigh[col] || c.value(i) == high[col];
            previous = i;
        }
        for (int col = 0; col < kColumns; ++col) {
            const auto at = static_cast<size_t>(col);
            if (std::isnan(low[at])) continue;
            // A flat run across columns keeps its ends: its columns lie on the line between them.
            const bool flatThrough = low[at] == high[at] && !reachedLow[at];
            if (!flatThrough) {
                EXPECT_TRUE(reachedLow[at]) << "column " << col;
                EXPECT_TRUE(reachedHigh[at]) << "column " << col;
            }
        }
    }
    // Few samples: all of them, still broken at a gap.
    const auto x = [](size_t i) { return static_cast<double>(i); };
    const auto y = [&](size_t i) { return i == 2 ? kNaN : 1.0; };
    EXPECT_EQ(trend::Decimate(0, 5, x, y, {0, 4}, kColumns), (std::vector<size_t>{0, 1, trend::kGap, 3, 4}));
}

}  // namespace

TEST(TrendGeometry, TimeTicksAtRoundClockTimesForTheSpanAndWidth)
{
    constexpr double s = 1000, min = 60 * s, h = 60 * min, day = 24 * h;
    const struct {
        const char* name;
        Range view;
        double width;
        double offset;
        trend::TimeTicks ticks;
    } cases[] = {
        // Labels 50 px wide want 75 px from one to the next.
        {"a second on a wide plot", {0, 1 * s}, 1000, 0, {100, 0}},
        {"ten seconds", {0, 10 * s}, 1000, 0, {1 * s, 0}},
        {"from 01:37:33.4 over 15 s", {h + 37 * min + 33.4 * s, h + 37 * min + 48.4 * s}, 300, 0,
         {5 * s, h + 37 * min + 35 * s}},
        {"a minute from 1.5 s", {1.5 * s, 61.5 * s}, 1000, 0, {5 * s, 5 * s}},
        {"40 s on a narrow plot", {0, 40 * s}, 200, 0, {15 * s, 0}},
        {"an hour", {10 * s, h + 10 * s}, 1000, 0, {5 * min, 5 * min}},
        {"a day on the window's width", {0, day}, 1366, 0, {2 * h, 0}},
        {"a week, midnight an hour ahead of UTC", {0, 7 * day}, 1000, h, {day, day - h}},
        {"100 days", {0, 100 * day}, 1000, 0, {14 * day, 0}},
        {"two years", {0, 730 * day}, 1000, 0, {56 * day, 0}},
    };
    for (const auto& c : cases) {
        const trend::TimeTicks ticks = trend::TimeTickStep(c.view, c.width, 50, c.offset);
        EXPECT_EQ(ticks, c.ticks) << c.name << ": " << ticks.step << " from " << ticks.first;
        // Ticks never closer than a label and a half.
        EXPECT_GE(ticks.step * c.width / c.view.Span(), 75.0) << c.name;
    }
}
