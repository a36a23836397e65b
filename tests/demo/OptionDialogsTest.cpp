// The margining and DC-DC clocking dialogs on the simulated board: what they
// show of the design's register, what Write, OK and Cancel write, and the
// value they remember between openings.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <regex>

#include "demo/PowerNetworkChart.h"
#include "demo/TovinDCDCClockingDlg.h"
#include "demo/TovinDemo1Dlg.h"
#include "demo/TovinTrimMarginDlg.h"
#include "util/TextFormat.h"
#include "tests/demo/DemoBench.h"

namespace {

// Buttons top to bottom: margining "+5%", "Normal", "-5%"; clocking
// "&Synchronous", "90 degree &Phase shifts". -1: none.
int Checked(CDemoOptionDlg& dialog, int buttons)
{
    for (int i = 0; i < buttons; ++i)
        if (dialog.ChoiceButton(i)->isChecked()) return i;
    return -1;
}

struct Case {
    const char* what;
    uint8_t before;
    int checkedOnOpening;
    int choose;      // button to check, -1 none
    bool pressWrite;
    int end;         // kIdOk or kIdCancel
    uint8_t after;
    int writes;      // main-device writes
    int remembered;
};

template <class Dialog>
void RunCases(void (CTovinMainDlg::*command)(), int reg, int buttons, int RememberedValues::*remembered,
              const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench;
        bench.Main().SetRegister(reg, c.before);
        bench.board->Driver()->ClearEventLog();
        bench.Run<Dialog>(command, [&](Dialog& dialog) {
            EXPECT_EQ(Checked(dialog, buttons), c.checkedOnOpening);
            if (c.choose >= 0) dialog.ChoiceButton(c.choose)->setChecked(true);
            if (c.pressWrite) dialog.WriteButton()->click();
        }, c.end);
        EXPECT_EQ(bench.Main().Register(reg), c.after);
        const std::string log = bench.board->Driver()->EventLog();
        // A write is the register number and a value; a read selects the register alone.
        const std::regex write(FormatText("S 40 A %02X A [0-9A-F]{2} A P", reg));
        EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), write), std::sregex_iterator()), c.writes);
        EXPECT_EQ(bench.t->app->Remembered().*remembered, c.remembered);
        EXPECT_TRUE(bench.t->ui.messages.empty());
    }
}

TEST(Margining, ShowsWritesAndRemembersTheMargin)
{
    const std::vector<Case> cases = {
        {"-5% shown, +5% written", 0x5E, 2, 0, true, kIdCancel, 0x5D, 1, 1},
        {"+5% written, then OK: one write", 0x5C, 1, 0, true, kIdOk, 0x5D, 1, 1},
        {"no choice shown, OK writes -5%", 0x4F, -1, -1, false, kIdOk, 0x4E, 1, 2},
        {"OK with what was read writes nothing", 0x01, 0, -1, false, kIdOk, 0x01, 0, 1},
        {"OK with a new choice writes it", 0x01, 0, 1, false, kIdOk, 0x00, 1, 0},
        {"Cancel after a change writes nothing", 0x01, 0, 2, false, kIdCancel, 0x01, 0, 1},
    };
    RunCases<CTovinTrimMarginDlg>(&CTovinMainDlg::OnMargining, 0, 3, &RememberedValues::marginingValue, cases);
}

TEST(DcdcClocking, ShowsWritesAndRemembersTheClocking)
{
    const std::vector<Case> cases = {
        {"synchronous shown, phase shifts on OK", 0xC1, 0, 1, false, kIdOk, 0xC3, 1, 1},
        {"phase shifts shown, synchronous written", 0x02, 1, 0, true, kIdCancel, 0x00, 1, 0},
        {"Cancel after a change writes nothing", 0xC1, 0, 1, false, kIdCancel, 0xC1, 0, 0},
    };
    RunCases<CTovinDCDCClockingDlg>(&CTovinMainDlg::OnDcdcClocking, 1, 2, &RememberedValues::clockingValue, cases);
}

TEST(Margining, MovesTheTrimmedRailsTheChartShows)
{
    DemoBench bench;
    bench.Main().SetRegister(1, 0x10);  // twenty rails: DC-DC4 and DC-DC8 in the chart
    struct Case { int button; double factor; };
    const Case cases[] = {{0, 1.05}, {2, 0.95}, {1, 1.0}};  // "+5%", "-5%", "Normal"
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        bench.Run<CTovinTrimMarginDlg>(&CTovinMainDlg::OnMargining, [&](CTovinTrimMarginDlg& dialog) {
            dialog.ChoiceButton(c.button)->setChecked(true);
        }, kIdOk);
        bench.Run<CTovinDemo1Dlg>(&CTovinMainDlg::OnDemo1, [&](CTovinDemo1Dlg& dialog) {
            bench.Advance(2s);
            for (int rail : {4, 5}) {  // DC-DC4 on HMU0, DC-DC8 on HMU1
                const double setPoint = bench.Hmu(rail - 4).TrimCode(demodesign::kDcdcTrimCell) * 0.002;
                EXPECT_NEAR(dialog.Chart().RailVolts(rail), setPoint * c.factor, 0.0021) << rail;
                // Five percent is within the rail's tolerance: still green.
                EXPECT_EQ(dialog.Chart().RailState(rail), demodesign::kRailGood) << rail;
            }
        });
    }
}

TEST(OptionDialogs, TitlesAndASilentMainDevice)
{
    DemoBench bench;
    bench.Run<CTovinTrimMarginDlg>(&CTovinMainDlg::OnMargining, [&](CTovinTrimMarginDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "ZENT I2C Margining");
        bench.board->RemoveMain();
        dialog.ReadButton()->click();
        // Read as 0: "Normal", and the failure said.
        EXPECT_TRUE(dialog.ChoiceButton(1)->isChecked());
        dialog.ChoiceButton(0)->setChecked(true);
        dialog.WriteButton()->click();
    });
    EXPECT_EQ(bench.t->ui.MessageTexts(), QStringList(2, "Check Cable Connection or Device Address"));
    bench.board->AddMain();
    bench.Run<CTovinDCDCClockingDlg>(&CTovinMainDlg::OnDcdcClocking, [&](CTovinDCDCClockingDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "ZENT I2C DC/DC Clocking");
    });
}

}  // namespace
