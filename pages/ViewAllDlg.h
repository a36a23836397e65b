#pragma once
// The all-registers browser page of one HMU device: every register of the map
// with its type, number, name and eight bits. Single registers or all of them
// are read and written, rows hidden and shown again, values edited bit by bit
// (only the page's copy: the device is written by the write buttons), and
// written configuration registers applied with the update command. The page
// holds its own copy of the device's rows; the window hands them back to the
// application's register map when it closes with OK.
//
// A row's value counts only once the device gave it (a read of the row that
// succeeded) or the user entered it: until then the row is listed unread and
// neither "Write" writes it. A read that fails keeps the row's last value and
// is reported once; a write that fails is reported at once.

#include <QListWidget>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "ui/TovinPropertyPage.h"
#include "device/RegisterMap.h"

class QLabel;
class QPushButton;

namespace browser {

// One list line: "%c\t0x%02X\t%s \t%d \t%d \t%d \t%d \t%d \t%d \t%d \t%d",
// the type letter, number, name and the bits of the value's low byte, MSB first.
std::string ListLine(const RegisterEntry& row);
// The line of a row whose value the page does not have (never read, or its
// read failed before any succeeded): every bit "-".
std::string UnreadLine(const RegisterEntry& row);
constexpr int kTabStops = 10;
// Tab stops of the list in dialog units: address, name, bits 7..0.
inline constexpr std::array<int, kTabStops> kTabStopUnits = {20, 45, 135, 145, 155, 165, 175, 185, 195, 205};

}  // namespace browser

// A list whose lines are tab-separated columns at fixed stops.
class CRegisterList : public QListWidget {
    Q_OBJECT
public:
    explicit CRegisterList(QWidget* parent = nullptr);
    // Stops in pixels from the left edge of a line's text.
    void SetTabStops(const std::array<int, browser::kTabStops>& stops);
    const std::array<int, browser::kTabStops>& TabStops() const { return m_stops; }
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    std::array<int, browser::kTabStops> m_stops{};
};

class CViewAllDlg : public CTovinPropertyPage {
    Q_OBJECT
public:
    explicit CViewAllDlg(QWidget* parent = nullptr);

    // Given by the window before it opens: the device's rows (values are read
    // from the device) and the list line to select.
    void SetRows(const std::vector<RegisterEntry>& rows)
    {
        m_rows = rows;
        m_known.assign(rows.size(), false);
    }
    const std::vector<RegisterEntry>& Rows() const { return m_rows; }
    void SetListPosition(int position) { m_listPosition = position; }
    int ListPosition() const { return m_listPosition; }
    int SelectedRow() const { return m_selectedRow; }
    bool ConfigurationWritten() const { return m_configurationWritten; }
    // True when row r's value came from the device or from the user.
    bool RowKnown(int r) const { return m_known.at(static_cast<size_t>(r)); }

    bool OnInitDialog() override;

    // Buttons and list actions.
    void OnHide();
    void OnReadSelected();
    void OnWriteSelected();
    void OnShowAll();
    void OnReadAll();
    void OnWriteAll();
    void OnUpdateConfiguration();
    void OnEdit();

    CRegisterList* List() const { return m_list; }
    QString HintText() const;
    QPushButton* Button(const QString& text) const;

signals:
    // Emitted inside each handler that talks to the device, before the traffic.
    void SequenceRunning();

private:
    // Fills the list with the shown rows and selects line `position`; then
    // reports an acknowledge failure left flagged on the port.
    void FillList(int position);
    // The selected line's row, -1 when no line is selected.
    void DecodeSelection();
    void UpdateControls();
    // Reads every row; false when any read failed (the row keeps its value).
    bool ReadAll();
    // Reads row r into the page when the device answers; false when it did not.
    bool ReadKnownRow(int r);
    // The acknowledge-failure message, once, for traffic that failed.
    void ReportFailure();
    void SetBusy(bool busy);
    uint8_t ReadRow(const RegisterEntry& row);
    void WriteRow(const RegisterEntry& row);

    std::vector<RegisterEntry> m_rows;
    std::vector<bool> m_known;  // per row: read from the device or entered
    std::vector<int> m_lineRows;  // row index of each list line
    int m_listPosition = 0;
    int m_selectedRow = -1;
    bool m_configurationWritten = false;
    bool m_filling = false;

    QLabel* m_hint;
    CRegisterList* m_list;
    QPushButton* m_hide;
    QPushButton* m_readSelected;
    QPushButton* m_writeSelected;
    QPushButton* m_showAll;
    QPushButton* m_readAll;
    QPushButton* m_writeAll;
    QPushButton* m_update;
};
