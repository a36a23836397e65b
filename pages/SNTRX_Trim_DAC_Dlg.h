#pragma once
// Closed loop trim of one trim cell: the voltage measured on the input the
// cell trims, and its target. "&Write" (and OK, before closing) sends the
// target in the edit field; "&Read" shows its effect. A read or write the
// device did not acknowledge is reported with the acknowledge-failure message;
// a failed read leaves the last values read (or "---"), and a target neither
// read nor typed is never sent.

#include <QString>

#include "ui/TovinDialog.h"

class QLabel;
class QPushButton;
class CFloatEdit;
class CTovin_I2C_Port;

class CSNTRX_Trim_DAC_Dlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CSNTRX_Trim_DAC_Dlg(QWidget* parent = nullptr);

    void SetTrimCell(int number);  // 1..4
    void SetPort(CTovin_I2C_Port* port) { m_port = port; }
    void SetDeviceIndex(int index);

    void OnRead();
    void OnWrite();

    QString OutputVoltageText() const;
    // "*" when the output was read through the attenuator (not rescaled), else empty.
    QString OutputVoltageMarker() const;
    QString OutputVoltageToolTip() const;
    CFloatEdit* TargetField() const { return m_target; }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }
    QPushButton* OkButton() const { return m_ok; }
    int TargetCode() const { return m_targetCode; }
    float MeasuredVolts() const { return m_measured; }

public slots:
    void accept() override;  // writes the target first

signals:
    // Emitted inside the Read and Write handlers, before the device traffic.
    void SequenceRunning();

private:
    void OnInitDialog() override;
    void UpdateCaption();
    void SetBusy(bool busy);
    void Show();

    int m_cellNumber = 1;
    CTovin_I2C_Port* m_port = nullptr;
    int m_deviceIndex = 0;
    float m_measured = 0.0f;
    bool m_attenuated = false;  // m_measured came through the attenuator
    int m_targetCode = 0;
    bool m_hasRead = false;    // a read succeeded: the values above are the device's
    bool m_hasTarget = false;  // the target field holds a read or typed value

    QLabel* m_output;
    QLabel* m_marker;  // '*' beside an output read through the attenuator
    CFloatEdit* m_target;
    QPushButton* m_read;
    QPushButton* m_write;
    QPushButton* m_ok;
};
