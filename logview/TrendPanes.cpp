#include "logview/TrendPanes.h"

#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QSplitter>
#include <QTextDocument>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <vector>

#include "logview/TrendChartView.h"

using logread::Quantity;

QString CTrendPanes::Unit(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Volts: return QStringLiteral("V");
    case Quantity::Amperes: return QStringLiteral("A");
    case Quantity::Celsius: return QStringLiteral("\u00B0C");
    case Quantity::State: break;
    }
    return {};
}

QString CTrendPanes::LabelFormat(int decimals, Quantity quantity)
{
    return QString::fromLatin1(QStringLiteral("%.%1f %2").arg(decimals).arg(Unit(quantity)).toUtf8());
}

CTrendPanes::CTrendPanes(QWidget& owner, QSplitter& charts) : m_charts(charts)
{
    for (int q = 0; q < logread::kQuantities; ++q) {
        auto pane = std::make_unique<Pane>();
        pane->quantity = static_cast<Quantity>(q);
        pane->chart = new QChart;
        pane->chart->legend()->hide();
        pane->chart->setMargins(QMargins(kMargin, kMargin, kMargin, kMargin));
        pane->chart->setBackgroundRoundness(0);
        pane->time = new QCategoryAxis;
        pane->time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        pane->time->setTruncateLabels(false);
        if (pane->quantity == Quantity::State) {
            pane->lanes = new QCategoryAxis;
            pane->lanes->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
            pane->lanes->setGridLineVisible(false);
            pane->lanes->setTruncateLabels(false);
            pane->values = pane->lanes;
        } else {
            pane->values = new QValueAxis;
        }
        if (pane->quantity != Quantity::State) {
            // Ticks at round values; the labels carry the unit.
            pane->values->setTickType(QValueAxis::TicksDynamic);
            pane->values->setLabelFormat(LabelFormat(1, pane->quantity));
        }
        QFont small = owner.font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        const std::array<QAbstractAxis*, 2> axes = {pane->time, pane->values};
        for (QAbstractAxis* axis : axes) {
            axis->setLabelsFont(small);
            axis->setTitleFont(small);
        }
        if (pane->lanes) {
            // A lane is a line of text high: its label a little smaller still.
            m_laneFont = owner.font();
            m_laneFont.setPointSizeF(m_laneFont.pointSizeF() * 0.72);
            pane->lanes->setLabelsFont(m_laneFont);
        }
        pane->chart->addAxis(pane->time, Qt::AlignBottom);
        pane->chart->addAxis(pane->values, Qt::AlignLeft);
        pane->view = new CTrendChartView(pane->chart, &m_charts);
        pane->view->setVisible(false);
        m_charts.addWidget(pane->view);
        m_charts.setCollapsible(q, false);
        m_panes[static_cast<size_t>(q)] = std::move(pane);
    }
}

void CTrendPanes::Arrange(int lanes)
{
    // The state chart gets a line of text for each lane, within reason; the
    // other charts share the rest.
    const Pane& states = At(Quantity::State);
    const int total = std::max(m_charts.height(), 400);
    const int line = QFontMetrics(m_laneFont).height();
    // Around the plot: the time labels and the margins. As laid out when the
    // chart has been; before, three lines of the time labels' text.
    int around = 3 * QFontMetrics(states.time->labelsFont()).height() + 8;
    const double plot = states.chart->plotArea().height();
    if (!states.view->isHidden() && plot > 0 && states.view->height() > plot)
        around = static_cast<int>(std::ceil(states.view->height() - plot));
    int others = 0;
    for (const auto& pane : m_panes) others += pane->quantity != Quantity::State && !pane->view->isHidden();
    int stateHeight = 0;
    if (!states.view->isHidden())
        // A lane its label's height and the pixel Qt Charts wants between
        // two labels (else it hides every other one), and the room around
        // the plot; the value charts need the height more than the states
        // do: two fifths at most, where the labels become smaller (FitLaneLabels).
        stateHeight =
            others == 0 ? total : std::clamp(lanes * LanePitch(m_laneFont) + around, 4 * line, total * 2 / 5);
    QList<int> sizes;
    for (const auto& pane : m_panes) {
        if (pane->view->isHidden()) sizes << 0;
        else if (pane->quantity == Quantity::State) sizes << stateHeight;
        else sizes << (total - stateHeight) / std::max(others, 1);
    }
    m_charts.setSizes(sizes);
}

int CTrendPanes::LanePitch(const QFont& font)
{
    // Qt Charts measures a label as a text document with a margin of half a
    // pixel, places it on whole pixels, and hides it when it reaches into the
    // label below: two lane centres a whole pixel apart must be that far.
    QTextDocument text;
    text.setDocumentMargin(0.5);
    text.setDefaultFont(font);
    text.setPlainText(QStringLiteral("HMU0 GPIO10"));
    return static_cast<int>(std::ceil(text.size().height())) + 1;
}

void CTrendPanes::FitLaneLabels()
{
    Pane& states = At(Quantity::State);
    const int lanes = states.lanes->count();
    if (states.view->isHidden() || lanes == 0) return;
    if (QGraphicsLayout* layout = states.chart->layout()) layout->activate();
    const double height = states.chart->plotArea().height();
    if (height == m_fitted.first && lanes == m_fitted.second) return;  // as last time: nothing to measure again
    m_fitted = {height, lanes};
    const double pitch = height / lanes;
    // Smaller than this is no longer read at a glance: with less room than
    // that some labels go, until the lanes are given more height.
    constexpr double kSmallestPoints = 6.4;
    QFont font = m_laneFont;
    while (font.pointSizeF() - 0.25 >= kSmallestPoints && LanePitch(font) > pitch)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    if (font != states.lanes->labelsFont()) states.lanes->setLabelsFont(font);
}

void CTrendPanes::Align()
{
    FitLaneLabels();
    // The charts share the time axis, so their plots line up: those with
    // narrower axis labels get wider margins. Where a plot would be with the
    // least margins is where it is less the margin it has beyond them.
    struct Natural {
        Pane* pane;
        double left;   // from the chart's left edge
        double right;  // from its right edge
    };
    std::vector<Natural> natural;
    double left = 0.0;
    double right = 0.0;
    for (auto& pane : m_panes) {
        if (pane->view->isHidden()) continue;
        if (QGraphicsLayout* layout = pane->chart->layout()) layout->activate();
        const QRectF plot = pane->chart->plotArea();
        const QMargins margins = pane->chart->margins();
        const Natural n{pane.get(), plot.left() - (margins.left() - kMargin),
                        pane->chart->size().width() - plot.right() - (margins.right() - kMargin)};
        left = std::max(left, n.left);
        right = std::max(right, n.right);
        natural.push_back(n);
    }
    for (const Natural& n : natural) {
        const QMargins wanted(kMargin + static_cast<int>(std::lround(left - n.left)), kMargin,
                              kMargin + static_cast<int>(std::lround(right - n.right)), kMargin);
        if (n.pane->chart->margins() == wanted) continue;
        n.pane->chart->setMargins(wanted);
        if (QGraphicsLayout* layout = n.pane->chart->layout()) layout->activate();
    }
}

CTrendPanes::TimeLabels CTrendPanes::MakeTimeLabels(trend::Range view, double width, const QFont& font,
                                                    bool startKnown, double start)
{
    constexpr double kMinute = 60'000.0, kDay = 86'400'000.0;
    const QFontMetrics metrics(font);
    const double offset =
        static_cast<double>(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(view.min)).offsetFromUtc()) * 1000.0;
    // Labels with seconds first; when the ticks come closer than a second, wider ones with milliseconds.
    trend::TimeTicks ticks = trend::TimeTickStep(view, width, metrics.horizontalAdvance(QStringLiteral("00:00:00")), offset);
    if (ticks.step < 1000.0)
        ticks = trend::TimeTickStep(view, width, metrics.horizontalAdvance(QStringLiteral("00:00:00.000")), offset);
    const bool days = view.Span() > kDay || ticks.step >= kDay;
    if (days) {
        // Dates as well: wider labels again.
        const QString widest = startKnown ? QStringLiteral("00-00 00:00") : QStringLiteral("d000 00:00");
        ticks = trend::TimeTickStep(view, width, metrics.horizontalAdvance(widest), offset);
    }
    TimeLabels labels;
    if (ticks.step < 1000.0) labels.format = QStringLiteral("HH:mm:ss.zzz");
    else if (ticks.step < kMinute) labels.format = QStringLiteral("HH:mm:ss");
    else if (ticks.step >= kDay && startKnown) labels.format = QStringLiteral("yyyy-MM-dd");
    else if (days && startKnown) labels.format = QStringLiteral("MM-dd HH:mm");
    else labels.format = QStringLiteral("HH:mm");
    const QDate first = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(start)).date();
    QString previous;
    for (double t = ticks.first; t <= view.max && ticks.step > 0; t += ticks.step) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(t)));
        QString text = at.toString(labels.format);
        // Without a start time, the day counts from the first record's.
        if (days && !startKnown) text = QStringLiteral("d%1 %2").arg(first.daysTo(at.date())).arg(text);
        // A category axis takes a label once.
        if (text == previous) continue;
        previous = text;
        labels.ticks.emplace_back(t, text);
    }
    return labels;
}

void CTrendPanes::ApplyTimeRange(trend::Range view, bool startKnown, double start)
{
    // The charts share their time axis: only the lowest one shown labels it.
    Pane* lowest = nullptr;
    for (auto& pane : m_panes)
        if (!pane->view->isHidden()) lowest = pane.get();
    const Pane& measured = lowest ? *lowest : *m_panes.front();
    const double plot = measured.chart->plotArea().width();
    const TimeLabels labels = MakeTimeLabels(view, plot > 0 ? plot : measured.view->width(),
                                             measured.time->labelsFont(), startKnown, start);
    m_timeFormat = labels.format;
    for (auto& pane : m_panes) {
        const bool labelled = pane.get() == lowest;
        pane->time->setLabelsVisible(labelled);
        pane->time->setTitleVisible(labelled && !startKnown);
        pane->time->setTitleText(QStringLiteral("Time since the first record"));
        // The categories change only with the ticks: each change lays out the chart again.
        QCategoryAxis& axis = *pane->time;
        bool same = axis.count() == static_cast<int>(labels.ticks.size()) && axis.startValue() == view.min;
        const QStringList current = axis.categoriesLabels();
        for (size_t i = 0; same && i < labels.ticks.size(); ++i)
            same = current[static_cast<int>(i)] == labels.ticks[i].second &&
                   axis.endValue(current[static_cast<int>(i)]) == labels.ticks[i].first;
        if (!same) {
            for (const QString& label : current) axis.remove(label);
            axis.setStartValue(view.min);
            for (const auto& [at, text] : labels.ticks) axis.append(text, at);
        }
        // After the categories, which may stretch the range to their ends.
        axis.setRange(view.min, view.max);
    }
}
