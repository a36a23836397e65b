#pragma once
// Temperature monitor page of one HMU device: the two external sensors and
// the internal one, each with its temperature, the outputs of its two
// comparators and their thresholds in whole degrees. The device is read when
// the page is first shown and on "&Read", written on "&Write".

#include <array>
#include <cstdint>

#include "pages/ReadWritePage.h"
#include "device/blocks/Tmon.h"

class QComboBox;
class QLabel;

class CTMONCOMPDlg : public CReadWritePage {
    Q_OBJECT
public:
    explicit CTMONCOMPDlg(QWidget* parent = nullptr);

    // What the page shows and holds. Monitor 0 = TMON1, 1 = TMON2, 2 = TMON
    // int; comparator j in the order TMON1 A, TMON1 B, TMON2 A, ... (2t + k).
    QString TemperatureText(int monitor) const;
    QString ComparatorText(int comparator) const;
    QComboBox* ThresholdBox(int comparator) const;
    int ThresholdCode(int comparator) const;

protected:
    void DataToControls() override;
    void ReadDevice() override;
    void WriteDevice() override;
    std::function<void()> KeepData() override { return Keep(m_values); }
    // Fills the threshold lists.
    void PrepareControls() override;

private:
    // Threshold registers as last read (or written) are in the values: the
    // bits the page does not own go back to the device unchanged.
    tmon::Values m_values{};

    std::array<QLabel*, tmon::kMonitors> m_temperatureLabels{};
    std::array<QLabel*, tmon::kComparators> m_comparatorLabels{};
    std::array<QComboBox*, tmon::kComparators> m_thresholdBoxes{};
};
