#include "demo/PowerNetworkChart.h"

#include <QPainter>
#include <algorithm>

#include "util/TextFormat.h"
#include "link/CableLock.h"

namespace {

const char* const kRailNames[CPowerNetworkChart::kRails] = {"POT1", "POT2", "POT3", "POT4", "DC-DC4", "DC-DC8"};

const QColor kGoodFill(0, 255, 0);
const QColor kFaultFill(255, 0, 0);
const QColor kNotInUseFill(196, 196, 196);
const QColor kNotInUseText(64, 64, 64);

bool ValidRail(int rail)
{
    return rail >= 0 && rail < CPowerNetworkChart::kRails;
}

// The pixels a rectangle from (left, top) to (right, bottom) covers, right
// and bottom edges excluded, outline included.
QRect Pixels(const CPowerNetworkChart::Rect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

}  // namespace

CPowerNetworkChart::Geometry CPowerNetworkChart::Layout(int width, int height)
{
    Geometry g;
    const int w = g.w = width / 14;
    const int h = g.h = height / 23;
    g.source = {w, h, 5 * w, 3 * h};
    g.underSource = {w, 3 * h, 5 * w, 3 * h};
    g.bus = {5 * w, 3 * h, 5 * w, 21 * h};
    for (int k = 0; k < kRails; ++k) {
        g.branches[k] = {5 * w, (6 + 3 * k) * h, 7 * w, (6 + 3 * k) * h};
        g.boxes[k] = {7 * w, (5 + 3 * k) * h, 13 * w, (7 + 3 * k) * h};
    }
    return g;
}

CPowerNetworkChart::CPowerNetworkChart(QWidget* parent)
    : QFrame(parent), m_timer([this] { BeginPass(); }, this), m_step([this] { StepPass(); }, this)
{
    // Every pixel is painted on each redraw, so nothing is erased first: no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CPowerNetworkChart::SetRailState(int rail, int state)
{
    if (ValidRail(rail)) m_network.states[rail] = state;
    update();
}

int CPowerNetworkChart::RailState(int rail) const
{
    return ValidRail(rail) ? m_network.states[rail] : demodesign::kRailNotInUse;
}

float CPowerNetworkChart::RailVolts(int rail) const
{
    return ValidRail(rail) ? m_network.volts[rail] : 0.0f;
}

void CPowerNetworkChart::Refresh()
{
    if (m_port == nullptr) return;
    m_step.Stop();
    m_pass.reset();
    {
        CCableLock lock;
        demodesign::RefreshNetwork(*m_port, m_network);
    }
    if (m_network.AnyInUse()) update();
}

// A refresh that outlasts the period delays the next one rather than piling up.
void CPowerNetworkChart::BeginPass()
{
    if (m_port == nullptr || m_pass) return;
    m_pass.emplace();
    m_step.StartTurns();
}

void CPowerNetworkChart::StepPass()
{
    if (!m_pass || m_port == nullptr) {
        m_step.Stop();
        return;
    }
    bool done = false;
    {
        CCableLock lock;
        done = m_pass->Step(*m_port, m_network);
    }
    if (!done) return;
    m_step.Stop();
    m_pass.reset();
    if (m_network.AnyInUse()) update();
}

void CPowerNetworkChart::StartTimer(int milliseconds)
{
    m_timer.Start(milliseconds);
}

void CPowerNetworkChart::StopTimer()
{
    m_timer.Stop();
    m_step.Stop();
    m_pass.reset();
}

QString CPowerNetworkChart::RailName(int rail)
{
    return ValidRail(rail) ? QString::fromLatin1(kRailNames[rail]) : QString();
}

QColor CPowerNetworkChart::RailFill(int rail) const
{
    switch (RailState(rail)) {
    case demodesign::kRailGood: return kGoodFill;
    case demodesign::kRailFault: return kFaultFill;
    default: return kNotInUseFill;
    }
}

QString CPowerNetworkChart::RailText(int rail) const
{
    if (RailState(rail) == demodesign::kRailNotInUse) return RailName(rail);
    return QString::fromStdString(FormatText("%s %.2f V", kRailNames[rail], static_cast<double>(RailVolts(rail))));
}

QColor CPowerNetworkChart::RailTextColour(int rail) const
{
    return RailState(rail) == demodesign::kRailNotInUse ? kNotInUseText : QColor(Qt::black);
}

QSize CPowerNetworkChart::sizeHint() const
{
    // A box (6 W by 2 H) holds its widest text on one line; the source label
    // gets 4 W.
    const QFontMetrics metrics = fontMetrics();
    const int text = std::max(metrics.horizontalAdvance(QStringLiteral("DC-DC8 00.00 V")),
                              metrics.horizontalAdvance(SourceLabel()) * 3 / 2);
    const int w = std::max(10, (text + 12 + 5) / 6);
    const int h = std::max(10, (metrics.height() + 4 + 1) / 2);
    return {14 * w, 23 * h};
}

void CPowerNetworkChart::paintEvent(QPaintEvent*)
{
    const Geometry g = Layout(width(), height());
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.setFont(font());

    // The source label on the button-face colour, then everything else on
    // a transparent background.
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(palette().button());
    painter.drawText(Pixels(g.source), Qt::AlignCenter | Qt::TextSingleLine, SourceLabel());
    painter.setBackgroundMode(Qt::TransparentMode);

    const auto draw = [&](const Line& l) { painter.drawLine(l.x1, l.y1, l.x2, l.y2); };
    draw(g.underSource);
    draw(g.bus);
    for (const Line& branch : g.branches) draw(branch);

    for (int k = 0; k < kRails; ++k) {
        const QRect box = Pixels(g.boxes[k]);
        painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
        painter.setBrush(RailFill(k));
        // A stroked rectangle covers one pixel more than its size.
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(RailTextColour(k));
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, RailText(k));
    }
}
