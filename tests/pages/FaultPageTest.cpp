// The fault log window on the simulated board, opened by "Read &Fault Log
// Mem": what it shows of each record, stepping, the states of its buttons,
// demo mode, and erasing the logs of the window's devices.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QStringList>
#include <algorithm>

#include "link/CableLock.h"
#include "pages/Fault_Dlg.h"
#include "tests/pages/MonitorPageBench.h"

namespace {

const QString kTitle = QStringLiteral("ZENT I2C Fault log Record");
const QString kAsk = QStringLiteral("Are you sure you want to erase ALL\n the faults stored in the EEPROM memory?");

struct FaultBench : MonitorPageBench {
    using MonitorPageBench::MonitorPageBench;
    // A fresh board's logs are empty: these tests read two earlier faults.
    bool examples = (board->AddExampleFaults(), true);

    // Runs the window as the main window's command does; body gets the sheet.
    void OpenFaults(const std::function<void(CTovinPropertySheet&)>& body)
    {
        bool ran = false;
        t->ui.onModal = [&](QDialog& dialog) {
            auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
            if (sheet == nullptr) return int{kIdCancel};
            ran = true;
            body(*sheet);
            return int{kIdOk};
        };
        CTovinMainDlg window;
        const uint64_t outside = board->Driver()->Counters().transactionsWithEnableLow;
        window.OnFaultLog();
        t->ui.onModal = {};
        ASSERT_TRUE(ran) << "the window did not open";
        EXPECT_EQ(t->ui.modalTitles.back(), kTitle);
        EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, outside)
            << "bus traffic outside a cable lock";
    }
    static CFault_Dlg& Page(CTovinPropertySheet& sheet, int tab) { return *qobject_cast<CFault_Dlg*>(sheet.Page(tab)); }

    // `count` records in a device's log, record r with VMON(r % 9 + 1) B and GPIO(r % 10 + 1) set.
    void FillLog(int device, int count)
    {
        Hmu(device).ClearFaultRecords();
        for (int r = 0; r < count; ++r) {
            faultlog::Record record{};
            faultlog::SetRecordBit(record, faultlog::VmonBit(r % 9, 1), true);
            faultlog::SetRecordBit(record, faultlog::GpioBit(r % 10), true);
            Hmu(device).AddFaultRecord(record);
        }
    }
};

// Previous, Next, Last enabled; Total and Erase always.
std::vector<bool> Stepping(const CFault_Dlg& page)
{
    EXPECT_TRUE(page.TotalButton()->isEnabled() && page.EraseButton()->isEnabled());
    return {page.PreviousButton()->isEnabled(), page.NextButton()->isEnabled(), page.LastButton()->isEnabled()};
}

TEST(FaultPage, ShowsEachRecordOfTheBoardAndStepsThroughThem)
{
    FaultBench bench;
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        ASSERT_EQ(sheet.PageCount(), 2);
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        // The board's first fault: POT1 (VMON7) under comparator A, HVOUT1, HVOUT2, GPIO1..3 high.
        EXPECT_EQ(page.TitleText(), "Fault # 1 of 2 Total Faults");
        EXPECT_EQ(Stepping(page), (std::vector<bool>{false, true, true}));
        EXPECT_EQ(page.ChannelName(6), "VMON7");
        EXPECT_EQ(page.ComparatorText(6, 0), "A = 0");
        EXPECT_EQ(page.ComparatorText(5, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(11, 1), "B = 0");
        EXPECT_EQ(page.HvoutText(1), "1");
        EXPECT_EQ(page.HvoutText(2), "0");
        EXPECT_EQ(page.GpioText(1), "1");
        EXPECT_EQ(page.GpioText(6), "0");
        EXPECT_TRUE(page.GpioNameEnabled(6));

        page.NextButton()->click();  // the heated resistor: TMON2 over both thresholds, HVOUT2 and GPIO2 low
        EXPECT_EQ(page.TitleText(), "Fault # 2 of 2 Total Faults");
        EXPECT_EQ(Stepping(page), (std::vector<bool>{true, false, true}));
        EXPECT_EQ(page.ComparatorText(11, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(11, 1), "B = 1");
        EXPECT_EQ(page.HvoutText(1), "0");
        EXPECT_EQ(page.GpioText(1), "0");
        page.PreviousButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 1 of 2 Total Faults");
        page.LastButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 2 of 2 Total Faults");

        // "Read &Total" reads the device again and shows its last record.
        page.PreviousButton()->click();
        bench.FillLog(0, 3);
        page.TotalButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 3 of 3 Total Faults");
        EXPECT_EQ(page.ComparatorText(2, 1), "B = 1");
        EXPECT_EQ(page.GpioText(2), "1");
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(FaultPage, ComparatorCrossingsOnTheBoardAreCapturedAndShown)
{
    FaultBench bench;
    bench.board->SetPotVolts(0, 1.0);           // POT1 (HMU0 VMON7) under comparator A
    bench.board->SetTemperature(0, 0, 45.0);    // TMON1 over comparator A
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        EXPECT_EQ(page.TitleText(), "Fault # 1 of 4 Total Faults");
        page.LastButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 4 of 4 Total Faults");
        EXPECT_EQ(page.ComparatorText(10, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(10, 1), "B = 0");
        EXPECT_EQ(page.ComparatorText(6, 0), "A = 0") << "POT1 is still under its trip point";
        page.PreviousButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 3 of 4 Total Faults");
        EXPECT_EQ(page.ComparatorText(6, 0), "A = 0");
        EXPECT_EQ(page.ComparatorText(5, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(7, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(10, 0), "A = 0");

        // A fault while the window is open: "Read &Total" shows it.
        bench.board->SetVmon(0, 9, 6.0);  // HVMON over comparator B
        page.TotalButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 5 of 5 Total Faults");
        EXPECT_EQ(page.ComparatorText(9, 1), "B = 1");

        // Rails going out and back fill the log to sixteen records, and no further.
        for (int i = 0; i < 12; ++i) {
            bench.board->SetPotVolts(0, 1.2);
            bench.board->SetPotVolts(0, 1.0);
        }
        EXPECT_EQ(bench.Hmu(0).FaultRecords().size(), 16u);
        {
            CCableLock lock;
            EXPECT_TRUE(faultlog::IsMemoryFull(bench.t->Port()));
        }
        page.TotalButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 16 of 16 Total Faults");
        EXPECT_EQ(Stepping(page), (std::vector<bool>{true, false, true}));
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(FaultPage, ALogThatWillNotOpenIsToldAndShowsTheCountWithoutRecords)
{
    FaultBench bench;
    bench.Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways);
    const auto& messages = bench.t->ui.messages;
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        // The count of the status, labelled so; no record was read, none is shown.
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].title, "I2C Acknowledge Failure");
        EXPECT_EQ(page.TitleText(), "2 Total Faults (from the status; the log would not open)");
        EXPECT_EQ(page.ComparatorText(5, 0), "A = ");
        EXPECT_EQ(page.HvoutText(0), "");
        EXPECT_EQ(Stepping(page), (std::vector<bool>{false, false, false}));
        // Once the log opens the records are read ...
        bench.Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, 0);
        page.TotalButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 2 of 2 Total Faults");
        EXPECT_EQ(page.ComparatorText(11, 1), "B = 1");
        EXPECT_EQ(messages.size(), 1u);
        // ... and when it will not open again, none is shown as if read.
        bench.Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways);
        bench.board->SetTemperature(0, 0, 45.0);
        bench.board->Driver()->ClearEventLog();
        page.TotalButton()->click();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].title, "I2C Acknowledge Failure");
        EXPECT_EQ(page.TitleText(), "3 Total Faults (from the status; the log would not open)");
        EXPECT_EQ(page.ComparatorText(11, 1), "B = ");
        EXPECT_EQ(Stepping(page), (std::vector<bool>{false, false, false}));
        const std::string log = bench.board->Driver()->EventLog();
        size_t attempts = 0;
        for (size_t at = log.find("74 A B7"); at != std::string::npos; at = log.find("74 A B7", at + 1)) ++attempts;
        EXPECT_EQ(attempts, 3u);
    });
    EXPECT_EQ(messages.size(), 2u);
}

TEST(FaultPage, CountFromTheStatusBytes)
{
    const struct {
        const char* name;
        int records;
        uint8_t flags0, flags1;
        QString title, lastTitle;
        std::vector<bool> stepping;
    } cases[] = {
        {"sixteen: the full bit", 16, 0, 0, "Fault # 1 of 16 Total Faults", "Fault # 16 of 16 Total Faults",
         {false, true, true}},
        {"five", 5, 0, 0, "Fault # 1 of 5 Total Faults", "Fault # 5 of 5 Total Faults", {false, true, true}},
        {"one", 1, 0, 0, "Fault # 1 of 1 Total Faults", "Fault # 1 of 1 Total Faults", {false, false, true}},
        {"none", 0, 0, 0, "No Faults", "No Faults", {false, false, false}},
        {"not valid", 5, 0, faultlog::kStatus1Invalid, "No Faults", "No Faults", {false, false, false}},
        {"busy", 16, faultlog::kStatus0Busy, 0, "No Faults", "No Faults", {false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultBench bench;
        bench.FillLog(0, c.records);
        bench.Hmu(0).SetFaultStatusFlags(c.flags0, c.flags1);
        bench.OpenFaults([&](CTovinPropertySheet& sheet) {
            CFault_Dlg& page = FaultBench::Page(sheet, 0);
            EXPECT_EQ(page.TitleText(), c.title);
            EXPECT_EQ(Stepping(page), c.stepping);
            const bool shown = c.title != "No Faults";
            EXPECT_EQ(page.ComparatorText(0, 1), shown ? "B = 1" : "B = ");
            EXPECT_EQ(page.GpioText(0), shown ? "1" : "");
            EXPECT_EQ(page.HvoutText(0), shown ? "0" : "");
            page.LastButton()->click();
            EXPECT_EQ(page.TitleText(), c.lastTitle);
            if (c.records == 16 && shown) {
                EXPECT_EQ(page.ComparatorText(6, 1), "B = 1");  // record 16: VMON7 B, GPIO6
                EXPECT_EQ(page.GpioText(5), "1");
                EXPECT_EQ(Stepping(page), (std::vector<bool>{true, false, true}));
            }
        });
        EXPECT_TRUE(bench.t->ui.messages.empty());
    }
}

TEST(FaultPage, Gpio7IsNotApplicableOnADeviceWithoutIt)
{
    FaultBench bench;
    bench.Hmu(1).SetIdentification(0x88);
    bench.FillLog(1, 7);  // record 7 has GPIO7 set
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        sheet.SetCurrentPage(1);
        CFault_Dlg& page = FaultBench::Page(sheet, 1);
        EXPECT_EQ(page.Identification(), 0x88);
        EXPECT_FALSE(page.GpioNameEnabled(6));
        for (int step = 0; step < 7; ++step) {
            EXPECT_EQ(page.GpioText(6), "N/A");
            EXPECT_EQ(page.GpioText(5), step == 5 ? "1" : "0");
            page.NextButton()->click();
        }
        EXPECT_TRUE(FaultBench::Page(sheet, 0).GpioNameEnabled(6));
    });
}

TEST(FaultPage, EachTabAndEachButtonReadsItsOwnDevice)
{
    FaultBench bench;
    bench.FillLog(1, 4);
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        CFault_Dlg& first = FaultBench::Page(sheet, 0);
        sheet.SetCurrentPage(1);
        EXPECT_EQ(FaultBench::Page(sheet, 1).TitleText(), "Fault # 1 of 4 Total Faults");
        EXPECT_EQ(bench.t->Port().GetHmuIndex(), 1);
        // Coming back reads the device again and shows its first record.
        bench.FillLog(0, 5);
        sheet.SetCurrentPage(0);
        EXPECT_EQ(bench.t->Port().GetHmuIndex(), 0);
        EXPECT_EQ(first.TitleText(), "Fault # 1 of 5 Total Faults");
        // A button reads its page's device even when another one is selected on the port.
        bench.t->Port().SetHmuIndex(1);
        first.TotalButton()->click();
        EXPECT_EQ(first.TitleText(), "Fault # 5 of 5 Total Faults");
        EXPECT_EQ(bench.t->Port().GetHmuIndex(), 0);
    });
}

TEST(FaultPage, ReadTotalAndEraseAllAreDisabledWhileTheyRun)
{
    FaultBench bench;
    bench.t->ui.messageAnswers = {kIdYes};
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        for (QPushButton* pressed : {page.TotalButton(), page.EraseButton()}) {
            bool enabledWhileRunning = true;
            auto seen = QObject::connect(&page, &CFault_Dlg::SequenceRunning,
                                         [&] { enabledWhileRunning = pressed->isEnabled(); });
            pressed->click();
            QObject::disconnect(seen);
            EXPECT_FALSE(enabledWhileRunning) << pressed->text().toStdString();
            EXPECT_TRUE(pressed->isEnabled()) << pressed->text().toStdString();
        }
    });
}

TEST(FaultPage, ADeviceThatStopsAnsweringIsReportedNotShownAsEmpty)
{
    FaultBench bench;
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
        page.TotalButton()->click();
        ASSERT_EQ(bench.t->ui.messages.size(), 1u);
        EXPECT_EQ(bench.t->ui.messages[0].text, "Check Cable Connection or Device Address");
        EXPECT_EQ(bench.t->ui.messages[0].title, "I2C Acknowledge Failure");
        EXPECT_EQ(bench.t->ui.messages[0].icon, CUserInteraction::Icon::Exclamation);
    });
}

TEST(FaultPage, DemoModeShowsTheDemoPatternAndErasesIt)
{
    FaultBench bench({}, true);
    bench.board->Driver()->ClearEventLog();
    bench.OpenFaults([&](CTovinPropertySheet& sheet) {
        EXPECT_EQ(sheet.PageCount(), 8);
        CFault_Dlg& page = FaultBench::Page(sheet, 0);
        EXPECT_EQ(page.TitleText(), "Fault # 1 of 16 Total Faults");
        EXPECT_EQ(page.ComparatorText(0, 0), "A = 1");
        EXPECT_EQ(page.ComparatorText(0, 1), "B = 0");
        page.LastButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 16 of 16 Total Faults");
        EXPECT_EQ(page.ComparatorText(12, 1), "B = 1");
        EXPECT_EQ(page.ComparatorText(12, 0), "A = 0");
        page.PreviousButton()->click();
        page.PreviousButton()->click();
        page.EraseButton()->click();
        EXPECT_EQ(page.TitleText(), "Fault # 16 of 16 Total Faults");
    });
    ASSERT_EQ(bench.t->ui.messages.size(), 2u);
    EXPECT_EQ(bench.t->ui.messages[0].text, kAsk);
    EXPECT_EQ(bench.t->ui.messages[1].text, "EEPROM Memory has been erased");
    EXPECT_EQ(bench.t->ui.messages[1].title, "Fault Mem Cleared");
    EXPECT_EQ(bench.t->ui.messages[1].icon, CUserInteraction::Icon::None);
    EXPECT_EQ(bench.board->Driver()->EventLog(), "") << "demo mode sends nothing on the bus";
    EXPECT_EQ(bench.Hmu(0).FaultRecords().size(), 2u);
}

TEST(FaultPage, EraseAllErasesTheDevicesOfTheWindowAndSaysSoOnlyWhenAllWere)
{
    const struct {
        const char* name;
        std::vector<int> devices;
        int answer;              // to the question
        const char* setting;     // "Fault Log Unlock Code"; null: none
        uint16_t deviceCode;     // the code the devices expect
        int codeOnlyOn;          // -1: every device, else only that one expects deviceCode
        std::vector<int> closed; // devices whose log will not open (READ_FAULT_ENABLE fails)
        std::vector<bool> erased;
        const char* message;     // null: none after the question
    } cases[] = {
        {"HMU0 and HMU1", {0, 1}, kIdYes, nullptr, faultlog::kUnlockCode, -1, {}, {true, true}, "EEPROM Memory has been erased"},
        {"answered No", {0, 1}, kIdNo, nullptr, faultlog::kUnlockCode, -1, {}, {false, false}, nullptr},
        {"gap board: HMU0 and HMU2", {0, 2}, kIdYes, nullptr, faultlog::kUnlockCode, -1, {}, {true, true},
         "EEPROM Memory has been erased"},
        {"HMU2 expects another code", {0, 2}, kIdYes, nullptr, 0x1234, 2, {}, {true, false},
         "READ_FAULT_ENABLE has failed!"},
        {"the board's code from the setting", {0, 1}, kIdYes, "1234", 0x1234, -1, {}, {true, true},
         "EEPROM Memory has been erased"},
        {"a malformed setting gives the built-in code", {0, 1}, kIdYes, "12G4", 0x1234, -1, {}, {false, false},
         "READ_FAULT_ENABLE has failed!"},
        {"no log opens", {0, 1}, kIdYes, nullptr, faultlog::kUnlockCode, -1, {0, 1}, {false, false},
         "READ_FAULT_ENABLE has failed!"},
        {"HMU1's log will not open", {0, 1}, kIdYes, nullptr, faultlog::kUnlockCode, -1, {1}, {true, false},
         "READ_FAULT_ENABLE has failed!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultBench bench([&](CMemorySettingsStore& s) {
            if (c.setting) s.Set("Fault Log Unlock Code", SettingValue::Text(c.setting));
        });
        for (int n = 0; n < CSimulatedBoard::kMaxHmus; ++n) {
            const bool wanted = std::find(c.devices.begin(), c.devices.end(), n) != c.devices.end();
            if (!wanted) bench.board->RemoveHmu(n);
        }
        for (int n : c.devices) {
            bench.board->AddHmu(n);
            bench.FillLog(n, 3);
            if (c.codeOnlyOn < 0 || c.codeOnlyOn == n) bench.Hmu(n).SetUnlockCode(c.deviceCode);
        }
        for (int n : c.closed) bench.Hmu(n).InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways);
        bench.t->ui.messageAnswers = {c.answer};
        bench.OpenFaults([&](CTovinPropertySheet& sheet) {
            ASSERT_EQ(sheet.PageCount(), static_cast<int>(c.devices.size()));
            CFault_Dlg& page = FaultBench::Page(sheet, 0);
            const int absent = 0xC2;  // HMU1, missing from the gap board
            const int before = bench.board->Driver()->AddressCount(absent);
            page.EraseButton()->click();
            if (c.devices[1] == 2) {
                EXPECT_EQ(bench.board->Driver()->AddressCount(absent), before) << "the absent HMU1 is left alone";
            }
            // After an erase the log is read again and its last record shown; after No nothing changes.
            const QString title = c.answer == kIdNo ? QStringLiteral("Fault # 1 of 3 Total Faults")
                                  : c.erased[0]     ? QStringLiteral("No Faults")
                                  : std::find(c.closed.begin(), c.closed.end(), c.devices[0]) != c.closed.end()
                                      ? QStringLiteral("3 Total Faults (from the status; the log would not open)")
                                      : QStringLiteral("Fault # 3 of 3 Total Faults");
            EXPECT_EQ(page.TitleText(), title);
            EXPECT_EQ(bench.t->Port().GetHmuIndex(), 0);
        });
        for (size_t i = 0; i < c.devices.size(); ++i)
            EXPECT_EQ(bench.Hmu(c.devices[i]).FaultRecords().size(), c.erased[i] ? 0u : 3u) << "HMU" << c.devices[i];
        // A page whose log will not open says so when it opens and after the erase.
        const bool pageClosed = std::find(c.closed.begin(), c.closed.end(), c.devices[0]) != c.closed.end();
        auto shown = bench.t->ui.messages;
        if (pageClosed) {
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.front().title, "I2C Acknowledge Failure");
            shown.erase(shown.begin());
            if (c.answer == kIdYes) {
                ASSERT_FALSE(shown.empty());
                EXPECT_EQ(shown.back().title, "I2C Acknowledge Failure");
                shown.pop_back();
            }
        }
        ASSERT_EQ(shown.size(), c.message ? 2u : 1u);
        EXPECT_EQ(shown[0].text, kAsk);
        EXPECT_EQ(shown[0].title, "Erase EEPROM Faults");
        EXPECT_EQ(shown[0].icon, CUserInteraction::Icon::Exclamation);
        EXPECT_EQ(shown[0].buttons, CUserInteraction::Buttons::YesNo);
        if (c.message) {
            const bool ok = QString::fromLatin1(c.message) == "EEPROM Memory has been erased";
            // The first line as it always was, then one line per device not erased.
            const QStringList lines = shown[1].text.split(QLatin1Char('\n'));
            EXPECT_EQ(lines[0], c.message);
            QStringList named;
            for (const QString& line : lines.mid(1)) named << line.section(QLatin1Char(' '), 0, 0);
            QStringList notErased;
            for (size_t i = 0; i < c.devices.size(); ++i)
                if (!c.erased[i]) notErased << QStringLiteral("HMU%1").arg(c.devices[i]);
            EXPECT_EQ(named, ok ? QStringList{} : notErased) << shown[1].text.toStdString();
            EXPECT_EQ(shown[1].title, ok ? "Fault Mem Cleared" : "Fault Mem Error");
            EXPECT_EQ(shown[1].icon, ok ? CUserInteraction::Icon::None : CUserInteraction::Icon::Error);
        }
    }
}

}  // namespace
