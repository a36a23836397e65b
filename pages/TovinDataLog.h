#pragma once
// The channel selection page of one HMU device: a check box for each of the
// 29 channels that can go into the log file, in the groups VMON, HVOUT,
// GPIO, TMON and IMON. The boxes show the device's part of the selection
// when the page is first shown; OK of the window stores them back. A device
// without GPIO7 (by its identification byte) shows that box disabled and clear.

#include <QString>
#include <array>
#include <cstdint>

#include "ui/TovinPropertyPage.h"
#include "logging/LogSelection.h"

class QCheckBox;

class CTovinDataLog : public CTovinPropertyPage {
    Q_OBJECT
public:
    explicit CTovinDataLog(QWidget* parent = nullptr);

    // The selection the page shows and stores into; set before the window opens.
    void SetSelection(logsel::LogSelection* selection) { m_selection = selection; }

    bool OnInitDialog() override;
    void OnOK() override;

    void OnSelectAll();
    void OnClearAll();

    QCheckBox* Box(int channel) const { return m_boxes.at(channel); }
    uint8_t Identification() const { return m_identification; }

private:
    void SetAll(bool checked);
    bool HasGpio7() const;

    logsel::LogSelection* m_selection = nullptr;
    uint8_t m_identification = 0;
    std::array<QCheckBox*, logsel::kChannels> m_boxes{};
};
