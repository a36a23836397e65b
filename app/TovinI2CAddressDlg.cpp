#include "app/TovinI2CAddressDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/TovinAppContext.h"
#include "device/Tovin_I2C_Port.h"

QString CTovinI2CAddressDlg::HmuSectionText(int k)
{
    QString bits;
    for (int bit = 3; bit >= 0; --bit) bits += (k >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return QString::asprintf("%sXXX", bits.toLatin1().constData());
}

CTovinI2CAddressDlg::CTovinI2CAddressDlg(QWidget* parent)
    : CTovinDialog(parent), m_hmu(new QComboBox(this)), m_fpga(new QComboBox(this))
{
    setWindowTitle(QStringLiteral("ZENT I2C Address"));
    for (int k = 0; k < 16; ++k) m_hmu->addItem(HmuSectionText(k));
    for (int k = 0; k < 128; ++k) m_fpga->addItem(QString::asprintf("0x%02X", k));

    const CTovinAppContext& app = TheApp();
    // Values outside the lists (hand-edited settings) open without a selection.
    const int hmu = app.HmuBaseAddress() >= 0 && app.HmuBaseAddress() <= 255 ? app.HmuBaseAddress() / 16 : -1;
    const int fpga = app.FpgaSection() >= 0 && app.FpgaSection() <= 127 ? app.FpgaSection() : -1;
    m_hmu->setCurrentIndex(hmu);
    m_fpga->setCurrentIndex(fpga);

    auto* group = new QGroupBox(QStringLiteral("I2C Address"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("&HMU Section (4 MSB)"), m_hmu);
    form->addRow(QStringLiteral("&FPGA Section"), m_fpga);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTovinI2CAddressDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTovinI2CAddressDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CTovinI2CAddressDlg::accept()
{
    CTovinAppContext& app = TheApp();
    // A list left without a selection keeps its setting rather than storing -16 or -1.
    if (m_hmu->currentIndex() >= 0) app.SetHmuBaseAddress(m_hmu->currentIndex() * 16);
    if (m_fpga->currentIndex() >= 0) app.SetFpgaSection(m_fpga->currentIndex());
    CTovinDialog::accept();
}
