// Every bus transaction of the control windows runs with the cable's enable
// line high: inside a cable lock. Each window is opened by its command and
// every button that talks to the device is pressed.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "pages/BoardMonitorDlg.h"
#include "pages/ViewAllDlg.h"
#include "pages/SNTRX_TrimDACs_Dlg.h"
#include "pages/SNTRX_Trim_DAC_Dlg.h"
#include "pages/TovinGPIODlg.h"
#include "pages/TovinHVOUTDlg.h"
#include "pages/UESDlg.h"
#include "tests/logging/VirtualTimer.h"
#include "tests/pages/ControlPageBench.h"
#include "widgets/FloatEdit.h"

namespace {

template <class Page>
std::function<void(ControlPageBench&)> Pages(void (CTovinMainDlg::*command)(), const char* title,
                                             std::function<void(Page&)> press)
{
    return [=](ControlPageBench& bench) {
        bench.Open<Page>(command, QString::fromLatin1(title),
                         [&](CTovinPropertySheet&, Page& page) { press(page); });
    };
}

TEST(ControlWindows, EveryTransactionRunsInsideACableLock)
{
    const struct {
        const char* name;
        std::function<void(ControlPageBench&)> run;
    } windows[] = {
        {"HVOUT", Pages<CTovinHVOUTDlg>(&CTovinMainDlg::OnHvout, "ZENT I2C HVOUT Status", [](CTovinHVOUTDlg& page) {
             page.Output(0).ocbSource->click();
             page.Output(0).signal->setCurrentIndex(1);
             page.WriteButton()->click();
             page.ReadButton()->click();
         })},
        {"GPIO", Pages<CTovinGPIODlg>(&CTovinMainDlg::OnGpio, "ZENT I2C Digital I/O", [](CTovinGPIODlg& page) {
             page.Pin(1).output->click();
             page.Pin(1).signal->setCurrentIndex(1);
             page.WriteButton()->click();
             page.ReadButton()->click();
         })},
        {"Trim Cells", [](ControlPageBench& bench) {
             bench.nested = [](QDialog& dialog) {
                 auto& trim = static_cast<CSNTRX_Trim_DAC_Dlg&>(dialog);
                 trim.TargetField()->setText(QStringLiteral("1.5"));
                 trim.WriteButton()->click();
                 trim.ReadButton()->click();
                 trim.OkButton()->click();
                 return int{kIdOk};
             };
             bench.Open<CSNTRX_TrimDACs_Dlg>(&CTovinMainDlg::OnTrimCells, QStringLiteral("ZENT I2C Trim Cells"),
                                             [](CTovinPropertySheet&, CSNTRX_TrimDACs_Dlg& page) {
                                                 page.CellButton(1)->click();
                                             });
         }},
        {"ALL I2C", Pages<CViewAllDlg>(&CTovinMainDlg::OnAllI2C, "ZENT I2C All I2C Registers", [](CViewAllDlg& page) {
             page.List()->setCurrentRow(40);
             for (const char* button : {"&Read", "&Write", "R&ead", "Wr&ite", "&Update Configuration"})
                 page.Button(QString::fromLatin1(button))->click();
         })},
        {"Board Monitor", [](ControlPageBench&) {
             CTovinMainDlg window;
             window.OnBoardMonitor();
             auto* monitor = qobject_cast<CBoardMonitorDlg*>(window.BoardMonitor());
             ASSERT_NE(monitor, nullptr);
             auto timer = std::make_unique<CVirtualTimer>();
             CVirtualTimer& clock = *timer;
             monitor->SetTimer(std::move(timer));
             clock.Advance(2000);
             monitor->ResetButton()->click();
             monitor->CopyButton()->click();
         }},
        {"UES", [](ControlPageBench& bench) {
             bench.t->ui.onModal = [](QDialog& dialog) {
                 auto& ues = static_cast<CUESDlg&>(dialog);
                 ues.ReadButton()->click();
                 ues.BaseButton(2)->click();
                 return int{kIdCancel};
             };
             CTovinMainDlg window;
             window.OnUes();
             EXPECT_EQ(bench.t->ui.modalTitles.back(), "ZENT I2C UES");
         }},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.name);
        ControlPageBench bench;
        bench.t->driver->ResetCounters();
        w.run(bench);
        const SimulatedDriverCounters counters = bench.t->driver->Counters();
        EXPECT_GT(counters.sclCycles, 300u) << "the window talked to the device";
        EXPECT_EQ(counters.transactionsWithEnableLow, 0u);
    }
}

}  // namespace
