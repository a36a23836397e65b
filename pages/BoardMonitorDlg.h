#pragma once
// The Board Monitor: a live table of every channel of every HMU device that
// answers, a row per channel and a column group per device (value, min, max,
// comparators A and B), refreshed on a timer (logging/LiveFrame.h). Each
// timer turn reads one device, under the cable lock, so the window and the
// others stay responsive between devices: a frame takes one refresh period.
// Modeless; it belongs to the window that opens it.

#include <QDialog>
#include <memory>
#include <set>

#include "logging/IntervalTimer.h"
#include "logging/LiveFrame.h"

class CAppServices;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

class CBoardMonitorDlg : public QDialog {
    Q_OBJECT
public:
    // The refresh periods offered, milliseconds; 0 is "Off".
    static constexpr int kPeriods[] = {0, 500, 1000, 2000, 5000};
    static constexpr int kDefaultPeriodMs = 1000;
    static constexpr const char* kPeriodSetting = "Board Monitor Refresh";

    CBoardMonitorDlg(CAppServices& services, QWidget* parent = nullptr);
    ~CBoardMonitorDlg() override;

    // Replaces the refresh timer (tests advance their own); it starts at once.
    void SetTimer(std::unique_ptr<CIntervalTimer> timer);

    QTableWidget* Table() const { return m_table; }
    QComboBox* PeriodBox() const { return m_period; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* ResetButton() const { return m_reset; }
    QPushButton* CopyButton() const { return m_copy; }
    const live::LiveFrameData& Frame() const { return m_monitor->Frame(); }
    // The table as tab-separated text, header first: what Copy puts on the clipboard.
    QString TableText() const;
    // The row of a channel and the first column of a device's group, -1 when not shown.
    int Row(int channel) const { return channel; }
    int Column(int device) const;

    static constexpr int kGroupColumns = 5;  // value, min, max, A, B
    static constexpr int kFixedColumns = 2;  // channel, rail

private:
    void OnTick();
    void OnPeriodChanged(int index);
    void OnPause(bool paused);
    void OnReset();
    void OnCopy();
    void Restart();
    void ShowFrame();

    CAppServices& m_services;
    std::unique_ptr<live::CLiveMonitor> m_monitor;
    std::unique_ptr<CIntervalTimer> m_timer;
    QTableWidget* m_table = nullptr;
    QComboBox* m_period = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_status = nullptr;
    std::vector<int> m_columnDevices;  // device of each column group, in order
    // (device, channel) read through the attenuator since min and max were
    // last reset: their min and max may hold such an unscaled reading.
    std::set<std::pair<int, int>> m_attenuatedSinceReset;
};
