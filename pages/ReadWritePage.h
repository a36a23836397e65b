#pragma once
// The skeleton of every device page with a Read and a Write button. It runs
// each handler's device traffic inside one cable lock with both buttons
// disabled, reads the device once when the page is initialised, and after a
// read reports an acknowledge failure left flagged on the port. Pages fill in
// what is read and written (through the device blocks), how their controls
// show it, and where a read shows the wait cursor.

#include <QString>

#include "ui/TovinPropertyPage.h"

class QHBoxLayout;
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
    // The buttons, right-aligned, for the page's layout.
    QHBoxLayout* ButtonRow();

private:
    void SetBusy(bool busy);

    QPushButton* m_read;
    QPushButton* m_write;
    Report m_report;
    bool m_reportOnInit;
};
