// The all-registers browser on the simulated board, opened by "&ALL I2C":
// its list lines, the rows it hides and shows, the registers it reads and
// writes (never the read-only ones), the bit entry edit, the update command,
// and what the window hands back to the application when it closes.

#include <gtest/gtest.h>

#include <QPushButton>
#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "util/TextFormat.h"
#include "pages/ViewAllDlg.h"
#include "tests/pages/ControlPageBench.h"
#include "widgets/Bit_Entry_Dlg.h"

namespace {

const QString kTitle = QStringLiteral("ZENT I2C All I2C Registers");
constexpr int kImon1Config0Row = 70;  // C 0x34

void OpenBrowser(ControlPageBench& bench, const std::function<void(CViewAllDlg&)>& body)
{
    bench.Open<CViewAllDlg>(&CTovinMainDlg::OnAllI2C, kTitle,
                            [&](CTovinPropertySheet&, CViewAllDlg& page) { body(page); });
}

std::string Line(const CViewAllDlg& page, int line)
{
    return page.List()->item(line)->text().toStdString();
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

void Select(CViewAllDlg& page, int line)
{
    page.List()->setCurrentRow(line);
}

void DoubleClick(CViewAllDlg& page, int line)
{
    Select(page, line);
    emit page.List()->itemDoubleClicked(page.List()->item(line));
}

// (type letter, register) of every register write in a bus log.
std::multiset<std::pair<char, int>> WrittenRegisters(const std::string& log)
{
    std::multiset<std::pair<char, int>> written;
    static const std::regex write("S C0 A (31|51) A ([0-9A-F]{2}) A");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), write); it != std::sregex_iterator(); ++it)
        written.insert({(*it)[1] == "31" ? 'C' : 'M', std::stoi((*it)[2], nullptr, 16)});
    return written;
}

TEST(RegisterBrowser, ListsEveryRowWithItsBitsAndTellsWhichCanBeEdited)
{
    ControlPageBench bench;
    bench.Hmu(0).SetConfiguration(52, 0xA5);
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        ASSERT_EQ(page.List()->count(), 119);
        EXPECT_EQ(Line(page, kImon1Config0Row), "C\t0x34\tIMON1 Config0 \t1 \t0 \t1 \t0 \t0 \t1 \t0 \t1");
        EXPECT_TRUE(StartsWith(Line(page, 9), "M\t0x70\tOutput control block \t"));
        // Same number, other type: monitor 0 and configuration 0.
        EXPECT_TRUE(StartsWith(Line(page, 0), "M\t0x00\tADC MUX \t"));
        EXPECT_TRUE(StartsWith(Line(page, 18), "C\t0x00\tTrim1 Profile1 Low \t"));

        const QString hint = QStringLiteral("Double Click entry to edit register values");
        const struct {
            int line;
            bool writable;
        } cases[] = {{0, true}, {1, false}, {9, true}, {18, false}, {29, false}, {30, true}, {118, true}};
        for (const auto& c : cases) {
            Select(page, c.line);
            EXPECT_EQ(page.SelectedRow(), c.line);
            EXPECT_EQ(page.ListPosition(), c.line);
            EXPECT_EQ(page.Button("&Write")->isEnabled(), c.writable) << c.line;
            EXPECT_EQ(page.HintText(), c.writable ? hint : QString()) << c.line;
        }
    });
}

TEST(RegisterBrowser, HidingKeepsThePositionOrMovesToTheNewLastLineAndShowListsAllAgain)
{
    ControlPageBench bench;
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        Select(page, 5);
        page.Button("&Hide")->click();
        EXPECT_EQ(page.List()->count(), 118);
        EXPECT_EQ(page.List()->currentRow(), 5);
        EXPECT_EQ(page.SelectedRow(), 6);  // the next row, now at that line

        Select(page, 117);
        page.Button("&Hide")->click();
        EXPECT_EQ(page.List()->currentRow(), 116);
        EXPECT_EQ(page.SelectedRow(), 117);
        EXPECT_FALSE(page.Rows()[118].shown);

        page.Button("&Show")->click();
        EXPECT_EQ(page.List()->count(), 119);
        EXPECT_EQ(page.List()->currentRow(), 0);
        EXPECT_EQ(page.SelectedRow(), 0);
    });
}

TEST(RegisterBrowser, WriteAllWritesEveryWritableRowHiddenOnesTooAndNoReadOnlyRow)
{
    ControlPageBench bench;
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        for (const int line : {118, 0}) {  // "Writeprotect Usertag" and "ADC MUX"
            Select(page, line);
            page.Button("&Hide")->click();
        }
        bench.ClearLog();
        page.Button("Wr&ite")->click();
        std::multiset<std::pair<char, int>> expected;
        std::map<std::pair<char, int>, int> values;
        for (const RegisterEntry& row : page.Rows()) {
            const std::pair<char, int> key{row.TypeLetter(), row.reg};
            values[key] = row.value & 0xFF;
            if (!row.readOnly) expected.insert(key);
        }
        EXPECT_EQ(WrittenRegisters(bench.Log()), expected);
        EXPECT_EQ(expected.size(), 94u);
        // Rows 1, 2, 5, 6, 8 and 10 to 29 are never written.
        const std::set<int> readOnly = [] {
            std::set<int> rows = {1, 2, 5, 6, 8};
            for (int r = 10; r <= 29; ++r) rows.insert(r);
            return rows;
        }();
        for (int r = 0; r < 119; ++r)
            EXPECT_EQ(page.Rows()[r].readOnly, readOnly.count(r) == 1) << r;
        // What was read is written back: a configuration register keeps its value.
        EXPECT_NE(bench.Log().find(FormatText("S C0 A 31 A 34 A %02X A P", values[{'C', 0x34}])), std::string::npos);
    });
}

TEST(RegisterBrowser, EditingChangesOnlyThePagesCopyUntilWriteSendsIt)
{
    ControlPageBench bench;
    bench.Hmu(0).SetConfiguration(52, 0xA5);
    std::vector<QString> captions;
    int answer = kIdOk;
    bench.nested = [&](QDialog& dialog) {
        captions.push_back(dialog.windowTitle());
        if (auto* bits = qobject_cast<CBit_Entry_Dlg*>(&dialog)) {
            EXPECT_EQ(bits->GetValue(), 0xA5);
            bits->SetValue(0x5A);
        }
        return answer;
    };
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        bench.ClearLog();
        DoubleClick(page, 1);  // read-only: no dialog
        EXPECT_TRUE(captions.empty());

        answer = kIdCancel;
        DoubleClick(page, kImon1Config0Row);
        EXPECT_EQ(page.Rows()[kImon1Config0Row].value, 0xA5);

        answer = kIdOk;
        DoubleClick(page, kImon1Config0Row);
        ASSERT_EQ(captions.size(), 2u);
        for (const QString& caption : captions) EXPECT_EQ(caption.toStdString(), "Edit IMON1 Config0 Register Value");
        EXPECT_EQ(Line(page, kImon1Config0Row), "C\t0x34\tIMON1 Config0 \t0 \t1 \t0 \t1 \t1 \t0 \t1 \t0");
        EXPECT_EQ(page.List()->currentRow(), kImon1Config0Row);
        EXPECT_EQ(bench.Log(), "") << "editing sends nothing";

        page.Button("&Write")->click();
        EXPECT_EQ(bench.Log(), "S C0 A 31 A 34 A 5A A P");
        EXPECT_EQ(bench.Hmu(0).PendingConfiguration(52), 0x5A);

        bench.Hmu(0).SetConfiguration(52, 0x3C);
        page.Button("&Read")->click();
        EXPECT_EQ(page.Rows()[kImon1Config0Row].value, 0x3C);
    });
}

TEST(RegisterBrowser, UpdateConfigurationNeedsAWrittenConfigurationRegisterAndReportsAFailedUpdate)
{
    using Icon = CUserInteraction::Icon;
    const QString nothing = QStringLiteral("Nothing to update.\nWrite at least one configuration register first.");
    const QString updated = QStringLiteral("Configuration updated");
    const QString failed = QStringLiteral("Check Cable Connection or Device Address");
    ControlPageBench bench;
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        auto& ui = bench.t->ui;
        Select(page, 0);  // ADC MUX, a monitor register
        page.Button("&Write")->click();
        page.Button("&Update Configuration")->click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, nothing);
        EXPECT_EQ(ui.messages[0].title, "ZENT2 I2C");
        EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);

        Select(page, kImon1Config0Row);
        page.Button("&Write")->click();
        const int updates = bench.Hmu(0).UpdateCount();
        // A device that does not take the update: told, and the update stays to do.
        bench.t->driver->InjectAddressNack(0xC0, 5);
        page.Button("&Update Configuration")->click();
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[1].text, failed);
        EXPECT_EQ(ui.messages[1].title, "I2C Acknowledge Failure");
        EXPECT_TRUE(page.ConfigurationWritten());

        page.Button("&Update Configuration")->click();
        page.Button("&Update Configuration")->click();
        ASSERT_EQ(ui.messages.size(), 4u);
        EXPECT_EQ(ui.messages[2].text, updated);
        EXPECT_EQ(ui.messages[2].title, "ZENT2 I2C");
        EXPECT_EQ(ui.messages[2].icon, Icon::Information);
        EXPECT_EQ(ui.messages[3].text, nothing);
        EXPECT_EQ(bench.Hmu(0).UpdateCount(), updates + 1);
    });
}

TEST(RegisterBrowser, OkHandsValuesAndHiddenRowsBackCancelDoesNot)
{
    for (const int end : {int{kIdOk}, int{kIdCancel}}) {
        SCOPED_TRACE(end);
        ControlPageBench bench;
        bench.Hmu(0).SetConfiguration(52, 0xA5);
        bench.end = end;
        OpenBrowser(bench, [&](CViewAllDlg& page) {
            Select(page, 3);
            page.Button("&Hide")->click();
            Select(page, 40);
        });
        const std::vector<RegisterEntry>& map = bench.t->app->Remembered().registerMap;
        const bool ok = end == kIdOk;
        EXPECT_EQ(map[3].shown, !ok);
        EXPECT_EQ(map[kImon1Config0Row].value, ok ? 0xA5 : 0);
        // The next opening lists what was kept.
        bench.end = kIdCancel;
        OpenBrowser(bench, [&](CViewAllDlg& page) { EXPECT_EQ(page.List()->count(), ok ? 118 : 119); });
    }
}

TEST(RegisterBrowser, InDemoModeReadShowsTheDemoRegisterFile)
{
    ControlPageBench bench(true);
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        page.Button("R&ead")->click();
        const std::vector<RegisterEntry>& rows = page.Rows();
        for (const RegisterEntry& row : rows) {
            int expected = row.reg;
            if (row.type == kMonitorRegister) expected = row.reg == 7 ? 0x80 : (row.reg == 0x86 || row.reg == 0x87) ? 7 : 0;
            EXPECT_EQ(row.value, expected) << row.name;
        }
    });
}

TEST(RegisterBrowser, DeviceButtonsAreDisabledWhileTheirHandlersRun)
{
    ControlPageBench bench;
    OpenBrowser(bench, [&](CViewAllDlg& page) {
        Select(page, kImon1Config0Row);
        const QStringList device = {"&Read", "&Write", "R&ead", "Wr&ite", "&Update Configuration"};
        for (const QString& name : device) {
            std::vector<bool> enabled;
            auto seen = QObject::connect(&page, &CViewAllDlg::SequenceRunning, [&] {
                for (const QString& other : device) enabled.push_back(page.Button(other)->isEnabled());
            });
            page.Button(name)->click();
            QObject::disconnect(seen);
            EXPECT_EQ(enabled, std::vector<bool>(device.size(), false)) << name.toStdString();
            EXPECT_TRUE(page.Button(name)->isEnabled()) << name.toStdString();
        }
    });
}

}  // namespace

namespace {

// Configuration registers 0..102 as the device holds them, pending and active.
std::vector<int> ConfigRegisters(CHmuDevice& hmu)
{
    std::vector<int> values;
    for (int r = 0; r <= 102; ++r) {
        values.push_back(hmu.PendingConfiguration(r));
        values.push_back(hmu.ActiveConfiguration(r));
    }
    return values;
}

// Rows whose read failed: listed unread, told once, never written, and a
// failed read after a good one keeps the row's value.
TEST(RegisterBrowser, RowsWhoseReadFailedAreListedUnreadAndNotWritten)
{
    struct Case {
        const char* name;
        const char* board;        // loaded before the window opens
        bool failAfterOpening;    // the device stops answering after a good read
    };
    const Case cases[] = {
        {"no configuration read", "hmu0.nack.command.0x33 = always\n", false},
        {"some configuration reads", "hmu0.nack.command.0x33 = 505\n", false},
        {"device gone after a good read", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlPageBench bench;
        for (int r = 0; r <= 102; ++r) bench.Hmu(0).SetConfiguration(r, static_cast<uint8_t>(0x11 + r));
        std::string error;
        ASSERT_TRUE(bench.board->LoadText(c.board, error)) << error;
        const std::vector<int> registers = ConfigRegisters(bench.Hmu(0));
        OpenBrowser(bench, [&](CViewAllDlg& page) {
            auto& ui = bench.t->ui;
            std::vector<std::string> lines;
            for (int line = 0; line < page.List()->count(); ++line) lines.push_back(Line(page, line));
            if (c.failAfterOpening) {
                ASSERT_TRUE(ui.messages.empty());
                bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
                page.Button("R&ead")->click();
                Select(page, kImon1Config0Row);
                page.Button("&Read")->click();
                ASSERT_EQ(ui.messages.size(), 2u) << "once per read";
                for (int line = 0; line < page.List()->count(); ++line) EXPECT_EQ(Line(page, line), lines[line]);
                bench.t->driver->InjectAddressNack(0xC0, 0);
            } else {
                ASSERT_EQ(ui.messages.size(), 1u);
            }
            EXPECT_EQ(ui.messages.back().title, "I2C Acknowledge Failure");
            int unread = 0;
            for (int r = 0; r < static_cast<int>(page.Rows().size()); ++r) {
                const bool listedUnread = Line(page, r).find("\t- \t-") != std::string::npos;
                EXPECT_EQ(listedUnread, !page.RowKnown(r)) << Line(page, r);
                if (!page.RowKnown(r)) ++unread;
                if (page.Rows()[r].type == kConfigRegister && page.RowKnown(r)) {
                    EXPECT_EQ(page.Rows()[r].value, 0x11 + page.Rows()[r].reg) << Line(page, r);
                }
            }
            EXPECT_EQ(unread > 0, !c.failAfterOpening);
            Select(page, kImon1Config0Row);
            EXPECT_EQ(page.Button("&Write")->isEnabled(), page.RowKnown(kImon1Config0Row));
            const size_t messages = ui.messages.size();
            bench.ClearLog();
            page.Button("Wr&ite")->click();
            EXPECT_EQ(ui.messages.size(), messages);
            int knownConfig = 0;
            for (int r = 0; r < static_cast<int>(page.Rows().size()); ++r)
                if (page.RowKnown(r) && page.Rows()[r].type == kConfigRegister && !page.Rows()[r].readOnly)
                    ++knownConfig;
            const auto written = WrittenRegisters(bench.Log());
            EXPECT_EQ(static_cast<int>(std::count_if(written.begin(), written.end(),
                                                     [](const auto& w) { return w.first == 'C'; })),
                      knownConfig);
        });
        EXPECT_EQ(ConfigRegisters(bench.Hmu(0)), registers);
    }
}

// A write the device does not acknowledge is told at once, for one row and for all.
TEST(RegisterBrowser, FailedWriteIsToldAtOnce)
{
    for (const char* button : {"&Write", "Wr&ite"}) {
        SCOPED_TRACE(button);
        ControlPageBench bench;
        OpenBrowser(bench, [&](CViewAllDlg& page) {
            Select(page, kImon1Config0Row);
            bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
            page.Button(button)->click();
            ASSERT_EQ(bench.t->ui.messages.size(), 1u);
            EXPECT_EQ(bench.t->ui.messages[0].title, "I2C Acknowledge Failure");
        });
    }
}

}  // namespace
