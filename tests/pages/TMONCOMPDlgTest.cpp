// The temperature monitor window on the simulated board: what it reads and
// shows, what Write sends (with the bits it does not own kept) and demo mode.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "pages/TMONCOMPDlg.h"
#include "util/TextFormat.h"
#include "tests/pages/MonitorPageBench.h"

namespace {

const QString kTitle = QStringLiteral("ZENT I2C TMON Temperatures, Comparator Status and Thresholds");
const QString kDeg = QStringLiteral(" \u00B0C");

struct Monitor { double celsius; uint8_t r3, r4, r5; QString text, boxA, boxB, compA, compB; };
// R3 bit 0 and R5 bits 7..3 are set where the page must carry them over.
const std::vector<Monitor> kMonitors = {
    {25.0, 0x51, 0x06, 0xF9, "25.00", "0", "9", "0", "1"},  // A = 162 is out of range: shown as 0
    {-0.25, 0xFE, 0xE3, 0x00, "-0.25", "-1", "-64", "1", "1"},
    {41.5, 0x14, 0x15, 0x02, "41.50", "41", "42", "1", "0"},
};

void SetUpBoard(MonitorPageBench& bench)
{
    for (int t = 0; t < 3; ++t) {
        const Monitor& m = kMonitors[t];
        bench.board->SetTemperature(0, t, m.celsius);
        bench.Hmu(0).SetConfiguration(tmon::Config3Register(t), m.r3);
        bench.Hmu(0).SetConfiguration(tmon::Config4Register(t), m.r4);
        bench.Hmu(0).SetConfiguration(tmon::Config5Register(t), m.r5);
    }
}

TEST(TmonPage, ShowsTheBoardsTemperaturesComparatorsAndThresholds)
{
    MonitorPageBench bench;
    SetUpBoard(bench);
    bench.Open<CTMONCOMPDlg>(kTitle, [&](CTovinPropertySheet& sheet, CTMONCOMPDlg& page) {
        EXPECT_EQ(sheet.windowTitle(), kTitle);
        for (int t = 0; t < 3; ++t) {
            const Monitor& m = kMonitors[t];
            SCOPED_TRACE(t);
            EXPECT_EQ(page.TemperatureText(t), m.text + kDeg);
            EXPECT_EQ(page.ThresholdBox(2 * t)->currentText(), m.boxA + kDeg);
            EXPECT_EQ(page.ThresholdBox(2 * t + 1)->currentText(), m.boxB + kDeg);
            EXPECT_EQ(page.ComparatorText(2 * t), m.compA);
            EXPECT_EQ(page.ComparatorText(2 * t + 1), m.compB);
        }
        EXPECT_EQ(page.ThresholdBox(0)->count(), 220);
        EXPECT_TRUE(page.ReadButton()->isEnabled());
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(TmonPage, WriteKeepsTheBitsItDoesNotOwnAndUpdatesOnce)
{
    struct Case { QString thresholdA; std::vector<int> tmon1; QString compAAfterRead; };
    const std::vector<Case> cases = {
        {"-64", {0xE1, 0x04, 0xF9}, "1"},  // code 448; R3 bit 0 and R5 bits 7..3 kept
        {"", {0x01, 0x04, 0xF9}, "1"},     // left at 0 (code 162 out of range): writes 0
        {"25", {0x0D, 0x05, 0xF9}, "0"},   // code 25: not above it
    };
    for (const Case& c : cases) {
        MonitorPageBench bench;
        SetUpBoard(bench);
        bench.Open<CTMONCOMPDlg>(kTitle, [&](CTovinPropertySheet&, CTMONCOMPDlg& page) {
            if (!c.thresholdA.isEmpty()) {
                const int entry = page.ThresholdBox(0)->findText(c.thresholdA + kDeg);
                ASSERT_GE(entry, 0);
                page.ThresholdBox(0)->setCurrentIndex(entry);
            }
            bench.t->driver->ClearEventLog();
            page.WriteButton()->click();
            // R3, R4, R5 of each monitor, the others as they were read, then one update; nothing read.
            std::string expected;
            for (int t = 0; t < 3; ++t) {
                const int read[3] = {kMonitors[t].r3, kMonitors[t].r4, kMonitors[t].r5};
                for (int r = 0; r < 3; ++r)
                    expected += FormatText("S C0 A 31 A %02X A %02X A P ", tmon::Config3Register(t) + r,
                                           t == 0 ? c.tmon1[r] : read[r]);
            }
            EXPECT_EQ(bench.t->driver->EventLog(), expected + "S C0 A 35 A P");
            // Writing again keeps the same bits: the kept copies now hold what was written.
            bench.t->driver->ClearEventLog();
            page.WriteButton()->click();
            EXPECT_EQ(bench.t->driver->EventLog(), expected + "S C0 A 35 A P");

            page.ReadButton()->click();
            EXPECT_EQ(page.ComparatorText(0), c.compAAfterRead);
            EXPECT_EQ(page.ThresholdBox(0)->currentText(), (c.thresholdA.isEmpty() ? "0" : c.thresholdA) + kDeg);
        });
    }
}

TEST(TmonPage, DemoModeShowsThePortsRampOnEightTabs)
{
    MonitorPageBench bench({}, true);
    bench.Open<CTMONCOMPDlg>(kTitle, [&](CTovinPropertySheet& sheet, CTMONCOMPDlg& page) {
        EXPECT_EQ(sheet.PageCount(), 8);
        const QStringList temperatures = {"-4.75", "-4.50", "-4.25"};
        // Demo registers hold their own numbers: 59..61 give 116 and 125, 68..70
        // give 137 and 142, 77..79 give 154 and 159 (out of range: 0).
        const QStringList thresholds = {"116", "125", "137", "142", "154", "0"};
        for (int t = 0; t < 3; ++t) EXPECT_EQ(page.TemperatureText(t), temperatures[t] + kDeg);
        for (int j = 0; j < 6; ++j) {
            EXPECT_EQ(page.ThresholdBox(j)->currentText(), thresholds[j] + kDeg);
            EXPECT_EQ(page.ComparatorText(j), "1");
        }
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

}  // namespace
