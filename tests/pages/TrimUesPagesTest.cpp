// The trim cells window with its closed loop trim dialog, and the signature
// dialog, on the simulated board.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "util/TextFormat.h"
#include "pages/SNTRX_TrimDACs_Dlg.h"
#include "pages/SNTRX_Trim_DAC_Dlg.h"
#include "pages/UESDlg.h"
#include <QLabel>
#include "widgets/FloatEdit.h"
#include "tests/pages/ControlPageBench.h"

namespace {

const QString kTrimTitle = QStringLiteral("ZENT I2C Trim Cells");

// Opens the dialog of a trim cell from its button on the first page; body
// runs while the dialog is open and says how it ends.
void RunTrimDialog(ControlPageBench& bench, int cell, const std::function<int(CSNTRX_Trim_DAC_Dlg&)>& body)
{
    bool ran = false;
    bench.nested = [&](QDialog& dialog) {
        auto* trim = qobject_cast<CSNTRX_Trim_DAC_Dlg*>(&dialog);
        if (trim == nullptr) return int{kIdCancel};
        ran = true;
        return body(*trim);
    };
    bench.Open<CSNTRX_TrimDACs_Dlg>(&CTovinMainDlg::OnTrimCells, kTrimTitle,
                                    [&](CTovinPropertySheet&, CSNTRX_TrimDACs_Dlg& page) {
                                        page.CellButton(cell)->click();
                                    });
    EXPECT_TRUE(ran);
}

TEST(TrimCells, TheDialogShowsTheMeasuredInputAndTheProfile0Target)
{
    ControlPageBench bench;
    bench.board->SetVmon(0, 2, 1.5);
    bench.Hmu(0).SetConfiguration(trim::Profile0LowRegister(2), 0x26);
    bench.Hmu(0).SetConfiguration(trim::Profile0HighRegister(2), 0xF2);  // high nibble not part of the code
    RunTrimDialog(bench, 2, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Set Voltage HMU0 TrimCell #3");
        EXPECT_EQ(dialog.TargetField()->text(), "1.100");
        EXPECT_EQ(dialog.OutputVoltageText(), "1.500V");
        EXPECT_EQ(dialog.TargetField()->Maximum(), 8.19f);
        EXPECT_EQ(dialog.TargetField()->Minimum(), 0.0f);
        return int{kIdCancel};
    });
    EXPECT_EQ(bench.t->ui.modalTitles.back(), "Set Voltage HMU0 TrimCell #3");
}

TEST(TrimCells, WriteSendsTheTruncatedCodeWithTheCellsCommandAndOkSendsItBeforeClosing)
{
    const struct {
        int cell;
        const char* field;
        int code;
        const char* howEnded;  // "write", "ok", "cancel"
    } cases[] = {
        {0, "1.100", 550, "write"}, {0, "1.234", 616, "ok"},  {3, "8.19", 4094, "write"},
        {1, "3.3", 1649, "write"},  {2, "5", 2500, "ok"},     {0, "", 0, "write"},
        {0, "2.5", 0, "cancel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        ControlPageBench bench;
        std::string log;
        RunTrimDialog(bench, c.cell, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
            dialog.TargetField()->setText(QString::fromLatin1(c.field));
            bench.ClearLog();
            const std::string how = c.howEnded;
            if (how == "write") {
                dialog.WriteButton()->click();
                if (c.field[0] == '\0') {
                    EXPECT_EQ(dialog.TargetField()->text(), "0.000");
                }
            }
            if (how == "ok") dialog.OkButton()->click();
            log = bench.Log();
            return how == "cancel" ? int{kIdCancel} : int{kIdCancel + 100};
        });
        if (std::string(c.howEnded) == "cancel") {
            EXPECT_EQ(log, "");
            EXPECT_EQ(bench.Hmu(0).TrimTarget(c.cell), 0);
            continue;
        }
        // The command byte, the code low byte first, then two bytes read back.
        const std::string sent =
            FormatText("S C0 A %02X A %02X A %02X A P S C1 A ", 0x41 + c.cell, c.code & 0xFF, c.code >> 8);
        EXPECT_EQ(log.substr(0, sent.size()), sent);
        EXPECT_EQ(bench.Hmu(0).TrimTarget(c.cell), c.code);
    }
}

TEST(TrimCells, ReadShowsTheRailAtTheNewTargetOnceItsLoopHasSettled)
{
    ControlPageBench bench;
    RunTrimDialog(bench, 0, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
        const QString before = dialog.OutputVoltageText();
        dialog.TargetField()->setText(QStringLiteral("1.234"));
        dialog.WriteButton()->click();
        dialog.ReadButton()->click();
        EXPECT_EQ(dialog.TargetField()->text(), "1.232");
        EXPECT_EQ(dialog.OutputVoltageText(), before) << "the rail has not moved yet";
        bench.board->Advance(std::chrono::seconds(2));
        dialog.ReadButton()->click();
        EXPECT_EQ(dialog.OutputVoltageText(), "1.232V");
        EXPECT_EQ(dialog.TargetField()->text(), "1.232");
        return int{kIdCancel};
    });
}

TEST(TrimCells, ReadAndWriteAreDisabledWhileTheirHandlersRun)
{
    ControlPageBench bench;
    RunTrimDialog(bench, 0, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
        for (QPushButton* pressed : {dialog.ReadButton(), dialog.WriteButton()}) {
            std::vector<bool> enabled;
            auto seen = QObject::connect(&dialog, &CSNTRX_Trim_DAC_Dlg::SequenceRunning, [&] {
                enabled = {dialog.ReadButton()->isEnabled(), dialog.WriteButton()->isEnabled()};
            });
            pressed->click();
            QObject::disconnect(seen);
            EXPECT_EQ(enabled, (std::vector<bool>{false, false}));
            EXPECT_TRUE(dialog.ReadButton()->isEnabled() && dialog.WriteButton()->isEnabled());
        }
        return int{kIdCancel};
    });
}

// The signature dialog as the "UES" command opens it.
void RunUes(ControlPageBench& bench, const std::function<void(CUESDlg&)>& body)
{
    bool ran = false;
    bench.t->ui.onModal = [&](QDialog& dialog) {
        if (auto* ues = qobject_cast<CUESDlg*>(&dialog)) {
            ran = true;
            body(*ues);
        }
        return int{kIdCancel};
    };
    CTovinMainDlg window;
    window.OnUes();
    bench.t->ui.onModal = {};
    EXPECT_TRUE(ran);
}

// A silent device reads as a 0 V target that OK would send: Read and Write
// each say that the device did not answer.
TEST(TrimCells, ReadsAndWritesTheDeviceDidNotAnswerAreReported)
{
    for (const bool write : {false, true}) {
        SCOPED_TRACE(write ? "Write" : "Read");
        ControlPageBench bench;
        RunTrimDialog(bench, 0, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
            EXPECT_TRUE(bench.t->ui.messages.empty());
            bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
            (write ? dialog.WriteButton() : dialog.ReadButton())->click();
            return int{kIdCancel};
        });
        ASSERT_EQ(bench.t->ui.messages.size(), 1u);
        EXPECT_EQ(bench.t->ui.messages[0].text, "Check Cable Connection or Device Address");
        EXPECT_EQ(bench.t->ui.messages[0].title, "I2C Acknowledge Failure");
    }
}

// A read that fails leaves what was read before, or "---" before any read;
// a target neither read nor typed is not sent, by Write nor by OK.
TEST(TrimCells, AFailedReadKeepsTheLastValuesAndAnUnreadTargetIsNotSent)
{
    for (const bool readBefore : {true, false}) {
        SCOPED_TRACE(readBefore ? "read before" : "never read");
        ControlPageBench bench;
        const uint16_t target = bench.Hmu(0).TrimTarget(0);
        std::string error;
        if (!readBefore) {
            ASSERT_TRUE(bench.board->LoadText("hmu0.nack.command.0x33 = always\n", error)) << error;
        }
        RunTrimDialog(bench, 0, [&](CSNTRX_Trim_DAC_Dlg& dialog) {
            const QString output = dialog.OutputVoltageText();
            const QString field = dialog.TargetField()->text();
            if (readBefore) {
                EXPECT_TRUE(bench.t->ui.messages.empty());
                bench.Hmu(0).InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, 0x33);
                dialog.ReadButton()->click();
                EXPECT_EQ(dialog.OutputVoltageText(), output);
                EXPECT_EQ(dialog.TargetField()->text(), field);
                EXPECT_TRUE(dialog.WriteButton()->isEnabled());
            } else {
                EXPECT_EQ(output, "---");
                EXPECT_EQ(field, "");
                EXPECT_FALSE(dialog.WriteButton()->isEnabled());
                dialog.OnWrite();
            }
            EXPECT_EQ(bench.t->ui.messages.size(), 1u);
            return readBefore ? int{kIdCancel} : int{kIdOk};
        });
        EXPECT_EQ(bench.Hmu(0).TrimTarget(0), target) << "nothing sent";
        EXPECT_EQ(bench.t->ui.messages.size(), 1u);
    }
}

TEST(UesDialog, ASignatureNeverReadShowsAsUnread)
{
    ControlPageBench bench;
    bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
    RunUes(bench, [&](CUESDlg& dialog) { EXPECT_EQ(dialog.SignatureText(), "---"); });
    EXPECT_EQ(bench.t->ui.messages.size(), 1u);
}

TEST(UesDialog, ReadsOnOpeningAndSwitchesBaseWithoutReading)
{
    ControlPageBench bench;
    bench.Hmu(0).SetSignature(0x0123456789ABCDEFull);
    bench.t->driver->ClearEventLog();
    RunUes(bench, [&](CUESDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "ZENT I2C UES");
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("device"))->text(), "Device: HMU0 at 0xC0");
        EXPECT_TRUE(dialog.BaseButton(16)->isChecked());
        EXPECT_EQ(dialog.SignatureText(), "0x01 23 45 67 89 AB CD EF");
        EXPECT_NE(bench.Log().find("S C0 A 25 A 77 A"), std::string::npos);
        bench.ClearLog();
        dialog.BaseButton(10)->click();
        EXPECT_EQ(dialog.SignatureText(), "81,985,529,216,486,895");
        dialog.BaseButton(2)->click();
        EXPECT_EQ(dialog.SignatureText(),
                  " 0000 0001 0010 0011 0100 0101 0110 0111 1000 1001 1010 1011 1100 1101 1110 1111");
        EXPECT_TRUE(dialog.BaseButton(2)->isChecked());
        EXPECT_FALSE(dialog.BaseButton(16)->isChecked());
        EXPECT_EQ(bench.Log(), "") << "switching the base reads nothing";
        bench.Hmu(0).SetSignature(1000);
        dialog.BaseButton(10)->click();
        EXPECT_EQ(dialog.SignatureText(), "81,985,529,216,486,895");
        dialog.ReadButton()->click();
        EXPECT_EQ(dialog.SignatureText(), "1,000");
        EXPECT_EQ(dialog.findChild<QLineEdit*>()->text(), "1,000");
    });
    EXPECT_TRUE(bench.t->ui.messages.empty());
}

TEST(UesDialog, AFlaggedAcknowledgeFailureIsReportedOnceAfterTheValueIsShown)
{
    ControlPageBench bench;
    bench.Hmu(0).SetSignature(0x42);
    RunUes(bench, [&](CUESDlg& dialog) {
        bench.t->driver->InjectAddressNack(0xC0, 5);
        bench.t->Port().UpdateConfiguration();  // not acknowledged: flagged
        dialog.BaseButton(10)->click();
        EXPECT_EQ(bench.t->ui.messages.size(), 1u);
        dialog.ReadButton()->click();
        EXPECT_EQ(dialog.SignatureText(), "66");
    });
    ASSERT_EQ(bench.t->ui.messages.size(), 1u);
    EXPECT_EQ(bench.t->ui.messages[0].text, "Check Cable Connection or Device Address");
    EXPECT_EQ(bench.t->ui.messages[0].title, "I2C Acknowledge Failure");
}

TEST(UesDialog, ASignatureTheDeviceDidNotGiveIsReportedOnce)
{
    for (const bool flaggedBefore : {false, true}) {
        SCOPED_TRACE(flaggedBefore ? "an earlier failure flagged too" : "only the reads failed");
        ControlPageBench bench;
        bench.Hmu(0).SetSignature(0x42);
        RunUes(bench, [&](CUESDlg& dialog) {
            EXPECT_TRUE(bench.t->ui.messages.empty());
            bench.t->driver->InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
            if (flaggedBefore) bench.t->Port().UpdateConfiguration();
            dialog.ReadButton()->click();
            EXPECT_EQ(dialog.SignatureText(), "0x00 00 00 00 00 00 00 42") << "the last signature read stays";
            dialog.BaseButton(10)->click();  // nothing read, nothing more to tell
        });
        ASSERT_EQ(bench.t->ui.messages.size(), 1u);
        EXPECT_EQ(bench.t->ui.messages[0].text, "Check Cable Connection or Device Address");
        EXPECT_EQ(bench.t->ui.messages[0].title, "I2C Acknowledge Failure");
    }
}

}  // namespace
