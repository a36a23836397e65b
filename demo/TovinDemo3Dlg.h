#pragma once
// "Fault Logging": while the dialog is open the design logs supply faults in
// the HMU devices' fault EEPROM (main-device register 1 bit 0). Every second
// it checks whether HMU0's fault log is full, and says so once. "Read Fault
// Log Mem" runs the main window's command of that name, with the chart
// paused meanwhile.

#include <functional>

#include "demo/TovinDemoDlgBase.h"
#include "demo/UiTimer.h"

class CAppServices;

class CTovinDemo3Dlg : public CTovinDemoDlgBase {
    Q_OBJECT
public:
    static constexpr int kCheckPeriod = 1000;  // milliseconds

    explicit CTovinDemo3Dlg(CAppServices& services, QWidget* parent = nullptr);

    // The main window's "Read Fault Log Mem" command.
    void SetFaultLogCommand(std::function<void()> command) { m_faultLogCommand = std::move(command); }

    void OnReadFaultLog();
    QPushButton* FaultLogButton() const { return m_faultLog; }
    bool IsCheckTimerActive() const { return m_timer.IsActive(); }

protected:
    void OnInitDialog() override;
    void OnClosing() override;

private:
    void OnCheckTimer();

    std::function<void()> m_faultLogCommand;
    CUiTimer m_timer;
    QPushButton* m_faultLog;
};
