#include "pages/UESDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/AppServices.h"
#include "ui/TovinPropertyPage.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Signature.h"

CUESDlg::CUESDlg(CAppServices& services, QWidget* parent)
    : CTovinDialog(parent),
      m_binary(new QRadioButton(QStringLiteral("&Binary"), this)),
      m_decimal(new QRadioButton(QStringLiteral("&Decimal"), this)),
      m_hex(new QRadioButton(QStringLiteral("&HEX"), this)),
      m_read(new QPushButton(QStringLiteral("&Read"), this)),
      m_text(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("ZENT I2C UES"));
    if (services.HasPort()) m_port = &services.Port();

    m_text->setReadOnly(true);
    m_text->setAlignment(Qt::AlignRight);
    // Room for the binary form: sixteen groups of a blank and four digits.
    m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QString::fromStdString(signature::BinaryText(0))) +
                            m_text->fontMetrics().horizontalAdvance(QStringLiteral("00")));
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    m_read->setDefault(true);
    close->setAutoDefault(false);
    connect(m_read, &QPushButton::clicked, this, &CUESDlg::OnRead);
    connect(close, &QPushButton::clicked, this, &CUESDlg::accept);
    connect(m_binary, &QRadioButton::clicked, this, [this] { SetRadix(2); });
    connect(m_decimal, &QRadioButton::clicked, this, [this] { SetRadix(10); });
    connect(m_hex, &QRadioButton::clicked, this, [this] { SetRadix(16); });

    auto* bases = new QHBoxLayout;
    bases->addWidget(new QLabel(QStringLiteral("Display UES in"), this));
    bases->addWidget(m_binary);
    bases->addWidget(m_decimal);
    bases->addWidget(m_hex);
    bases->addStretch();
    bases->addWidget(m_read);
    bases->addWidget(close);

    // The signature is the current device's: say which one it is.
    auto* device = new QLabel(this);
    device->setObjectName(QStringLiteral("device"));
    if (m_port != nullptr)
        device->setText(QStringLiteral("Device: HMU%1 at 0x%2")
                            .arg(m_port->GetHmuIndex())
                            .arg(QString::number(m_port->HmuAddress(m_port->GetHmuIndex()), 16).toUpper()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(device);
    layout->addWidget(m_text);
    layout->addLayout(bases);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CUESDlg::OnInitDialog()
{
    if (QRadioButton* button = BaseButton(m_radix)) button->setChecked(true);
    OnRead();
}

QRadioButton* CUESDlg::BaseButton(int radix) const
{
    switch (radix) {
    case 2: return m_binary;
    case 10: return m_decimal;
    case 16: return m_hex;
    default: return nullptr;
    }
}

void CUESDlg::OnRead()
{
    if (m_port == nullptr) return;
    m_read->setEnabled(false);
    emit SequenceRunning();
    const uint64_t failedBefore = m_port->FailedTransactions();
    const uint64_t signature = signature::Read(*m_port);  // takes the cable lock itself
    // A byte the device did not give reads as 0: that is not its signature,
    // and the last one read (or none) stays shown.
    const bool unanswered = m_port->FailedTransactions() != failedBefore;
    if (!unanswered) {
        m_signature = signature;
        m_hasSignature = true;
    }
    m_read->setEnabled(true);
    if (!Show() && unanswered) ShowAcknowledgeFailure(this);
}

void CUESDlg::SetRadix(int radix)
{
    if (BaseButton(radix) == nullptr) return;
    m_radix = radix;
    BaseButton(radix)->setChecked(true);
    Show();
}

QString CUESDlg::SignatureText() const
{
    if (!m_hasSignature) return QStringLiteral("---");
    switch (m_radix) {
    case 2: return QString::fromStdString(signature::BinaryText(m_signature));
    case 10: return QString::fromStdString(signature::DecimalText(m_signature));
    default: return QString::fromStdString(signature::HexText(m_signature));
    }
}

bool CUESDlg::Show()
{
    m_text->setText(SignatureText());
    return ReportAcknowledgeFailure(this, m_port);
}
