#pragma once
// Helpers shared by the value-entry tests.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// Clicks the push button with exactly this text; false when there is none.
inline bool ClickButton(QDialog& dialog, const QString& text)
{
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            QTest::mouseClick(button, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

inline QString LabelText(const QDialog& dialog, const QString& name)
{
    const auto* label = dialog.findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(name);
}
