#pragma once
// The voltage monitor page of one HMU device: for VMON1..VMON9 and HVMON the
// measured voltage, the outputs of comparators A and B, their thresholds with
// the detection direction each list is shown for, and the glitch filter and
// window mode of each input. It reads the device when it is first shown and
// on "&Read", and writes it only on "Write".

#include <array>

#include "app/TovinPropertyPage.h"
#include "pages/VmonCodes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class CVMONCOMPDlg : public CTovinPropertyPage {
    Q_OBJECT
public:
    // Creates the controls only: no device traffic and no threshold list is
    // filled before the page is initialised.
    explicit CVMONCOMPDlg(QWidget* parent = nullptr);

    bool OnInitDialog() override;

    // Controls and state, for the tests. c is the input (0..8 VMON1..9,
    // 9 HVMON), j = 2c + k the comparator (k 0 = A, 1 = B).
    QString InputCaption(int c) const;
    QString VoltageText(int c) const;
    QString ComparatorText(int j) const;
    QComboBox* DetectionBox(int j) const { return m_comparators.at(j).detection; }
    QComboBox* ThresholdBox(int j) const { return m_comparators.at(j).threshold; }
    QCheckBox* GlitchFilterBox(int c) const { return m_inputs.at(c).glitchFilter; }
    QCheckBox* WindowModeBox(int c) const { return m_inputs.at(c).windowMode; }
    QPushButton* ReadButton() const { return m_read; }
    QPushButton* WriteButton() const { return m_write; }
    int ThresholdItem(int j) const { return m_comparators.at(j).thresholdItem; }
    vmon::Direction DetectionDirection(int j) const { return m_comparators.at(j).direction; }

public slots:
    void OnRead();
    void OnWrite();

protected:
    // Sets every control from the page's data.
    void DataToControls() override;

private:
    struct Input {
        QLabel* caption = nullptr;
        QLabel* voltageText = nullptr;
        QCheckBox* glitchFilter = nullptr;
        QCheckBox* windowMode = nullptr;
        float voltage = 0.0f;
        bool glitch = false;
        bool window = false;
    };
    struct Comparator {
        QLabel* stateText = nullptr;
        QComboBox* detection = nullptr;
        QComboBox* threshold = nullptr;
        int state = 0;
        int thresholdItem = 0;
        vmon::Direction direction = vmon::Direction::Under;
    };

    void BuildControls();
    // Device reads, each inside the caller's cable lock.
    void MeasureVoltages();
    void ReadComparatorStates();
    void ReadThresholds();
    void ReadFilterBits();
    void LoadDirections();
    void StoreDirections();

    void FillThresholdList(int j);
    void OnDetectionChanged(int j, int index);
    void OnThresholdChanged(int j, int index);

    std::array<Input, vmon::kChannels> m_inputs;
    std::array<Comparator, vmon::kComparators> m_comparators;
    QPushButton* m_read = nullptr;
    QPushButton* m_write = nullptr;
};
