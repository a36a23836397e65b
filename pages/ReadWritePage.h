#pragma once
// A device page with "&Read" and "&Write" buttons: each handler runs its
// device traffic inside one cable lock with both buttons disabled, and a read
// ends by showing the page and reporting an acknowledge failure left flagged.

#include "app/TovinPropertyPage.h"

class QHBoxLayout;
class QPushButton;

class CReadWritePage : public CTovinPropertyPage {
    Q_OBJECT
public:
    explicit CReadWritePage(QWidget* parent = nullptr);

    void OnRead();
    void OnWrite();
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }

signals:
    // Emitted inside the Read and Write handlers, before the device traffic.
    void SequenceRunning();

protected:
    virtual void ReadDevice() = 0;
    virtual void WriteDevice() = 0;
    // Sets the controls from the page's data, then reports a failed update.
    void ShowPage();
    // The buttons, right-aligned, for the page's layout.
    QHBoxLayout* ButtonRow();
    // "&Read" stays disabled until the first read has filled the page.
    void EnableRead();

private:
    void SetBusy(bool busy);

    QPushButton* m_read;
    QPushButton* m_write;
};
