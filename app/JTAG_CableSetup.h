#pragma once
// Chooses between the cable and the simulated register file, the I2C clock
// rate of the cable (100 or 400 kHz; any other stored rate shows as 100 kHz
// and is kept until a rate button is clicked), and which cable to use when
// several are plugged in (by USB serial number; empty: the first found).

#include "ui/TovinDialog.h"

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QRadioButton;
class CI2C_FTDI;
class CTovin_I2C_Port;

class CJTAG_CableSetup : public CTovinDialog {
    Q_OBJECT
public:
    explicit CJTAG_CableSetup(QWidget* parent = nullptr);

    void SetDemoMode(bool demo) { m_demoMode = demo; }
    bool GetDemoMode() const { return m_demoMode; }
    void SetPort(CTovin_I2C_Port* port) { m_port = port; }
    int Rate() const { return m_rate; }
    void SetCableSerial(const std::string& serial) { m_cableSerial = serial; }
    // The serial numbers the box offers: the cables plugged in.
    void SetAttachedCables(std::vector<std::string> serials) { m_attachedCables = std::move(serials); }
    // The serial in the box at OK, without surrounding blanks.
    std::string GetCableSerial() const { return m_cableSerial; }
    int DeviceCount() const { return m_deviceCount; }

    QCheckBox* DemoBox() const { return m_demo; }
    QRadioButton* Rate100() const { return m_rate100; }
    QRadioButton* Rate400() const { return m_rate400; }
    QRadioButton* FtdiInterface() const { return m_ftdi; }
    QComboBox* CableSerialBox() const { return m_serial; }

public slots:
    void accept() override;

private:
    void OnInitDialog() override;

    bool m_demoMode = false;
    CTovin_I2C_Port* m_port = nullptr;
    CI2C_FTDI* m_link = nullptr;
    int m_deviceCount = 0;
    int m_rate = 400;
    std::string m_cableSerial;
    std::vector<std::string> m_attachedCables;

    QRadioButton* m_parallel;
    QRadioButton* m_usbCable;
    QRadioButton* m_ftdi;
    QCheckBox* m_demo;
    QRadioButton* m_rate100;
    QRadioButton* m_rate400;
    QComboBox* m_serial;
};
