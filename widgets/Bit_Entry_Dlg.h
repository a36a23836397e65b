#pragma once
// Edits one 8-bit register value bit by bit: eight sunken cells, bit 7 at the
// left, each toggled by a click on it or on its bit number above it. The
// caller sets the value and the caption, runs the dialog and, after OK, reads
// the value back. Every combination of bits is accepted.

#include <QString>
#include <array>

#include "ui/TovinDialog.h"

class QLabel;

class CBit_Entry_Dlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CBit_Entry_Dlg(QWidget* parent = nullptr);

    // Only the low eight bits are kept.
    void SetValue(int value);
    // The window title; an empty caption gives an empty title.
    void SetCaption(const QString& caption);
    int GetValue() const { return m_value; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ToggleBit(int bit);
    void ShowBits();

    int m_value = 0;
    std::array<QLabel*, 8> m_cells{};   // indexed by bit number
    std::array<QLabel*, 8> m_numbers{};  // the bit numbers above the cells
};
