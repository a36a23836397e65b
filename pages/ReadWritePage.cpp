#include "pages/ReadWritePage.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "link/CableLock.h"

CReadWritePage::CReadWritePage(QWidget* parent)
    : CTovinPropertyPage(parent),
      m_read(new QPushButton(QStringLiteral("&Read"), this)),
      m_write(new QPushButton(QStringLiteral("&Write"), this))
{
    connect(m_read, &QPushButton::clicked, this, &CReadWritePage::OnRead);
    connect(m_write, &QPushButton::clicked, this, &CReadWritePage::OnWrite);
    m_read->setEnabled(false);
}

QHBoxLayout* CReadWritePage::ButtonRow()
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    return buttons;
}

void CReadWritePage::EnableRead()
{
    m_read->setEnabled(true);
}

void CReadWritePage::SetBusy(bool busy)
{
    m_read->setEnabled(!busy);
    m_write->setEnabled(!busy);
}

void CReadWritePage::ShowPage()
{
    DataToControls();
    // Register reads never set the flag: it reports an update that failed earlier.
    ReportAcknowledgeFailure();
}

void CReadWritePage::OnRead()
{
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
    SetBusy(true);
    emit SequenceRunning();
    {
        CCableLock lock;
        WriteDevice();  // writing never reads the page back
    }
    SetBusy(false);
}
