#pragma once
// A sunken read-out of a page: wide enough for its longest expected text in
// whatever font the window has, so the layout does not jump as values change
// and nothing is clipped with the large UI font.

#include <QLabel>

class CPageValueLabel : public QLabel {
public:
    CPageValueLabel(const QString& widestText, QWidget* parent) : QLabel(parent), m_widest(widestText)
    {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setMargin(2);
    }

    QSize sizeHint() const override
    {
        QSize hint = QLabel::sizeHint();
        const int spare = 2 * (frameWidth() + margin()) + fontMetrics().horizontalAdvance(QLatin1Char(' '));
        hint.setWidth(qMax(hint.width(), fontMetrics().horizontalAdvance(m_widest) + spare));
        return hint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QString m_widest;
};
