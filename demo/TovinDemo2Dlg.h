#pragma once
// "Thermal Management": the design heats resistor R203 and cools it with the
// fan, reacting when it gets warm or hot. The dialog sets the warm and hot
// thresholds (TMON2 of HMU0) two and four degrees above the board
// temperature when it opens, reads and writes the fan speeds, the wait and
// the responses, shows the board and resistor temperatures every second with
// the resistor's reading coloured by the thresholds, and starts the design.
// Only DC-DC4 takes part in the chart.

#include <QColor>
#include <QLabel>

#include "demo/TovinDemoDlgBase.h"
#include "demo/UiTimer.h"
#include "device/blocks/DemoDesign.h"

class CAppServices;

class QComboBox;

class CTovinDemo2Dlg : public CTovinDemoDlgBase {
    Q_OBJECT
public:
    static constexpr int kTemperaturePeriod = 1000;  // milliseconds

    // Indexes of the remembered values in the application.
    enum Remembered : int { kWarm, kHot, kWarmFan, kHotFan, kWait, kWarmResponse, kHotResponse };

    explicit CTovinDemo2Dlg(CAppServices& services, QWidget* parent = nullptr);

    void OnStart();
    void OnRead();
    void OnWrite();

    // The colour of the resistor's reading: dark green below the warm
    // threshold, orange from it, red from the hot threshold on.
    static QColor HeatColour(demodesign::Heat heat);
    QColor ResistorColour() const;
    QString BoardText() const;
    QString ResistorText() const;
    // "Heater On, Fan 25%" on the simulated board; empty and hidden elsewhere.
    QString HeaterFanText() const;
    QComboBox* WarmThresholdBox() const { return m_warm; }
    QComboBox* HotThresholdBox() const { return m_hot; }
    QComboBox* WarmFanBox() const { return m_warmFan; }
    QComboBox* HotFanBox() const { return m_hotFan; }
    QComboBox* WaitBox() const { return m_wait; }
    QComboBox* WarmResponseBox() const { return m_warmResponse; }
    QComboBox* HotResponseBox() const { return m_hotResponse; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }
    bool IsTemperatureTimerActive() const { return m_timer.IsActive(); }

protected:
    void OnInitDialog() override;
    void OnClosing() override;

private:
    // The temperatures read and shown, inside the caller's cable lock.
    void RefreshTemperatures();
    // The device part of Read, inside the caller's cable lock.
    bool ReadSettings();

    demodesign::Temperatures m_temperatures;
    CUiTimer m_timer;
    QLabel* m_board;
    QLabel* m_resistor;
    QLabel* m_heaterFan;
    QComboBox* m_warm;
    QComboBox* m_hot;
    QComboBox* m_warmFan;
    QComboBox* m_hotFan;
    QComboBox* m_wait;
    QComboBox* m_warmResponse;
    QComboBox* m_hotResponse;
    QPushButton* m_start;
    QPushButton* m_read;
    QPushButton* m_write;
};
