#pragma once
// "Trim Cells" page of one HMU device: a button per trim cell, each opening
// the closed loop trim dialog of that cell. The page itself sends nothing.

#include <array>

#include "ui/TovinPropertyPage.h"
#include "device/blocks/Trim.h"

class QPushButton;

class CSNTRX_TrimDACs_Dlg : public CTovinPropertyPage {
    Q_OBJECT
public:
    explicit CSNTRX_TrimDACs_Dlg(QWidget* parent = nullptr);

    QPushButton* CellButton(int cell) const { return m_buttons.at(cell); }
    // Runs the dialog of trim cell `cell` (0..3) on the page's device.
    void OnTrimCell(int cell);

private:
    std::array<QPushButton*, trim::kCells> m_buttons{};
};
