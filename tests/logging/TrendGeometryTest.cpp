// The arithmetic of the Trend window's charts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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
