// The "Simulated Board" window headless: what its controls do to the board,
// what it shows of it, the main window's way to it, and that it stays usable
// beside a modal window.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <chrono>
#include <functional>

#include "ui/LedIndicator.h"
#include "app/SimulatedBoardDlg.h"
#include "app/TovinMainDlg.h"
#include "device/blocks/DemoDesign.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"

using namespace std::chrono_literals;

namespace {

struct Panel {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    CSimulatedBoardDlg window{*board};

    template <class Widget>
    Widget* Get(const QString& name)
    {
        Widget* widget = window.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QString Text(const QString& name) { return Get<QLabel>(name)->text(); }
    int LitSupplies()
    {
        int lit = 0;
        for (int device = 0; device < 2; ++device)
            for (int supply = 1; supply <= 10; ++supply)
                lit += Get<CLedIndicator>(QStringLiteral("supply%1_%2").arg(device).arg(supply))->IsLit() ? 1 : 0;
        return lit;
    }
    // The board clock moves on and the window shows it.
    void Run(CSimulatedBoard::Duration time)
    {
        board->Advance(time);
        window.Refresh();
    }
};

}  // namespace

TEST(SimulatedBoardPanel, ControlsActOnTheBoardAndItsStateIsShown)
{
    struct Case {
        const char* name;
        std::function<void(Panel&)> act;
        std::function<void(Panel&)> check;
    };
    const std::vector<Case> cases = {
        {"at power-up", [](Panel&) {},
         [](Panel& p) {
             EXPECT_EQ(p.LitSupplies(), 20);
             EXPECT_TRUE(p.Get<CLedIndicator>(QStringLiteral("reset0_1"))->IsLit());
             EXPECT_FALSE(p.Get<CLedIndicator>(QStringLiteral("reset0_2"))->IsLit());
             EXPECT_EQ(p.Text(QStringLiteral("sequence")), QStringLiteral("Supplies up (20 rails, 1 reset per device)"));
             EXPECT_EQ(p.Text(QStringLiteral("potVolts2")), QStringLiteral("1.220 V"));
             EXPECT_EQ(p.Get<QDial>(QStringLiteral("pot2"))->value(), CSimulatedBoardDlg::KnobPosition(1.22));
             EXPECT_EQ(p.Text(QStringLiteral("heater")), QStringLiteral("Off"));
             EXPECT_EQ(p.Text(QStringLiteral("fan")), QStringLiteral("OFF"));
             EXPECT_TRUE(p.Text(QStringLiteral("r203")).startsWith(QStringLiteral("42.50 \u00B0C")));
             EXPECT_EQ(p.Text(QStringLiteral("boardTemp")), QStringLiteral("36.75 \u00B0C"));
             EXPECT_EQ(p.Text(QStringLiteral("margin")), QStringLiteral("Normal"));
             EXPECT_EQ(p.Text(QStringLiteral("logging")), QStringLiteral("On"));
             EXPECT_TRUE(p.Get<QCheckBox>(QStringLiteral("present1"))->isChecked());
             EXPECT_FALSE(p.Get<QCheckBox>(QStringLiteral("present2"))->isChecked());
         }},
        {"Manual Restart sequences the supplies",
         [](Panel& p) {
             p.Get<QPushButton>(QStringLiteral("restart"))->click();
             p.Run(10ms + 3 * CDemonstrationDesign::kSupplyInterval);
         },
         [](Panel& p) {
             EXPECT_EQ(p.LitSupplies(), 3) << "ten rails after power-up";
             EXPECT_EQ(p.Text(QStringLiteral("sequence")), QStringLiteral("Sequencing (10 rails, 1 reset per device)"));
             EXPECT_EQ(p.Text(QStringLiteral("logging")), QStringLiteral("Off (the supplies are coming up)"));
             // HMU0's POT1 and POT2 take part, HMU1's POT3 and POT4 do not.
             for (int pot = 1; pot <= 4; ++pot)
                 EXPECT_EQ(p.Get<CLedIndicator>(QStringLiteral("potLed%1").arg(pot))->IsLit(), pot <= 2) << pot;
         }},
        {"PB_SW3 shuts them down",
         [](Panel& p) {
             p.Get<QPushButton>(QStringLiteral("pbsw3"))->click();
             p.Run(10ms);
         },
         [](Panel& p) {
             EXPECT_EQ(p.LitSupplies(), 0);
             EXPECT_EQ(p.Text(QStringLiteral("sequence")), QStringLiteral("Shut down: PB_SW3 pushed"));
             EXPECT_EQ(p.Text(QStringLiteral("potVolts1")), QStringLiteral("0.000 V"));
             EXPECT_EQ(p.Get<CLedIndicator>(QStringLiteral("potLed1"))->Colour(), QColor(230, 0, 0));
         }},
        {"POT3 turned out of its window",
         [](Panel& p) {
             p.Get<QDial>(QStringLiteral("pot3"))->setValue(CSimulatedBoardDlg::KnobPosition(1.40));
             p.Run(10ms);
         },
         [](Panel& p) {
             EXPECT_DOUBLE_EQ(p.board->PotVolts(2), CSimulatedBoardDlg::KnobVolts(CSimulatedBoardDlg::KnobPosition(1.4)));
             EXPECT_EQ(p.Text(QStringLiteral("sequence")), QStringLiteral("Shut down: POT3 out of its window"));
         }},
        {"the fan turned away, thermal demonstration started",
         [](Panel& p) {
             p.Get<QCheckBox>(QStringLiteral("fanAimed"))->setChecked(false);
             p.board->Main()->SetRegister(0, demodesign::kThermalStarted.Set(p.board->Main()->Register(0), 1));
             p.Run(10ms);
         },
         [](Panel& p) {
             EXPECT_FALSE(p.board->FanAimed());
             EXPECT_EQ(p.Text(QStringLiteral("fan")), QStringLiteral("Full"));
             EXPECT_EQ(p.Text(QStringLiteral("thermal")), QStringLiteral("Cooling down (fan full, heater off)"));
             EXPECT_EQ(p.Text(QStringLiteral("logging")), QStringLiteral("Off (the thermal demonstration runs)"));
         }},
        {"margining and clocking",
         [](Panel& p) {
             p.board->Main()->SetRegister(0, 0x06);
             p.board->Main()->SetRegister(1, 0xC3);
             p.Run(10ms);
         },
         [](Panel& p) {
             EXPECT_EQ(p.Text(QStringLiteral("margin")), QStringLiteral("-5%"));
             EXPECT_EQ(p.Text(QStringLiteral("clocking")), QStringLiteral("90 degree Phase shifts"));
         }},
        {"devices, main device and cable",
         [](Panel& p) {
             p.Get<QCheckBox>(QStringLiteral("present1"))->setChecked(false);
             p.Get<QCheckBox>(QStringLiteral("present3"))->setChecked(true);
             p.Get<QCheckBox>(QStringLiteral("mainPresent"))->setChecked(false);
             p.Get<QCheckBox>(QStringLiteral("cablePlugged"))->setChecked(false);
             p.window.Refresh();
         },
         [](Panel& p) {
             EXPECT_EQ(p.board->Hmu(1), nullptr);
             EXPECT_NE(p.board->Hmu(3), nullptr);
             EXPECT_EQ(p.board->Main(), nullptr);
             EXPECT_FALSE(p.board->Driver()->IsPlugged());
             EXPECT_FALSE(p.Get<QCheckBox>(QStringLiteral("present1"))->isChecked());
             EXPECT_EQ(p.Text(QStringLiteral("sequence")), QStringLiteral("No main device: every supply stays on"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Panel panel;
        c.act(panel);
        c.check(panel);
    }
}

TEST(SimulatedBoardPanel, FaultsAreInjectedIntoTheChosenDevice)
{
    struct Case {
        const char* name;
        int device;
        int kind;  // entry of the fault list
        int times;
        bool always;
        QString command;
        QString shown;
        HmuFault fault;
        int armedTimes;
        int armedCommand;
    };
    const std::vector<Case> cases = {
        {"address refused twice", 0, 0, 2, false, {}, QStringLiteral("Address not acknowledged, 2 more"),
         HmuFault::AddressNack, 2, CHmuDevice::kAnyCommand},
        {"update command always refused", 1, 1, 1, true, QStringLiteral("0x35"),
         QStringLiteral("Command byte not acknowledged (command 0x35), always"), HmuFault::CommandNack,
         CHmuDevice::kAlways, 0x35},
        {"a bad command byte", 0, 2, 1, false, QStringLiteral("0x1FF"),
         QStringLiteral("Command byte: 0 to 0xFF, or empty for any"), HmuFault::DataNack, 0, CHmuDevice::kAnyCommand},
        {"a device that is not there", 4, 4, 1, false, {}, QStringLiteral("HMU4 is not on the board"),
         HmuFault::ConversionNeverReady, 0, CHmuDevice::kAnyCommand},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Panel p;
        p.Get<QComboBox>(QStringLiteral("faultDevice"))->setCurrentIndex(c.device);
        p.Get<QComboBox>(QStringLiteral("faultKind"))->setCurrentIndex(c.kind);
        p.Get<QSpinBox>(QStringLiteral("faultTimes"))->setValue(c.times);
        p.Get<QCheckBox>(QStringLiteral("faultAlways"))->setChecked(c.always);
        p.Get<QLineEdit>(QStringLiteral("faultCommand"))->setText(c.command);
        p.Get<QPushButton>(QStringLiteral("inject"))->click();
        EXPECT_EQ(p.Text(QStringLiteral("activeFaults")), c.shown);
        p.window.Refresh();
        EXPECT_EQ(p.Text(QStringLiteral("activeFaults")), c.shown) << "still in view after the next refresh";
        if (p.board->Hmu(c.device)) {
            EXPECT_EQ(p.board->Hmu(c.device)->FaultTimes(c.fault), c.armedTimes);
            EXPECT_EQ(p.board->Hmu(c.device)->FaultCommand(c.fault), c.armedCommand);
            p.Get<QPushButton>(QStringLiteral("clearFaults"))->click();
            EXPECT_EQ(p.board->Hmu(c.device)->FaultTimes(c.fault), 0);
            EXPECT_EQ(p.Text(QStringLiteral("activeFaults")), QStringLiteral("none"));
        }
    }
}

TEST(SimulatedBoardPanel, MainWindowOffersItOnlyOnTheSimulatedBoardAndItStaysUsableBesideModalWindows)
{
    auto board = CSimulatedBoard::CreateDefault();
    TestApp t(board->Driver(), [](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(0)); });
    {
        CTovinMainDlg onCable;
        EXPECT_EQ(onCable.Action(QStringLiteral("Simulated &Board...")), nullptr);
    }
    t.app->SetSimulatedBoard(board.get());
    CTovinMainDlg window;
    QAction* action = window.Action(QStringLiteral("Simulated &Board..."));
    ASSERT_NE(action, nullptr);
    action->trigger();
    QWidget* panel = t.app->BoardPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->isModal());
    EXPECT_EQ(panel->parentWidget(), nullptr) << "a window of its own";
    action->trigger();
    EXPECT_EQ(t.app->BoardPanel(), panel) << "one window, raised again";

    // A modal window run the real way blocks the window it was opened from,
    // not the board window.
    window.show();
    struct Blocked : QObject {
        bool blocked = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::WindowBlocked) blocked = true;
            if (event->type() == QEvent::WindowUnblocked) blocked = false;
            return false;
        }
    } mainSeen, panelSeen;
    window.installEventFilter(&mainSeen);
    panel->installEventFilter(&panelSeen);
    CUserInteraction* recorder = SetUserInteraction(nullptr);
    CTovinDialog dialog(&window);
    bool mainBlocked = false;
    bool panelBlocked = true;
    QTimer::singleShot(50, &dialog, [&] {
        mainBlocked = mainSeen.blocked;
        panelBlocked = panelSeen.blocked;
        dialog.done(kIdOk);
    });
    EXPECT_EQ(dialog.DoModal(), kIdOk);
    SetUserInteraction(recorder);
    EXPECT_TRUE(mainBlocked);
    EXPECT_FALSE(panelBlocked);
}
