#include "ui/TovinPropertySheet.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/TovinPropertyPage.h"
#include "ui/UserInteraction.h"

CTovinPropertySheet::CTovinPropertySheet(const QString& title, bool closeOnly)
    : m_closeOnly(closeOnly), m_tabs(new QTabWidget(this)), m_buttons(new QDialogButtonBox(this))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);
    if (closeOnly) {
        // One button, where Cancel would be; it ends the window as OK does.
        QPushButton* close = m_buttons->addButton(tr("Close"), QDialogButtonBox::AcceptRole);
        close->setDefault(true);
    } else {
        m_buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
        m_buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    }
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CTovinPropertySheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CTovinPropertySheet::reject);
    // Only tabs the user brings forward while the window is open are
    // activated: closing the window destroys its pages, and the tab widget
    // moves its current tab as they go.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_started && isVisible()) ActivateCurrent();
    });
}

void CTovinPropertySheet::AddDevicePage(CTovinPropertyPage* page, const QString& label)
{
    m_pages.push_back({page, page});
    // A page may be destroyed before the sheet; it must not be activated then.
    connect(page, &QObject::destroyed, this, [this](QObject* gone) {
        std::erase_if(m_pages, [gone](const PageEntry& entry) { return entry.object == gone; });
    });
    m_tabs->addTab(page, label);
}

int CTovinPropertySheet::CurrentPageIndex() const
{
    return m_tabs->currentIndex();
}

void CTovinPropertySheet::SetCurrentPage(int index)
{
    m_tabs->setCurrentIndex(index);
}

void CTovinPropertySheet::ActivateCurrent()
{
    QWidget* current = m_tabs->currentWidget();
    for (const PageEntry& entry : m_pages) {
        if (entry.page == current) {
            entry.page->Activate();
            return;
        }
    }
}

void CTovinPropertySheet::showEvent(QShowEvent* event)
{
    CTovinDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        ActivateCurrent();  // the first page initialises as the window opens
    }
}

void CTovinPropertySheet::keyPressEvent(QKeyEvent* event)
{
    // Escape and Ctrl+Break end the window as Cancel does.
    const bool ctrlBreak = (event->key() == Qt::Key_Pause || event->key() == Qt::Key_Cancel) &&
                           (event->modifiers() & Qt::ControlModifier);
    if (event->key() == Qt::Key_Escape || ctrlBreak) {
        reject();
        return;
    }
    CTovinDialog::keyPressEvent(event);
}

void CTovinPropertySheet::done(int result)
{
    m_started = false;
    CTovinDialog::done(result);
}

void CTovinPropertySheet::accept()
{
    for (const PageEntry& entry : m_pages)
        if (entry.page->IsInitialised()) entry.page->OnOK();
    CTovinDialog::accept();
}
