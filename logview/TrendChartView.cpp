#include "logview/TrendChartView.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <cmath>

namespace {

// One wheel notch zooms in to 80 % of the range, or out by the inverse.
constexpr double kNotchFactor = 0.8;
// A drag shorter than this is a click.
constexpr double kMinimumDrag = 4.0;

}  // namespace

CTrendChartView::CTrendChartView(QChart* chart, QWidget* parent)
    : QChartView(chart, parent), m_band(new QRubberBand(QRubberBand::Rectangle, this))
{
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    // The readout follows the pointer, not only a held button.
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    m_band->hide();
}

QSize CTrendChartView::sizeHint() const
{
    return {760, 150};
}

QSize CTrendChartView::minimumSizeHint() const
{
    return {320, 110};
}

QRectF CTrendChartView::PlotRect() const
{
    const QRectF plot = chart()->plotArea();
    const QPointF topLeft = mapFromScene(chart()->mapToScene(plot.topLeft()));
    const QPointF bottomRight = mapFromScene(chart()->mapToScene(plot.bottomRight()));
    return QRectF(topLeft, bottomRight).normalized();
}

double CTrendChartView::PlotFraction(double x) const
{
    const QRectF plot = PlotRect();
    return plot.width() > 0 ? (x - plot.left()) / plot.width() : 0.0;
}

void CTrendChartView::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        event->ignore();
        return;
    }
    emit ZoomRequested(PlotFraction(event->position().x()), std::pow(kNotchFactor, notches));
    event->accept();
}

void CTrendChartView::mousePressEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (event->button() == Qt::LeftButton && !shift) {
        m_drag = Drag::Select;
        m_origin = x;
        const QRectF plot = PlotRect();
        m_band->setGeometry(QRectF(x, plot.top(), 1.0, plot.height()).toRect());
        m_band->show();
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton ||
               (event->button() == Qt::LeftButton && shift)) {
        m_drag = Drag::Pan;
        m_last = x;
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void CTrendChartView::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (m_drag == Drag::Select) {
        const QRectF plot = PlotRect();
        const double left = std::max(plot.left(), std::min(m_origin, x));
        const double right = std::min(plot.right(), std::max(m_origin, x));
        m_band->setGeometry(QRectF(left, plot.top(), std::max(1.0, right - left), plot.height()).toRect());
    } else if (m_drag == Drag::Pan) {
        const QRectF plot = PlotRect();
        if (plot.width() > 0 && x != m_last) emit PanRequested((m_last - x) / plot.width());
        m_last = x;
    } else {
        const double fraction = PlotFraction(x);
        if (fraction >= 0.0 && fraction <= 1.0) emit Hovered(fraction);
        QChartView::mouseMoveEvent(event);
        return;
    }
    event->accept();
}

void CTrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (m_drag == Drag::Select) {
        m_band->hide();
        if (std::fabs(x - m_origin) >= kMinimumDrag) emit RangeSelected(PlotFraction(m_origin), PlotFraction(x));
    } else if (m_drag == Drag::Pan) {
        unsetCursor();
    }
    m_drag = Drag::None;
    event->accept();
}

void CTrendChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_drag = Drag::None;
    m_band->hide();
    emit ResetRequested();
    event->accept();
}

void CTrendChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    emit Resized();
}
