// Every window the program opens fits a common laptop screen (1366 x 768,
// of which 740 pixels of height are left beside the task bar) at both font
// settings, with every control at the size it asks for. New windows join
// the table of commands below as their commands come alive.

#include <gtest/gtest.h>

#include <QDialog>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <map>
#include <memory>
#include <string>

#include "ui/FontOccManager.h"
#include "app/TovinMainDlg.h"
#include "logview/TovinTrendDlg.h"
#include "pages/BoardMonitorDlg.h"
#include "pages/SNTRX_Trim_DAC_Dlg.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"
#include "tests/logging/LogTestFile.h"
#include "tests/logging/VirtualTimer.h"
#include "widgets/Bit_Entry_Dlg.h"
#include "widgets/FloatEntryDlg.h"

namespace {

constexpr int kScreenWidth = 1366;
constexpr int kScreenHeight = 740;

// The space a window needs to show all its controls at their wanted size.
QSize Needed(QWidget& window)
{
    if (window.layout()) window.layout()->activate();
    return window.sizeHint().expandedTo(window.minimumSizeHint()).expandedTo(window.minimumSize());
}

std::string Text(const QRect& r)
{
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+" +
           std::to_string(r.y());
}

struct Command {
    void (CTovinMainDlg::*run)();
    const char* title;  // of the window it opens
};

const Command kCommands[] = {
    {&CTovinMainDlg::OnVmon, "ZENT I2C VMON Voltages, Comparator Status and Thresholds"},
    {&CTovinMainDlg::OnImon, "ZENT I2C IMON Currents, Comparator Status and Thresholds"},
    {&CTovinMainDlg::OnTmon, "ZENT I2C TMON Temperatures, Comparator Status and Thresholds"},
    {&CTovinMainDlg::OnDemo1, "ZENT I2C Demonstration - Scalable Architecture"},
    {&CTovinMainDlg::OnDemo2, "ZENT I2C Demonstration - Thermal Management"},
    {&CTovinMainDlg::OnDemo3, "ZENT I2C Demonstration - Fault Logging"},
    {&CTovinMainDlg::OnDcdcClocking, "ZENT I2C DC/DC Clocking"},
    {&CTovinMainDlg::OnMargining, "ZENT I2C Margining"},
    {&CTovinMainDlg::OnHvout, "ZENT I2C HVOUT Status"},
    {&CTovinMainDlg::OnGpio, "ZENT I2C Digital I/O"},
    {&CTovinMainDlg::OnTrimCells, "ZENT I2C Trim Cells"},
    {&CTovinMainDlg::OnAllI2C, "ZENT I2C All I2C Registers"},
    {&CTovinMainDlg::OnUes, "ZENT I2C UES"},
    {&CTovinMainDlg::OnFaultLog, "ZENT I2C Fault log Record"},
    {&CTovinMainDlg::OnI2CInterface, "ZENT I2C Cable and I/O Port Setup"},
    {&CTovinMainDlg::OnI2CAddress, "ZENT I2C Address"},
    {&CTovinMainDlg::OnAbout, "ZENT I2C About Sentrix I2C Utility"},
    {&CTovinMainDlg::OnDataLoggingSelection, "Data Logging"},
    {&CTovinMainDlg::OnStartDataLogging, "Data Logging Status"},  // modeless
};

TEST(WindowSizes, EveryWindowFitsALaptopScreenAtBothFonts)
{
    const bool previousFont = CFontOccManager::LargeFont();
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large ? "large UI font" : "normal font");
        auto board = CSimulatedBoard::CreateDefault();
        TestApp t(board->Driver(), [&](CMemorySettingsStore& s) {
            s.Set("Demo Mode", SettingValue::Number(0));
            s.Set("Large UI Font", SettingValue::Number(large ? 1 : 0));
        });
        std::map<QString, QSize> sizes;
        t.ui.onModal = [&](QDialog& dialog) {
            sizes[dialog.windowTitle()] = Needed(dialog);
            return int{kIdCancel};
        };
        CTovinMainDlg window;
        sizes[window.windowTitle()] = Needed(window);
        for (const Command& command : kCommands) {
            (window.*command.run)();
            if (QWidget* modeless = t.app->LogStatusWindow()) sizes[modeless->windowTitle()] = Needed(*modeless);
            EXPECT_TRUE(sizes.count(QString::fromUtf8(command.title))) << command.title << " did not open";
        }
        // The Trend window, on a log of eight devices with every channel shown.
        logtest::TempFile log("window-size.log", logtest::FullLog(3, 8));
        t.ui.openAnswers.push_back(QString::fromStdString(log.Path()));
        window.OnOpenLog();
        if (auto* trend = window.findChild<CTovinTrendDlg*>()) {
            for (int device = 0; device < logread::kDevices; ++device)
                for (int channel = 0; channel < logread::kChannels; ++channel) trend->SetShown(device, channel, true);
            trend->UpdateCharts();
            sizes[trend->windowTitle()] = Needed(*trend);
        } else {
            ADD_FAILURE() << "the Trend window did not open";
        }
        // The simulated board's window, modeless.
        t.app->SetSimulatedBoard(board.get());
        window.OnSimulatedBoard();
        ASSERT_NE(t.app->BoardPanel(), nullptr);
        sizes[t.app->BoardPanel()->windowTitle()] = Needed(*t.app->BoardPanel());
        // The Board Monitor with the board's two devices; with more its table scrolls.
        window.OnBoardMonitor();
        if (auto* monitor = qobject_cast<CBoardMonitorDlg*>(window.BoardMonitor())) {
            auto timer = std::make_unique<CVirtualTimer>();
            CVirtualTimer& clock = *timer;
            monitor->SetTimer(std::move(timer));
            clock.Advance(1000);
            EXPECT_EQ(monitor->Frame().Shown().size(), 2u);
            EXPECT_EQ(monitor->font(), window.font()) << "the Board Monitor takes the Large GUI option too";
            sizes[monitor->windowTitle()] = Needed(*monitor);
            // Eight devices: the window keeps its size and the table scrolls.
            for (int hmu = 2; hmu < CSimulatedBoard::kMaxHmus; ++hmu) board->AddHmu(hmu);
            clock.Advance(1000);
            EXPECT_EQ(monitor->Frame().Shown().size(), 8u);
            sizes[monitor->windowTitle() + QStringLiteral(" (8 devices)")] = Needed(*monitor);
            EXPECT_GT(monitor->Table()->horizontalScrollBar()->maximum(), 0);
            for (int hmu = 2; hmu < CSimulatedBoard::kMaxHmus; ++hmu) board->RemoveHmu(hmu);
        } else {
            ADD_FAILURE() << "the Board Monitor did not open";
        }
        // Entry dialogs that pages open.
        std::unique_ptr<QDialog> entries[] = {std::make_unique<CBit_Entry_Dlg>(), std::make_unique<CFloatEntryDlg>(),
                                              std::make_unique<CSNTRX_Trim_DAC_Dlg>()};
        for (auto& dialog : entries) sizes[dialog->metaObject()->className()] = Needed(*dialog);

        // At the normal font each demonstration fits beside the Simulated
        // Board window, so the board's buttons stay in reach while its steps
        // ask for them.
        if (!large) {
            const QSize board = sizes[t.app->BoardPanel()->windowTitle()];
            for (const char* demo : {"ZENT I2C Demonstration - Scalable Architecture",
                                     "ZENT I2C Demonstration - Thermal Management",
                                     "ZENT I2C Demonstration - Fault Logging"}) {
                ASSERT_TRUE(sizes.count(QString::fromUtf8(demo))) << demo;
                const QSize shown = sizes[QString::fromUtf8(demo)];
                EXPECT_LE(shown.width() + board.width(), kScreenWidth)
                    << demo << ": " << shown.width() << " + " << board.width();
                EXPECT_LE(std::max(shown.height(), board.height()), kScreenHeight) << demo;
            }
        }
        // And is put there when it opens: the demonstration at the left, the
        // board window right beside it, neither over the other nor off the
        // screen, wherever the board window was before.
        if (!large) {
            QWidget* panel = t.app->BoardPanel();
            ASSERT_TRUE(panel->isVisible());
            const QRect area = panel->screen()->availableGeometry();
            ASSERT_EQ(area.width(), kScreenWidth) << "not on the laptop screen of tests/app/laptop-screen.json";
            for (const Command& demo : {kCommands[3], kCommands[4], kCommands[5]}) {
                SCOPED_TRACE(demo.title);
                panel->move(area.center() - QPoint(panel->width() / 2, panel->height() / 2));
                QRect shown, board;
                t.ui.onModal = [&](QDialog& dialog) {
                    if (dialog.windowTitle() == QString::fromUtf8(demo.title)) {
                        shown = dialog.frameGeometry();
                        board = panel->frameGeometry();
                    }
                    return int{kIdCancel};
                };
                (window.*demo.run)();
                ASSERT_FALSE(shown.isNull()) << "did not open";
                EXPECT_FALSE(shown.intersects(board)) << Text(shown) << " and " << Text(board);
                EXPECT_TRUE(area.contains(shown)) << Text(shown) << " on " << Text(area);
                EXPECT_TRUE(area.contains(board)) << Text(board) << " on " << Text(area);
            }
        }
        for (const auto& [title, size] : sizes) {
            EXPECT_LE(size.width(), kScreenWidth) << title.toStdString();
            EXPECT_LE(size.height(), kScreenHeight) << title.toStdString();
        }
    }
    CFontOccManager::SetLargeFont(previousFont);
}

}  // namespace
