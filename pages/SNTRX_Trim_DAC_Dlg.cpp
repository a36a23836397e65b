#include "pages/SNTRX_Trim_DAC_Dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Trim.h"
#include "ui/TovinPropertyPage.h"
#include "link/CableLock.h"
#include "widgets/PageValueLabel.h"
#include "widgets/FloatEdit.h"

CSNTRX_Trim_DAC_Dlg::CSNTRX_Trim_DAC_Dlg(QWidget* parent)
    : CTovinDialog(parent),
      m_output(new CPageValueLabel(QStringLiteral("00.000V"), this)),
      m_marker(new QLabel(this)),
      m_target(new CFloatEdit(this)),
      m_read(new QPushButton(QStringLiteral("&Read"), this)),
      m_write(new QPushButton(QStringLiteral("&Write"), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this))
{
    UpdateCaption();
    m_target->SetRange(0.0f, trim::kMaxTargetVolts);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* b : {m_read, m_write, cancel}) b->setAutoDefault(false);
    m_ok->setDefault(true);
    connect(m_read, &QPushButton::clicked, this, &CSNTRX_Trim_DAC_Dlg::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CSNTRX_Trim_DAC_Dlg::OnWrite);
    // A target the user types is theirs to write, read or not.
    connect(m_target, &QLineEdit::textEdited, this, [this] {
        m_hasTarget = true;
        m_write->setEnabled(m_read->isEnabled());
    });
    connect(m_ok, &QPushButton::clicked, this, &CSNTRX_Trim_DAC_Dlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSNTRX_Trim_DAC_Dlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Output Voltage, V"), this), 0, 0);
    // The marker in a label of its own beside the number, as on the voltage page.
    auto* output = new QHBoxLayout;
    output->setSpacing(0);
    output->addWidget(m_output);
    output->addWidget(m_marker);
    output->addStretch(1);
    grid->addLayout(output, 0, 1);
    grid->addWidget(m_read, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Target Value, V"), this), 1, 0);
    grid->addWidget(m_target, 1, 1);
    grid->addWidget(m_write, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CSNTRX_Trim_DAC_Dlg::SetTrimCell(int number)
{
    m_cellNumber = number;
    UpdateCaption();
}

void CSNTRX_Trim_DAC_Dlg::SetDeviceIndex(int index)
{
    m_deviceIndex = index;
    UpdateCaption();
}

void CSNTRX_Trim_DAC_Dlg::UpdateCaption()
{
    setWindowTitle(QString::fromStdString(FormatText("Set Voltage HMU%d TrimCell #%d", m_deviceIndex, m_cellNumber)));
}

void CSNTRX_Trim_DAC_Dlg::OnInitDialog()
{
    // Room for the marker whether or not it is shown, in the window's font by
    // now, so that the fixed-size dialog does not change width as it comes and goes.
    m_marker->setText(QStringLiteral("*"));
    m_marker->setFixedWidth(m_marker->sizeHint().width());
    m_marker->setText(QString());
    OnRead();
}

void CSNTRX_Trim_DAC_Dlg::SetBusy(bool busy)
{
    for (QPushButton* b : {m_read, m_write, m_ok}) b->setEnabled(!busy);
    if (!busy) m_write->setEnabled(m_hasTarget);
}

void CSNTRX_Trim_DAC_Dlg::OnRead()
{
    if (m_port == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    const uint64_t failedBefore = m_port->FailedTransactions();
    const uint64_t unreadyBefore = m_port->UnreadyResults();
    trim::Reading reading;
    {
        CCableLock lock;
        reading = trim::Read(*m_port, m_cellNumber - 1);
    }
    // What the device did not give reads as 0: a target of 0 V that OK would
    // send. The last values read (or none) stay.
    const bool failed =
        m_port->FailedTransactions() != failedBefore || m_port->UnreadyResults() != unreadyBefore;
    if (!failed) {
        m_measured = reading.measuredVolts;
        m_attenuated = reading.attenuated;
        m_targetCode = reading.code;
        m_hasRead = true;
        m_hasTarget = true;
    }
    SetBusy(false);
    Show();
    if (failed) ShowAcknowledgeFailure(this);
}

void CSNTRX_Trim_DAC_Dlg::Show()
{
    if (!m_hasRead) {
        m_output->setText(QStringLiteral("---"));
        return;  // the target field keeps what the user typed, if anything
    }
    m_target->setText(QString::fromStdString(FormatText("%1.3f", static_cast<double>(trim::CodeVolts(m_targetCode)))));
    m_output->setText(QString::fromStdString(FormatText("%4.3fV", static_cast<double>(m_measured))));
    // Above full scale the number is the attenuated input's, kept as read and marked.
    const QString tip = m_attenuated ? QStringLiteral("read through the attenuator; not rescaled") : QString();
    m_marker->setText(m_attenuated ? QStringLiteral("*") : QString());
    m_marker->setToolTip(tip);
    m_output->setToolTip(tip);
}

void CSNTRX_Trim_DAC_Dlg::OnWrite()
{
    // Only a target read from the device or typed by the user is sent.
    if (m_port == nullptr || !m_hasTarget) return;
    if (m_target->text().isEmpty()) m_target->setText(QStringLiteral("0.000"));
    const float volts = NarrowToFloat(ParseLeadingNumber(m_target->text()).value);
    SetBusy(true);
    emit SequenceRunning();
    const uint64_t failedBefore = m_port->FailedTransactions();
    {
        CCableLock lock;
        m_targetCode = trim::WriteTarget(*m_port, m_cellNumber - 1, volts);
    }
    SetBusy(false);
    if (m_port->FailedTransactions() != failedBefore) ShowAcknowledgeFailure(this);
}

void CSNTRX_Trim_DAC_Dlg::accept()
{
    OnWrite();
    CTovinDialog::accept();
}

QString CSNTRX_Trim_DAC_Dlg::OutputVoltageText() const
{
    return m_output->text();
}

QString CSNTRX_Trim_DAC_Dlg::OutputVoltageMarker() const
{
    return m_marker->text();
}

QString CSNTRX_Trim_DAC_Dlg::OutputVoltageToolTip() const
{
    return m_output->toolTip();
}
