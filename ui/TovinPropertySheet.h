#pragma once
// A modal tabbed window with one page per answering HMU device. Close-only
// windows show a single "Close" button where Cancel would be; the others OK
// and Cancel. There is never an Apply or Help button.

#include <QString>
#include <vector>

#include "ui/TovinDialog.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;
class CTovinPropertyPage;

class CTovinPropertySheet : public CTovinDialog {
    Q_OBJECT
public:
    CTovinPropertySheet(const QString& title, bool closeOnly);

    // The page's tab title is the label; the sheet does not own the page.
    void AddDevicePage(CTovinPropertyPage* page, const QString& label);
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    CTovinPropertyPage* Page(int index) const { return m_pages.at(index).page; }
    bool IsCloseOnly() const { return m_closeOnly; }

    int CurrentPageIndex() const;
    void SetCurrentPage(int index);
    QTabWidget* Tabs() const { return m_tabs; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

public slots:
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ActivateCurrent();

    bool m_closeOnly;
    bool m_started = false;
    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    // The page's QObject is kept beside it: when a page is destroyed only
    // that part is left to compare with.
    struct PageEntry {
        CTovinPropertyPage* page;
        const QObject* object;
    };
    std::vector<PageEntry> m_pages;
};
