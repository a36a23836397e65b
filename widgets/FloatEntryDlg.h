#pragma once
// "Decimal Entry" keypad dialog: builds a number from on-screen digit buttons
// in a right-aligned display, limits the number of characters the display may
// hold, and checks the range when OK is pressed. The caller sets everything
// before running the dialog and reads the value back after OK.

#include <QList>
#include <QString>

#include "ui/TovinDialog.h"

class QLabel;
class QPushButton;

class CFloatEntryDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CFloatEntryDlg(QWidget* parent = nullptr);

    void SetPrompt(const QString& prompt);
    void SetCaption(const QString& caption);
    void SetMaximum(float maximum) { m_maximum = maximum; }
    void SetMinimum(float minimum) { m_minimum = minimum; }
    void SetValue(float value);
    // Most characters the display may hold, the point and any leading blank included.
    void SetDigits(int digits);
    void SetDefault(float value) { m_default = value; }
    float GetValue() const { return m_value; }

public slots:
    // Takes the number at the start of the display; ends the dialog only when it is in range.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowOpening();
    void AppendKey(QChar key);
    void Backspace();
    void Clear();
    void ShowDefault();
    QPushButton* AddButton(const QString& text);

    QString m_caption;
    int m_digits = 0;
    float m_default = 0.0f;
    float m_value = 0.0f;
    float m_maximum = 100.0f;
    float m_minimum = 0.1f;
    QLabel* m_prompt;
    QLabel* m_display;
    QLabel* m_instruction;
    QList<QPushButton*> m_buttons;
};
