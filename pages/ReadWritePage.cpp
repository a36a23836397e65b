#include "pages/ReadWritePage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "widgets/PageValueLabel.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

namespace {

const char kValueLabel[] = "zent2ValueLabel";

// Transactions that failed or results that never became ready so far.
struct FailureCount {
    uint64_t failed = 0;
    uint64_t unready = 0;
    explicit FailureCount(const CTovin_I2C_Port& port)
        : failed(port.FailedTransactions()), unready(port.UnreadyResults())
    {
    }
    bool operator==(const FailureCount&) const = default;
};

}  // namespace

CReadWritePage::WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CReadWritePage::WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

CReadWritePage::CReadWritePage(QWidget* parent, const QString& writeCaption, Report report, bool reportOnInit)
    : CTovinPropertyPage(parent),
      m_read(new QPushButton(QStringLiteral("&Read"), this)),
      m_write(new QPushButton(writeCaption, this)),
      m_report(report),
      m_reportOnInit(reportOnInit)
{
    m_read->setAutoDefault(false);
    m_write->setAutoDefault(false);
    connect(m_read, &QPushButton::clicked, this, &CReadWritePage::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CReadWritePage::OnWrite);
    m_read->setEnabled(false);  // until the first read has filled the page
}

QHBoxLayout* CReadWritePage::ButtonRow()
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    return buttons;
}

void CReadWritePage::MarkValueLabel(QLabel* label)
{
    label->setProperty(kValueLabel, true);
}

bool CReadWritePage::OnInitDialog()
{
    const bool result = CTovinPropertyPage::OnInitDialog();
    {
        CCableLock lock;
        const bool read = Port() != nullptr && ReadAll();
        PrepareControls();
        if (Port() != nullptr && !read) {
            // A device that did not answer is told even where an update
            // failed earlier is not reported at opening.
            ShowFailedRead();
        } else if (m_reportOnInit) {
            ShowPage();
        } else {
            ShowControls();
        }
    }
    SetBusy(false);
    return result;
}

bool CReadWritePage::OnSetActive()
{
    // As the base page does, but a page never read keeps showing it.
    if (Port() != nullptr) Port()->SetHmuIndex(DeviceIndex());
    if (Activations() > 1) ShowControls();
    return true;
}

void CReadWritePage::SetBusy(bool busy)
{
    m_read->setEnabled(!busy);
    m_write->setEnabled(!busy && m_hasRead);
}

bool CReadWritePage::ReadAll()
{
    const std::function<void()> putBack = KeepData();
    const FailureCount before(*Port());
    ReadDevice();
    if (FailureCount(*Port()) == before) {
        m_hasRead = true;
        return true;
    }
    putBack();
    return false;
}

void CReadWritePage::ShowControls()
{
    if (m_hasRead)
        DataToControls();
    else
        ShowUnread();
}

void CReadWritePage::ShowUnread()
{
    for (QComboBox* box : findChildren<QComboBox*>()) {
        const QSignalBlocker block(box);
        box->setCurrentIndex(-1);
    }
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        const QSignalBlocker block(box);
        box->setChecked(false);
    }
    for (QLabel* label : findChildren<QLabel*>())
        if (label->property(kValueLabel).toBool() || dynamic_cast<CPageValueLabel*>(label) != nullptr)
            label->setText(UnreadText());
}

void CReadWritePage::ShowPage()
{
    // Register reads never set the flag: it reports an update that failed earlier.
    if (m_report == Report::BeforeShowing) ReportAcknowledgeFailure();
    DataToControls();
    if (m_report == Report::AfterShowing) ReportAcknowledgeFailure();
}

void CReadWritePage::ShowFailedRead()
{
    // One message for the read, whatever else is flagged on the port.
    Port()->ClearError();
    if (m_report == Report::BeforeShowing) ShowAcknowledgeFailure(this);
    ShowControls();
    if (m_report == Report::AfterShowing) ShowAcknowledgeFailure(this);
}

void CReadWritePage::OnRead()
{
    if (Port() == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        if (ReadAll())
            ShowPage();
        else
            ShowFailedRead();
    }
    SetBusy(false);
}

void CReadWritePage::OnWrite()
{
    // Only values the device gave or the user chose are written.
    if (Port() == nullptr || !m_hasRead) return;
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        const FailureCount before(*Port());
        WriteDevice();  // writing never reads the page back
        if (FailureCount(*Port()) != before || Port()->GetError() == CTovin_I2C_Port::kErrorAck) {
            Port()->ClearError();
            ShowAcknowledgeFailure(this);
        }
    }
    SetBusy(false);
}
