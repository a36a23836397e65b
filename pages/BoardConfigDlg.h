#pragma once
// Board configurations on the desktop: Save Configuration..., Compare with
// File... and Load Configuration..., for every HMU device of the board at
// once (the file format and the bus sequences are device/BoardConfig's).
// Every file dialog and message goes through the user-interaction seam, and
// each command's traffic runs inside the cable lock. A value a device did not
// give is never saved or shown: the command reports the register instead.

#include <QString>
#include <QStringList>
#include <vector>

#include "device/BoardConfig.h"
#include "ui/TovinDialog.h"

class CAppServices;
class QLabel;
class QTreeWidget;

// The registers whose board value differs from the file's: device, register,
// number, the file's value and the board's. For Compare it only shows them;
// for Load it asks before writing (Load ends it with OK).
class CBoardConfigDlg : public CTovinDialog {
    Q_OBJECT
public:
    enum class Purpose { Compare, Load };

    CBoardConfigDlg(Purpose purpose, const QString& file, const boardconfig::Settings& compared,
                    const std::vector<boardconfig::Difference>& differences, QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }
    QString Summary() const;
    // Each line's columns joined by tabs: "HMU0\tVMON1 Config0\t22\t0x5A\t0x3C".
    QStringList Lines() const;

private:
    QLabel* m_summary;
    QTreeWidget* m_list;
};

// The commands; parent is the window they were given in.
void SaveBoardConfiguration(QWidget* parent, CAppServices& app);
void CompareBoardConfiguration(QWidget* parent, CAppServices& app);
void LoadBoardConfiguration(QWidget* parent, CAppServices& app);
