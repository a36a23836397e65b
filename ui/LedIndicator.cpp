#include "ui/LedIndicator.h"

#include <QPainter>

CLedIndicator::CLedIndicator(QColor colour, QWidget* parent) : QWidget(parent), m_colour(colour)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CLedIndicator::SetLit(bool lit)
{
    if (lit == m_lit) return;
    m_lit = lit;
    update();
}

void CLedIndicator::SetColour(QColor colour)
{
    if (colour == m_colour) return;
    m_colour = colour;
    update();
}

QSize CLedIndicator::sizeHint() const
{
    const int side = fontMetrics().height();
    return {side, side};
}

void CLedIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 2;
    const QRectF lamp((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    // Dark: the colour's own hue, dimmed, so an unlit LED still shows what it is.
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.setBrush(m_lit ? m_colour : m_colour.darker(400));
    painter.drawEllipse(lamp);
}
