#include "pages/ReadWritePage.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>

#include "link/CableLock.h"

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

bool CReadWritePage::OnInitDialog()
{
    const bool result = CTovinPropertyPage::OnInitDialog();
    {
        CCableLock lock;
        if (Port() != nullptr) ReadDevice();
        PrepareControls();
        if (m_reportOnInit)
            ShowPage();
        else
            DataToControls();
    }
    m_read->setEnabled(true);
    return result;
}

void CReadWritePage::SetBusy(bool busy)
{
    m_read->setEnabled(!busy);
    m_write->setEnabled(!busy);
}

void CReadWritePage::ShowPage()
{
    // Register reads never set the flag: it reports an update that failed earlier.
    if (m_report == Report::BeforeShowing) ReportAcknowledgeFailure();
    DataToControls();
    if (m_report == Report::AfterShowing) ReportAcknowledgeFailure();
}

void CReadWritePage::OnRead()
{
    if (Port() == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        ReadDevice();
        ShowPage();
    }
    SetBusy(false);
}

void CReadWritePage::OnWrite()
{
    if (Port() == nullptr) return;
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        WriteDevice();  // writing never reads the page back
    }
    SetBusy(false);
}
