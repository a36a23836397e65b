// The current monitor window on the simulated board: what it reads and
// shows, what Write sends, the sense resistor entry and its persistence,
// late conversions and records, and demo mode.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "pages/IMONCOMPDlg.h"
#include "tests/pages/MonitorPageBench.h"

namespace {

const QString kTitle = QStringLiteral("ZENT I2C IMON Currents, Comparator Status and Thresholds");
constexpr int kConfig0[2] = {52, 54};
constexpr int kConfig1[2] = {53, 55};
constexpr double kBoardOhms = 0.01;

double Amps(const QString& text)
{
    EXPECT_TRUE(text.endsWith(QStringLiteral(" Amps"))) << text.toStdString();
    return text.chopped(5).toDouble();
}

// Both stored resistors of HMU0 set to the board's, so the page shows the board's currents.
void StoreBoardOhms(CMemorySettingsStore& s)
{
    s.Set("HMU0_IMON0_SenseResistor", SettingValue::Text("0.01"));
    s.Set("HMU0_IMON1_SenseResistor", SettingValue::Text("0.01"));
}

QPushButton* ButtonOf(QDialog& dialog, const QString& text)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

TEST(ImonPage, ShowsTheBoardsCurrentsComparatorsTripPointsAndSettings)
{
    struct Case { uint8_t trip, config0; double amps; int entryA, entryB, gain, compA, compB; bool glitch, window; };
    const std::vector<Case> cases = {
        {0x00, 0xFF, 0.5, 0, 0, 100, 0, 0, true, true},     // 5 mV under both 7.5 mV trip points
        {0xFF, 0x10, 10.0, 15, 15, 10, 0, 0, true, false},  // 100 mV under 190 mV
        {0x48, 0x08, 2.0, 9, 0, 25, 0, 1, false, true},     // 20 mV: under 40 mV, over 7.5 mV
        {0x60, 0x00, 1.2, 1, 2, 100, 1, 0, false, false},   // 12 mV: over 10 mV, under 14 mV
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        MonitorPageBench bench(StoreBoardOhms);
        const Case* of[2] = {&cases[i], &cases[(i + 1) % cases.size()]};  // IMON1, HIMON1
        for (int m = 0; m < 2; ++m) {
            bench.board->SetSenseResistor(0, m, kBoardOhms);
            bench.board->SetSenseCurrent(0, m, of[m]->amps);
            bench.Hmu(0).SetConfiguration(kConfig1[m], of[m]->trip);
            bench.Hmu(0).SetConfiguration(kConfig0[m], of[m]->config0);
        }
        bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet& sheet, CIMONCOMPDlg& page) {
            EXPECT_EQ(sheet.windowTitle(), kTitle);
            for (int m = 0; m < 2; ++m) {
                const Case& c = *of[m];
                SCOPED_TRACE(testing::Message() << "case " << i << " monitor " << m);
                EXPECT_EQ(page.Gain(m), c.gain);
                // Within one ADC count (2 mV at the amplifier output).
                EXPECT_NEAR(Amps(page.CurrentText(m)), c.amps, 0.002 / (c.gain * kBoardOhms) + 0.0005);
                EXPECT_EQ(page.TripPointBox(m, 0)->currentIndex(), c.entryA);
                EXPECT_EQ(page.TripPointBox(m, 1)->currentIndex(), c.entryB);
                EXPECT_EQ(page.TripPointBox(m, 0)->count(), 16);
                EXPECT_EQ(page.ComparatorText(m, 0), QString::number(c.compA));
                EXPECT_EQ(page.ComparatorText(m, 1), QString::number(c.compB));
                EXPECT_EQ(page.GlitchFilterBox(m)->isChecked(), c.glitch);
                EXPECT_EQ(page.WindowModeBox(m)->isChecked(), c.window);
                EXPECT_EQ(page.SenseResistorButton(m)->text(), QStringLiteral("10.0 mOhms"));
            }
            EXPECT_TRUE(page.ReadButton()->isEnabled());
        });
    }
}

TEST(ImonPage, WriteSendsTripPointsAndSettingsWithTwoUpdatesAndNoReads)
{
    MonitorPageBench bench(StoreBoardOhms);
    CHmuDevice& hmu = bench.Hmu(0);
    bench.board->SetSenseResistor(0, 0, kBoardOhms);
    bench.board->SetSenseCurrent(0, 0, 2.0);  // 20 mV
    for (int m = 0; m < 2; ++m) {
        hmu.SetConfiguration(kConfig1[m], 0xFF);  // 190 mV: nothing trips
        hmu.SetConfiguration(kConfig0[m], 0xFF);  // bits the page does not own are set
    }
    bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet&, CIMONCOMPDlg& page) {
        EXPECT_EQ(page.ComparatorText(0, 1), "0");
        page.TripPointBox(0, 0)->setCurrentIndex(9);   // 0.040 V: level 1, range 2
        page.TripPointBox(0, 1)->setCurrentIndex(0);   // 0.0075 V
        page.TripPointBox(1, 0)->setCurrentIndex(15);  // 0.190 V: level 3, range 3
        page.TripPointBox(1, 1)->setCurrentIndex(3);   // 0.015 V: level 0, range 1
        page.WindowModeBox(0)->click();
        page.GlitchFilterBox(1)->click();
        bench.t->driver->ClearEventLog();
        page.WriteButton()->click();
        // Trip points, update, settings (other bits cleared), update; nothing read.
        EXPECT_EQ(bench.t->driver->EventLog(),
                  "S C0 A 31 A 35 A 48 A P S C0 A 31 A 37 A CD A P S C0 A 35 A P "
                  "S C0 A 31 A 34 A 10 A P S C0 A 31 A 36 A 08 A P S C0 A 35 A P");
        EXPECT_EQ(hmu.ActiveConfiguration(53), 0x48);
        EXPECT_EQ(page.Gain(0), 25);
        EXPECT_EQ(page.Gain(1), 10);
        EXPECT_EQ(page.ComparatorText(0, 1), "0") << "the page is not refreshed by Write";

        page.ReadButton()->click();
        EXPECT_EQ(page.ComparatorText(0, 0), "0");
        EXPECT_EQ(page.ComparatorText(0, 1), "1");
        EXPECT_NEAR(Amps(page.CurrentText(0)), 2.0, 0.01);
        EXPECT_EQ(page.TripPointBox(1, 1)->currentIndex(), 3);
    });
}

TEST(ImonPage, SenseResistorEntry)
{
    struct Case { int monitor; QStringList keys; bool ok; QString title; float ohms; QString caption; QString entry0; };
    const std::vector<Case> cases = {
        {0, {"Clea&r", "&5"}, true, "IMON Sense Resistor Value", 0.005f, " 5.0 mOhms", "1.500 Amps"},
        {1, {"Clea&r", "&2", "&5"}, true, "HIMON Sense Resistor Value", 0.025f, "25.0 mOhms", "0.300 Amps"},
        {1, {"Clea&r", "&2"}, false, "HIMON Sense Resistor Value", 0.01f, "10.0 mOhms", "0.750 Amps"},
    };
    for (const Case& c : cases) {
        MonitorPageBench bench(StoreBoardOhms);
        bench.board->SetSenseResistor(0, c.monitor, kBoardOhms);
        bench.board->SetSenseCurrent(0, c.monitor, 1.0);
        QStringList seen;
        bench.nested = [&](QDialog& d) {
            seen << d.windowTitle() << d.findChild<QLabel*>("prompt")->text()
                 << d.findChild<QLabel*>("display")->text() << d.findChild<QLabel*>("instruction")->text();
            for (const QString& key : c.keys) ButtonOf(d, key)->click();
            return c.ok ? int{kIdOk} : int{kIdCancel};
        };
        bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet&, CIMONCOMPDlg& page) {
            const double before = Amps(page.CurrentText(c.monitor));
            const int stored = page.TripPointBox(c.monitor, 0)->currentIndex();
            page.TripPointBox(c.monitor, 0)->setCurrentIndex(stored == 0 ? 1 : 0);
            page.SenseResistorButton(c.monitor)->click();
            EXPECT_EQ(seen, (QStringList{c.title, "Enter a Resistor Value (mOhms)", "10.0", "Enter up to 5 Digits,"}));
            EXPECT_FLOAT_EQ(page.SenseResistance(c.monitor), c.ohms);
            EXPECT_EQ(page.SenseResistorButton(c.monitor)->text(), c.caption);
            EXPECT_EQ(page.TripPointBox(c.monitor, 0)->itemText(0), c.entry0);
            EXPECT_NEAR(Amps(page.CurrentText(c.monitor)), before * kBoardOhms / c.ohms, 0.002);
            // Showing the page again puts the stored trip point back, but only after OK.
            EXPECT_EQ(page.TripPointBox(c.monitor, 0)->currentIndex() == stored, c.ok);
        });
        EXPECT_FLOAT_EQ(TheApp().Settings().ReadReal(imon::SenseResistorSettingName(0, c.monitor), -1), c.ohms);
    }

    // The range the dialog is given: Clear then OK is refused with both bounds.
    MonitorPageBench bench;
    bench.nested = [&](QDialog& d) {
        ButtonOf(d, "Clea&r")->click();
        ButtonOf(d, "&OK")->click();
        return int{kIdCancel};
    };
    bench.Open<CIMONCOMPDlg>(kTitle, [](CTovinPropertySheet&, CIMONCOMPDlg& page) {
        page.SenseResistorButton(0)->click();
        EXPECT_FLOAT_EQ(page.SenseResistance(0), 0.1f);
    });
    EXPECT_EQ(bench.t->ui.MessageTexts(), QStringList{"Must be a Resistance between  0.1 and 100.0 !"});
}

TEST(ImonPage, StoredSenseResistorsAreLoadedMendedAndKept)
{
    struct Case { const char* stored; float ohms; QString caption; };
    const std::vector<Case> cases = {
        {"0.005", 0.005f, " 5.0 mOhms"}, {nullptr, 0.1f, "100.0 mOhms"}, {"0", 0.1f, "100.0 mOhms"},
        {"-0.01", 0.1f, "100.0 mOhms"},  {"abc", 0.1f, "100.0 mOhms"},
    };
    for (const Case& c : cases) {
        MonitorPageBench bench([&](CMemorySettingsStore& s) {
            if (c.stored) s.Set("HMU0_IMON1_SenseResistor", SettingValue::Text(c.stored));
            s.Set("HMU2_IMON1_SenseResistor", SettingValue::Text("0.02"));  // HMU2 is not on the board
        });
        bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet&, CIMONCOMPDlg& page) {
            SCOPED_TRACE(c.stored ? c.stored : "missing");
            EXPECT_FLOAT_EQ(page.SenseResistance(1), c.ohms);
            EXPECT_EQ(page.SenseResistorButton(1)->text(), c.caption);
            const double amps = Amps(page.CurrentText(1));
            EXPECT_TRUE(std::isfinite(amps) && amps >= 0.0) << page.CurrentText(1).toStdString();
        });
        EXPECT_FLOAT_EQ(TheApp().Settings().ReadReal("HMU0_IMON1_SenseResistor", -1), c.ohms);
        EXPECT_EQ(bench.t->store->Get("HMU2_IMON1_SenseResistor")->text, "0.02");
    }
}

TEST(ImonPage, LateConversionOrRecordIsToldAndKeepsTheLastValues)
{
    MonitorPageBench bench(StoreBoardOhms);
    bench.board->SetSenseResistor(0, 0, kBoardOhms);
    bench.board->SetSenseCurrent(0, 0, 1.2);
    bench.Hmu(0).SetConfiguration(53, 0x60);  // A 10 mV, B 14 mV: A trips at 12 mV
    bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet&, CIMONCOMPDlg& page) {
        EXPECT_EQ(page.ComparatorText(0, 0), "1");
        const QString current = page.CurrentText(0);
        bench.board->SetSenseCurrent(0, 0, 0.1);  // nothing would trip now
        bench.Hmu(0).SetAdcReadyAfterPolls(4);
        bench.Hmu(0).SetRecordReadyAfterPolls(4);
        page.ReadButton()->click();
        // A result that never became ready is no reading: told, and the last one stays.
        EXPECT_EQ(bench.t->ui.messages.size(), 1u);
        EXPECT_EQ(page.CurrentText(0), current);
        EXPECT_EQ(page.ComparatorText(0, 0), "1");
        bench.Hmu(0).SetAdcReadyAfterPolls(3);
        bench.Hmu(0).SetRecordReadyAfterPolls(3);
        page.ReadButton()->click();
        EXPECT_EQ(bench.t->ui.messages.size(), 1u);
        EXPECT_EQ(page.ComparatorText(0, 0), "0");
        EXPECT_NE(page.CurrentText(0), current);
    });
}

TEST(ImonPage, DemoModeShowsThePortsRampsOnEightTabs)
{
    MonitorPageBench bench({}, true);
    bench.Open<CIMONCOMPDlg>(kTitle, [&](CTovinPropertySheet& sheet, CIMONCOMPDlg& page) {
        EXPECT_EQ(sheet.PageCount(), 8);
        // Demo registers hold their own numbers: Config1 0x35 and 0x37 (gain 50),
        // Config0 0x34 and 0x36 (glitch filter only); measurements ramp from 0.11 V.
        EXPECT_EQ(page.CurrentText(0), "0.022 Amps");
        EXPECT_EQ(page.CurrentText(1), "0.024 Amps");
        EXPECT_EQ(page.TripPointBox(0, 0)->currentText(), "0.150 Amps");
        EXPECT_EQ(page.TripPointBox(0, 1)->currentText(), "0.380 Amps");
        EXPECT_EQ(page.TripPointBox(1, 1)->currentText(), "1.900 Amps");
        EXPECT_TRUE(page.GlitchFilterBox(1)->isChecked());
        EXPECT_FALSE(page.WindowModeBox(1)->isChecked());
        EXPECT_EQ(page.ComparatorText(1, 0), "0");
        // A later visit shows the stored values again, not what was left in the box.
        page.TripPointBox(0, 0)->setCurrentIndex(0);
        sheet.SetCurrentPage(1);
        EXPECT_EQ(static_cast<CIMONCOMPDlg*>(sheet.Page(1))->CurrentText(0), "0.026 Amps");
        sheet.SetCurrentPage(0);
        EXPECT_EQ(page.TripPointBox(0, 0)->currentText(), "0.150 Amps");
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

}  // namespace
