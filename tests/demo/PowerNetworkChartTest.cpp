// The power network chart: its drawing geometry, what each box shows in each
// state (as painted), and its timer on the virtual clock.

#include <gtest/gtest.h>

#include <QImage>

#include "demo/PowerNetworkChart.h"
#include "tests/demo/DemoBench.h"

namespace {

using Rect = CPowerNetworkChart::Rect;
using Line = CPowerNetworkChart::Line;

TEST(PowerNetworkChart, GeometryIsInStepsOfAFourteenthAndATwentyThird)
{
    const CPowerNetworkChart::Geometry g = CPowerNetworkChart::Layout(140, 230);
    EXPECT_EQ(g.w, 10);
    EXPECT_EQ(g.h, 10);
    EXPECT_EQ(g.source, (Rect{10, 10, 50, 30}));
    EXPECT_EQ(g.underSource, (Line{10, 30, 50, 30}));
    EXPECT_EQ(g.bus, (Line{50, 30, 50, 210}));
    EXPECT_EQ(g.boxes.front(), (Rect{70, 50, 130, 70}));
    EXPECT_EQ(g.boxes.back(), (Rect{70, 200, 130, 220}));
    EXPECT_EQ(g.branches.front(), (Line{50, 60, 70, 60}));
    EXPECT_EQ(g.branches.back(), (Line{50, 210, 70, 210}));
    // Whole steps: the remainder of the division is left over at the right and bottom.
    const CPowerNetworkChart::Geometry odd = CPowerNetworkChart::Layout(153, 252);
    EXPECT_EQ(odd.w, 10);
    EXPECT_EQ(odd.h, 10);
    EXPECT_EQ(odd.boxes.back(), (Rect{70, 200, 130, 220}));
}

TEST(PowerNetworkChart, EachBoxShowsItsStateAsPainted)
{
    DemoBench bench;
    bench.board->SetPotVolts(1, 1.5);  // POT2 out of its window
    CPowerNetworkChart chart;
    chart.SetPort(&bench.t->Port());
    chart.resize(chart.sizeHint());
    chart.Refresh();
    // An older voltage stays stored for a rail taken out, but is not shown.
    chart.SetRailState(3, demodesign::kRailNotInUse);

    struct Expect { int state; QColor fill; QString text; QColor ink; };
    const QColor grey(196, 196, 196), green(0, 255, 0), red(255, 0, 0), black(Qt::black), dark(64, 64, 64);
    const Expect expected[CPowerNetworkChart::kRails] = {
        {1, green, "POT1 1.20 V", black}, {0, red, "POT2 1.50 V", black},  {1, green, "POT3 1.15 V", black},
        {2, grey, "POT4", dark},          {1, green, "DC-DC4 1.20 V", black}, {1, green, "DC-DC8 1.00 V", black},
    };
    EXPECT_NEAR(chart.RailVolts(3), 1.25, 0.002);
    const QImage image = chart.grab().toImage();
    const CPowerNetworkChart::Geometry g = CPowerNetworkChart::Layout(chart.width(), chart.height());
    for (int rail = 0; rail < CPowerNetworkChart::kRails; ++rail) {
        SCOPED_TRACE(rail);
        const Expect& e = expected[rail];
        EXPECT_EQ(chart.RailState(rail), e.state);
        EXPECT_EQ(chart.RailText(rail), e.text);
        EXPECT_EQ(chart.RailTextColour(rail), e.ink);
        // Inside the outline, above the text.
        EXPECT_EQ(image.pixelColor(g.boxes[rail].left + 2, g.boxes[rail].top + 1), e.fill);
        EXPECT_EQ(image.pixelColor(g.boxes[rail].left, g.boxes[rail].top + 3), black);  // outline
    }
    EXPECT_EQ(image.pixelColor(g.bus.x1, (g.bus.y1 + g.bus.y2) / 2), black);
    // Every pixel is painted on each redraw: nothing is erased first.
    EXPECT_TRUE(chart.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(PowerNetworkChart, TheTimerRefreshesEverySecondUntilStopped)
{
    DemoBench bench;
    CPowerNetworkChart chart;
    chart.SetPort(&bench.t->Port());
    chart.StartTimer(CPowerNetworkChart::kTimerPeriod);
    EXPECT_TRUE(chart.IsTimerActive());
    // A POT fault: the design shuts every supply down.
    bench.board->SetPotVolts(0, 0.5);
    bench.Advance(999ms);
    EXPECT_EQ(chart.RailState(0), demodesign::kRailGood);  // not read yet
    EXPECT_EQ(chart.RailVolts(0), 0.0f);
    // A refresh in five steps, each its own turn under its own cable lock:
    // the status, HMU0's POTs, HMU1's POTs, DC-DC4, DC-DC8.
    const auto locks = [&] { return bench.board->Driver()->OpenCount(CSimulatedFtdiDriver::kEnableChannel); };
    const int before = locks();
    bench.Advance(1ms);
    EXPECT_EQ(locks() - before, 5);
    EXPECT_FALSE(chart.RefreshPending());
    for (int rail : {0, 1, 2, 3, 4, 5}) {
        EXPECT_EQ(chart.RailState(rail), demodesign::kRailFault) << rail;
        EXPECT_NEAR(chart.RailVolts(rail), 0.0, 0.002) << rail;
    }
    chart.StopTimer();
    bench.board->SetPotVolts(0, 1.2);
    bench.board->PressManualRestart();
    bench.Advance(10s);
    EXPECT_EQ(chart.RailState(0), demodesign::kRailFault);
    EXPECT_EQ(bench.clock.ActiveTimers(), 0);
    const int stopped = locks();
    chart.Refresh();
    EXPECT_EQ(chart.RailState(0), demodesign::kRailGood);
    EXPECT_EQ(locks() - stopped, 1) << "a refresh asked for at once is one lock";
}

}  // namespace
