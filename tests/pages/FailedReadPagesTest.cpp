// Every Read/Write page on the simulated board with transactions that fail:
// a read that fails is told once and leaves the controls as the last good
// read left them (or unread, before any), Write never puts values the device
// did not give into its registers, and a Write whose traffic fails is told at
// once.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "pages/IMONCOMPDlg.h"
#include "pages/TMONCOMPDlg.h"
#include "pages/TovinGPIODlg.h"
#include "pages/TovinHVOUTDlg.h"
#include "pages/VMONCOMPDlg.h"
#include "tests/pages/ControlPageBench.h"
#include "widgets/ToggleValueLabel.h"

namespace {

struct PageKind {
    const char* name;
    void (CTovinMainDlg::*command)();
    QString title;
    // The page's first read-out.
    std::function<QString(CReadWritePage&)> firstValue;
};

const std::vector<PageKind>& Kinds()
{
    static const std::vector<PageKind> kinds = {
        {"VMON", &CTovinMainDlg::OnVmon, QStringLiteral("ZENT I2C VMON Voltages, Comparator Status and Thresholds"),
         [](CReadWritePage& p) { return static_cast<CVMONCOMPDlg&>(p).VoltageText(0); }},
        {"IMON", &CTovinMainDlg::OnImon, QStringLiteral("ZENT I2C IMON Currents, Comparator Status and Thresholds"),
         [](CReadWritePage& p) { return static_cast<CIMONCOMPDlg&>(p).CurrentText(0); }},
        {"TMON", &CTovinMainDlg::OnTmon,
         QStringLiteral("ZENT I2C TMON Temperatures, Comparator Status and Thresholds"),
         [](CReadWritePage& p) { return static_cast<CTMONCOMPDlg&>(p).TemperatureText(0); }},
        {"HVOUT", &CTovinMainDlg::OnHvout, QStringLiteral("ZENT I2C HVOUT Status"),
         [](CReadWritePage& p) { return static_cast<CTovinHVOUTDlg&>(p).Output(0).value->text(); }},
        {"GPIO", &CTovinMainDlg::OnGpio, QStringLiteral("ZENT I2C Digital I/O"),
         [](CReadWritePage& p) { return static_cast<CTovinGPIODlg&>(p).Pin(0).value->text(); }},
    };
    return kinds;
}

// What the device holds: every configuration register, pending and active,
// and the output control block.
std::vector<int> Registers(CHmuDevice& hmu)
{
    std::vector<int> values;
    for (int r = 0; r <= 102; ++r) {
        values.push_back(hmu.PendingConfiguration(r));
        values.push_back(hmu.ActiveConfiguration(r));
    }
    values.push_back(hmu.MonitorRegister(0x70));
    return values;
}

// What the page's controls show: label texts, list selections, ticks.
QStringList Shown(const QWidget& page)
{
    QStringList shown;
    for (const QLabel* label : page.findChildren<QLabel*>()) shown << label->text();
    for (const QComboBox* box : page.findChildren<QComboBox*>()) shown << QString::number(box->currentIndex());
    for (const QAbstractButton* button : page.findChildren<QAbstractButton*>())
        if (button->isCheckable()) shown << QString::number(button->isChecked());
    return shown;
}

void ExpectOneAcknowledgeFailure(const TestApp& t, size_t before)
{
    ASSERT_EQ(t.ui.messages.size(), before + 1);
    EXPECT_EQ(t.ui.messages.back().text, "Check Cable Connection or Device Address");
    EXPECT_EQ(t.ui.messages.back().title, "I2C Acknowledge Failure");
}

// Configuration reads fail from the start: the page opens unread, says so,
// and Write neither is offered nor writes anything.
TEST(FailedReadPages, PageNeverReadShowsUnreadAndWritesNothing)
{
    for (const PageKind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        ControlPageBench bench;
        std::string error;
        // The GPIO pins inputs, HVOUT1 and 2 set up, as a board would have them.
        ASSERT_TRUE(bench.board->LoadText("hmu0.config.98 = 0x55\nhmu0.config.83 = 0x80\nhmu0.config.84 = 0xE5\n"
                                          "hmu0.nack.command.0x33 = always\n",
                                          error))
            << error;
        const std::vector<int> registers = Registers(bench.Hmu(0));
        bench.Open<CReadWritePage>(kind.command, kind.title, [&](CTovinPropertySheet&, CReadWritePage& page) {
            ExpectOneAcknowledgeFailure(*bench.t, 0);
            EXPECT_FALSE(page.HasRead());
            EXPECT_EQ(kind.firstValue(page), CReadWritePage::UnreadText());
            for (const QComboBox* box : page.findChildren<QComboBox*>()) {
                // The VMON detection lists (two entries) show the user's directions.
                EXPECT_TRUE(box->count() == 2 || box->currentIndex() == -1) << box->currentIndex();
            }
            EXPECT_FALSE(page.WriteButton()->isEnabled());
            page.OnWrite();  // even called directly it sends nothing
            page.ReadButton()->click();
            ExpectOneAcknowledgeFailure(*bench.t, 1);
            EXPECT_EQ(kind.firstValue(page), CReadWritePage::UnreadText());
            EXPECT_FALSE(page.WriteButton()->isEnabled());
        });
        EXPECT_EQ(Registers(bench.Hmu(0)), registers);
    }
}

// The device stops answering after a good read: Read says so once and the
// page keeps what it showed; Write, once the device is back, gives the device
// back the values it had, not zeros.
TEST(FailedReadPages, FailedReadKeepsTheLastGoodValuesAndWriteStoresThose)
{
    for (const PageKind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        ControlPageBench bench;
        std::string error;
        ASSERT_TRUE(bench.board->LoadText("hmu0.config.98 = 0x55\nhmu0.config.83 = 0x80\nhmu0.config.84 = 0xE5\n",
                                          error))
            << error;
        bench.Open<CReadWritePage>(kind.command, kind.title, [&](CTovinPropertySheet&, CReadWritePage& page) {
            ASSERT_TRUE(bench.t->ui.messages.empty());
            const QStringList good = Shown(page);
            const std::vector<int> registers = Registers(bench.Hmu(0));
            bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
            page.ReadButton()->click();
            ExpectOneAcknowledgeFailure(*bench.t, 0);
            EXPECT_EQ(Shown(page), good);
            EXPECT_NE(kind.firstValue(page), CReadWritePage::UnreadText());
            bench.t->driver->InjectAddressNack(0xC0, 0);
            ASSERT_TRUE(page.WriteButton()->isEnabled());
            page.WriteButton()->click();
            EXPECT_EQ(bench.t->ui.messages.size(), 1u);
            EXPECT_EQ(Registers(bench.Hmu(0)), registers);
        });
    }
}

// The update command is not acknowledged: Write tells at once, once, and the
// next good Read tells nothing more.
TEST(FailedReadPages, FailedUpdateIsToldByWriteAtOnce)
{
    for (const PageKind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        ControlPageBench bench;
        bench.Open<CReadWritePage>(kind.command, kind.title, [&](CTovinPropertySheet&, CReadWritePage& page) {
            bench.Hmu(0).InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, 0x35);
            page.WriteButton()->click();
            ExpectOneAcknowledgeFailure(*bench.t, 0);
            bench.Hmu(0).InjectFault(HmuFault::CommandNack, 0, 0x35);
            page.ReadButton()->click();
            EXPECT_EQ(bench.t->ui.messages.size(), 1u);
        });
    }
}

}  // namespace
