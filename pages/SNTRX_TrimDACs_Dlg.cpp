#include "pages/SNTRX_TrimDACs_Dlg.h"

#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "pages/SNTRX_Trim_DAC_Dlg.h"

CSNTRX_TrimDACs_Dlg::CSNTRX_TrimDACs_Dlg(QWidget* parent) : CTovinPropertyPage(parent)
{
    auto* grid = new QGridLayout;
    for (int cell = 0; cell < trim::kCells; ++cell) {
        m_buttons[cell] = new QPushButton(QStringLiteral("Trim Cell%1").arg(cell + 1), this);
        m_buttons[cell]->setAutoDefault(false);
        connect(m_buttons[cell], &QPushButton::clicked, this, [this, cell] { OnTrimCell(cell); });
        grid->addWidget(m_buttons[cell], cell / 2, cell % 2);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
}

void CSNTRX_TrimDACs_Dlg::OnTrimCell(int cell)
{
    CSNTRX_Trim_DAC_Dlg dialog(this);
    dialog.SetTrimCell(cell + 1);
    dialog.SetPort(Port());
    dialog.SetDeviceIndex(DeviceIndex());
    dialog.DoModal();
}
