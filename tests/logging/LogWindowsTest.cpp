// The data logging windows as the main window's commands open them, on the
// simulated board: the channel selection and the status window running the
// logging timer on virtual time.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "app/TovinMainDlg.h"
#include "ui/TovinPropertySheet.h"
#include "pages/TovinDataLog.h"
#include "logview/TovinLogStatus.h"
#include "link/CableLock.h"
#include "pages/VMONCOMPDlg.h"
#include "sim/SimulatedBoard.h"
#include "tests/app/TestApp.h"
#include "tests/logging/FileSizeLimit.h"
#include "tests/logging/LogTestSupport.h"
#include "tests/logging/VirtualTimer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

using logsel::Channel;
using logsel::Group;

// HMU0 (with GPIO7) and HMU1 (without) of the demonstration board: a record
// of every channel has 29 and 28 value lines.
constexpr size_t kFullRecordLines = 1 + 29 + 1 + 28;

struct LogWindows : ::testing::Test {
    std::unique_ptr<CSimulatedBoard> board = CSimulatedBoard::CreateDefault();
    std::unique_ptr<TestApp> t;
    std::filesystem::path path;
    CVirtualTimer* clock = nullptr;  // owned by the status window

    void SetUp() override
    {
        t = std::make_unique<TestApp>(board->Driver(),
                                      [](CMemorySettingsStore& s) { s.Set("Demo Mode", SettingValue::Number(0)); });
        path = LogTestFolder() / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log");
        std::filesystem::remove(path);
        t->app->Remembered().logFileName = QString::fromStdString(path.string());
    }

    // "&Start Data Logging..." as the user gives it, on virtual time.
    CTovinLogStatus* OpenStatus()
    {
        CTovinMainDlg window;
        window.OnStartDataLogging();
        auto* status = qobject_cast<CTovinLogStatus*>(t->app->LogStatusWindow());
        if (status == nullptr) return nullptr;
        auto timer = std::make_unique<CVirtualTimer>();
        clock = timer.get();
        status->SetTimer(std::move(timer));
        return status;
    }

    void Start(CTovinLogStatus& status, const QString& delay, const QString& total)
    {
        status.DelayField()->setText(delay);
        status.TotalField()->setText(total);
        status.StartButton()->click();
    }

    static bool Idle(const CTovinLogStatus& status)
    {
        return status.StartButton()->isEnabled() && status.BrowseButton()->isEnabled() &&
               status.DelayField()->isEnabled() && status.TotalField()->isEnabled() && !status.StopButton()->isEnabled();
    }
    static bool Logging(const CTovinLogStatus& status)
    {
        return !status.StartButton()->isEnabled() && !status.BrowseButton()->isEnabled() &&
               !status.DelayField()->isEnabled() && !status.TotalField()->isEnabled() && status.StopButton()->isEnabled();
    }

    std::map<int, std::vector<std::string>> Records() const { return RecordLines(FileText(path)); }
};

TEST_F(LogWindows, FullRunOfThreeRecordsOnTheTimer)
{
    CTovinLogStatus* status = OpenStatus();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(Idle(*status));
    EXPECT_EQ(status->DelayField()->text(), "1");
    EXPECT_EQ(status->TotalField()->text(), "0");
    EXPECT_EQ(status->StatusText(), "");
    std::vector<int> seen;
    QObject::connect(status, &CTovinLogStatus::RecordWritten, [&](const LogRecord& r) { seen.push_back(r.number); });

    Start(*status, "1", "3");
    // The first record at once, the others on the timer.
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_EQ(status->StatusText(), "Reading Record 1 of 3");
    EXPECT_TRUE(Logging(*status));
    EXPECT_EQ(clock->Period(), 1000);
    clock->Advance(999);
    EXPECT_EQ(Records().size(), 1u);
    clock->Advance(1);
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(status->StatusText(), "Reading Record 2 of 3");
    clock->Advance(1000);
    EXPECT_EQ(status->StatusText(), "Log successfully saved");
    EXPECT_TRUE(Idle(*status));
    EXPECT_FALSE(clock->IsActive());
    clock->Advance(5000);

    const std::string text = FileText(path);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Norvane Semiconductor Sentrix II I2C Utility version: 1.0.17.297");
    EXPECT_EQ(lines[4], "Logging interval: 1 sec, Total logs: 3 (0 - unlimited)");
    EXPECT_EQ(lines[6], "");
    const auto records = RecordLines(text);
    ASSERT_EQ(records.size(), 3u);
    for (const auto& [number, recordLines] : records) EXPECT_EQ(recordLines.size(), kFullRecordLines) << number;
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, 0u) << "every access inside a cable lock";
}

TEST_F(LogWindows, SingleRecordNeedsNoTimer)
{
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "5", "1");
    EXPECT_EQ(status->StatusText(), "Log successfully saved");
    EXPECT_TRUE(Idle(*status));
    EXPECT_EQ(clock->Starts(), 0);
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(LogWindows, StopKeepsEveryRecordAndTheWindowStartsAgainAfresh)
{
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "2", "0");
    clock->Advance(4000);
    EXPECT_EQ(status->StatusText(), "Reading Record 3");
    status->StopButton()->click();
    EXPECT_EQ(status->StatusText(), "Logging was stopped");
    EXPECT_TRUE(Idle(*status));
    clock->Advance(10000);
    const auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    for (const auto& [number, recordLines] : records) EXPECT_EQ(recordLines.size(), kFullRecordLines) << number;

    // The same window, another run: the file starts again.
    Start(*status, "2", "0");
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_EQ(status->StatusText(), "Reading Record 1");
    status->StopButton()->click();
}

// On the window's own timer a record is read in steps, the event loop turning
// between them: at least once per answering device, with the other windows'
// traffic in between, and Stop taking effect at the next turn.
TEST_F(LogWindows, RecordLetsTheEventLoopTurnBetweenDevices)
{
    for (int d = 2; d < logsel::kDevices; ++d) board->AddHmu(d);
    CTovinMainDlg window;
    window.OnStartDataLogging();
    auto* status = qobject_cast<CTovinLogStatus*>(t->app->LogStatusWindow());
    ASSERT_NE(status, nullptr);
    constexpr int kPageDevice = 5;
    struct Case {
        const char* name;
        int stopAtTurn;  // 0: let the record complete
    } cases[] = {{"complete", 0}, {"stopped", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t->Port().SetHmuIndex(kPageDevice);
        int turns = 0, pageProbes = 0, written = 0;
        bool wrongDevice = false;
        uint64_t writesAtStop = 0;
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!status->IsLogging() || written > 0) return;
            ++turns;
            // An open page's own traffic, between two steps of the record.
            wrongDevice |= t->Port().GetHmuIndex() != kPageDevice;
            {
                CCableLock lock;
                pageProbes += t->Port().ProbeHmu(kPageDevice) ? 1 : 0;
            }
            if (turns == c.stopAtTurn) {
                status->StopButton()->click();
                writesAtStop = board->Driver()->Counters().writeCalls;
            }
        });
        const QMetaObject::Connection seen =
            QObject::connect(status, &CTovinLogStatus::RecordWritten, [&](const LogRecord&) { ++written; });
        Start(*status, "1", "1");
        probe.start();
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*status), 20000);
        QObject::disconnect(seen);
        EXPECT_FALSE(wrongDevice) << "the page's device is current between steps";
        EXPECT_EQ(pageProbes, turns);
        if (c.stopAtTurn == 0) {
            EXPECT_EQ(written, 1);
            // A step never goes on to the next device: a turn between any two.
            EXPECT_GE(turns, logsel::kDevices - 1);
            const auto records = Records();
            ASSERT_EQ(records.size(), 1u);
            // A block line per device; HMU0 alone has GPIO7.
            EXPECT_EQ(records.begin()->second.size(), static_cast<size_t>(logsel::kDevices) + 29 + 28 * 7);
            EXPECT_EQ(status->StatusText(), "Log successfully saved");
        } else {
            EXPECT_EQ(written, 0);
            EXPECT_EQ(turns, c.stopAtTurn);
            EXPECT_EQ(status->StatusText(), "Logging was stopped");
            for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
            EXPECT_EQ(board->Driver()->Counters().writeCalls, writesAtStop) << "no bus access after Stop";
            EXPECT_TRUE(Records().empty()) << "a record cut short is not written";
        }
    }
    EXPECT_EQ(board->Driver()->Counters().transactionsWithEnableLow, 0u) << "every access inside a cable lock";
}

// A record that outlasts the interval: the tick that came meanwhile starts
// the next record as soon as it is written, and the status line says so.
TEST_F(LogWindows, RecordLongerThanTheIntervalDelaysTheNextAndSaysSo)
{
    // Virtual time whose deferred steps wait until the test runs them.
    struct CSteppedTimer : CVirtualTimer {
        std::vector<std::function<void()>> waiting;
        void Defer(std::function<void()> work) override { waiting.push_back(std::move(work)); }
        void RunSteps()
        {
            while (!waiting.empty()) {
                auto work = std::move(waiting.front());
                waiting.erase(waiting.begin());
                work();
            }
        }
    };
    CTovinLogStatus* status = OpenStatus();
    auto timer = std::make_unique<CSteppedTimer>();
    CSteppedTimer* stepped = timer.get();
    status->SetTimer(std::move(timer));
    Start(*status, "1", "3");
    EXPECT_EQ(status->StatusText(), "Reading Record 1 of 3");
    stepped->Advance(2500);  // two ticks while record 1 is being read: one late record, not two
    EXPECT_TRUE(Records().empty());
    stepped->RunSteps();
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(status->StatusText(), "Reading Record 2 of 3 late: record 1 took longer than the 1 s interval");
    stepped->Advance(500);
    stepped->RunSteps();
    EXPECT_EQ(Records().size(), 3u);
    EXPECT_EQ(status->StatusText(), "Log successfully saved");
}

#ifndef _WIN32
TEST_F(LogWindows, WriteErrorStopsTheRunWithTheSystemsTextAndKeepsTheRecordsBefore)
{
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "1", "0");
    clock->Advance(1000);
    const std::string before = FileText(path);
    {
        CFileSizeLimit full(before.size() + 100);
        clock->Advance(1000);
    }
    EXPECT_EQ(status->StatusText(), QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_TRUE(Idle(*status));
    EXPECT_FALSE(clock->IsActive());
    EXPECT_FALSE(status->IsLogging());
    EXPECT_TRUE(t->ui.messages.empty()) << "told on the status line, not in a box";
    const std::string after = FileText(path);
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(RecordLines(before).size(), 2u);
}
#endif

TEST_F(LogWindows, FileThatCannotBeOpenedIsReportedAndNothingStarts)
{
    t->app->Remembered().logFileName = QString::fromStdString((LogTestFolder() / "missing folder" / "a.log").string());
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "1", "0");
    ASSERT_EQ(t->ui.messages.size(), 1u);
    EXPECT_EQ(t->ui.messages[0].text, QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(t->ui.messages[0].title, "Error opening file");
    EXPECT_EQ(t->ui.messages[0].icon, CUserInteraction::Icon::Error);
    EXPECT_TRUE(Idle(*status));
    EXPECT_EQ(clock->Starts(), 0);
    EXPECT_EQ(status->StatusText(), "");
}

// Readings that fail are named as they happen and in the end.
TEST_F(LogWindows, FailedReadingsAreNamedInTheStatusLine)
{
    CTovinLogStatus* status = OpenStatus();
    board->Hmu(0)->InjectFault(HmuFault::ConversionNeverReady, CHmuDevice::kAlways);
    Start(*status, "1", "2");
    const QString first = status->StatusText();
    EXPECT_TRUE(first.startsWith("Record 1: failed readings left out: HMU0 ")) << first.toStdString();
    EXPECT_FALSE(first.contains("HMU1")) << first.toStdString();
    clock->Advance(1000);
    const QString end = status->StatusText();
    EXPECT_TRUE(end.startsWith("Log successfully saved; ")) << end.toStdString();
    EXPECT_TRUE(end.contains("HMU0 ")) << end.toStdString();
    EXPECT_TRUE(Idle(*status));
}

#ifndef _WIN32
// A FIFO nobody reads is refused at once rather than holding the window,
// and one whose reader stops reading ends the run rather than freezing it.
TEST_F(LogWindows, AFifoThatIsNotReadNeverHoldsTheWindow)
{
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "1", "0");
    ASSERT_EQ(t->ui.messages.size(), 1u);
    EXPECT_TRUE(t->ui.messages[0].text.contains("FIFO")) << t->ui.messages[0].text.toStdString();
    EXPECT_EQ(t->ui.messages[0].title, "Error opening file");
    EXPECT_TRUE(Idle(*status));
    EXPECT_EQ(clock->Starts(), 0);

    // A reader that opens and never reads: its one-page pipe fills in a few records.
    const int readEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0) << std::strerror(errno);
    ::fcntl(readEnd, F_SETPIPE_SZ, 4096);
    Start(*status, "1", "0");
    EXPECT_TRUE(Logging(*status));
    for (int s = 0; s < 20 && status->IsLogging(); ++s) clock->Advance(1000);
    EXPECT_TRUE(Idle(*status));
    EXPECT_TRUE(status->StatusText().contains("stopped reading")) << status->StatusText().toStdString();
    EXPECT_EQ(t->ui.messages.size(), 1u);
    ::close(readEnd);
    std::filesystem::remove(path);
}
#endif

TEST_F(LogWindows, NumberFieldsAreBroughtIntoRangeWhenTheyLoseFocus)
{
    CTovinLogStatus* status = OpenStatus();
    struct Case {
        QLineEdit* field;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {status->DelayField(), "0", "1"},       {status->DelayField(), "", "1"},
        {status->DelayField(), "181", "180"},   {status->DelayField(), "999999999", "180"},
        {status->DelayField(), "042", "042"},   {status->DelayField(), "180", "180"},
        {status->TotalField(), "2000", "1000"}, {status->TotalField(), "0", "0"},
        {status->TotalField(), "", ""},         {status->TotalField(), "1000", "1000"},
    };
    for (const Case& c : cases) {
        c.field->setText(QString::fromLatin1(c.typed));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(c.field, &out);
        EXPECT_EQ(c.field->text(), c.shown) << c.typed;
    }
    // Started from the keyboard, the fields never lost the focus: the run
    // still takes the values into range.
    Start(*status, "0", "5000");
    EXPECT_EQ(clock->Period(), 1000);
    EXPECT_EQ(status->Delay(), 1);
    EXPECT_EQ(status->TotalRecords(), 1000);
    EXPECT_EQ(status->DelayField()->text(), "1");
    status->StopButton()->click();
}

TEST_F(LogWindows, CancelClosesTheFileWithItsRecordsAndTheWindow)
{
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        QPointer<CTovinLogStatus> status = OpenStatus();
        Start(*status, "3", "0");
        clock->Advance(3000);
        if (escape)
            QTest::keyClick(status.data(), Qt::Key_Escape);
        else
            status->CancelButton()->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(status.isNull()) << "the window is destroyed";
        EXPECT_EQ(t->app->LogStatusWindow(), nullptr);
        EXPECT_EQ(Records().size(), 2u);
    }
    // A fresh window has the first values again.
    CTovinLogStatus* fresh = OpenStatus();
    EXPECT_EQ(fresh->DelayField()->text(), "1");
    EXPECT_EQ(fresh->TotalField()->text(), "0");
}

TEST_F(LogWindows, EnterStartsNothing)
{
    CTovinLogStatus* status = OpenStatus();
    QTest::keyClick(status->StartButton(), Qt::Key_Return);
    QTest::keyClick(status, Qt::Key_Return);
    QTest::keyClick(status->DelayField(), Qt::Key_Enter);
    EXPECT_TRUE(status->isVisible());
    EXPECT_FALSE(status->IsLogging());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(LogWindows, ProgramEndClosesTheFileWithEveryRecord)
{
    QPointer<CTovinLogStatus> status = OpenStatus();
    Start(*status, "1", "0");
    clock->Advance(2000);
    t->app->Shutdown();
    EXPECT_TRUE(status.isNull());
    const auto records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.at(3).size(), kFullRecordLines);
}

TEST_F(LogWindows, RecordWhileAPageWindowIsOpenLeavesThePagesDeviceSelected)
{
    CTovinLogStatus* status = OpenStatus();
    Start(*status, "1", "0");
    int portDevice = -1;
    t->ui.onModal = [&](QDialog& dialog) {
        auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
        if (sheet == nullptr) return int{kIdCancel};
        sheet->SetCurrentPage(1);  // HMU1 in front
        clock->Advance(1000);      // a record of HMU0 and HMU1
        portDevice = t->Port().GetHmuIndex();
        return int{kIdOk};
    };
    CTovinMainDlg window;
    window.OnVmon();
    EXPECT_EQ(portDevice, 1);
    EXPECT_EQ(Records().size(), 2u);
    status->StopButton()->click();
}

TEST_F(LogWindows, BrowseChoosesTheFileForTheNextRun)
{
    CTovinLogStatus* status = OpenStatus();
    const std::filesystem::path chosen = LogTestFolder() / "chosen.log";
    std::filesystem::remove(chosen);
    t->ui.saveAnswers = {QString::fromStdString(chosen.string()), QString()};
    status->BrowseButton()->click();
    EXPECT_EQ(t->app->Remembered().logFileName, QString::fromStdString(chosen.string()));
    EXPECT_TRUE(status->PathText().endsWith(QStringLiteral("chosen.log"))) << status->PathText().toStdString();
    status->BrowseButton()->click();  // cancelled: nothing changes
    EXPECT_EQ(t->app->Remembered().logFileName, QString::fromStdString(chosen.string()));
    Start(*status, "1", "1");
    EXPECT_EQ(RecordLines(FileText(chosen)).size(), 1u);
}

// The selection window: one page per answering device; OK stores the boxes
// of the pages that were shown, Cancel nothing.
TEST_F(LogWindows, SelectionPagesShowAndStoreEachDevicesChannels)
{
    board->AddHmu(3)->SetIdentification(0x8A);
    auto& selection = t->app->Remembered().logSettings;
    selection.fill(1);
    selection[logsel::Index(0, Channel(Group::Vmon, 2))] = 0;
    const logsel::LogSelection before = selection;

    struct Step {
        int tab;
        std::function<void(CTovinDataLog&)> act;
        int answer;
    };
    const auto run = [&](const Step& step) {
        QStringList tabs;
        t->ui.onModal = [&](QDialog& dialog) {
            auto* sheet = qobject_cast<CTovinPropertySheet*>(&dialog);
            if (sheet == nullptr) return int{kIdCancel};
            EXPECT_FALSE(sheet->IsCloseOnly());
            for (int i = 0; i < sheet->Tabs()->count(); ++i) tabs << sheet->Tabs()->tabText(i);
            sheet->SetCurrentPage(step.tab);
            step.act(*qobject_cast<CTovinDataLog*>(sheet->Page(step.tab)));
            return step.answer;
        };
        CTovinMainDlg window;
        window.OnDataLoggingSelection();
        EXPECT_EQ(t->ui.modalTitles.back(), "Data Logging");
        EXPECT_EQ(tabs, (QStringList{"HMU0", "HMU1", "HMU3"}));
    };

    // HMU0 shows its flags; Clear All, one box, OK: only HMU0's flags change.
    run({0,
         [](CTovinDataLog& page) {
             for (int c = 0; c < logsel::kChannels; ++c)
                 EXPECT_EQ(page.Box(c)->isChecked(), c != Channel(Group::Vmon, 2)) << c;
             EXPECT_TRUE(page.Box(logsel::kGpio7Channel)->isEnabled());
             page.OnClearAll();
             page.Box(Channel(Group::Tmon, 3))->setChecked(true);
         },
         kIdOk});
    for (int c = 0; c < logsel::kChannels; ++c)
        EXPECT_EQ(selection[logsel::Index(0, c)], c == Channel(Group::Tmon, 3) ? 1 : 0) << c;
    for (int i = logsel::kChannels; i < logsel::kSize; ++i) EXPECT_EQ(selection[i], before[i]) << i;

    // HMU1 has no GPIO7: disabled and clear, also after Select All. Cancel keeps everything.
    const logsel::LogSelection afterFirst = selection;
    run({1,
         [](CTovinDataLog& page) {
             EXPECT_EQ(page.Identification(), 0x88);
             EXPECT_FALSE(page.Box(logsel::kGpio7Channel)->isEnabled());
             EXPECT_FALSE(page.Box(logsel::kGpio7Channel)->isChecked());
             page.OnClearAll();
             page.OnSelectAll();
             EXPECT_FALSE(page.Box(logsel::kGpio7Channel)->isChecked());
             EXPECT_TRUE(page.Box(logsel::kGpio7Channel - 1)->isChecked());
         },
         kIdCancel});
    EXPECT_EQ(selection, afterFirst);

    // OK on HMU1 stores GPIO7 as not logged.
    run({1, [](CTovinDataLog& page) { page.OnSelectAll(); }, kIdOk});
    for (int c = 0; c < logsel::kChannels; ++c)
        EXPECT_EQ(selection[logsel::Index(1, c)], c == logsel::kGpio7Channel ? 0 : 1) << c;
}

}  // namespace
