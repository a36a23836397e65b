// The Board Monitor window, opened by the main window's Options command on
// the simulated board, refreshed on a virtual clock: what its table shows
// after each step a person takes on the board and in the window.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>

#include "app/TovinMainDlg.h"
#include "logging/LogSelection.h"
#include "device/blocks/Vmon.h"
#include "pages/BoardMonitorDlg.h"
#include "settings/Settings.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"
#include "tests/logging/VirtualTimer.h"

namespace {

using logsel::Channel;
using logsel::Group;

struct Cell {
    int device;
    int channel;
    int column;  // 0 value, 1 min, 2 max, 3 A, 4 B
};

TEST(BoardMonitor, ShowsTheBoardAsItChanges)
{
    auto board = CSimulatedBoard::CreateDefault();
    TestApp t(board->Driver(), [](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(0)); });
    CTovinMainDlg window;
    QAction* command = window.Action(QStringLiteral("Board &Monitor..."));
    ASSERT_NE(command, nullptr);
    command->trigger();
    auto* monitor = qobject_cast<CBoardMonitorDlg*>(window.BoardMonitor());
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->isVisible());
    auto timer = std::make_unique<CVirtualTimer>();
    CVirtualTimer& clock = *timer;
    monitor->SetTimer(std::move(timer));
    EXPECT_EQ(clock.Period(), 1000 / 8) << "1 s a frame by default, one device a turn";

    const auto item = [&](Cell c) -> QTableWidgetItem* {
        const int column = monitor->Column(c.device);
        return column < 0 ? nullptr : monitor->Table()->item(monitor->Row(c.channel), column + c.column);
    };
    const int vmon7 = Channel(Group::Vmon, 7);
    const int hvmon = Channel(Group::Vmon, 10);
    const int vmon1 = Channel(Group::Vmon, 1);

    // One device per turn: after one turn only HMU0 has a column group.
    clock.Advance(1000 / 8);
    ASSERT_NE(item({0, vmon1, 0}), nullptr);
    EXPECT_EQ(item({1, vmon1, 0}), nullptr);

    struct Step {
        const char* name;
        std::function<void()> act;
        std::vector<std::pair<Cell, QString>> texts;
    };
    const Step steps[] = {
        {"first frame", [] {},
         {{{0, vmon1, 0}, "1.800 V"}, {{1, vmon1, 0}, "1.650 V"}, {{0, vmon7, 0}, "1.200 V"}, {{0, vmon1, 3}, "1"},
          {{0, vmon1, 4}, "0"}}},
        {"POT1 turned down", [&] { board->SetPotVolts(0, 1.0); },
         {{{0, vmon7, 0}, "1.000 V"}, {{0, vmon7, 1}, "1.000 V"}, {{0, vmon7, 2}, "1.200 V"}}},
        {"POT1 turned up", [&] { board->SetPotVolts(0, 1.4); },
         {{{0, vmon7, 0}, "1.400 V"}, {{0, vmon7, 1}, "1.000 V"}, {{0, vmon7, 2}, "1.400 V"}}},
        {"min/max reset", [&] { monitor->ResetButton()->click(); },
         {{{0, vmon7, 1}, "1.400 V"}, {{0, vmon7, 2}, "1.400 V"}}},
        {"monitor reads fail", [&] { board->Hmu(0)->InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, 0x52); },
         {{{0, vmon1, 0}, "---"}, {{0, vmon1, 3}, "---"}, {{1, vmon1, 0}, "1.650 V"}, {{0, vmon7, 2}, "1.400 V"}}},
        {"paused", [&] {
             board->Hmu(0)->InjectFault(HmuFault::CommandNack, 0, 0x52);
             monitor->PauseButton()->click();
         },
         {{{0, vmon1, 0}, "---"}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        clock.Advance(1000);
        for (const auto& [cell, text] : step.texts) {
            QTableWidgetItem* it = item(cell);
            ASSERT_NE(it, nullptr);
            EXPECT_EQ(it->text(), text) << "HMU" << cell.device << " channel " << cell.channel << " column "
                                        << cell.column;
        }
    }
    EXPECT_TRUE(monitor->PauseButton()->isChecked());

    // Resumed: the failed reading's tint goes with it.
    monitor->PauseButton()->click();
    clock.Advance(1000);
    EXPECT_EQ(item({0, vmon1, 0})->text(), "1.800 V");
    EXPECT_EQ(item({0, vmon1, 0})->background().style(), Qt::NoBrush);

    // Attenuated readings are marked; the demonstration rails are named.
    EXPECT_EQ(item({0, hvmon, 0})->text().right(1), "*");
    EXPECT_EQ(item({0, hvmon, 0})->toolTip(), "read through the attenuator; not rescaled");
    // Min and max too, as long as such a reading may be among them: until
    // they are reset with the rail below full scale.
    const QString maybe = QStringLiteral("may be a reading through the attenuator; not rescaled");
    const struct {
        const char* name;
        std::function<void()> act;
        bool value, minMax;  // marked
    } marks[] = {
        {"HVMON above full scale", [] {}, true, true},
        {"HVMON brought to 1.5 V", [&] { board->SetVmon(0, 9, 1.5); }, false, true},
        {"min/max reset", [&] { monitor->ResetButton()->click(); }, false, false},
        {"HVMON above full scale again", [&] { board->SetVmon(0, 9, 12.0); }, true, true},
    };
    for (const auto& m : marks) {
        SCOPED_TRACE(m.name);
        m.act();
        clock.Advance(1000);
        EXPECT_EQ(item({0, hvmon, 0})->text().endsWith('*'), m.value) << item({0, hvmon, 0})->text().toStdString();
        for (const int column : {1, 2}) {
            EXPECT_EQ(item({0, hvmon, column})->text().endsWith('*'), m.minMax) << column;
            EXPECT_EQ(item({0, hvmon, column})->toolTip(), m.minMax ? maybe : QString()) << column;
            EXPECT_FALSE(item({0, vmon1, column})->text().endsWith('*')) << column;
        }
    }
    EXPECT_EQ(monitor->Table()->item(vmon7, 1)->text(), "HMU0 POT1, HMU1 POT3");

    // A comparator in its fault state for its direction is coloured. With no
    // directions saved, A guards a rail from below and B from above: VMON1
    // of HMU0 taken over its B threshold is the only one coloured.
    board->SetVmon(0, 0, 2.5);
    clock.Advance(1000);
    EXPECT_EQ(item({0, vmon1, 4})->text(), "1");
    EXPECT_NE(item({0, vmon1, 4})->background().style(), Qt::NoBrush);
    EXPECT_EQ(item({0, vmon1, 3})->background().style(), Qt::NoBrush);
    EXPECT_EQ(item({1, vmon1, 4})->background().style(), Qt::NoBrush);
    EXPECT_EQ(item({1, vmon7, 3})->background().style(), Qt::NoBrush);
    // The voltage page's saved directions rule: B of HMU1's VMON1 saved as
    // under-voltage is in fault with the rail under it.
    vmon::Directions directions{};
    for (int j = 0; j < vmon::kComparators; ++j) directions[j] = j % 2 ? vmon::Direction::Over : vmon::Direction::Under;
    directions[1] = vmon::Direction::Under;
    const std::vector<uint8_t> bytes = vmon::EncodeDirections(directions);
    t.app->Settings().WriteBinary(vmon::DirectionsSettingName(1), bytes.data(), bytes.size());
    clock.Advance(1000);
    EXPECT_EQ(item({1, vmon1, 4})->text(), "0");
    EXPECT_NE(item({1, vmon1, 4})->background().style(), Qt::NoBrush);
    EXPECT_TRUE(item({1, vmon1, 4})->toolTip().startsWith("under-voltage comparator (direction saved"))
        << item({1, vmon1, 4})->toolTip().toStdString();
    EXPECT_EQ(item({1, vmon7, 4})->background().style(), Qt::NoBrush);

    // Copy gives the table as tab-separated text.
    const QStringList lines = monitor->TableText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + logsel::kChannels);
    EXPECT_EQ(lines[0].split(QLatin1Char('\t')).size(), 2 + 2 * 5);
    EXPECT_TRUE(lines[1 + vmon7].startsWith("VMON7\tHMU0 POT1, HMU1 POT3\t")) << lines[1 + vmon7].toStdString();

    // The refresh period is a setting; Off stops the reads.
    monitor->PeriodBox()->setCurrentIndex(0);
    EXPECT_FALSE(clock.IsActive());
    EXPECT_EQ(t.app->Settings().ReadNumber(CBoardMonitorDlg::kPeriodSetting, 1), 0u);
    monitor->PeriodBox()->setCurrentIndex(4);
    EXPECT_EQ(clock.Period(), 5000 / 8);
    EXPECT_EQ(t.app->Settings().ReadNumber(CBoardMonitorDlg::kPeriodSetting, 1), 5000u);

    // The main window's button shows the open window again rather than a second one.
    QPushButton* button = window.Button(QStringLiteral("Board Mo&nitor"));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(window.BoardMonitor(), monitor);
}

}  // namespace
