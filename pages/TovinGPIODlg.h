#pragma once
// GPIO page of one HMU device: the level of GPIO1..GPIO10 and each pin's
// direction. GPIO2 and GPIO3 can also be driven by a signal of the output
// control block; on the "I2C" signal their level can be toggled on the page.
// GPIO7 is shown as "N/A" on a device that has none, and its direction is
// still written back as read. The device is read when the page is first
// shown and on "&Read", written on "&Write".

#include <array>
#include <cstdint>

#include "device/blocks/Gpio.h"
#include "pages/ReadWritePage.h"

class QComboBox;
class QLabel;
class QRadioButton;
class CToggleValueLabel;

class CTovinGPIODlg : public CReadWritePage {
    Q_OBJECT
public:
    explicit CTovinGPIODlg(QWidget* parent = nullptr);

    struct PinControls {
        QLabel* label = nullptr;
        CToggleValueLabel* value = nullptr;
        QRadioButton* input = nullptr;
        QRadioButton* output = nullptr;
        QComboBox* signal = nullptr;  // GPIO2 and GPIO3 only
    };
    const PinControls& Pin(int pin) const { return m_controls.at(pin); }
    const gpio::Values& Values() const { return m_values; }
    uint8_t Identification() const { return m_identification; }

protected:
    void DataToControls() override;
    // Pin levels and configuration; the identification only the first time.
    void ReadDevice() override;
    void WriteDevice() override;
    std::function<void()> KeepData() override { return Keep(m_values, m_identification, m_identified); }
    // Fills the source signal lists.
    void PrepareControls() override;

private:
    bool Gpio7Absent() const { return gpio::Gpio7Absent(m_identification); }
    // GPIO2 and GPIO3: the signal box and the value text in use as their choices say.
    void ApplyEnabling(int which);

    gpio::Values m_values{};
    uint8_t m_identification = 0;
    bool m_identified = false;
    std::array<PinControls, gpio::kPins> m_controls{};
};
