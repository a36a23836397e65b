// The three demonstrations on the simulated board, opened from the main
// window: what they read and show, what they write, their timers on the
// virtual clock, and what they leave behind when they close.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <cmath>

#include "demo/PowerNetworkChart.h"
#include "demo/TovinDemo1Dlg.h"
#include "demo/TovinDemo2Dlg.h"
#include "demo/TovinDemo3Dlg.h"
#include "ui/TovinPropertySheet.h"
#include "pages/Fault_Dlg.h"
#include "util/TextFormat.h"
#include "device/blocks/FaultLog.h"
#include "tests/demo/DemoBench.h"

namespace {

const QString kDeg = QStringLiteral(" \u00B0C");
constexpr int kPot3 = 2, kPot4 = 3, kDcdc4 = 4, kDcdc8 = 5;

const char* const kEepromFull = "Fault Log EEPROM is full.\nUse Read Fault Log Mem dialog to erase all faults.";

bool InUse(const CPowerNetworkChart& chart, int rail)
{
    return chart.RailState(rail) != demodesign::kRailNotInUse;
}

// Paragraphs of a text box that are items of a decimal-numbered list, and all paragraphs with text.
std::pair<int, int> NumberedParagraphs(const QTextDocument& document)
{
    int numbered = 0, withText = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.text().trimmed().isEmpty()) continue;
        ++withText;
        if (block.textList() && block.textList()->format().style() == QTextListFormat::ListDecimal) ++numbered;
    }
    return {numbered, withText};
}

TEST(ScalableArchitecture, OpensOnTheBoardsRailsAndResets)
{
    struct Case {
        uint8_t reg1;
        bool twenty;
        int resets;  // -1: no choice
        const char* stepsMention;
    };
    const Case cases[] = {
        {0x1C, true, -1, "R40"},  // three resets per device do not exist
        {0x04, false, 1, "R35"},
        {0xE8, false, 2, "R35"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reg1);
        DemoBench bench;
        bench.Main().SetRegister(1, c.reg1);
        bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "ZENT I2C Demonstration - Scalable Architecture");
            EXPECT_EQ(dialog.TwentyRailsButton()->isChecked(), c.twenty);
            EXPECT_EQ(dialog.TenRailsButton()->isChecked(), !c.twenty);
            EXPECT_EQ(dialog.ResetsBox()->currentIndex(), c.resets);
            EXPECT_TRUE(dialog.StepsBox()->toPlainText().contains(c.stepsMention));
            for (int rail : {kPot3, kPot4, kDcdc8}) EXPECT_EQ(InUse(dialog.Chart(), rail), c.twenty) << rail;
            for (int rail : {0, 1, kDcdc4}) EXPECT_TRUE(InUse(dialog.Chart(), rail)) << rail;
            EXPECT_TRUE(dialog.Chart().IsTimerActive());

            // Write with what is shown puts the same bits back, three resets included.
            bench.board->Driver()->ClearEventLog();
            dialog.WriteButton()->click();
            EXPECT_EQ(bench.Main().Register(1), c.reg1);
            EXPECT_EQ(bench.board->Driver()->EventLog(),
                      FormatText("S 40 A 01 A P S 41 A %02X N P S 40 A 01 A %02X A P", c.reg1, c.reg1));
        });
        EXPECT_EQ(bench.Main().Register(1), c.reg1);  // closing writes nothing
        EXPECT_TRUE(bench.t->ui.messages.empty());
    }
}

TEST(ScalableArchitecture, WriteSetsRailsAndResetsAndTheChartFollows)
{
    DemoBench bench;
    bench.Main().SetRegister(1, 0xFF);
    bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
        dialog.TenRailsButton()->setChecked(true);
        dialog.ResetsBox()->setCurrentIndex(1);  // "2"
        dialog.WriteButton()->click();
        EXPECT_EQ(bench.Main().Register(1), 0xE7);
        EXPECT_EQ(bench.t->app->Remembered().demo1Values, (std::array<int, 2>{0, 1}));
        for (int rail : {kPot3, kPot4, kDcdc8}) EXPECT_FALSE(InUse(dialog.Chart(), rail));
        EXPECT_TRUE(dialog.StepsBox()->toPlainText().contains("10 supply LEDs"));
        EXPECT_TRUE(dialog.ObservationsBox()->toPlainText().contains("POT1 and POT2"));

        dialog.TwentyRailsButton()->setChecked(true);
        dialog.WriteButton()->click();
        EXPECT_EQ(bench.Main().Register(1), 0xF7);
        for (int rail : {kPot3, kPot4, kDcdc8}) EXPECT_TRUE(InUse(dialog.Chart(), rail));

        // Read takes what the board holds.
        bench.Main().SetRegister(1, 0x08);
        dialog.ReadButton()->click();
        EXPECT_TRUE(dialog.TenRailsButton()->isChecked());
        EXPECT_EQ(dialog.ResetsBox()->currentText(), "3");
        EXPECT_EQ(bench.t->app->Remembered().demo1Values, (std::array<int, 2>{0, 2}));
    });
}

// The six boxes of the chart, as painted: true for green, false for red.
std::vector<bool> GreenBoxes(CPowerNetworkChart& chart)
{
    const QImage image = chart.grab().toImage();
    const auto boxes = CPowerNetworkChart::Layout(chart.width(), chart.height()).boxes;
    std::vector<bool> green;
    for (const auto& box : boxes) {
        const QColor fill = image.pixelColor(box.left + 2, box.top + 1);
        EXPECT_TRUE(fill == QColor(0, 255, 0) || fill == QColor(255, 0, 0)) << fill.name().toStdString();
        green.push_back(fill == QColor(0, 255, 0));
    }
    return green;
}

TEST(ScalableArchitecture, TwentyRailsWithAPotOutOfItsWindowTurnsItsBoxRed)
{
    DemoBench bench;
    bench.Main().SetRegister(1, 0x14);  // twenty rails, two resets per device
    const std::vector<bool> allGreen(CPowerNetworkChart::kRails, true);
    bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
        CPowerNetworkChart& chart = dialog.Chart();
        // Manual Restart: the twenty supplies come up one by one, each rail
        // red until its supply is on.
        bench.board->PressManualRestart();
        bench.Advance(1s);
        EXPECT_FALSE(GreenBoxes(chart)[kPot4]);
        bench.Advance(4s);
        EXPECT_EQ(GreenBoxes(chart), allGreen);
        EXPECT_TRUE(bench.board->ResetLed(1, 1));
        EXPECT_FALSE(bench.board->ResetLed(1, 2));

        // POT4 (R40) turned out of its window: the design shuts the supplies
        // down, and POT4 is what it names.
        bench.board->SetPotVolts(kPot4, 1.45);
        bench.Advance(1s);
        EXPECT_EQ(bench.board->Design().StopPot(), kPot4);
        EXPECT_FALSE(GreenBoxes(chart)[kPot4]);
        EXPECT_EQ(chart.RailState(kPot4), demodesign::kRailFault);
        EXPECT_EQ(chart.RailText(kPot4), "POT4 0.00 V");

        // Turned back and restarted, everything is green again.
        bench.board->SetPotVolts(kPot4, 1.25);
        bench.board->PressManualRestart();
        bench.Advance(5s);
        EXPECT_EQ(GreenBoxes(chart), allGreen);
        EXPECT_EQ(chart.RailText(kPot4), "POT4 1.25 V");
    });
}

// Opens the thermal demonstration on a board at this temperature.
void OpenThermal(DemoBench& bench, double boardCelsius, const std::function<void(CTovinDemo2Dlg&)>& body)
{
    bench.board->SetTemperature(demodesign::kBoardHmu, demodesign::kBoardMonitor, boardCelsius);
    bench.Run<CTovinDemo2Dlg>(&CTovinMainDlg::OnDemo2, body);
}

TEST(ThermalManagement, OpensWithThresholdsAboveTheBoardTemperature)
{
    struct Case { double board; uint8_t r44, r45, r46; QString warm, hot, boardText; };
    // TMON2 Config3 bit 0 and Config5 bits 7..3 as the board has them are kept.
    const Case cases[] = {
        {24.75, 0x0C, 0x0E, 0x04, "26", "28", "24.75"},
        {-3.5, 0xFE, 0x03, 0x01, "-1", "1", "-3.50"},
        {0.0, 0x00, 0x02, 0x04, "2", "4", "0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        DemoBench bench;
        OpenThermal(bench, c.board, [&](CTovinDemo2Dlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "ZENT I2C Demonstration - Thermal Management");
            EXPECT_EQ(bench.Hmu(0).ActiveConfiguration(0x44), c.r44);
            EXPECT_EQ(bench.Hmu(0).ActiveConfiguration(0x45), c.r45);
            EXPECT_EQ(bench.Hmu(0).ActiveConfiguration(0x46), c.r46);
            EXPECT_EQ(dialog.WarmThresholdBox()->currentText(), c.warm + kDeg);
            EXPECT_EQ(dialog.HotThresholdBox()->currentText(), c.hot + kDeg);
            EXPECT_EQ(dialog.BoardText(), c.boardText);
            for (int rail = 0; rail < CPowerNetworkChart::kRails; ++rail)
                EXPECT_EQ(InUse(dialog.Chart(), rail), rail == kDcdc4) << rail;
            EXPECT_TRUE(dialog.IsTemperatureTimerActive());
        });
    }
}

TEST(ThermalManagement, TheResistorsColourFollowsItsTemperatureEverySecond)
{
    DemoBench bench;
    bench.board->SetTemperature(demodesign::kThermalHmu, demodesign::kResistorMonitor, 22.0);
    OpenThermal(bench, 24.75, [&](CTovinDemo2Dlg& dialog) {
        const QColor green(0, 127, 0), orange(255, 140, 0), red(255, 0, 0);
        EXPECT_EQ(dialog.ResistorText(), "22.00");
        EXPECT_EQ(dialog.ResistorColour(), green);
        // Warm at 26, hot at 28; each bound belongs to the hotter colour.
        struct Step { double resistor; const char* text; QColor colour; };
        const Step steps[] = {
            {25.75, "25.75", green}, {26.0, "26.00", orange}, {27.75, "27.75", orange},
            {28.0, "28.00", red},    {60.5, "60.50", red},    {21.0, "21.00", green},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.text);
            bench.board->SetTemperature(demodesign::kThermalHmu, demodesign::kResistorMonitor, s.resistor);
            bench.Advance(999ms);
            EXPECT_NE(dialog.ResistorText(), s.text);
            bench.Advance(1ms);
            EXPECT_EQ(dialog.ResistorText(), s.text);
            EXPECT_EQ(dialog.ResistorColour(), s.colour);
        }
        // Thresholds written from the dialog move the colours with them.
        dialog.WarmThresholdBox()->setCurrentIndex(dialog.WarmThresholdBox()->findText("20" + kDeg));
        dialog.WriteButton()->click();
        EXPECT_EQ(dialog.ResistorColour(), orange);
        EXPECT_EQ(tmon::DecodeThresholds(bench.Hmu(0).ActiveConfiguration(0x44), bench.Hmu(0).ActiveConfiguration(0x45),
                                         bench.Hmu(0).ActiveConfiguration(0x46)),
                  (tmon::Thresholds{20, 28}));
    });
}

TEST(ThermalManagement, TheDesignWarmsHeatsAndShutsDownAsTheDialogShows)
{
    using Thermal = CDemonstrationDesign::Thermal;
    const QColor green(0, 127, 0), orange(255, 140, 0), red(255, 0, 0);
    DemoBench bench;
    // Known to the program as the simulated board, the dialog shows its
    // heater and fan each second.
    bench.t->app->SetSimulatedBoard(bench.board.get());
    const double board = bench.board->Values(demodesign::kBoardHmu).temperatures[demodesign::kBoardMonitor];
    bench.board->SetTemperature(demodesign::kThermalHmu, demodesign::kResistorMonitor, board);
    // Not aimed at R203, the fan cannot hold it.
    bench.board->SetFanAimed(false);
    OpenThermal(bench, board, [&](CTovinDemo2Dlg& dialog) {
        dialog.WarmFanBox()->setCurrentText("25%");
        dialog.HotFanBox()->setCurrentText("Full");
        dialog.WaitBox()->setCurrentText("5 sec");
        dialog.WarmResponseBox()->setCurrentText("Supply Voltage -5%");
        dialog.HotResponseBox()->setCurrentText("Full Shut Down");
        dialog.WriteButton()->click();
        std::vector<QString> heaterFan{dialog.HeaterFanText()};
        dialog.StartButton()->click();
        bench.Advance(10ms);
        EXPECT_EQ(bench.board->Design().GetThermal(), Thermal::Cooling);  // fan on, heater off

        // Every second, as the dialog's timers read: the resistor's colour,
        // the design's state and DC-DC4 in the chart.
        std::vector<QColor> colours;
        std::vector<Thermal> states;
        const double setPoint = bench.Hmu(0).TrimCode(demodesign::kDcdcTrimCell) * 0.002;
        bool loweredAndGreen = false;
        for (int second = 0; second < 120 && (states.empty() || states.back() != Thermal::ShutDown); ++second) {
            bench.Advance(1s);
            if (colours.empty() || colours.back() != dialog.ResistorColour()) colours.push_back(dialog.ResistorColour());
            const Thermal state = bench.board->Design().GetThermal();
            if (states.empty() || states.back() != state) states.push_back(state);
            if (heaterFan.back() != dialog.HeaterFanText()) heaterFan.push_back(dialog.HeaterFanText());
            // B: still warm after the wait, DC-DC4 is lowered by 5 %, within its tolerance.
            if (std::fabs(dialog.Chart().RailVolts(kDcdc4) - 0.95 * setPoint) < 0.005 &&
                dialog.Chart().RailState(kDcdc4) == demodesign::kRailGood)
                loweredAndGreen = true;
        }
        EXPECT_EQ(states, (std::vector<Thermal>{Thermal::Cooling, Thermal::Heating, Thermal::Warm, Thermal::Hot,
                                                Thermal::ShutDown}));
        EXPECT_EQ(colours, (std::vector<QColor>{green, orange, red}));
        EXPECT_EQ(heaterFan, (std::vector<QString>{"Simulated board: Heater Off, Fan Off",
                                                   "Simulated board: Heater Off, Fan Full",
                                                   "Simulated board: Heater On, Fan Off",
                                                   "Simulated board: Heater On, Fan 25%",
                                                   "Simulated board: Heater On, Fan Full",
                                                   "Simulated board: Heater Off, Fan Full"}));
        EXPECT_TRUE(loweredAndGreen);
        // D: still hot after the wait, full shut-down: DC-DC4 is off, red in the chart.
        bench.Advance(1s);
        EXPECT_EQ(dialog.Chart().RailState(kDcdc4), demodesign::kRailFault);
        EXPECT_NEAR(dialog.Chart().RailVolts(kDcdc4), 0.0, 0.002);
        EXPECT_FALSE(bench.board->SupplyLed(0, 0));
    });
    // Done clears Start: heater and fan stop.
    bench.board->Advance(10ms);
    EXPECT_EQ(bench.board->Design().GetThermal(), Thermal::Idle);
    EXPECT_FALSE(bench.board->Design().HeaterOn());
}

TEST(ThermalManagement, OverTheCableAloneTheHeaterAndFanAreNotShown)
{
    // No register holds them: only the simulated board can tell.
    DemoBench bench;
    OpenThermal(bench, 25.0, [&](CTovinDemo2Dlg& dialog) {
        dialog.StartButton()->click();
        for (int second = 0; second < 5; ++second) {
            bench.Advance(1s);
            EXPECT_EQ(dialog.HeaterFanText(), "");
        }
    });
}

TEST(ThermalManagement, StartSetsBit5AndClosingClearsIt)
{
    DemoBench bench;
    bench.Main().SetRegister(0, 0x5E);
    OpenThermal(bench, 25.0, [&](CTovinDemo2Dlg& dialog) {
        EXPECT_EQ(bench.Main().Register(0), 0x5E);
        dialog.StartButton()->click();
        EXPECT_EQ(bench.Main().Register(0), 0x7E);
        EXPECT_FALSE(dialog.StartButton()->isEnabled());
    });
    EXPECT_EQ(bench.Main().Register(0), 0x5E);
    // Closed without Start, bit 5 goes to 0 all the same.
    bench.Main().SetRegister(0, 0xFF);
    OpenThermal(bench, 25.0, [&](CTovinDemo2Dlg&) {});
    EXPECT_EQ(bench.Main().Register(0), 0xDF);
}

TEST(ThermalManagement, ReadShowsTheDesignsSettingsAndWriteChangesOnlyWhatIsChosen)
{
    DemoBench bench;
    bench.Main().SetRegister(0, 0x4B);  // warm fan 50%, warm response -10%, margin 3
    bench.Main().SetRegister(1, 0x03);  // hot response 0: not one of the choices
    bench.Main().SetRegister(2, 0x1F);  // hot fan 25%, wait 3 s
    OpenThermal(bench, 30.0, [&](CTovinDemo2Dlg& dialog) {
        EXPECT_EQ(dialog.WarmFanBox()->currentText(), "50%");
        EXPECT_EQ(dialog.HotFanBox()->currentText(), "25%");
        EXPECT_EQ(dialog.WaitBox()->currentText(), "3 sec");
        EXPECT_EQ(dialog.WarmResponseBox()->currentText(), "Supply Voltage -10%");
        EXPECT_EQ(dialog.HotResponseBox()->currentIndex(), -1);
        EXPECT_EQ(bench.t->app->Remembered().demo2Values, (std::array<int, 7>{32, 34, 2, 1, 0, 1, 0}));

        dialog.HotFanBox()->setCurrentIndex(4);
        dialog.WaitBox()->setCurrentIndex(1);
        dialog.WriteButton()->click();
        EXPECT_EQ(bench.Main().Register(0), 0x4B);
        EXPECT_EQ(bench.Main().Register(1), 0x03);  // left without a choice: kept
        EXPECT_EQ(bench.Main().Register(2), 0xCF);
        EXPECT_EQ(bench.t->app->Remembered().demo2Values, (std::array<int, 7>{32, 34, 2, 4, 1, 1, 0}));

        dialog.HotResponseBox()->setCurrentIndex(1);
        dialog.WriteButton()->click();
        EXPECT_EQ(bench.Main().Register(1), 0xC3);
        EXPECT_EQ(bench.t->app->Remembered().demo2Values[CTovinDemo2Dlg::kHotResponse], 3);
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

// A fault log of 16 records in HMU0.
void FillFaultLog(DemoBench& bench)
{
    while (bench.Hmu(0).AddFaultRecord(faultlog::Record{})) {}
    ASSERT_EQ(bench.Hmu(0).FaultRecords().size(), static_cast<size_t>(faultlog::kMaxRecords));
}

TEST(FaultLogging, TheDesignLogsWhileTheDialogIsOpen)
{
    DemoBench bench;
    bench.Main().SetRegister(1, 0xC2);
    bench.Run<CTovinDemo3Dlg>(&CTovinMainDlg::OnDemo3, [&](CTovinDemo3Dlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "ZENT I2C Demonstration - Fault Logging");
        EXPECT_EQ(bench.Main().Register(1), 0xC3);
        EXPECT_TRUE(dialog.IsCheckTimerActive());
        for (int rail = 0; rail < CPowerNetworkChart::kRails; ++rail) EXPECT_TRUE(InUse(dialog.Chart(), rail));
        bench.Advance(10s);
    });
    EXPECT_EQ(bench.Main().Register(1), 0xC2);
    // Two records on the board: not full, nothing said.
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

// A message box that, like a real one, keeps the timers running while it is up.
struct MessageLoopInteraction : CRecordingInteraction {
    std::function<void()> whileShown;
    int MessageBox(QWidget* parent, const Message& message) override
    {
        if (whileShown) whileShown();
        return CRecordingInteraction::MessageBox(parent, message);
    }
};

TEST(FaultLogging, AFullEepromIsReportedOncePerOpening)
{
    DemoBench bench;
    MessageLoopInteraction ui;
    bench.interaction = &ui;
    FillFaultLog(bench);
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        bench.Run<CTovinDemo3Dlg>(&CTovinMainDlg::OnDemo3, [&](CTovinDemo3Dlg& dialog) {
            // The check's timer keeps expiring while the message is up: those expiries do nothing.
            ui.whileShown = [&] {
                EXPECT_EQ(CCableLock::Depth(), 0);
                bench.board->Driver()->ClearEventLog();
                bench.Advance(3s);
                EXPECT_EQ(bench.board->Driver()->EventLog().find("S C0 A 03"), std::string::npos);
            };
            bench.Advance(999ms);
            EXPECT_TRUE(ui.messages.empty());
            bench.Advance(1ms);
            ASSERT_EQ(ui.messages.size(), 1u);
            const auto& shown = ui.messages.back();
            EXPECT_EQ(shown.text, kEepromFull);
            EXPECT_EQ(shown.title, "ZENT2 I2C Demo");
            EXPECT_EQ(shown.icon, CUserInteraction::Icon::Exclamation);
            EXPECT_FALSE(dialog.IsCheckTimerActive());
            ui.whileShown = nullptr;
            bench.board->Driver()->ClearEventLog();
            bench.Advance(5s);
            EXPECT_EQ(ui.messages.size(), 1u);
            // Only the chart still reads; HMU0's fault log status is not asked again.
            EXPECT_EQ(bench.board->Driver()->EventLog().find("S C0 A 03"), std::string::npos);
        });
        ui.messages.clear();
    }
}

TEST(FaultLogging, APotFaultIsCapturedAndTheFaultLogWindowShowsIt)
{
    DemoBench bench;
    const size_t before = bench.Hmu(0).FaultRecords().size();
    const int count = static_cast<int>(before) + 1;
    bool shown = false;
    bench.nested = [&](QDialog& window) {
        auto* sheet = qobject_cast<CTovinPropertySheet*>(&window);
        EXPECT_NE(sheet, nullptr);
        if (sheet == nullptr) return int{kIdCancel};
        EXPECT_EQ(sheet->windowTitle(), "ZENT I2C Fault log Record");
        auto* page = qobject_cast<CFault_Dlg*>(sheet->Page(0));
        EXPECT_NE(page, nullptr);
        if (page == nullptr) return int{kIdCancel};
        EXPECT_EQ(page->FaultCount(), count);
        page->LastButton()->click();
        EXPECT_EQ(page->TitleText(), QString("Fault # %1 of %1 Total Faults").arg(count));
        // POT1 is VMON7 of HMU0: its over-voltage comparator B tripped.
        EXPECT_EQ(page->ChannelName(6), "VMON7");
        EXPECT_EQ(page->ComparatorText(6, 1), "B = 1");
        shown = true;
        return int{kIdOk};
    };
    bench.Run<CTovinDemo3Dlg>(&CTovinMainDlg::OnDemo3, [&](CTovinDemo3Dlg& dialog) {
        bench.Advance(2s);
        EXPECT_EQ(bench.Hmu(0).FaultRecords().size(), before);
        // POT1 (R33) turned up out of its window.
        bench.board->SetPotVolts(0, 1.45);
        bench.Advance(1s);
        EXPECT_EQ(dialog.Chart().RailState(0), demodesign::kRailFault);
        EXPECT_EQ(bench.Hmu(0).FaultRecords().size(), before + 1);
        dialog.FaultLogButton()->click();
        EXPECT_TRUE(shown);
        EXPECT_TRUE(dialog.Chart().IsTimerActive());
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(FaultLogging, ReadFaultLogMemPausesTheChartButNotTheCheck)
{
    DemoBench bench;
    bench.Main().SetRegister(1, 0x10);
    bench.t->ui.onModal = [&](QDialog& d) {
        auto& dialog = static_cast<CTovinDemo3Dlg&>(d);
        int commands = 0;
        dialog.SetFaultLogCommand([&] {
            ++commands;
            EXPECT_FALSE(dialog.Chart().IsTimerActive());
            // The log fills up while the command's window is open.
            FillFaultLog(bench);
            bench.Advance(1s);
            EXPECT_EQ(bench.t->ui.MessageTexts(), QStringList{kEepromFull});
        });
        dialog.FaultLogButton()->click();
        EXPECT_EQ(commands, 1);
        EXPECT_TRUE(dialog.Chart().IsTimerActive());
        return int{kIdCancel};
    };
    CTovinDemo3Dlg dialog(*bench.t->app);
    dialog.SetSubtitle(QStringLiteral("Fault Logging"));
    dialog.DoModal();
    EXPECT_EQ(bench.Main().Register(1), 0x10);
}

TEST(Demonstrations, TextsAreNumberedAndZoomedWithTheLargeFont)
{
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large ? "large UI font" : "normal font");
        DemoBench bench(large);
        const double base = QApplication::font().pointSizeF();
        const double zoom = large ? 1.5 : 1.0;
        const auto check = [&](CTovinDemoDlgBase& dialog) {
            for (QTextEdit* box : {dialog.StepsBox(), dialog.ObservationsBox()}) {
                EXPECT_TRUE(box->isReadOnly());
                EXPECT_DOUBLE_EQ(box->document()->defaultFont().pointSizeF(), base * zoom);
                const auto [numbered, withText] = NumberedParagraphs(*box->document());
                EXPECT_GE(numbered, 4);
                EXPECT_EQ(numbered, withText);
            }
        };
        bench.Main().SetRegister(1, 0x10);
        bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& d) {
            check(d);
            d.TenRailsButton()->setChecked(true);
            d.WriteButton()->click();  // the other pair of texts
            check(d);
        });
        bench.Run<CTovinDemo2Dlg>(&CTovinMainDlg::OnDemo2, check);
        bench.Run<CTovinDemo3Dlg>(&CTovinMainDlg::OnDemo3, check);
    }
}

TEST(Demonstrations, AMainDeviceThatStopsAnsweringIsReportedAndNotOverwritten)
{
    DemoBench bench;
    bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
        bench.board->RemoveMain();
        bench.board->Driver()->ClearEventLog();
        dialog.WriteButton()->click();
        EXPECT_EQ(bench.t->ui.MessageTexts(), QStringList{"Check Cable Connection or Device Address"});
        EXPECT_EQ(bench.t->ui.messages.back().title, "I2C Acknowledge Failure");
        EXPECT_EQ(bench.t->Port().GetError(), 0);
        // Only the register selection was tried.
        EXPECT_EQ(bench.board->Driver()->EventLog().find("S 40 N 01 N"), 0u);
        EXPECT_EQ(bench.board->Driver()->EventLog().find("S 41"), std::string::npos);
        // The chart's timer shows the POT rails as faults, and says nothing.
        bench.Advance(1s);
        EXPECT_EQ(dialog.Chart().RailState(0), demodesign::kRailFault);
        EXPECT_EQ(bench.t->ui.messages.size(), 1u);
    });
}

TEST(Demonstrations, AnswerInDemoMode)
{
    DemoBench bench(false, true);
    bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
        // Register 1 of the demo register file is 0xC1: ten rails, one reset.
        EXPECT_TRUE(dialog.TenRailsButton()->isChecked());
        EXPECT_EQ(dialog.ResetsBox()->currentIndex(), 0);
        // Register 2 of the demo register file is 0xC2: POT2 good, POT1 not.
        EXPECT_EQ(dialog.Chart().RailState(0), demodesign::kRailFault);
        EXPECT_EQ(dialog.Chart().RailState(1), demodesign::kRailGood);
    });
    bench.Run<CTovinDemo2Dlg>(&CTovinMainDlg::OnDemo2, [&](CTovinDemo2Dlg& dialog) {
        EXPECT_FALSE(dialog.BoardText().isEmpty());
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

}  // namespace
