// The Trend window headless: a log opened from the main window's File menu,
// the series it holds and plots, the legend, zoom and pan with the mouse,
// the exports, damaged and unreadable files, and records shown as they come,
// also from the data logging status window on the simulated board.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QDateTime>
#include <QCategoryAxis>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QImage>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "app/TovinMainDlg.h"
#include "ui/FontOccManager.h"
#include "logging/LogCsv.h"
#include "logview/TovinLogStatus.h"
#include "logview/TovinTrendDlg.h"
#include "logview/TrendChartView.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"
#include "tests/logging/LogTestFile.h"
#include "tests/logging/LogTestSupport.h"
#include "tests/logging/VirtualTimer.h"

namespace {

using logread::Quantity;

constexpr int kVmon1 = 0;
constexpr int kHvout1 = 10;
constexpr int kTmon3 = 26;
constexpr int kHimon = 28;

double Ms(int year, int month, int day, int hour, int minute, int second)
{
    return static_cast<double>(QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toMSecsSinceEpoch());
}

// The chart's time axis shows the window's time range (to the millisecond).
void ExpectTimeAxis(const CTovinTrendDlg& trend, Quantity quantity)
{
    const auto* axis = qobject_cast<QCategoryAxis*>(trend.Chart(quantity)->axes(Qt::Horizontal).front());
    ASSERT_NE(axis, nullptr);
    EXPECT_NEAR(axis->min(), trend.TimeRange().min, 1.0);
    EXPECT_NEAR(axis->max(), trend.TimeRange().max, 1.0);
}

// Opens the log through "Open Log..." of a main window and returns its Trend window.
struct Opened {
    TestApp t;
    CTovinMainDlg main;
    CTovinTrendDlg* trend = nullptr;

    explicit Opened(const std::string& path)
    {
        t.ui.openAnswers.push_back(QString::fromStdString(path));
        main.Action(QStringLiteral("&Open Log..."))->trigger();
        trend = main.findChild<CTovinTrendDlg*>();
        if (trend) {
            trend->resize(1200, 700);
            QApplication::processEvents();
            trend->UpdateCharts();
        }
    }
};

TEST(TrendWindow, OpensALogFromTheFileMenuAndPlotsEveryRecordOfTheFirstDevice)
{
    logtest::TempFile file("three.log", logtest::FullLog(20, 3, 5));
    Opened o(file.Path());
    ASSERT_NE(o.trend, nullptr);
    CTovinTrendDlg& trend = *o.trend;
    EXPECT_TRUE(trend.isVisible());
    EXPECT_TRUE(o.t.ui.messages.empty()) << o.t.ui.MessageTexts().join('\n').toStdString();
    EXPECT_EQ(trend.windowTitle().toStdString(), "ZENT I2C Trend - " + std::filesystem::path(file.Path()).filename().string());
    EXPECT_EQ(trend.Data().Series().size(), 3u * 29);

    // Record n at the header's start time plus n - 1 intervals of 5 s.
    const double start = Ms(2024, 12, 31, 23, 59, 58);
    EXPECT_EQ(trend.RecordTime(1), start);
    EXPECT_EQ(trend.RecordTime(20), start + 19 * 5000.0);
    EXPECT_EQ(trend.TimeRange(), (trend::Range{start, start + 19 * 5000.0}));
    for (const Quantity q : {Quantity::Volts, Quantity::Amperes, Quantity::Celsius, Quantity::State}) {
        EXPECT_TRUE(trend.ChartShown(q));
        ExpectTimeAxis(trend, q);
    }

    // HMU0 shown, the others hidden until ticked.
    for (int device = 0; device < 3; ++device)
        for (int channel = 0; channel < logread::kChannels; ++channel)
            EXPECT_EQ(trend.IsShown(device, channel), device == 0) << device << " " << channel;
    const std::vector<trend::Point> vmon = trend.PlottedPoints(0, kVmon1);
    ASSERT_EQ(vmon.size(), 20u);
    for (int r = 1; r <= 20; ++r) {
        EXPECT_EQ(vmon[static_cast<size_t>(r - 1)].x, trend.RecordTime(r));
        EXPECT_NEAR(vmon[static_cast<size_t>(r - 1)].y, logtest::SampleValue(r, 0, kVmon1), 5e-4);
    }
    EXPECT_TRUE(trend.PlottedPoints(1, kVmon1).empty());

    // Value axes around what is shown, with units.
    const trend::Range volts = trend.ValueAxisRange(Quantity::Volts);
    for (int channel = 0; channel < 10; ++channel)
        for (int r = 1; r <= 20; ++r) {
            EXPECT_GE(logtest::SampleValue(r, 0, channel), volts.min);
            EXPECT_LE(logtest::SampleValue(r, 0, channel), volts.max);
        }
    EXPECT_LT(volts.Span(), 3.0);
    EXPECT_TRUE(trend.ValueAxisFormat(Quantity::Volts).endsWith(" V"));
    EXPECT_TRUE(trend.ValueAxisFormat(Quantity::Amperes).endsWith(" A"));
    EXPECT_TRUE(trend.ValueAxisFormat(Quantity::Celsius).endsWith(QString::fromUtf8(" \u00B0C")));

    // The value charts get the height; a pin lane a line of its label's text.
    const QChart* states = trend.Chart(Quantity::State);
    const int laneLine = QFontMetrics(states->axes(Qt::Vertical).front()->labelsFont()).height();
    EXPECT_GE(states->plotArea().height(), 14 * laneLine * 0.9);
    for (const Quantity q : {Quantity::Volts, Quantity::Amperes, Quantity::Celsius})
        EXPECT_GE(trend.ChartView(q)->height(), trend.ChartView(Quantity::State)->height() / 2) << static_cast<int>(q);
    // Pin states: one lane each, HVOUT1 at the top, as steps within the lane.
    QStringList lanes;
    for (const char* name : {"HVOUT1", "HVOUT2", "HVOUT3", "HVOUT4", "GPIO1", "GPIO2", "GPIO3", "GPIO4", "GPIO5",
                             "GPIO6", "GPIO7", "GPIO8", "GPIO9", "GPIO10"})
        lanes << QStringLiteral("HMU0 ") + name;
    EXPECT_EQ(trend.LaneLabels(), lanes);
    for (const trend::Point& p : trend.PlottedPoints(0, kHvout1))
        EXPECT_TRUE(p.y == trend::LaneY(0, 14, 0) || p.y == trend::LaneY(0, 14, 1)) << p.y;
    std::vector<trend::Point> samples;
    for (int r = 1; r <= 20; ++r)
        samples.push_back({trend.RecordTime(r), trend::LaneY(0, 14, logtest::SampleValue(r, 0, kHvout1))});
    EXPECT_EQ(trend.PlottedPoints(0, kHvout1), trend::StepPoints(samples));

    // The legend: HMU1 ticked as a whole shows its 29 series and 14 more lanes.
    QTreeWidget* legend = trend.Legend();
    ASSERT_EQ(legend->topLevelItemCount(), 3);
    EXPECT_EQ(legend->topLevelItem(1)->text(0), "HMU1");
    EXPECT_EQ(legend->topLevelItem(1)->childCount(), 29);
    legend->topLevelItem(1)->setCheckState(0, Qt::Checked);
    trend.UpdateCharts();
    EXPECT_EQ(trend.PlottedPoints(1, kVmon1).size(), 20u);
    EXPECT_EQ(trend.LaneLabels().size(), 28);
    EXPECT_EQ(trend.LaneLabels()[14], "HMU1 HVOUT1");
    // 20 voltages and more: no two lines of a chart drawn alike, once the colours run out dashed.
    for (const Quantity q : {Quantity::Volts, Quantity::Amperes, Quantity::Celsius, Quantity::State}) {
        std::map<QString, std::pair<QRgb, Qt::PenStyle>> pens;
        for (QAbstractSeries* series : trend.Chart(q)->series()) {
            const auto* line = qobject_cast<QLineSeries*>(series);
            if (line->isVisible()) pens[line->name()] = {line->pen().color().rgb(), line->pen().style()};
        }
        std::set<std::pair<QRgb, Qt::PenStyle>> distinct;
        for (const auto& [name, pen] : pens) distinct.insert(pen);
        EXPECT_EQ(distinct.size(), pens.size()) << static_cast<int>(q);
        EXPECT_GE(pens.size(), q == Quantity::Volts ? 20u : 2u);
    }
    // Hiding every temperature hides its chart.
    for (int device : {0, 1})
        for (int channel = 24; channel <= kTmon3; ++channel) trend.SetShown(device, channel, false);
    trend.UpdateCharts();
    EXPECT_FALSE(trend.ChartShown(Quantity::Celsius));
    EXPECT_EQ(legend->topLevelItem(0)->checkState(0), Qt::PartiallyChecked);
}

// The lane labels Qt Charts draws on the state chart: those it hides where
// two would overlap are left out.
QStringList ShownLaneLabels(const CTovinTrendDlg& trend, std::vector<QRectF>* where = nullptr)
{
    const QStringList lanes = trend.LaneLabels();
    QStringList shown;
    for (QGraphicsItem* item : trend.Chart(Quantity::State)->scene()->items(Qt::AscendingOrder)) {
        const auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (text == nullptr || !text->isVisible() || !lanes.contains(text->toPlainText())) continue;
        shown << text->toPlainText();
        if (where) where->push_back(text->sceneBoundingRect());
    }
    return shown;
}

TEST(TrendWindow, EveryPinLaneKeepsAReadableLabelOnALaptopScreenAtBothFonts)
{
    // A 1366 x 768 screen: the window's own size (1180 x 700), or less where
    // a task bar takes some height. Two devices' 28 lanes need more than the
    // window gives the pins: their labels come back once the user drags the
    // state chart taller.
    logtest::TempFile file("lanes.log", logtest::FullLog(20, 2));
    const struct {
        bool large;
        int height;
        int devices;      // whose pins are shown: 14 lanes each
        int stateHeight;  // the state chart dragged to this height; 0: as the window arranges it
    } cases[] = {
        {false, 700, 1, 0}, {false, 680, 1, 0}, {true, 700, 1, 0}, {true, 680, 1, 0},
        {false, 700, 2, 460}, {true, 700, 2, 460},
    };
    const bool previousFont = CFontOccManager::LargeFont();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.large ? "large" : "normal") << " font, height " << c.height << ", "
                                        << c.devices << " device(s)");
        TestApp t(std::make_shared<CSimulatedFtdiDriver>(),
                  [&](CMemorySettingsStore& s) { s.Set("Large UI Font", SettingValue::Number(c.large ? 1 : 0)); });
        CTovinMainDlg main;
        t.ui.openAnswers.push_back(QString::fromStdString(file.Path()));
        main.Action(QStringLiteral("&Open Log..."))->trigger();
        auto* trend = main.findChild<CTovinTrendDlg*>();
        ASSERT_NE(trend, nullptr);
        for (int channel = 0; channel < logread::kChannels; ++channel) trend->SetShown(1, channel, c.devices > 1);
        trend->resize(1180, c.height);
        QApplication::processEvents();
        trend->UpdateCharts();
        QApplication::processEvents();
        if (c.stateHeight > 0) {
            auto* charts = qobject_cast<QSplitter*>(trend->ChartView(Quantity::State)->parentWidget());
            ASSERT_NE(charts, nullptr);
            const int rest = (charts->height() - c.stateHeight) / 3;
            charts->setSizes({rest, rest, rest, c.stateHeight});
            QApplication::processEvents();
        }
        const QStringList lanes = trend->LaneLabels();
        ASSERT_EQ(lanes.size(), 14 * c.devices);
        std::vector<QRectF> where;
        const QStringList shown = ShownLaneLabels(*trend, &where);
        QStringList missing;
        for (const QString& lane : lanes)
            if (!shown.contains(lane)) missing << lane;
        EXPECT_EQ(missing.join(QStringLiteral(", ")).toStdString(), "");
        // Readable: no smaller than 6.4 points, and no two labels on top of each other.
        const QFont font = trend->Chart(Quantity::State)->axes(Qt::Vertical).front()->labelsFont();
        EXPECT_GE(font.pointSizeF(), 6.4);
        for (size_t i = 1; i < where.size(); ++i)
            for (size_t j = 0; j < i; ++j) EXPECT_FALSE(where[i].intersects(where[j])) << i << " " << j;
        trend->close();
    }
    CFontOccManager::SetLargeFont(previousFont);
}

TEST(TrendWindow, WheelDragAndDoubleClickZoomAndPanEveryChartTogether)
{
    // A spike of 5 V at record 2; about 1.2 V after it.
    std::string log = logtest::Header(1, 0);
    for (int r = 1; r <= 100; ++r)
        log += logtest::Record(r, {0}, {{0, kVmon1, r == 2 ? 5.0 : 1.2 + 0.001 * (r % 10)}, {0, kTmon3, 30.0 + r * 0.25}});
    logtest::TempFile file("spike.log", log);
    Opened o(file.Path());
    ASSERT_NE(o.trend, nullptr);
    CTovinTrendDlg& trend = *o.trend;
    const trend::Range whole = trend.WholeTimeRange();
    EXPECT_EQ(whole.Span(), 99000.0);
    EXPECT_GT(trend.ValueAxisRange(Quantity::Volts).max, 5.0);
    EXPECT_FALSE(trend.ResetButton()->isEnabled());

    CTrendChartView* view = trend.ChartView(Quantity::Volts);
    QWidget* viewport = view->viewport();
    // A point at `fraction` across the plot as it is laid out now.
    const auto at = [&](double fraction) {
        const QRectF plot = view->chart()->plotArea();
        return view->mapFromScene(view->chart()->mapToScene(
            QPointF(plot.left() + fraction * plot.width(), plot.center().y())));
    };

    // The wheel, two notches in at the right end: the end stays in view.
    QWheelEvent wheel(at(1.0), view->mapToGlobal(at(1.0)), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_NEAR(trend.TimeRange().Span(), 99000.0 * 0.64, 1.0);
    EXPECT_NEAR(trend.TimeRange().max, whole.max, 1.0);
    EXPECT_TRUE(trend.ResetButton()->isEnabled());
    // The spike is out of view: the voltage axis closes in on the rest.
    EXPECT_LT(trend.ValueAxisRange(Quantity::Volts).max, 1.3);
    EXPECT_GT(trend.ValueAxisRange(Quantity::Volts).min, 1.1);
    for (const Quantity q : {Quantity::Volts, Quantity::Celsius}) ExpectTimeAxis(trend, q);

    // Dragging from a quarter to the half of the plot zooms to that range.
    const trend::Range before = trend.TimeRange();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at(0.25));
    QTest::mouseMove(viewport, at(0.4));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at(0.5));
    EXPECT_NEAR(trend.TimeRange().min, before.min + 0.25 * before.Span(), 0.01 * before.Span());
    EXPECT_NEAR(trend.TimeRange().max, before.min + 0.5 * before.Span(), 0.01 * before.Span());

    // A right drag to the right moves back in time, by what was dragged over.
    const trend::Range selected = trend.TimeRange();
    QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier, at(0.5));
    QTest::mouseMove(viewport, at(0.6));
    QTest::mouseRelease(viewport, Qt::RightButton, Qt::NoModifier, at(0.6));
    EXPECT_NEAR(trend.TimeRange().min, selected.min - 0.1 * selected.Span(), 0.01 * selected.Span());
    EXPECT_NEAR(trend.TimeRange().Span(), selected.Span(), 1.0);
    ExpectTimeAxis(trend, Quantity::Celsius);

    // A double click, or the button, shows the whole log again.
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at(0.5));
    EXPECT_EQ(trend.TimeRange(), whole);
    EXPECT_GT(trend.ValueAxisRange(Quantity::Volts).max, 5.0);
    trend.ZoomAt(0.5, 0.5);
    QTest::mouseClick(trend.ResetButton(), Qt::LeftButton);
    EXPECT_EQ(trend.TimeRange(), whole);
}

TEST(TrendWindow, TheReadoutGivesEveryLineOfAChartAtThePointerByItsLegendName)
{
    // VMON1 and VMON2 every second from 23:59:58, VMON2 missing in record 3; HIMON in records 1 and 4 only.
    std::string log = logtest::Header(1, 0);
    for (int r = 1; r <= 5; ++r) {
        std::vector<logtest::Value> values = {{0, kVmon1, 1.0 + 0.125 * r}};
        if (r != 3) values.push_back({0, 1, 2.0 + 0.25 * r});
        if (r == 1 || r == 4) values.push_back({0, kHimon, 0.5 * r});
        log += logtest::Record(r, {0}, values);
    }
    logtest::TempFile file("readout.log", log);
    Opened o(file.Path());
    ASSERT_NE(o.trend, nullptr);
    CTovinTrendDlg& trend = *o.trend;
    const double t1 = trend.RecordTime(1);
    const struct {
        const char* where;
        Quantity quantity;
        double time;
        const char* text;
    } cases[] = {
        {"before the first record", Quantity::Volts, t1 - 500, "23:59:57\nHMU0 VMON1 = ---\nHMU0 VMON2 = ---"},
        {"on a record", Quantity::Volts, t1 + 1000, "23:59:59, record 2\nHMU0 VMON1 = 1.250 V\nHMU0 VMON2 = 2.500 V"},
        {"after a record without VMON2", Quantity::Volts, t1 + 2999,
         "00:00:00, record 3\nHMU0 VMON1 = 1.375 V\nHMU0 VMON2 = ---"},
        {"past the last record", Quantity::Volts, t1 + 9000,
         "00:00:07, record 5\nHMU0 VMON1 = 1.625 V\nHMU0 VMON2 = 3.250 V"},
        {"a missing reading is not the one before", Quantity::Amperes, t1 + 1500, "23:59:59, record 2\nHMU0 HIMON = ---"},
        {"current on its record", Quantity::Amperes, t1 + 3000, "00:00:01, record 4\nHMU0 HIMON = 2.000 A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trend.Readout(c.quantity, c.time).toStdString(), c.text) << c.where;
    // The legend's tip names the line as the window does, and as the log does.
    const QTreeWidgetItem* device = trend.Legend()->topLevelItem(0);
    ASSERT_EQ(device->childCount(), 3);
    EXPECT_EQ(device->child(2)->text(0), "HIMON");
    EXPECT_EQ(device->child(2)->toolTip(0), "HMU0 HIMON (HMU0_IMON2 in the log)");

    // A hidden line is left out.
    trend.SetShown(0, 1, false);
    trend.UpdateCharts();
    EXPECT_EQ(trend.Readout(Quantity::Volts, t1 + 1000).toStdString(), "23:59:59, record 2\nHMU0 VMON1 = 1.250 V");

    // The pointer anywhere over the plot, not on a line: the tip reads the time under it.
    CTrendChartView* view = trend.ChartView(Quantity::Volts);
    QChart* chart = view->chart();
    const QRectF plot = chart->plotArea();
    const double time = t1 + 3500;
    const double x = plot.left() + plot.width() * (time - trend.TimeRange().min) / trend.TimeRange().Span();
    const QPointF at(x, plot.top() + 3);
    QTest::mouseMove(view->viewport(), view->mapFromScene(chart->mapToScene(at)));
    EXPECT_EQ(QToolTip::text().toStdString(), trend.Readout(Quantity::Volts, time).toStdString());
    EXPECT_EQ(QToolTip::text().toStdString(), "00:00:01, record 4\nHMU0 VMON1 = 1.500 V");
}

TEST(TrendWindow, ExportsTheViewAsPngAndTheValuesAsCsv)
{
    logtest::TempFile file("export.log", logtest::FullLog(30, 2));
    logtest::TempFile png("export.png");
    logtest::TempFile csv("export.csv");
    Opened o(file.Path());
    ASSERT_NE(o.trend, nullptr);

    o.t.ui.saveAnswers = {QString::fromStdString(png.Path()), QString::fromStdString(csv.Path())};
    o.trend->ExportPng();
    o.trend->ExportCsv();
    EXPECT_TRUE(o.t.ui.messages.empty()) << o.t.ui.MessageTexts().join('\n').toStdString();
    const QImage image(QString::fromStdString(png.Path()));
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 600);
    // A title line above the charts says what the image is of.
    const QWidget* charts = o.trend->ChartView(Quantity::Volts)->parentWidget();
    EXPECT_EQ(image.height(), charts->height() + o.trend->fontMetrics().height() + 4);
    const std::string name = QFileInfo(QString::fromStdString(file.Path())).fileName().toStdString();
    EXPECT_EQ(o.trend->ExportTitle().toStdString(), name + ": HMU0, 2024-12-31 23:59:58 to 2025-01-01 00:00:27");
    o.trend->SetShown(1, kTmon3, true);
    EXPECT_EQ(o.trend->ExportTitle().toStdString(),
              name + ": HMU0, HMU1, 2024-12-31 23:59:58 to 2025-01-01 00:00:27");
    o.trend->SetShown(1, kTmon3, false);
    // Zoomed in, the title gives the span shown (a short one to the
    // millisecond); Reset gives the whole log's again.
    const double first = o.trend->WholeTimeRange().min;
    const struct {
        double from, to;  // ms after the first record; to < 0: Reset pressed
        const char* span;
    } zooms[] = {
        {5000, 15000, "2025-01-01 00:00:03.000 to 2025-01-01 00:00:13.000"},
        {1250, 3750, "2024-12-31 23:59:59.250 to 2025-01-01 00:00:01.750"},
        {0, -1, "2024-12-31 23:59:58 to 2025-01-01 00:00:27"},
        {20000.4, 29000, "2025-01-01 00:00:18.000 to 2025-01-01 00:00:27.000"},
    };
    for (const auto& z : zooms) {
        if (z.to < 0)
            QTest::mouseClick(o.trend->ResetButton(), Qt::LeftButton);
        else
            o.trend->SetTimeRange({first + z.from, first + z.to});
        EXPECT_EQ(o.trend->ExportTitle().toStdString(), name + ": HMU0, " + z.span) << z.from;
    }
    QTest::mouseClick(o.trend->ResetButton(), Qt::LeftButton);
    // Beside the charts, a swatch of each line's colour names it.
    const int chartsWidth = o.trend->Chart(Quantity::Volts)->scene()->views().first()->width();
    ASSERT_GT(image.width(), chartsWidth);
    int lines = 0;
    for (const Quantity q : {Quantity::Volts, Quantity::Amperes, Quantity::Celsius}) {
        for (QAbstractSeries* series : o.trend->Chart(q)->series()) {
            const auto* line = qobject_cast<QLineSeries*>(series);
            if (line == nullptr || !line->isVisible()) continue;
            ++lines;
            bool found = false;
            for (int y = 0; y < image.height() && !found; ++y)
                for (int x = chartsWidth; x < image.width() && !found; ++x)
                    found = image.pixelColor(x, y).rgb() == line->color().rgb();
            EXPECT_TRUE(found) << line->name().toStdString();
        }
    }
    EXPECT_GT(lines, 0);

    std::ifstream in(csv.Path());
    std::stringstream read;
    read << in.rdbuf();
    const std::string written = read.str();
    std::ostringstream expected;
    logread::WriteLogCsv(logread::ReadLogFile(file.Path()).data, expected);
    EXPECT_EQ(written, expected.str());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 31);

    // A folder that does not exist: said so, nothing else happens.
    o.t.ui.saveAnswers = {QStringLiteral("/nonexistent-folder/view.png"), QStringLiteral("/nonexistent-folder/v.csv")};
    o.trend->ExportPng();
    o.trend->ExportCsv();
    ASSERT_EQ(o.t.ui.messages.size(), 2u);
    EXPECT_TRUE(o.t.ui.messages[0].text.startsWith("The image could not be saved as /nonexistent-folder/view.png"));
    EXPECT_EQ(o.t.ui.messages[1].text, "The values could not be saved as /nonexistent-folder/v.csv:\n" +
                                           QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(o.t.ui.messages[1].icon, CUserInteraction::Icon::Exclamation);
}

TEST(TrendWindow, TimeTicksFallAtRoundClockTimes)
{
    // A record every 10 minutes for 33 hours.
    logtest::TempFile file("ticks.log", logtest::FullLog(200, 1, 600));
    Opened o(file.Path());
    ASSERT_NE(o.trend, nullptr);
    const trend::Range whole = o.trend->WholeTimeRange();
    const struct {
        double span;
        const char* format;
    } cases[] = {
        {1000.0, "HH:mm:ss.zzz"}, {39'000.0, "HH:mm:ss"}, {3'600'000.0, "HH:mm"}, {whole.Span(), "MM-dd HH:mm"},
    };
    const std::vector<double> steps = {100, 200, 500, 1e3, 2e3, 5e3, 1e4, 15e3, 3e4, 6e4, 12e4, 3e5, 6e5, 9e5, 18e5,
                                       36e5, 72e5, 108e5, 216e5, 432e5, 864e5};
    for (const auto& c : cases) {
        // Starting 7.3 s into the log: no tick on the view's edge by chance.
        o.trend->SetTimeRange({whole.min + 7300, whole.min + 7300 + c.span});
        const trend::Range view = o.trend->TimeRange();
        auto* axis = qobject_cast<QCategoryAxis*>(o.trend->Chart(Quantity::Volts)->axes(Qt::Horizontal).front());
        ASSERT_NE(axis, nullptr);
        EXPECT_EQ(o.trend->TimeAxisFormat().toStdString(), c.format) << c.span;
        const QStringList labels = axis->categoriesLabels();
        ASSERT_GE(labels.size(), 3) << c.span;
        EXPECT_LE(labels.size(), 16) << c.span;
        const double step = axis->endValue(labels[1]) - axis->endValue(labels[0]);
        EXPECT_NE(std::find(steps.begin(), steps.end(), step), steps.end()) << c.span << ": " << step;
        for (int k = 0; k < labels.size(); ++k) {
            const double at = axis->endValue(labels[k]);
            const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(at));
            EXPECT_EQ(labels[k], time.toString(c.format));
            EXPECT_GE(at, view.min);
            EXPECT_LE(at, view.max);
            if (k > 0) {
                EXPECT_DOUBLE_EQ(at - axis->endValue(labels[k - 1]), step);
            }
            // Round on the local clock.
            const double local = at + time.offsetFromUtc() * 1000.0;
            EXPECT_DOUBLE_EQ(std::fmod(local, step), 0.0) << labels[k].toStdString();
        }
    }
}

TEST(TrendWindow, SaysWhatItCouldNotReadOfALog)
{
    // Garbage in record 2, and a crash in the middle of record 3.
    std::string log = logtest::Header(1, 3) + logtest::Record(1, {0}, {{0, kVmon1, 1.1}}) +
                      logtest::Record(2, {0}, {{0, kVmon1, 1.2}}) + "\x01\x02\x03\n" +
                      logtest::Record(3, {0}, {{0, kVmon1, 1.3}, {0, kTmon3, 30}});
    log.resize(log.size() - 6);
    logtest::TempFile damaged("damaged.log", log);
    Opened o(damaged.Path());
    ASSERT_NE(o.trend, nullptr);
    ASSERT_EQ(o.t.ui.messages.size(), 1u);
    EXPECT_EQ(o.t.ui.messages[0].text.toStdString(),
              std::filesystem::path(damaged.Path()).filename().string() +
                  " is read, but not all of it:\n\nline 12: not a value line: '\\x01\\x02\\x03'\nline 15: cut short (no "
                  "line end), left out; the log ends with record 3 up to its last whole line");
    EXPECT_EQ(o.trend->PlottedPoints(0, kVmon1).size(), 3u);
    EXPECT_TRUE(o.trend->InfoText().contains("Not all of the file could be read"));

    // Nothing to read: said so, and no window.
    logtest::TempFile missing("missing.log");
    Opened none(missing.Path());
    EXPECT_EQ(none.trend, nullptr);
    ASSERT_EQ(none.t.ui.messages.size(), 1u);
    EXPECT_EQ(none.t.ui.messages[0].text.toStdString(), "cannot open " + missing.Path() + ": " + std::strerror(ENOENT));
}

TEST(TrendWindow, ShowsRecordsAsTheyAreWritten)
{
    TestApp t;
    CTovinTrendDlg trend;
    logread::LogInfo info;
    info.intervalSeconds = 2;
    info.totalRecords = 0;
    info.start = logread::LogDateTime{2025, 3, 30, 12, 0, 0};
    trend.StartLive(info, QStringLiteral("/tmp/run.log"));
    trend.resize(1200, 700);
    trend.show();
    QApplication::processEvents();
    EXPECT_TRUE(trend.InfoText().startsWith("Logging to run.log: no records yet"));

    const auto record = [&](int r) {
        std::vector<CTovinTrendDlg::Value> values;
        for (int device : {0, 1})
            for (int channel = 0; channel < logread::kChannels; ++channel)
                values.push_back({device, channel, logtest::SampleValue(r, device, channel),
                                  logread::QuantityOf(channel) == Quantity::State ? 0 : 3});
        trend.AddRecord(r, values);
    };
    for (int r = 1; r <= 5; ++r) {
        record(r);
        // Drawn once the caller is done, not while the record is written.
        EXPECT_EQ(trend.PlottedPoints(0, kVmon1).size(), r == 1 ? 0u : static_cast<size_t>(r - 1));
        QApplication::processEvents();
        const std::vector<trend::Point> points = trend.PlottedPoints(0, kVmon1);
        ASSERT_EQ(points.size(), static_cast<size_t>(r));
        EXPECT_EQ(points.back().x, Ms(2025, 3, 30, 12, 0, 0) + (r - 1) * 2000.0);
        EXPECT_NEAR(points.back().y, logtest::SampleValue(r, 0, kVmon1), 1e-9);
        if (r > 1) {
            EXPECT_EQ(trend.TimeRange(), (trend::Range{points.front().x, points.back().x}));
        }
    }
    EXPECT_TRUE(trend.IsShown(0, kVmon1));
    EXPECT_FALSE(trend.IsShown(1, kVmon1));
    // Each record's state appended to the step line as a whole line would draw it.
    std::vector<trend::Point> hvout;
    for (int r = 1; r <= 5; ++r)
        hvout.push_back({trend.RecordTime(r), trend::LaneY(0, 14, logtest::SampleValue(r, 0, kHvout1))});
    EXPECT_EQ(trend.PlottedPoints(0, kHvout1), trend::StepPoints(hvout));
    EXPECT_TRUE(trend.InfoText().startsWith("Logging to run.log: records 1 to 5, 2 device(s), 58 channel(s), every 2 s"));

    // Zoomed in, the view stays where the user put it while records come.
    trend.SetTimeRange({trend.RecordTime(2), trend.RecordTime(3)});
    record(6);
    QApplication::processEvents();
    EXPECT_EQ(trend.TimeRange(), (trend::Range{trend.RecordTime(2), trend.RecordTime(3)}));
    EXPECT_EQ(trend.PlottedPoints(0, kVmon1).size(), 6u);
    // The CSV of what came so far: the values as the log writes them.
    std::ostringstream csv;
    logread::WriteLogCsv(trend.Data(), csv);
    EXPECT_NE(csv.str().find("\n6,2025-03-30 12:00:10,"), std::string::npos);
}

TEST(TrendWindow, FollowsTheLoggingRunOfTheStatusWindow)
{
    auto board = CSimulatedBoard::CreateDefault();
    TestApp t(board->Driver(), [](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(0)); });
    const std::filesystem::path path = LogTestFolder() / "followed.log";
    t.app->Remembered().logFileName = QString::fromStdString(path.string());
    CTovinMainDlg main;
    main.OnStartDataLogging();
    auto* status = qobject_cast<CTovinLogStatus*>(t.app->LogStatusWindow());
    ASSERT_NE(status, nullptr);
    auto timer = std::make_unique<CVirtualTimer>();
    CVirtualTimer& clock = *timer;
    status->SetTimer(std::move(timer));

    // "Trend" is there while logging runs.
    EXPECT_FALSE(status->TrendButton()->isEnabled());
    status->DelayField()->setText("1");
    status->TotalField()->setText("0");
    board->SetVmon(0, 0, 1.1);
    status->StartButton()->click();
    EXPECT_TRUE(status->TrendButton()->isEnabled());
    clock.Advance(1000);  // record 2, before the window opens

    // It opens on the records written so far, read from the log file.
    status->TrendButton()->click();
    CTovinTrendDlg* trend = status->TrendWindow();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_TRUE(t.ui.messages.empty()) << t.ui.MessageTexts().join('\n').toStdString();
    EXPECT_EQ(trend->Data().Records(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(trend->InfoText().startsWith("Logging to followed.log: records 1 to 2, 2 device(s), 57 channel(s)"));
    status->TrendButton()->click();  // a second click brings the same window forward
    EXPECT_EQ(status->findChildren<CTovinTrendDlg*>().size(), 1);

    // Each record appears as it is written: held at once, drawn once the
    // timer's tick is over.
    for (int r = 3; r <= 6; ++r) {
        board->SetVmon(0, 0, 1.0 + 0.1 * r);
        clock.Advance(1000);
        EXPECT_EQ(trend->Data().Records().back(), r);
        QApplication::processEvents();
        const std::vector<trend::Point> vmon = trend->PlottedPoints(0, kVmon1);
        ASSERT_EQ(vmon.size(), static_cast<size_t>(r));
        EXPECT_NEAR(vmon.back().y, 1.0 + 0.1 * r, 0.002);
        EXPECT_EQ(vmon.back().x - vmon.front().x, (r - 1) * 1000.0);
    }
    // What it shows is what the file holds.
    const logread::LogReadResult file = logread::ReadLogFile(path.string());
    ASSERT_EQ(file.data.Series().size(), trend->Data().Series().size());
    for (size_t i = 0; i < file.data.Series().size(); ++i) {
        const logread::LogSeries& written = file.data.Series()[i];
        const logread::LogSeries& shown = trend->Data().Series()[i];
        ASSERT_EQ(shown.Name(), written.Name());
        const std::vector<logread::LogPoint> shownPoints = trend->Data().Points(shown);
        const std::vector<logread::LogPoint> writtenPoints = file.data.Points(written);
        ASSERT_EQ(shownPoints.size(), writtenPoints.size()) << shown.Name();
        for (size_t p = 0; p < shownPoints.size(); ++p)
            EXPECT_NEAR(shownPoints[p].value, writtenPoints[p].value, 5e-4) << shown.Name();
    }

    // Stopped, the window keeps the run; a new run starts it afresh.
    status->StopButton()->click();
    EXPECT_FALSE(status->TrendButton()->isEnabled());
    EXPECT_TRUE(trend->InfoText().startsWith("followed.log: records 1 to 6"));
    status->StartButton()->click();
    EXPECT_EQ(trend->Data().Records(), (std::vector<int>{1}));
    QApplication::processEvents();
    EXPECT_TRUE(trend->InfoText().startsWith("Logging to followed.log: records 1 to 1"));

    // It closes with the status window.
    QPointer<CTovinTrendDlg> watched(trend);
    status->CancelButton()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());
}

// A reading the log left out, or a device that stopped answering, is a gap
// in its line, never a line across; and a long log's lines, decimated to the
// chart's width, still reach every spike. Opened from the File menu.
TEST(TrendWindow, MissingReadingsAreGapsAndSpikesStayInLongLogs)
{
    // HMU1 answers in every record but 40..59 and 2000..2099; HMU0's VMON1
    // reading failed in record 7; record 3000 holds HMU0's spike.
    const auto values = [](int r) {
        std::vector<logtest::Value> in;
        if (r != 7) in.push_back({0, kVmon1, r == 3000 ? 9.5 : 1.2 + 0.001 * (r % 5)});
        in.push_back({0, kHvout1, static_cast<double>((r / 50) % 2)});
        if (!(r >= 40 && r < 60) && !(r >= 2000 && r < 2100)) in.push_back({1, kVmon1, 1.6 + 0.001 * (r % 3)});
        return in;
    };
    const auto log = [&](int records) {
        std::string text = logtest::Header(1, records);
        for (int r = 1; r <= records; ++r) {
            const std::vector<logtest::Value> in = values(r);
            text += logtest::Record(r, in.back().device == 1 ? std::vector<int>{0, 1} : std::vector<int>{0}, in);
        }
        return text;
    };
    const struct {
        const char* name;
        int records;
        bool live;  // record by record as a logging run writes them, drawn after each
        std::vector<std::pair<int, std::vector<int>>> gaps;  // device: the records after which its line breaks
    } cases[] = {
        {"drawn whole", 100, false, {{0, {6}}, {1, {39}}}},
        {"decimated", 6000, false, {{0, {6}}, {1, {39, 1999}}}},
        {"as it is written", 100, true, {{0, {6}}, {1, {39}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        logtest::TempFile file("gaps.log", c.live ? std::string() : log(c.records));
        std::unique_ptr<Opened> opened;
        std::unique_ptr<CTovinTrendDlg> live;
        if (c.live) {
            live = std::make_unique<CTovinTrendDlg>();
            logread::LogInfo info;
            info.intervalSeconds = 1;
            info.start = logread::LogDateTime{2024, 12, 31, 23, 59, 58};
            live->StartLive(info, QStringLiteral("gaps.log"));
            live->resize(1200, 700);
            live->show();
            for (int r = 1; r <= c.records; ++r) {
                std::vector<CTovinTrendDlg::Value> in;
                for (const logtest::Value& v : values(r))
                    in.push_back({v.device, v.channel, v.value, v.channel == kHvout1 ? 0 : 3});
                live->AddRecord(r, in);
                if (r == 2) live->SetShown(1, kVmon1, true);
                QApplication::processEvents();
            }
        } else {
            opened = std::make_unique<Opened>(file.Path());
            ASSERT_NE(opened->trend, nullptr);
        }
        CTovinTrendDlg& trend = c.live ? *live : *opened->trend;
        trend.SetShown(1, kVmon1, true);
        trend.UpdateCharts();
        for (const auto& [device, after] : c.gaps) {
            SCOPED_TRACE(device);
            const std::vector<trend::Point> points = trend.PlottedPoints(device, kVmon1);
            ASSERT_FALSE(points.empty());
            // Where the line breaks: the last record drawn before each break.
            std::vector<int> breaks;
            for (size_t k = 1; k + 1 < points.size(); ++k) {
                if (!std::isnan(points[k].y)) continue;
                ASSERT_FALSE(std::isnan(points[k - 1].y));
                breaks.push_back(static_cast<int>(std::lround((points[k - 1].x - trend.RecordTime(1)) / 1000.0)) + 1);
            }
            EXPECT_EQ(breaks, after);
            // No record without a value lies on a line.
            for (size_t k = 1; k < points.size(); ++k) {
                if (std::isnan(points[k].y) || std::isnan(points[k - 1].y)) continue;
                for (int r = 1; r <= c.records; ++r) {
                    const double t = trend.RecordTime(r);
                    if (t <= points[k - 1].x || t >= points[k].x) continue;
                    const logread::LogSeries* series = trend.Data().Find(device, kVmon1);
                    EXPECT_TRUE(series->Has(trend.Data().RecordIndex(r))) << "record " << r << " joined";
                }
            }
        }
        // The spike of a single record, and the value axis reaching it.
        if (c.records >= 3000) {
            const std::vector<trend::Point> hmu0 = trend.PlottedPoints(0, kVmon1);
            EXPECT_NE(std::find(hmu0.begin(), hmu0.end(), trend::Point{trend.RecordTime(3000), 9.5}), hmu0.end());
            EXPECT_LT(hmu0.size(), static_cast<size_t>(c.records) / 2);
            EXPECT_GE(trend.ValueAxisRange(Quantity::Volts).max, 9.5);
        }
        // The pin state's lane: steps at every change, and only there.
        const std::vector<trend::Point> hvout = trend.PlottedPoints(0, kHvout1);
        int steps = 0;
        for (size_t k = 1; k < hvout.size(); ++k) steps += hvout[k].x == hvout[k - 1].x && hvout[k].y != hvout[k - 1].y;
        EXPECT_EQ(steps, c.records / 50);  // at records 50, 100, ...
    }
}

// Cancel in the progress of an open: no window, no message, the cursor back.
TEST(TrendWindow, CancelledOpenLeavesNothingBehind)
{
    logtest::TempFile file("cancelled.log", logtest::FullLog(200, 2));
    TestApp t;
    CTovinMainDlg main;
    t.ui.openAnswers.push_back(QString::fromStdString(file.Path()));
    bool cancelled = false;
    // As the reading turns the event loop: Cancel.
    QTimer::singleShot(0, &main, [&] {
        if (auto* progress = main.findChild<QProgressDialog*>()) {
            progress->cancel();
            cancelled = true;
        }
    });
    main.Action(QStringLiteral("&Open Log..."))->trigger();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(main.findChild<CTovinTrendDlg*>(), nullptr);
    EXPECT_EQ(main.findChild<QProgressDialog*>(), nullptr);
    EXPECT_TRUE(t.ui.messages.empty()) << t.ui.MessageTexts().join('\n').toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Not cancelled, the same file opens.
    t.ui.openAnswers.push_back(QString::fromStdString(file.Path()));
    main.Action(QStringLiteral("&Open Log..."))->trigger();
    auto* trend = main.findChild<CTovinTrendDlg*>();
    ASSERT_NE(trend, nullptr);
    EXPECT_EQ(trend->Data().Records().size(), 200u);
}

}  // namespace
