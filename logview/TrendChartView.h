#pragma once
// A chart of the Trend window with its mouse: the wheel zooms the time range
// around the pointer, dragging with the left button selects a time range to
// zoom into, dragging with the right or middle button (or Shift and the left
// one) pans, a double click shows everything again, and the pointer alone
// asks for the values under it. The view only says
// what the mouse asked for, as fractions of the plot's width (0 its left
// edge, 1 its right); the window applies it to every chart at once.

#include <QChartView>

class QRubberBand;

class CTrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit CTrendChartView(QChart* chart, QWidget* parent = nullptr);

    // Where a point of this widget lies across the plot.
    double PlotFraction(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void ZoomRequested(double anchor, double factor);
    void RangeSelected(double from, double to);
    void PanRequested(double fraction);
    void ResetRequested();
    // The pointer over the plot, no button held, at `fraction` across it.
    void Hovered(double fraction);
    void Resized();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Drag { None, Select, Pan };

    // The plot area in this widget's coordinates.
    QRectF PlotRect() const;

    Drag m_drag = Drag::None;
    double m_origin = 0.0;
    double m_last = 0.0;
    QRubberBand* m_band;
};
