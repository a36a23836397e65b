#pragma once
// "Scalable Architecture": the design sequences 10 or 20 supply rails and
// releases 1, 2 or 3 resets per device. The dialog reads and writes those two
// settings in main-device register 1; with 10 rails the chart leaves out the
// rails of the external HMU device (POT3, POT4, DC-DC8).

#include "demo/TovinDemoDlgBase.h"

class CAppServices;

class QComboBox;
class QRadioButton;

class CTovinDemo1Dlg : public CTovinDemoDlgBase {
    Q_OBJECT
public:
    explicit CTovinDemo1Dlg(CAppServices& services, QWidget* parent = nullptr);

    void OnRead();
    void OnWrite();

    QRadioButton* TenRailsButton() const { return m_tenRails; }
    QRadioButton* TwentyRailsButton() const { return m_twentyRails; }
    QComboBox* ResetsBox() const { return m_resets; }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }

protected:
    void OnInitDialog() override;

private:
    // Remembers the rails, loads their texts and shows or hides the rails of
    // the external device in the chart.
    void RailsChange(int rails);
    // The device part of Read, inside the caller's cable lock.
    bool ReadSettings();

    QRadioButton* m_tenRails;
    QRadioButton* m_twentyRails;
    QComboBox* m_resets;
    QPushButton* m_read;
    QPushButton* m_write;
};
