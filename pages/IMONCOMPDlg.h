#pragma once
// Current monitor page of one HMU device: IMON1 and HIMON1, each with its
// current (from the measured amplifier voltage, the gain and the sense
// resistor the user enters), its two comparator outputs, its two trip points
// in amperes and its glitch filter and window mode settings. The device is
// read when the page is first shown and on "&Read", written on "&Write".

#include <array>

#include "pages/ReadWritePage.h"
#include "device/blocks/Imon.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class CIMONCOMPDlg : public CReadWritePage {
    Q_OBJECT
public:
    static constexpr int kComparators = 2;  // A, B

    explicit CIMONCOMPDlg(QWidget* parent = nullptr);
    // A page that was shown keeps both sense resistors in the settings.
    ~CIMONCOMPDlg() override;

    void OnSenseResistor(int monitor);

    // What the page shows and holds, monitor 0 = IMON1, 1 = HIMON1;
    // comparator 0 = A, 1 = B.
    QString CurrentText(int monitor) const;
    QString ComparatorText(int monitor, int comparator) const;
    QComboBox* TripPointBox(int monitor, int comparator) const;
    QCheckBox* GlitchFilterBox(int monitor) const;
    QCheckBox* WindowModeBox(int monitor) const;
    QPushButton* SenseResistorButton(int monitor) const;
    float SenseResistance(int monitor) const;
    int Gain(int monitor) const;

protected:
    void DataToControls() override;
    void ReadDevice() override;
    void WriteDevice() override;
    std::function<void()> KeepData() override { return Keep(m_values); }
    // Loads the stored sense resistors and fills the trip point lists.
    void PrepareControls() override;

private:
    struct MonitorControls {
        QPushButton* resistor = nullptr;
        QLabel* current = nullptr;
        std::array<QLabel*, kComparators> comparators{};
        std::array<QComboBox*, kComparators> tripPoints{};
        QCheckBox* glitchFilter = nullptr;
        QCheckBox* windowMode = nullptr;
    };

    QWidget* BuildGroup(int monitor);
    void FillTripPointLists(int monitor);

    imon::Values m_values{};
    std::array<float, imon::kMonitors> m_ohms{imon::kDefaultSenseResistance, imon::kDefaultSenseResistance};
    std::array<MonitorControls, imon::kMonitors> m_controls{};
};
