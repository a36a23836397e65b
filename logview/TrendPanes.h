#pragma once
// The Trend window's four chart panes (volts, amperes, degrees Celsius, pin
// states), stacked in one splitter: their charts and axes, how the height is
// shared between them, the plots lined up under one time axis, and the value
// and time axes set from the view. The window decides what is shown in them.

#include <QFont>
#include <QString>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "logging/LogReader.h"
#include "logging/TrendGeometry.h"

class QCategoryAxis;
class QChart;
class QSplitter;
class QValueAxis;
class QWidget;
class CTrendChartView;

class CTrendPanes {
public:
    static constexpr int kMargin = 2;

    struct Pane {
        logread::Quantity quantity = logread::Quantity::Volts;
        QChart* chart = nullptr;
        CTrendChartView* view = nullptr;
        QCategoryAxis* time = nullptr;  // milliseconds since 1970, labelled at round clock times
        QValueAxis* values = nullptr;  // for states a QCategoryAxis, with the lanes
        QCategoryAxis* lanes = nullptr;
        int colours = 0;               // colours handed out to its lines so far
    };
    using Panes = std::array<std::unique_ptr<Pane>, logread::kQuantities>;

    // Makes the charts in `charts`, hidden, with the fonts of `owner`.
    CTrendPanes(QWidget& owner, QSplitter& charts);

    Pane& At(logread::Quantity quantity) { return *m_panes[static_cast<size_t>(quantity)]; }
    const Pane& At(logread::Quantity quantity) const { return *m_panes[static_cast<size_t>(quantity)]; }
    Panes& All() { return m_panes; }
    const Panes& All() const { return m_panes; }

    // The state chart gets a line of text for each of `lanes`, within reason;
    // the other charts shown share the rest.
    void Arrange(int lanes);
    // The plots line up under the shared time axis, once the lane labels
    // have a size that lets Qt Charts show every one of them.
    void Align();
    // The lane labels' font: the preferred size where the lanes are tall
    // enough for it, else the largest one that still keeps every label (Qt
    // Charts drops a label that would overlap the one below), down to a
    // smallest readable size.
    void FitLaneLabels();
    // The height of a lane that shows a label in `font`, as Qt Charts
    // measures and places it.
    static int LanePitch(const QFont& font);
    // Only the lowest chart shown labels the time axis. Without a known
    // start, times count from `start`, the first record.
    void ApplyTimeRange(trend::Range view, bool startKnown, double start);
    // The format of the time labels now ("HH:mm:ss").
    const QString& TimeFormat() const { return m_timeFormat; }

    // The time labels over `view` on a plot `width` pixels wide: where each
    // tick is and its text, and the format of the texts.
    struct TimeLabels {
        std::vector<std::pair<double, QString>> ticks;
        QString format;
    };
    static TimeLabels MakeTimeLabels(trend::Range view, double width, const QFont& font, bool startKnown,
                                     double start);

    static QString Unit(logread::Quantity quantity);
    // The value labels' format, with the unit: "%.2f V".
    static QString LabelFormat(int decimals, logread::Quantity quantity);

private:
    QSplitter& m_charts;
    Panes m_panes;
    QFont m_laneFont;  // the lane labels' preferred font
    std::pair<double, int> m_fitted{-1.0, 0};  // the plot height and lanes the labels were last fitted to
    QString m_timeFormat;
};
