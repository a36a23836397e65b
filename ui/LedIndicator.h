#pragma once
// A small round lamp: an LED of the simulated board, lit in its colour or
// dark. Sized from the font, so it grows with the large UI font.

#include <QColor>
#include <QWidget>

class CLedIndicator : public QWidget {
    Q_OBJECT
public:
    explicit CLedIndicator(QColor colour, QWidget* parent = nullptr);

    bool IsLit() const { return m_lit; }
    void SetLit(bool lit);
    QColor Colour() const { return m_colour; }
    void SetColour(QColor colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
    bool m_lit = false;
};
