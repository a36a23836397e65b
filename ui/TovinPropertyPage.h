#pragma once
// Base of every per-device page. It selects its device on the shared register
// port when it is initialised and whenever its tab becomes the current one, so
// that the page in front owns the port's current HMU index.

#include <QWidget>

class CAppServices;
class CTovin_I2C_Port;

// The message of a device that did not answer.
void ShowAcknowledgeFailure(QWidget* parent);
// After a read sequence: when an acknowledge failure is flagged on the port,
// tells the user once and clears the flag. True when it told.
bool ReportAcknowledgeFailure(QWidget* parent, CTovin_I2C_Port* port);

class CTovinPropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit CTovinPropertyPage(QWidget* parent = nullptr);

    void SetPort(CTovin_I2C_Port* port) { m_port = port; }
    void SetDeviceIndex(int index) { m_deviceIndex = index; }
    // The application's services (settings, demo mode, unlock code); null
    // for a page made on its own.
    void SetServices(CAppServices* services) { m_services = services; }
    CAppServices* Services() const { return m_services; }
    CTovin_I2C_Port* Port() const { return m_port; }
    int DeviceIndex() const { return m_deviceIndex; }

    // Called by the sheet: once, when the tab is first shown, then on every
    // activation (the first one included).
    virtual bool OnInitDialog();
    virtual bool OnSetActive();
    // The sheet ended with OK or Close and this page's tab was shown.
    virtual void OnOK() {}

    bool IsInitialised() const { return m_initialised; }
    int Activations() const { return m_activations; }

protected:
    // After a read sequence: when an acknowledge failure is flagged on the
    // port, tells the user once and clears the flag.
    void ReportAcknowledgeFailure();
    // Sets every control from the page's data (on activations after the first).
    virtual void DataToControls() {}

private:
    friend class CTovinPropertySheet;
    void Activate();

    CTovin_I2C_Port* m_port = nullptr;
    CAppServices* m_services = nullptr;
    int m_deviceIndex = 0;
    bool m_initialised = false;
    int m_activations = 0;
};
