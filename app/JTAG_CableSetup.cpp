#include "app/JTAG_CableSetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "device/Tovin_I2C_Port.h"

CJTAG_CableSetup::CJTAG_CableSetup(QWidget* parent) : CTovinDialog(parent)
{
    setWindowTitle(QStringLiteral("ZENT I2C Cable and I/O Port Setup"));

    auto* cable = new QGroupBox(QStringLiteral("I2C Cable Interface"), this);
    auto* cableLayout = new QVBoxLayout(cable);
    m_parallel = new QRadioButton(QStringLiteral("Norvane Parallel Cable Port 0x378"), cable);
    m_usbCable = new QRadioButton(QStringLiteral("Norvane USB Cable"), cable);
    m_ftdi = new QRadioButton(QStringLiteral("USB2 FTDI Interface"), cable);
    m_demo = new QCheckBox(QStringLiteral("Demo Mode (bypass interface checks)"), cable);
    m_parallel->setEnabled(false);
    m_usbCable->setEnabled(false);
    for (QWidget* w : {static_cast<QWidget*>(m_parallel), static_cast<QWidget*>(m_usbCable),
                       static_cast<QWidget*>(m_ftdi), static_cast<QWidget*>(m_demo)})
        cableLayout->addWidget(w);

    auto* rate = new QGroupBox(QStringLiteral("I2C Baud Rate Configuration"), this);
    auto* rateLayout = new QVBoxLayout(rate);
    m_rate100 = new QRadioButton(QStringLiteral("100 kHz"), rate);
    m_rate400 = new QRadioButton(QStringLiteral("400 kHz"), rate);
    rateLayout->addWidget(m_rate100);
    rateLayout->addWidget(m_rate400);

    // Several FTDI devices plugged in: the cable is picked by its serial number.
    auto* choice = new QGroupBox(QStringLiteral("FTDI Cable"), this);
    auto* choiceLayout = new QFormLayout(choice);
    m_serial = new QComboBox(choice);
    m_serial->setEditable(true);
    m_serial->setInsertPolicy(QComboBox::NoInsert);
    // Wide enough for a serial number and the placeholder, not clipped.
    m_serial->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_serial->setMinimumContentsLength(24);
    m_serial->lineEdit()->setPlaceholderText(QStringLiteral("the first cable found"));
    choiceLayout->addRow(QStringLiteral("USB &serial number:"), m_serial);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CJTAG_CableSetup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CJTAG_CableSetup::reject);

    // The rate buttons apply only to the cable.
    connect(m_demo, &QCheckBox::clicked, this, [this](bool checked) {
        m_rate100->setEnabled(!checked);
        m_rate400->setEnabled(!checked);
    });
    connect(m_rate100, &QRadioButton::clicked, this, [this] { m_rate = 100; });
    connect(m_rate400, &QRadioButton::clicked, this, [this] { m_rate = 400; });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cable);
    layout->addWidget(rate);
    layout->addWidget(choice);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CJTAG_CableSetup::OnInitDialog()
{
    m_ftdi->setChecked(true);
    m_demo->setChecked(m_demoMode);
    if (m_port != nullptr) {
        m_link = &m_port->GetLink();
        m_deviceCount = m_link->ListDevices();
        m_rate = m_link->GetRate();
    }
    for (const std::string& serial : m_attachedCables) m_serial->addItem(QString::fromStdString(serial));
    m_serial->setCurrentText(QString::fromStdString(m_cableSerial));
    (m_rate == 400 ? m_rate400 : m_rate100)->setChecked(true);
    if (m_demoMode) {
        m_rate100->setEnabled(false);
        m_rate400->setEnabled(false);
    }
}

void CJTAG_CableSetup::accept()
{
    m_demoMode = m_demo->isChecked();
    m_cableSerial = m_serial->currentText().trimmed().toStdString();
    if (!m_demoMode && m_link != nullptr) {
        m_link->SetRate(m_rate);
        m_link->SendClockDivisor();
    }
    CTovinDialog::accept();
}
