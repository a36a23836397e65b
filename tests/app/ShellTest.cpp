// The application shell run headless over the simulated cable: main window
// commands and their checks, the page windows and their builders, the
// connection dialogs and the large UI font.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QImage>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <functional>

#include "app/AboutDlg.h"
#include "ui/FontOccManager.h"
#include "app/JTAG_CableSetup.h"
#include "app/TovinI2CAddressDlg.h"
#include "app/TovinMainDlg.h"
#include "ui/TovinPropertyPage.h"
#include "ui/TovinPropertySheet.h"
#include "sim/TestTarget.h"
#include "widgets/Bit_Entry_Dlg.h"
#include "widgets/FloatEntryDlg.h"
#include "tests/app/TestApp.h"

namespace {

// The original message first, then where to go without a cable.
const QString kNoCable = QStringLiteral(
    "I2C NAK error or cable issue.\nPlease check I2C connection.\nWithout a cable, zent2-i2c --simulated-board runs "
    "on the simulated board.");
const QString kNoHmu = QStringLiteral("Required HMU device is not found.");
const QString kNoDesign = QStringLiteral(
    "Demo Design is not found.\nPlease program the board with ZENT21_Demo_Design.JED (can be downloaded from "
    "Norvane website).");

// A page kind that records what the sheet does to it.
class CProbePage : public CTovinPropertyPage {
public:
    std::vector<int> selectedOnActivation;  // the port's HMU index after each activation
    int refreshes = 0;
    int oks = 0;
    // Runs while the page is still whole, at the start of its destruction.
    std::function<void(const CProbePage&)> onDestroy;

    ~CProbePage() override
    {
        if (onDestroy) onDestroy(*this);
    }

    bool OnSetActive() override
    {
        const bool result = CTovinPropertyPage::OnSetActive();
        selectedOnActivation.push_back(Port()->GetHmuIndex());
        return result;
    }
    void OnOK() override { ++oks; }

protected:
    void DataToControls() override { ++refreshes; }
};

// The sheet of the last builder call, seen from inside its modal run.
struct SheetView {
    QString title;
    QStringList tabs;
    std::vector<int> deviceIndexes;
    bool closeOnly = false;
    QStringList buttons;
};

SheetView Look(QDialog& dialog)
{
    SheetView view;
    auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
    if (sheet == nullptr) return view;
    view.title = sheet->windowTitle();
    view.closeOnly = sheet->IsCloseOnly();
    for (int i = 0; i < sheet->Tabs()->count(); ++i) view.tabs << sheet->Tabs()->tabText(i);
    for (int i = 0; i < sheet->PageCount(); ++i) view.deviceIndexes.push_back(sheet->Page(i)->DeviceIndex());
    for (QAbstractButton* b : sheet->Buttons()->buttons())
        if (b->isVisible()) view.buttons << b->text();
    return view;
}

void AttachHmus(CSimulatedFtdiDriver& driver, const std::vector<int>& devices, int base = 0xC0)
{
    for (int d : devices) driver.Bus().Attach(static_cast<uint8_t>(base + 2 * d), std::make_shared<CTestTarget>());
}

struct Shell : ::testing::Test {
    std::unique_ptr<TestApp> t;
    SheetView lastSheet;

    void Start(const std::vector<int>& hmus, bool mainDevice = false, bool demo = false)
    {
        auto driver = std::make_shared<CSimulatedFtdiDriver>();
        AttachHmus(*driver, hmus);
        if (mainDevice) driver->Bus().Attach(0x40, std::make_shared<CTestTarget>());
        t.reset();
        t = std::make_unique<TestApp>(driver, [demo](CMemorySettingsStore& s) {
            s.Set("Demo Mode", SettingValue::Number(demo ? 1 : 0));
        });
        t->ui.onModal = [this](QDialog& d) {
            lastSheet = Look(d);
            return kIdCancel;
        };
    }
    void OpenProbePages(bool closeOnly = true)
    {
        t->app->OpenPages<CProbePage>(QStringLiteral("Probe"), closeOnly);
    }
};

TEST_F(Shell, PageWindowsHaveATabPerAnsweringDeviceInDeviceOrder)
{
    struct Case { std::vector<int> answering; QStringList tabs; };
    const std::vector<Case> cases = {
        {{0, 2}, {"HMU0", "HMU2"}},
        {{1}, {"HMU1"}},
        {{7, 3, 0}, {"HMU0", "HMU3", "HMU7"}},
        {{0, 1, 2, 3, 4, 5, 6, 7}, {"HMU0", "HMU1", "HMU2", "HMU3", "HMU4", "HMU5", "HMU6", "HMU7"}},
    };
    for (const auto& c : cases) {
        auto driver = std::make_shared<CSimulatedFtdiDriver>();
        for (int d : c.answering) AttachHmus(*driver, {d});
        TestApp app(driver);
        SheetView seen;
        app.ui.onModal = [&](QDialog& d) {
            seen = Look(d);
            return kIdCancel;
        };
        app.app->OpenPages<CProbePage>(QStringLiteral("Probe"), true);
        EXPECT_EQ(seen.tabs, c.tabs);
        for (int i = 0; i < c.tabs.size(); ++i) EXPECT_EQ(seen.deviceIndexes[i], c.tabs[i].mid(3).toInt());
        EXPECT_TRUE(app.ui.messages.empty());
        // One cable lock around all eight probes: the enable channel opened once.
        EXPECT_EQ(driver->OpenCount(CSimulatedFtdiDriver::kEnableChannel), 1);
    }
}

TEST_F(Shell, NoAnsweringDeviceGivesTheMessageAndNoWindow)
{
    Start({});
    OpenProbePages();
    EXPECT_TRUE(t->ui.modalTitles.empty());
    ASSERT_EQ(t->ui.messages.size(), 1u);
    EXPECT_EQ(t->ui.messages[0].text, kNoHmu);
    EXPECT_EQ(t->ui.messages[0].title, "ZENT2 I2C Demo");
    EXPECT_EQ(t->ui.messages[0].icon, CUserInteraction::Icon::Exclamation);
}

TEST_F(Shell, InDemoModeEveryCheckPassesWithoutACableAndPagesOpenOnEightTabs)
{
    Start({}, false, true);
    t->driver->SetPlugged(false);
    CTovinMainDlg window;
    EXPECT_TRUE(window.CheckConnection());
    EXPECT_TRUE(window.CheckDemoHmus());
    EXPECT_TRUE(window.CheckDemoDesign());
    OpenProbePages();
    EXPECT_EQ(lastSheet.tabs.size(), 8);
    EXPECT_TRUE(t->ui.messages.empty());
    EXPECT_EQ(t->driver->OpenAttempts(CSimulatedFtdiDriver::kEnableChannel), 0) << "demo locks touch nothing";
}

TEST_F(Shell, UnpluggedCableStopsHardwareCommandsButNotTheOptionsDialogs)
{
    Start({0, 1}, true);
    t->driver->SetPlugged(false);
    CTovinMainDlg window;
    struct Command { const char* name; void (CTovinMainDlg::*run)(); };
    const std::vector<Command> hardware = {
        {"VMON", &CTovinMainDlg::OnVmon},         {"IMON", &CTovinMainDlg::OnImon},
        {"TMON", &CTovinMainDlg::OnTmon},         {"Scalable", &CTovinMainDlg::OnDemo1},
        {"Clocking", &CTovinMainDlg::OnDcdcClocking}, {"ALL I2C", &CTovinMainDlg::OnAllI2C},
        {"UES", &CTovinMainDlg::OnUes},           {"Logging", &CTovinMainDlg::OnStartDataLogging},
    };
    for (const auto& c : hardware) {
        t->ui.messages.clear();
        (window.*c.run)();
        ASSERT_EQ(t->ui.messages.size(), 1u) << c.name;
        EXPECT_EQ(t->ui.messages[0].text, kNoCable) << c.name;
        EXPECT_EQ(t->ui.messages[0].icon, CUserInteraction::Icon::Exclamation);
    }
    EXPECT_TRUE(t->ui.modalTitles.empty());
    window.OnI2CInterface();
    window.OnI2CAddress();
    EXPECT_EQ(t->ui.modalTitles, (std::vector<QString>{"ZENT I2C Cable and I/O Port Setup", "ZENT I2C Address"}));
}

TEST_F(Shell, DemonstrationChecksNeedBothHmusAndTheMainDevice)
{
    struct Case { std::vector<int> hmus; bool main; void (CTovinMainDlg::*run)(); QString message; };
    const std::vector<Case> cases = {
        {{1}, true, &CTovinMainDlg::OnDemo1, kNoHmu},
        {{0}, true, &CTovinMainDlg::OnDemo2, kNoHmu},
        {{0, 1}, false, &CTovinMainDlg::OnDemo3, kNoDesign},
        {{0, 1}, false, &CTovinMainDlg::OnDcdcClocking, kNoDesign},
        {{}, false, &CTovinMainDlg::OnMargining, kNoDesign},  // margining needs only the main device
    };
    for (const auto& c : cases) {
        Start(c.hmus, c.main);
        CTovinMainDlg window;
        (window.*c.run)();
        ASSERT_EQ(t->ui.messages.size(), 1u);
        EXPECT_EQ(t->ui.messages[0].text, c.message);
    }
    // With only HMU1 the page windows still open, on one tab.
    Start({1});
    OpenProbePages();
    EXPECT_EQ(lastSheet.tabs, QStringList{"HMU1"});
}

TEST_F(Shell, CloseOnlyWindowsShowOneCloseButtonOthersOkAndCancel)
{
    Start({0});
    OpenProbePages(true);
    EXPECT_EQ(lastSheet.buttons, QStringList{"Close"});
    OpenProbePages(false);
    EXPECT_EQ(lastSheet.buttons, (QStringList{"OK", "Cancel"}));
    EXPECT_EQ(lastSheet.title, "Probe");
}

TEST_F(Shell, SheetResultsAndOkNotificationOnlyToShownPages)
{
    Start({0, 1});
    struct Case { const char* how; int expected; };
    const std::vector<Case> cases = {{"close", kIdOk}, {"escape", kIdCancel}, {"ctrl+break", kIdCancel},
                                     {"cancel", kIdCancel}};
    for (const auto& c : cases) {
        for (bool closeOnly : {true, false}) {
            if (closeOnly && std::string(c.how) == "cancel") continue;
            CTovinPropertySheet sheet(QStringLiteral("S"), closeOnly);
            CProbePage a, b;
            a.SetPort(&t->Port());
            b.SetPort(&t->Port());
            b.SetDeviceIndex(1);
            sheet.AddDevicePage(&a, "HMU0");
            sheet.AddDevicePage(&b, "HMU1");
            t->ui.onModal = [&](QDialog& d) {
                const std::string how = c.how;
                if (how == "close") sheet.Buttons()->buttons().front()->click();
                if (how == "escape") QTest::keyClick(&d, Qt::Key_Escape);
                if (how == "ctrl+break") QTest::keyClick(&d, Qt::Key_Pause, Qt::ControlModifier);
                if (how == "cancel") sheet.Buttons()->buttons().back()->click();
                return -5;  // the window must have ended by itself
            };
            EXPECT_EQ(sheet.DoModal(), c.expected) << c.how;
            EXPECT_EQ(a.oks, c.expected == kIdOk ? 1 : 0) << c.how;
            EXPECT_EQ(b.oks, 0) << "a page that was never shown gets no OK";
            EXPECT_FALSE(b.IsInitialised());
        }
    }
}

TEST_F(Shell, PagesNeverShownStayUninitialisedWhenTheWindowCloses)
{
    Start({0, 1, 2});
    std::vector<CProbePage*> pages;
    t->ui.onModal = [&](QDialog& d) {
        auto& sheet = static_cast<CTovinPropertySheet&>(d);
        for (int i = 0; i < sheet.PageCount(); ++i) {
            auto* page = static_cast<CProbePage*>(sheet.Page(i));
            pages.push_back(page);
            // Record activations that happen as the window and its pages go away.
            QObject::connect(page, &QObject::destroyed, [&] { pages.clear(); });
        }
        return kIdOk;
    };
    int lateActivations = 0;
    t->app->OpenDevicePages(QStringLiteral("Probe"), true, [&] {
        auto page = std::make_unique<CProbePage>();
        page->onDestroy = [&lateActivations](const CProbePage& gone) {
            if (gone.Activations() > 0 && gone.DeviceIndex() != 0) ++lateActivations;
        };
        return page;
    });
    EXPECT_EQ(lateActivations, 0) << "pages of tabs never shown were activated as the window closed";
    EXPECT_EQ(t->Port().GetHmuIndex(), 0);
}

TEST_F(Shell, SwitchingTabsSelectsEachPagesDeviceAndRefreshesOnLaterVisits)
{
    Start({0, 1});
    t->ui.onModal = [&](QDialog& d) {
        auto& sheet = static_cast<CTovinPropertySheet&>(d);
        sheet.SetCurrentPage(1);
        sheet.SetCurrentPage(0);
        sheet.SetCurrentPage(1);
        auto* first = static_cast<CProbePage*>(sheet.Page(0));
        auto* second = static_cast<CProbePage*>(sheet.Page(1));
        EXPECT_EQ(first->selectedOnActivation, (std::vector<int>{0, 0}));
        EXPECT_EQ(second->selectedOnActivation, (std::vector<int>{1, 1}));
        EXPECT_EQ(first->refreshes, 1) << "second visit refreshes";
        EXPECT_EQ(second->refreshes, 1);
        EXPECT_EQ(t->Port().GetHmuIndex(), 1);
        return kIdOk;
    };
    OpenProbePages();
    EXPECT_EQ(t->ui.modalTitles.size(), 1u);
}

// A page kind for the all-registers builder.
class CRowsPage : public CProbePage {
public:
    std::vector<RegisterEntry> rows;
    int selection = 0;
};

TEST_F(Shell, RegisterPagesCopyBackOnlyOnOk)
{
    Start({0, 2});
    t->app->Remembered().registerMap[2 * 119 + 5].value = 0x77;  // a value known from an earlier opening
    t->app->Remembered().browserSelection = 9;
    CTovinAppContext::RegisterPageAccess access{
        [](CTovinPropertyPage& p, const std::vector<RegisterEntry>& rows, int selection) {
            auto& page = static_cast<CRowsPage&>(p);
            page.rows = rows;
            page.selection = selection;
        },
        [](const CTovinPropertyPage& p) { return static_cast<const CRowsPage&>(p).rows; },
        [](const CTovinPropertyPage& p) { return static_cast<const CRowsPage&>(p).selection; }};
    for (int result : {kIdCancel, kIdOk}) {
        t->ui.onModal = [&](QDialog& d) {
            auto& sheet = static_cast<CTovinPropertySheet&>(d);
            EXPECT_EQ(sheet.windowTitle(), "ZENT I2C All I2C Registers");
            EXPECT_FALSE(sheet.IsCloseOnly());
            auto* page = static_cast<CRowsPage*>(sheet.Page(0));
            EXPECT_EQ(page->rows.size(), 119u);
            EXPECT_EQ(page->selection, 9);
            page->rows[3].value = 0x42;
            page->rows[4].shown = false;
            page->selection = 2;
            return result;
        };
        t->app->OpenRegisterPages([] { return std::make_unique<CRowsPage>(); }, access);
        if (result == kIdCancel) {
            EXPECT_EQ(t->app->Remembered().registerMap[3].value, 0);
            EXPECT_TRUE(t->app->Remembered().registerMap[4].shown);
            EXPECT_EQ(t->app->Remembered().browserSelection, 9);
        } else {
            EXPECT_EQ(t->app->Remembered().registerMap[3].value, 0x42);
            EXPECT_FALSE(t->app->Remembered().registerMap[4].shown);
            // Page 7 never showed: the selection that stays is the one it was given.
            EXPECT_EQ(t->app->Remembered().browserSelection, 9);
            // HMU2's page was never shown: its rows keep what the application knew.
            EXPECT_EQ(t->app->Remembered().registerMap[2 * 119 + 5].value, 0x77);
        }
    }
}

TEST_F(Shell, LargeGuiRebuildsTheMainWindowWithTheOtherFontAndWritesSettingsOnce)
{
    Start({});
    std::vector<std::pair<bool, bool>> windows;  // (large font used, check mark)
    int runs = 0;
    t->ui.onModal = [&](QDialog& d) -> int {
        auto* window = qobject_cast<CTovinMainDlg*>(&d);
        if (window == nullptr) return kIdCancel;
        windows.push_back({window->font().pointSize() == CFontOccManager::UiFontPoints() &&
                               window->font() != QApplication::font(),
                           window->LargeGuiAction()->isChecked()});
        if (++runs <= 2) {
            window->LargeGuiAction()->trigger();
            return -1;
        }
        window->Button(QStringLiteral("E&xit"))->click();
        return -1;
    };
    const int writesBefore = t->store->WriteCount();
    t->app->MainWindowLoop();
    EXPECT_EQ(t->store->WriteCount(), writesBefore) << "nothing is saved while the program runs";
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0], (std::pair{true, true}));
    EXPECT_EQ(windows[1], (std::pair{false, false}));
    EXPECT_EQ(windows[2], (std::pair{true, true}));
    t->app->WriteSettings();
    EXPECT_EQ(t->store->WriteCount(), writesBefore + 6);
}

TEST_F(Shell, TheLoggingWindowOutlivesTheMainWindowsAndClosesWithTheProgram)
{
    Start({});
    t->driver->SetPlugged(false);
    QPointer<QWidget> status = new QWidget;  // stands for the modeless status window
    bool destroyed = false;
    QObject::connect(status.data(), &QObject::destroyed, [&] { destroyed = true; });
    t->app->AdoptLogStatusWindow(status.data());
    int runs = 0;
    t->ui.onModal = [&](QDialog& d) -> int {
        auto* window = qobject_cast<CTovinMainDlg*>(&d);
        if (window == nullptr) return kIdCancel;
        // Every main window finds the same status window and only brings it forward.
        window->OnStartDataLogging();
        EXPECT_TRUE(status->isVisible());
        status->hide();
        if (++runs == 1) window->LargeGuiAction()->trigger();
        else window->OnExit();
        return -1;
    };
    t->app->MainWindowLoop();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(t->ui.messages.empty()) << "no connection check while the window exists";
    EXPECT_FALSE(destroyed) << "the rebuild and the end of the loop leave it alone";
    t->app->Shutdown();
    EXPECT_TRUE(destroyed) << "the program's end closes it";
    EXPECT_EQ(t->app->LogStatusWindow(), nullptr);
}

TEST_F(Shell, EveryDialogAndPageWindowTakesTheUiFontOnlyWhileTheFlagIsSet)
{
    Start({});
    const std::vector<std::pair<const char*, std::function<std::unique_ptr<QWidget>()>>> windows = {
        {"main", [] { return std::make_unique<CTovinMainDlg>(); }},
        {"about", [] { return std::make_unique<CAboutDlg>(); }},
        {"cable", [] { return std::make_unique<CJTAG_CableSetup>(); }},
        {"address", [] { return std::make_unique<CTovinI2CAddressDlg>(); }},
        {"sheet", [] { return std::make_unique<CTovinPropertySheet>(QStringLiteral("S"), true); }},
        {"bits", [] { return std::make_unique<CBit_Entry_Dlg>(); }},
        {"keypad", [] { return std::make_unique<CFloatEntryDlg>(); }},
    };
    for (bool large : {true, false}) {
        t->app->SetLargeUiFont(large);
        for (const auto& [name, make] : windows) {
            const std::unique_ptr<QWidget> window = make();
            EXPECT_EQ(window->font(), large ? CFontOccManager::UiFont() : QApplication::font()) << name;
            EXPECT_EQ(window->font().pointSize(), large ? 12 : QApplication::font().pointSize()) << name;
        }
    }
}

TEST_F(Shell, AboutBoxShowsTheProductLine)
{
    Start({});
    CAboutDlg about;
    EXPECT_EQ(about.ProductLine(), "Sentrix II I2C Version 1.0.17.297");
    EXPECT_EQ(about.windowTitle(), "ZENT I2C About Sentrix I2C Utility");
}

TEST_F(Shell, WindowsShowTheDesktopEntryIcon)
{
    Start({});
    // Built into the program from the PNGs the package installs.
    const QIcon icon = ApplicationIcon();
    for (int size : {16, 48, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
}

TEST_F(Shell, MinimizedIconIsCentred)
{
    struct Case { QSize client; QSize icon; QPoint at; };
    for (auto c : {Case{{160, 24}, {32, 32}, {64, -3}}, Case{{33, 33}, {32, 32}, {1, 1}}, Case{{32, 32}, {32, 32}, {0, 0}}})
        EXPECT_EQ(CTovinMainDlg::MinimizedIconPosition(c.client, c.icon), c.at);
}

TEST_F(Shell, MainWindowHasEveryCommand)
{
    Start({});
    CTovinMainDlg window;
    EXPECT_EQ(window.windowTitle(), "ZENT I2C Power, Thermal & Control Plane Management");
    for (const char* text : {"&Scalable Architecture", "Th&ermal Management", "Fa&ult Logging", "DC/DC Cl&ocking",
                             "&Margining", "&VMON", "&IMON", "Trim &Cells", "&GPIO", "&HVOUT", "&TMON",
                             "Read &Fault Log Mem", "&ALL I2C", "UES", "E&xit"})
        EXPECT_NE(window.Button(QString::fromUtf8(text)), nullptr) << text;
    for (const char* text : {"&Start Data Logging...", "E&xit", "Large &GUI", "I2C &Interface...", "I2C &Address...",
                             "Data &Logging...", "&About"})
        EXPECT_NE(window.Action(QString::fromUtf8(text)), nullptr) << text;
    QStringList menus;
    for (QAction* a : window.MenuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Options", "&Help"}));
    EXPECT_TRUE(window.Button("&Scalable Architecture")->font().bold());
    EXPECT_TRUE(window.Button("Fa&ult Logging")->font().bold());
    EXPECT_FALSE(window.Button("&VMON")->font().bold());
}

// Cable setup dialog: the rate and demo rules.
struct CableDialog : Shell {
    int linkRate() { return t->Port().GetLink().GetRate(); }
};

TEST_F(CableDialog, RateAndDemoRules)
{
    struct Case {
        bool demoAtStart; int rateAtStart;
        bool expect100Checked; bool expectRatesEnabled;
        std::function<void(CJTAG_CableSetup&)> act;
        int result;
        bool demoAfter; int rateAfter; int divisorAfter;
    };
    const std::vector<Case> cases = {
        // 200 kHz from the settings shows as 100 and is kept by an untouched OK.
        {false, 200, true, true, [](CJTAG_CableSetup&) {}, kIdOk, false, 200, 29},
        {false, 200, true, true, [](CJTAG_CableSetup& d) { d.Rate100()->click(); }, kIdOk, false, 100, 59},
        {false, 400, false, true, [](CJTAG_CableSetup& d) { d.Rate100()->click(); }, kIdOk, false, 100, 59},
        // Demo on at opening disables the rates; clearing it enables them and OK applies the rate.
        {true, 400, false, false,
         [](CJTAG_CableSetup& d) {
             d.DemoBox()->click();
             EXPECT_TRUE(d.Rate100()->isEnabled());
             d.Rate100()->click();
         },
         kIdOk, false, 100, 59},
        // OK with the demo box set ignores the rate choice.
        {false, 400, false, true,
         [](CJTAG_CableSetup& d) {
             d.DemoBox()->click();
             EXPECT_FALSE(d.Rate400()->isEnabled());
             d.Rate100()->click();  // disabled: nothing happens
         },
         kIdOk, true, 400, 14},
        // Cancel changes nothing.
        {false, 400, false, true, [](CJTAG_CableSetup& d) { d.Rate100()->click(); d.DemoBox()->click(); }, kIdCancel,
         false, 400, 14},
    };
    for (const auto& c : cases) {
        Start({}, false, c.demoAtStart);
        t->Port().GetLink().SetRate(c.rateAtStart);
        t->ui.onModal = [&](QDialog& d) {
            auto& dialog = static_cast<CJTAG_CableSetup&>(d);
            EXPECT_TRUE(dialog.FtdiInterface()->isChecked());
            EXPECT_EQ(dialog.DemoBox()->isChecked(), c.demoAtStart);
            EXPECT_EQ(dialog.Rate100()->isChecked(), c.expect100Checked);
            EXPECT_EQ(dialog.Rate400()->isChecked(), !c.expect100Checked);
            EXPECT_EQ(dialog.Rate100()->isEnabled(), c.expectRatesEnabled);
            c.act(dialog);
            return c.result;
        };
        t->app->CableSetupCommand(nullptr);
        EXPECT_EQ(t->app->DemoMode(), c.demoAfter);
        EXPECT_EQ(t->Port().GetDemoMode(), c.demoAfter);
        EXPECT_EQ(linkRate(), c.rateAfter);
        EXPECT_EQ(t->Port().GetLink().ClockDivisor(), c.divisorAfter);
    }
}

TEST_F(CableDialog, AddressDialogSetsTheHmuBase)
{
    Start({1}, false);
    t->app->SetHmuBaseAddress(0x40);
    t->Port().SetHmuBase(0x40);
    t->app->SetFpgaSection(0x21);
    // Cancel changes nothing.
    t->ui.onModal = [](QDialog& d) {
        auto& dialog = static_cast<CTovinI2CAddressDlg&>(d);
        EXPECT_EQ(dialog.HmuSection()->currentText(), "0100XXX");
        EXPECT_EQ(dialog.FpgaSection()->currentText(), "0x21");
        EXPECT_EQ(dialog.HmuSection()->count(), 16);
        EXPECT_EQ(dialog.FpgaSection()->count(), 128);
        dialog.HmuSection()->setCurrentIndex(8);
        return kIdCancel;
    };
    CTovinMainDlg window;
    window.OnI2CAddress();
    EXPECT_EQ(t->app->HmuBaseAddress(), 0x40);
    EXPECT_EQ(t->Port().GetHmuBase(), 0x40);
    // 1000XXX stores 0x80; HMU1 is then addressed at 0x82 on the bus.
    t->driver->Bus().Attach(0x82, std::make_shared<CTestTarget>());
    t->ui.onModal = [](QDialog& d) {
        auto& dialog = static_cast<CTovinI2CAddressDlg&>(d);
        dialog.HmuSection()->setCurrentIndex(dialog.HmuSection()->findText("1000XXX"));
        dialog.FpgaSection()->setCurrentIndex(0x7F);
        return kIdOk;
    };
    window.OnI2CAddress();
    EXPECT_EQ(t->app->HmuBaseAddress(), 0x80);
    EXPECT_EQ(t->app->FpgaSection(), 0x7F);
    t->driver->ClearEventLog();
    EXPECT_TRUE(t->Port().ProbeHmu(1));
    EXPECT_EQ(t->driver->EventLog().substr(0, 7), "S 82 A ");
}

}  // namespace
