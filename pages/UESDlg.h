#pragma once
// The user electronic signature of the device the register port addresses
// now: read when the dialog opens and on "&Read", shown in hexadecimal,
// decimal or binary. Switching the base shows the value again without reading.
// A read the device did not answer is reported, not passed off as its value.

#include <cstdint>

#include "ui/TovinDialog.h"

class CAppServices;

class QLineEdit;
class QPushButton;
class QRadioButton;
class CTovin_I2C_Port;

class CUESDlg : public CTovinDialog {
    Q_OBJECT
public:
    explicit CUESDlg(CAppServices& services, QWidget* parent = nullptr);

    // The port read; the application's unless set.
    void SetPort(CTovin_I2C_Port* port) { m_port = port; }

    void OnRead();
    void SetRadix(int radix);  // 16, 10 or 2; shows the value again
    int Radix() const { return m_radix; }
    uint64_t Signature() const { return m_signature; }
    QString SignatureText() const;

    QRadioButton* BaseButton(int radix) const;
    QPushButton* ReadButton() const { return m_read; }

signals:
    // Emitted inside the Read handler, before the device traffic.
    void SequenceRunning();

protected:
    // The base button is checked and the signature read when the dialog opens.
    void OnInitDialog() override;

private:
    // Shows the value; true when it also reported a flagged failure.
    bool Show();

    CTovin_I2C_Port* m_port = nullptr;
    int m_radix = 16;
    bool m_hasSignature = false;  // a read succeeded
    uint64_t m_signature = 0;

    QRadioButton* m_binary;
    QRadioButton* m_decimal;
    QRadioButton* m_hex;
    QPushButton* m_read;
    QLineEdit* m_text;
};
