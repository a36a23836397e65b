#pragma once
// Fault log page of one HMU device: the number of faults in the device's
// EEPROM and, record by record, the comparator outputs and pin states each
// fault left behind. "Read &Total" reads the log again and shows the last
// record, "Read &Previous", "Read &Next" and "Read Last" step through what was
// read, "&Erase All" erases the logs of every device of the window. Each
// button selects the page's device again first, since another tab may have
// moved the port's current device. In demo mode the log is a fixed pattern.
// A log that will not open shows its count as the status gave it and no
// record; Erase All names each device it did not erase, and why.

#include <array>
#include <cstdint>
#include <vector>

#include "ui/TovinPropertyPage.h"
#include "device/blocks/FaultLog.h"

class QLabel;
class QPushButton;

class CFault_Dlg : public CTovinPropertyPage {
    Q_OBJECT
public:
    explicit CFault_Dlg(QWidget* parent = nullptr);

    bool OnInitDialog() override;
    bool OnSetActive() override;

    // The buttons.
    void OnReadTotal();
    void OnReadLast();
    void OnReadNext();
    void OnReadPrevious();
    void EraseAllFaults();

    // What the page shows and holds. Channel c in the order of
    // faultlog::kChannelList, comparator 0 = A, 1 = B.
    QString TitleText() const;
    QString ChannelName(int channel) const;
    QString ComparatorText(int channel, int comparator) const;
    QString HvoutText(int output) const;
    QString GpioText(int pin) const;
    bool GpioNameEnabled(int pin) const;
    QPushButton* TotalButton() const { return m_total; }
    QPushButton* PreviousButton() const { return m_previous; }
    QPushButton* NextButton() const { return m_next; }
    QPushButton* LastButton() const { return m_last; }
    QPushButton* EraseButton() const { return m_erase; }
    int FaultCount() const { return m_count; }
    int CurrentIndex() const { return m_index; }
    int Identification() const { return m_identification; }

signals:
    // Emitted inside the Read Total and Erase All handlers, before any device traffic.
    void SequenceRunning();

protected:
    void DataToControls() override;

private:
    struct ChannelControls {
        QLabel* name = nullptr;
        std::array<QLabel*, 2> states{};
    };

    void BuildControls();
    // Status, count and records of the device (or the demo pattern); the
    // current record becomes the first.
    void ReadFaults();
    void DecodeFaultRecord();
    void ShowFaultRecord();
    // Selects the page's device, reads its log and shows the last record.
    void ReadAndShowLast();
    // After showing what was read: tells the user when the device did not answer.
    void ReportUnansweredRead();
    // The devices of the window this page is in (only its own outside one).
    std::vector<int> WindowDevices() const;
    void SetBusy(QPushButton* button, bool busy);

    bool m_demo = false;
    int m_identification = 0;
    faultlog::Records m_records{};
    int m_count = 0;
    int m_index = 0;
    faultlog::Flags m_flags{};
    bool m_readAnswered = true;
    // The status announced records but the log would not open: the count is
    // the status's, and no record was read.
    bool m_logClosed = false;

    QLabel* m_title = nullptr;
    std::array<ChannelControls, faultlog::kChannels> m_channels{};
    std::array<QLabel*, faultlog::kHvouts> m_hvoutValues{};
    std::array<QLabel*, faultlog::kGpios> m_gpioNames{};
    std::array<QLabel*, faultlog::kGpios> m_gpioValues{};
    QPushButton* m_total = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_last = nullptr;
    QPushButton* m_erase = nullptr;
};
