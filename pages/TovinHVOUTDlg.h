#pragma once
// HVOUT page of one HMU device: for each of the four high-voltage outputs its
// value, where it is driven from (the device's interface logic or a signal of
// the output control block), static or switched, charge pump or open drain.
// An output driven from the "I2C" signal can be toggled on the page. The
// device is read when the page is first shown and on "&Read", written on
// "&Write"; every choice is kept in the page's values as it is made.

#include <array>

#include "device/blocks/Hvout.h"
#include "pages/ReadWritePage.h"

class QComboBox;
class QRadioButton;
class CToggleValueLabel;

class CTovinHVOUTDlg : public CReadWritePage {
    Q_OBJECT
public:
    explicit CTovinHVOUTDlg(QWidget* parent = nullptr);

    struct OutputControls {
        CToggleValueLabel* value = nullptr;
        QRadioButton* interfaceSource = nullptr;  // "HMU/IF"
        QRadioButton* ocbSource = nullptr;        // "OCB"
        QComboBox* signal = nullptr;
        QRadioButton* staticMode = nullptr;
        QRadioButton* switchedMode = nullptr;
        QComboBox* frequency = nullptr;
        QComboBox* dutyCycle = nullptr;
        QRadioButton* chargePump = nullptr;
        QRadioButton* openDrain = nullptr;
        QComboBox* pumpVoltage = nullptr;
        QComboBox* sourceCurrent = nullptr;
        QComboBox* sinkCurrent = nullptr;
    };
    const OutputControls& Output(int output) const { return m_controls.at(output); }
    const hvout::Values& Values() const { return m_values; }

protected:
    void DataToControls() override;
    void ReadDevice() override;
    void WriteDevice() override;
    std::function<void()> KeepData() override { return Keep(m_values); }
    // Fills the code lists.
    void PrepareControls() override;

private:
    // The controls of one output, tied to its values.
    void BuildOutput(int output);
    // Enables the controls of an output that its choices leave in use.
    void ApplyEnabling(int output);
    void ShowValue(int output);

    hvout::Values m_values{};
    std::array<OutputControls, hvout::kOutputs> m_controls{};
};
