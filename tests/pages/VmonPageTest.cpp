// The voltage monitor page on the simulated board, used as a user uses it:
// the "&VMON" window opened, values compared with the board and the device,
// thresholds chosen, Write and Read pressed, the bus traffic checked.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <iostream>

#include "ui/FontOccManager.h"
#include "app/TovinMainDlg.h"
#include "ui/TovinPropertySheet.h"
#include "pages/SNTRX_TrimDACs_Dlg.h"
#include "pages/SNTRX_Trim_DAC_Dlg.h"
#include "pages/VMONCOMPDlg.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"

namespace {

// The "&VMON" command's window, opened as the command opens it.
const QString kTitle = QStringLiteral("ZENT I2C VMON Voltages, Comparator Status and Thresholds");
// The main window's "&VMON" command, as the user gives it.
void OpenVmonWindow()
{
    CTovinMainDlg window;
    window.OnVmon();
}

void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// (command, operand) of every transaction to HMU0, from "S C0 A 31 A 16 A 5E A P".
std::vector<std::pair<int, int>> Commands(const std::vector<std::string>& e)
{
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i + 3 < e.size(); ++i)
        if ((e[i] == "S" || e[i] == "Sr") && e[i + 1] == "C0" && e[i + 2] == "A")
            out.emplace_back(std::stoi(e[i + 3], nullptr, 16),
                             i + 5 < e.size() && e[i + 5] != "P" ? std::stoi(e[i + 5], nullptr, 16) : -1);
    return out;
}

// Shares HMU0's address to see, from inside each read, the buttons and the cursor.
struct Spy : CI2cTarget {
    CVMONCOMPDlg* page = nullptr;
    struct { int addressed, reads, waitReads, readEnabled, writeEnabled; } seen{};
    bool OnAddress(bool read) override
    {
        const QCursor* cursor = QApplication::overrideCursor();
        ++seen.addressed;
        seen.reads += read;
        seen.waitReads += read && cursor && cursor->shape() == Qt::WaitCursor;
        seen.readEnabled += page && page->ReadButton()->isEnabled();
        seen.writeEnabled += page && page->WriteButton()->isEnabled();
        return true;
    }
    bool OnWrite(uint8_t) override { return true; }
    uint8_t OnRead() override { return 0xFF; }  // leaves the data to the device
};

struct VmonPage : ::testing::Test {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t;
    CHmuDevice& Hmu0() { return *board->Hmu(0); }

    void Start(std::function<void(CMemorySettingsStore&)> preset = {})
    {
        t.reset();  // one application at a time
        t = std::make_unique<TestApp>(board->Driver(), std::move(preset));
    }
    // Runs `inside` while the window is open, with its page of tab `tab`.
    void Open(const std::function<void(CTovinPropertySheet&, CVMONCOMPDlg&)>& inside, int tab = 0)
    {
        bool opened = false;
        t->ui.onModal = [&](QDialog& dialog) {
            auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
            if (sheet && dialog.windowTitle() == kTitle && tab < sheet->PageCount()) {
                sheet->SetCurrentPage(tab);
                opened = true;
                inside(*sheet, *qobject_cast<CVMONCOMPDlg*>(sheet->Page(tab)));
            }
            return kIdCancel;
        };
        OpenVmonWindow();
        EXPECT_TRUE(opened);
    }
    // Runs `inside` while the closed loop trim dialog of `cell` is open,
    // reached as a user reaches it: Trim Cells, then the cell's button.
    void OpenTrimDialog(int cell, const std::function<void(CSNTRX_Trim_DAC_Dlg&)>& inside)
    {
        bool opened = false;
        t->ui.onModal = [&](QDialog& dialog) {
            if (auto* trimDialog = qobject_cast<CSNTRX_Trim_DAC_Dlg*>(&dialog)) {
                opened = true;
                inside(*trimDialog);
            } else if (auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog)) {
                if (auto* page = qobject_cast<CSNTRX_TrimDACs_Dlg*>(sheet->Page(0))) Click(page->CellButton(cell));
            }
            return kIdCancel;
        };
        CTovinMainDlg window;
        window.OnTrimCells();
        t->ui.onModal = {};
        EXPECT_TRUE(opened);
    }
    void SetConfig(int c, uint8_t config0, uint8_t config1, uint8_t config2)
    {
        Hmu0().SetConfiguration(vmon::Config0Register(c), config0);
        Hmu0().SetConfiguration(vmon::Config1Register(c), config1);
        Hmu0().SetConfiguration(vmon::Config2Register(c), config2);
    }
};

TEST_F(VmonPage, OpeningShowsTheBoardsVoltagesAndTheDevicesThresholdsFilterBitsAndComparators)
{
    // Full-scale readings are taken again through the attenuator, without rescaling.
    const std::vector<std::pair<double, double>> volts = {{0.0, 0.0}, {1.0, 1.0}, {2.04, 2.04}, {2.5, 0.3125},
                                                          {16.0, 2.0}, {20.0, 2.046}};
    const std::vector<int> channels = {0, 1, 2, 3, 8, 9};
    for (size_t i = 0; i < volts.size(); ++i) board->SetVmon(0, channels[i], volts[i].first);
    struct Case { int c; uint8_t config0, config1, config2; int entryA, entryB; bool glitch, window; };
    const std::vector<Case> cases = {
        {0, 0x5E, 0x08, 0x50, 5, 12, false, false},    // A: fine 33 coarse 5 is low entry 5
        {1, 0x28, 0x28, 0x32, 0, 0, true, false},      // fine 32 and 40: entry 0
        {2, 0x05, 0x10, 0xCF, 0, 0, false, true},      // coarse 12 and 15: entry 0
        {3, 0xC0, 0xF7, 0x3B, 104, 383, true, true},   // A: fine 31 coarse 3 is 31a + 11
        {9, 0xC1, 0x03, 0x71, 244, 72, false, false},  // HVMON
    };
    for (const auto& c : cases) SetConfig(c.c, c.config0, c.config1, c.config2);
    Start();
    Open([&](CTovinPropertySheet&, CVMONCOMPDlg& page) {
        for (size_t i = 0; i < volts.size(); ++i) {
            EXPECT_NEAR(page.VoltageText(channels[i]).toDouble(), volts[i].second, 0.0021) << channels[i];
            EXPECT_EQ(page.VoltageText(channels[i]).length(), 5);
        }
        EXPECT_EQ(page.VoltageText(9), "2.046");
        for (const auto& c : cases) {
            EXPECT_EQ(page.ThresholdBox(2 * c.c)->currentIndex(), c.entryA) << c.c;
            EXPECT_EQ(page.ThresholdBox(2 * c.c + 1)->currentIndex(), c.entryB) << c.c;
            EXPECT_EQ(page.GlitchFilterBox(c.c)->isChecked(), c.glitch) << c.c;
            EXPECT_EQ(page.WindowModeBox(c.c)->isChecked(), c.window) << c.c;
        }
        EXPECT_EQ(page.ThresholdBox(0)->currentText(), "0.182 V");
        EXPECT_EQ(page.ThresholdBox(1)->currentText(), "0.660 V");
        EXPECT_EQ(page.InputCaption(9), "HVMON =");
        QStringList shown, held;
        for (int j = 0; j < vmon::kComparators; ++j) {
            shown << page.ComparatorText(j);
            held << (Hmu0().Comparators().vmon[j] ? "1" : "0");
        }
        EXPECT_EQ(shown, held);
        EXPECT_TRUE(held.contains("0") && held.contains("1"));
    });
}

TEST_F(VmonPage, AReadingTakenThroughTheAttenuatorIsMarkedAndKeepsItsNumber)
{
    // Board file lines; above 2.046 V the input is read again through the
    // attenuator and shown as read, about eight times too low. VMON1..VMON4
    // are also the rails of trim cells 1..4, whose dialog shows them the same way.
    struct Case { const char* line; int c; const char* text; bool marked; };
    const Case cases[] = {
        {"hmu0.vmon3 = 3.3", 2, "0.413", true},
        {"hmu0.hvmon = 12", 9, "1.500", true},
        {"hmu0.vmon5 = 2.04", 4, "2.040", false},
        {"hmu0.vmon6 = 1.2", 5, "1.200", false},
        {"hmu0.vmon2 = 1.8", 1, "1.800", false},
        {"hmu0.vmon4 = 5", 3, "0.625", true},
    };
    const QString tip = QStringLiteral("read through the attenuator; not rescaled");
    std::string file;
    for (const Case& c : cases) file += std::string(c.line) + "\n";
    std::string error;
    ASSERT_TRUE(board->LoadText(file, error)) << error;
    Start();
    Open([&](CTovinPropertySheet&, CVMONCOMPDlg& page) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.line);
            EXPECT_NEAR(page.VoltageText(c.c).toDouble(), QString::fromLatin1(c.text).toDouble(), 0.0021);
            EXPECT_EQ(page.VoltageMarker(c.c), c.marked ? "*" : "");
            EXPECT_EQ(page.VoltageToolTip(c.c), c.marked ? tip : "");
        }
        // The board brought below full scale: Read takes the mark away.
        board->SetVmon(0, 2, 1.5);
        Click(page.ReadButton());
        EXPECT_EQ(page.VoltageText(2), "1.500");
        EXPECT_EQ(page.VoltageMarker(2), "");
        EXPECT_EQ(page.VoltageToolTip(2), "");
        board->SetVmon(0, 2, 3.3);
    });
    for (const Case& c : cases) {
        if (c.c >= trim::kCells) continue;
        SCOPED_TRACE(c.line);
        OpenTrimDialog(trim::TrimmedInput(c.c), [&](CSNTRX_Trim_DAC_Dlg& dialog) {
            EXPECT_NEAR(dialog.OutputVoltageText().chopped(1).toDouble(), QString::fromLatin1(c.text).toDouble(),
                        0.0021);
            EXPECT_EQ(dialog.OutputVoltageMarker(), c.marked ? "*" : "");
            EXPECT_EQ(dialog.OutputVoltageToolTip(), c.marked ? tip : "");
            if (!c.marked) return;
            board->SetVmon(0, c.c, 1.5);
            Click(dialog.ReadButton());
            EXPECT_EQ(dialog.OutputVoltageText(), "1.500V");
            EXPECT_EQ(dialog.OutputVoltageMarker(), "");
            EXPECT_EQ(dialog.OutputVoltageToolTip(), "");
        });
    }
}

TEST_F(VmonPage, WriteSendsTheTenInputsAndOneUpdateWithoutReadingAndReadShowsTheNewState)
{
    struct Case { int c, entryA, entryB; bool glitch, window; uint8_t keep, config0, config1, config2; };
    const std::vector<Case> cases = {
        {0, 5, 12, true, false, 0xC0, 0x5E, 0xE8, 0x50},  // Config1 bits 7..6 are not the page's
        {4, 100, 0, true, true, 0x00, 0x21, 0x31, 0x20},
        {9, 383, 42, false, true, 0x80, 0x00, 0x90, 0xB0},
    };
    for (const auto& c : cases)
        Hmu0().SetConfiguration(vmon::Config1Register(c.c), c.keep | Hmu0().PendingConfiguration(vmon::Config1Register(c.c)));
    auto spy = std::make_shared<Spy>();
    board->Driver()->Bus().Attach(0xC0, spy);  // with the device, at its address
    Start();
    Open([&](CTovinPropertySheet&, CVMONCOMPDlg& page) {
        EXPECT_EQ(spy->seen.waitReads, 3 + 30) << "opening: records and thresholds under the wait cursor, and only they";
        EXPECT_EQ(page.ComparatorText(1), "0");  // VMON1 under comparator B's threshold
        const uint8_t untouched = Hmu0().PendingConfiguration(vmon::Config0Register(6));
        for (const auto& c : cases) {
            page.ThresholdBox(2 * c.c)->setCurrentIndex(c.entryA);
            page.ThresholdBox(2 * c.c + 1)->setCurrentIndex(c.entryB);
            if (page.GlitchFilterBox(c.c)->isChecked() != c.glitch) Click(page.GlitchFilterBox(c.c));
            if (page.WindowModeBox(c.c)->isChecked() != c.window) Click(page.WindowModeBox(c.c));
        }
        QComboBox* stepped = page.ThresholdBox(11);  // by keyboard, as a user steps through the list
        const int entry = stepped->currentIndex() + 1;
        QTest::keyClick(stepped, Qt::Key_Down);
        ASSERT_EQ(page.ThresholdItem(11), entry);

        spy->page = &page;
        spy->seen = {};
        board->Driver()->ClearEventLog();
        const int updates = Hmu0().UpdateCount();
        Click(page.WriteButton());
        EXPECT_EQ(Hmu0().UpdateCount(), updates + 1);
        for (const auto& c : cases) {
            EXPECT_EQ(Hmu0().ActiveConfiguration(vmon::Config0Register(c.c)), c.config0) << c.c;
            EXPECT_EQ(Hmu0().ActiveConfiguration(vmon::Config1Register(c.c)), c.config1) << c.c;
            EXPECT_EQ(Hmu0().ActiveConfiguration(vmon::Config2Register(c.c)), c.config2) << c.c;
        }
        EXPECT_EQ(Hmu0().ActiveConfiguration(vmon::Config0Register(6)), untouched);
        EXPECT_EQ(vmon::DecodeConfig(Hmu0().ActiveConfiguration(vmon::Config0Register(5)), 0,
                                     Hmu0().ActiveConfiguration(vmon::Config2Register(5))).b,
                  vmon::CodeFromEntry(entry));
        std::vector<std::pair<int, int>> expected;
        for (int c = 0; c < vmon::kChannels; ++c)
            expected.insert(expected.end(), {{0x31, 22 + 3 * c}, {0x32, 23 + 3 * c}, {0x31, 24 + 3 * c}});
        expected.emplace_back(0x35, -1);
        EXPECT_EQ(Commands(board->Driver()->Bus().Events()), expected);
        EXPECT_NE(board->Driver()->EventLog().find("S C0 A 32 A 17 A C0 A 28 A P"), std::string::npos);
        EXPECT_EQ(spy->seen.reads, 0);
        EXPECT_EQ(spy->seen.writeEnabled, 0);
        EXPECT_EQ(spy->seen.addressed, 31);

        spy->seen = {};
        Click(page.ReadButton());
        EXPECT_EQ(page.ComparatorText(1), "1") << "B now at 0.669 V, under the 1.8 V input";
        EXPECT_EQ(spy->seen.readEnabled, 0);
        EXPECT_EQ(spy->seen.waitReads, 3 + 30);
        EXPECT_TRUE(page.ReadButton()->isEnabled() && page.WriteButton()->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        spy->page = nullptr;  // the page goes with the window
    });
    EXPECT_TRUE(t->ui.messages.empty());
}

std::vector<uint8_t> Directions(std::initializer_list<int> over, size_t size = 80)
{
    std::vector<uint8_t> bytes(size, 0);
    for (int j : over) bytes.at(4 * j) = 1;
    return bytes;
}

TEST_F(VmonPage, DetectionListsFollowTheStoredDirectionsAndAChangeTouchesNothingBeforeWrite)
{
    // Device 1's block has the wrong size: all its lists are under-voltage.
    Start([](CMemorySettingsStore& s) {
        s.Set("VMON0 Directions", SettingValue::Binary(Directions({7, 16})));
        s.Set("VMON1 Directions", SettingValue::Binary(Directions({0, 1}, 79)));
    });
    Open([&](CTovinPropertySheet&, CVMONCOMPDlg& page) {
        for (int j = 0; j < vmon::kComparators; ++j) EXPECT_EQ(page.DetectionBox(j)->currentIndex(), 0) << j;
    }, 1);
    SetConfig(0, 0x00, 0x00, 0x00);  // VMON1 A and B at coarse 0, fine 0: entry 42
    SetConfig(8, 0x80, 0x07, 0x00);  // VMON9 A at fine 30, coarse 0: entry 12
    Open([&](CTovinPropertySheet&, CVMONCOMPDlg& page) {
        EXPECT_EQ(page.DetectionBox(16)->currentText(), "Over-Voltage");
        EXPECT_EQ(page.ThresholdBox(16)->currentText(), "0.669 V");
        const bool stored = page.GlitchFilterBox(1)->isChecked();
        Click(page.GlitchFilterBox(1));  // changed, not yet written: the redraw shows the stored state again
        board->Driver()->ClearEventLog();
        struct Case { int j, index; const char* text; };
        for (const Case& c : {Case{0, 1, "0.796 V"}, Case{0, 0, "0.787 V"}, Case{1, 1, "0.796 V"},
                              Case{16, 0, "0.660 V"}}) {
            page.DetectionBox(c.j)->setCurrentIndex(c.index);
            EXPECT_EQ(page.ThresholdBox(c.j)->currentText(), c.text) << c.j;
            EXPECT_EQ(page.ThresholdBox(c.j)->count(), vmon::kEntries);
        }
        EXPECT_EQ(page.ThresholdBox(0)->currentText(), "0.787 V");
        EXPECT_EQ(page.GlitchFilterBox(1)->isChecked(), stored);
        EXPECT_EQ(board->Driver()->EventLog(), "");
        EXPECT_EQ(t->store->Get("VMON0 Directions")->bytes, Directions({7, 16}));
        Click(page.WriteButton());
        EXPECT_EQ(t->store->Get("VMON0 Directions")->bytes, Directions({1, 7}));
        // What is written is what the page shows.
        EXPECT_EQ((Hmu0().ActiveConfiguration(vmon::Config1Register(1)) & 0x20) != 0, stored);
    });
}

TEST_F(VmonPage, DemoModeOpensEightTabsWithTheRegisterPortsRamps)
{
    Start([](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(1)); });
    board->Driver()->SetPlugged(false);
    QElapsedTimer timer;
    timer.start();
    qint64 first = 0, all = 0;
    Open([&](CTovinPropertySheet& sheet, CVMONCOMPDlg& page) {
        first = timer.elapsed();
        EXPECT_EQ(sheet.Tabs()->count(), 8);
        EXPECT_EQ(sheet.Tabs()->tabText(7), "HMU7");
        for (int c = 0; c < vmon::kChannels; ++c)
            EXPECT_EQ(page.VoltageText(c), QString::asprintf("%2.3f", 1.0 + 0.01 * (c + 1)));
        // Each demo register holds its own number: VMON1 Config0..2 = 22, 23, 24.
        EXPECT_EQ(page.ThresholdItem(0), 45);
        EXPECT_EQ(page.ThresholdItem(1), 268);
        EXPECT_TRUE(page.WindowModeBox(0)->isChecked() && !page.GlitchFilterBox(0)->isChecked());
        for (int tab = 1; tab < 8; ++tab) sheet.SetCurrentPage(tab);
        all = timer.elapsed();
        EXPECT_EQ(qobject_cast<CVMONCOMPDlg*>(sheet.Page(1))->VoltageText(0), "1.110");
        sheet.SetCurrentPage(0);
        EXPECT_EQ(t->Port().GetHmuIndex(), 0);
        EXPECT_EQ(page.VoltageText(0), "1.010") << "coming back shows, it does not read";
    });
    std::cout << "[ timing ] VMON window: first page " << first << " ms, eight tabs " << all << " ms\n";
    EXPECT_TRUE(t->ui.messages.empty());
}

// With ZENT2_SCREENSHOT_DIR set, the window is also saved as vmon-normal.png and vmon-large.png.
TEST_F(VmonPage, EveryControlGetsItsRoomWithEitherFont)
{
    const QString shots = qEnvironmentVariable("ZENT2_SCREENSHOT_DIR");
    for (bool large : {false, true}) {
        Start();
        t->app->SetLargeUiFont(large);
        Open([&](CTovinPropertySheet& sheet, CVMONCOMPDlg& page) {
            EXPECT_EQ(page.font().pointSize(), large ? CFontOccManager::UiFontPoints() : QApplication::font().pointSize());
            QApplication::processEvents();
            for (QWidget* w : page.findChildren<QWidget*>()) {
                if (!w->isVisibleTo(&page) || !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                                 qobject_cast<QComboBox*>(w)))
                    continue;
                EXPECT_GE(w->width(), w->sizeHint().width()) << large << w->metaObject()->className();
                EXPECT_TRUE(page.rect().contains(QRect(w->mapTo(&page, QPoint()), w->size())));
            }
            for (int c = 0; c < vmon::kChannels; ++c)
                EXPECT_NEAR(page.ThresholdBox(2 * c + 1)->geometry().center().y(),
                            page.GlitchFilterBox(c)->geometry().center().y(), 1);
            if (!shots.isEmpty() && QDir().mkpath(shots))
                sheet.grab().save(QDir(shots).filePath(large ? "vmon-large.png" : "vmon-normal.png"));
        });
    }
}

}  // namespace
