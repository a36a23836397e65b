#pragma once
// The voltage monitor page of one HMU device: for VMON1..VMON9 and HVMON the
// measured voltage, the outputs of comparators A and B, their thresholds with
// the detection direction each list is shown for, and the glitch filter and
// window mode of each input. It reads the device when it is first shown and
// on "&Read", and writes it only on "Write".

#include <array>

#include "device/blocks/Vmon.h"
#include "pages/ReadWritePage.h"

class QCheckBox;
class QComboBox;
class QLabel;

class CVMONCOMPDlg : public CReadWritePage {
    Q_OBJECT
public:
    // Creates the controls only: no device traffic and no threshold list is
    // filled before the page is initialised.
    explicit CVMONCOMPDlg(QWidget* parent = nullptr);

    // Controls and state, for the tests. c is the input (0..8 VMON1..9,
    // 9 HVMON), j = 2c + k the comparator (k 0 = A, 1 = B).
    QString InputCaption(int c) const;
    QString VoltageText(int c) const;
    // "*" when the reading was taken through the attenuator (not rescaled), else empty.
    QString VoltageMarker(int c) const;
    QString VoltageToolTip(int c) const;
    QString ComparatorText(int j) const;
    QComboBox* DetectionBox(int j) const { return m_comparators.at(j).detection; }
    QComboBox* ThresholdBox(int j) const { return m_comparators.at(j).threshold; }
    QCheckBox* GlitchFilterBox(int c) const { return m_inputs.at(c).glitchFilter; }
    QCheckBox* WindowModeBox(int c) const { return m_inputs.at(c).windowMode; }
    int ThresholdItem(int j) const { return m_comparators.at(j).thresholdItem; }
    vmon::Direction DetectionDirection(int j) const { return m_comparators.at(j).direction; }

protected:
    // Sets every control from the page's data.
    void DataToControls() override;
    // Unread values, but the detection lists keep their stored directions:
    // those are the user's, not the device's.
    void ShowUnread() override;
    void ReadDevice() override;
    void WriteDevice() override;
    std::function<void()> KeepData() override { return Keep(m_inputs, m_comparators); }
    // Loads the stored detection directions and fills the threshold lists.
    void PrepareControls() override;

private:
    struct Input {
        QLabel* caption = nullptr;
        QLabel* voltageText = nullptr;
        QLabel* marker = nullptr;  // '*' beside a reading taken through the attenuator
        QCheckBox* glitchFilter = nullptr;
        QCheckBox* windowMode = nullptr;
        float voltage = 0.0f;
        bool attenuated = false;
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
    void LoadDirections();
    static void ShowAttenuated(Input& input, bool attenuated);
    void StoreDirections();

    void FillThresholdList(int j);
    void OnDetectionChanged(int j, int index);
    void OnThresholdChanged(int j, int index);

    std::array<Input, vmon::kChannels> m_inputs;
    std::array<Comparator, vmon::kComparators> m_comparators;
};
