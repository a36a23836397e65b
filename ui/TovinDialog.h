#pragma once
// Base of every dialog and window of the program: the font is chosen when the
// dialog is created, OK ends with 1, Cancel and Escape with 2, and a modal run
// goes through the user-interaction seam.

#include <QDialog>

class CTovinDialog : public QDialog {
    Q_OBJECT
public:
    explicit CTovinDialog(QWidget* parent = nullptr);

    // Runs the dialog modally; returns the result it ended with.
    int DoModal();

public slots:
    void accept() override;  // ends with kIdOk
    void reject() override;  // ends with kIdCancel (Escape, Cancel, the close box)

protected:
    // Called once, when the dialog is first shown, before it is drawn: where a
    // dialog reads the device and fills its controls.
    virtual void OnInitDialog() {}
    void showEvent(QShowEvent* event) override;
    bool IsInitialised() const { return m_initialised; }

private:
    bool m_initialised = false;
};
