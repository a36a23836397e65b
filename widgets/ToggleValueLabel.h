#pragma once
// A page read-out the user may click to flip the level it shows (an output
// driven from the I2C signal). A disabled one shows greyed and takes no clicks.

#include <QMouseEvent>
#include <functional>

#include "widgets/PageValueLabel.h"

class CToggleValueLabel : public CPageValueLabel {
public:
    CToggleValueLabel(const QString& widestText, QWidget* parent) : CPageValueLabel(widestText, parent)
    {
        setAlignment(Qt::AlignCenter);
    }

    void SetOnClick(std::function<void()> onClick) { m_onClick = std::move(onClick); }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && isEnabled() && m_onClick) {
            m_onClick();
            event->accept();
            return;
        }
        CPageValueLabel::mousePressEvent(event);
    }

private:
    std::function<void()> m_onClick;
};
