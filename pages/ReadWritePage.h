#pragma once
// The skeleton of every device page with a Read and a Write button. It runs
// each handler's device traffic inside one cable lock with both buttons
// disabled, reads the device once when the page is initialised, and after a
// read reports an acknowledge failure left flagged on the port. Pages fill in
// what is read and written (through the device blocks), how their controls
// show it, and where a read shows the wait cursor.
//
// A read is all or nothing: the page names its data (KeepData), the skeleton
// keeps a copy before the read and puts it back when any transaction of the
// read failed, so the controls go on showing the last values read
// successfully. Until one read has succeeded the page shows its values as
// unread ("---", no selection) and Write stays disabled: nothing the device
// did not give is ever written back. A Write whose traffic failed is reported
// at once.

#include <QString>
#include <functional>
#include <tuple>

#include "ui/TovinPropertyPage.h"

class QHBoxLayout;
class QLabel;
class QPushButton;

class CReadWritePage : public CTovinPropertyPage {
    Q_OBJECT
public:
    // When the failure report comes relative to showing the page after a read.
    enum class Report { AfterShowing, BeforeShowing };

    explicit CReadWritePage(QWidget* parent = nullptr, const QString& writeCaption = QStringLiteral("&Write"),
                            Report report = Report::AfterShowing, bool reportOnInit = true);

    // The device read once, inside one cable lock, then the page shown;
    // "&Read" is enabled only from then on.
    bool OnInitDialog() override;

    void OnRead();
    void OnWrite();
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }
    // True once a read has succeeded: the page holds values the device gave.
    bool HasRead() const { return m_hasRead; }
    // The text a value shows before any read succeeded.
    static QString UnreadText() { return QStringLiteral("---"); }
    bool OnSetActive() override;

signals:
    // Emitted inside the Read and Write handlers, before the device traffic.
    void SequenceRunning();

protected:
    // Shown while a slow part of a read runs.
    class WaitCursor {
    public:
        WaitCursor();
        ~WaitCursor();
        WaitCursor(const WaitCursor&) = delete;
        WaitCursor& operator=(const WaitCursor&) = delete;
    };

    // Device traffic of the page, inside the handler's cable lock.
    virtual void ReadDevice() = 0;
    virtual void WriteDevice() = 0;
    // Between the first read and the first showing: lists filled, stored
    // settings loaded.
    virtual void PrepareControls() {}
    // Sets the controls from the page's data and reports a failed update.
    void ShowPage();
    // The page's data as read: a function that puts back what it holds now.
    virtual std::function<void()> KeepData() = 0;
    template <class... T>
    static std::function<void()> Keep(T&... data)
    {
        return [&data..., saved = std::make_tuple(data...)] { std::tie(data...) = saved; };
    }
    // Before any successful read: every value control shows that it is
    // unread. By default lists lose their selection, check boxes are cleared
    // and the page's value labels (CPageValueLabel, or a label marked with
    // MarkValueLabel) show UnreadText().
    virtual void ShowUnread();
    // A label that shows a value read from the device.
    static void MarkValueLabel(QLabel* label);
    // DataToControls() once a read has succeeded, ShowUnread() before.
    void ShowControls();
    // The buttons, right-aligned, for the page's layout.
    QHBoxLayout* ButtonRow();

private:
    void SetBusy(bool busy);
    // ReadDevice() with its data kept when a transaction fails; true when
    // every transaction succeeded.
    bool ReadAll();
    // After a read that failed: the message once, the kept values shown.
    void ShowFailedRead();

    QPushButton* m_read;
    QPushButton* m_write;
    Report m_report;
    bool m_reportOnInit;
    bool m_hasRead = false;
};
