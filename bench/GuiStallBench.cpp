// How long the desktop program's window goes without handling its events
// while it logs: the data logging window runs 20 records of 8 devices on the
// simulated cable with a modelled USB round trip per read, while a 5 ms timer
// probes the event loop. The longest gap between two probes, less the 5 ms,
// is the longest stall a user would feel; printed per round trip, without and
// with the live Trend window open. Then the same for the board
// configuration commands of the File menu: Save Configuration... and Load
// Configuration... of all 8 devices (712 registers), with a file that
// differs in one register of each device.
//
//   zent2-gui-stall-bench [RECORDS]    (default 20; offscreen unless QT_QPA_PLATFORM says otherwise)

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QDialog>
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/TovinAppContext.h"
#include "pages/BoardConfigDlg.h"
#include "ui/UserInteraction.h"
#include "logview/QtIntervalTimer.h"
#include "logview/TovinLogStatus.h"
#include "settings/MemorySettingsStore.h"
#include "sim/SimulatedBoard.h"

namespace {

constexpr int kProbeMs = 5;

struct Run {
    double longestStallMs = 0;
    double medianGapMs = 0;
    double perRecordMs = 0;
    int written = 0;
};

Run LogWithProbe(CTovinAppContext& app, int records, bool trend)
{
    auto* status = new CTovinLogStatus(app);
    // The window's own timer, with the records following each other at once
    // instead of a second apart: the stalls are the same, the run shorter.
    status->SetTimer(std::make_unique<CQtIntervalTimer>(1));
    status->show();
    if (trend) status->OpenTrend();
    status->DelayField()->setText(QStringLiteral("1"));
    status->TotalField()->setText(QString::number(records));

    std::vector<double> gaps;
    QElapsedTimer since;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        gaps.push_back(static_cast<double>(since.nsecsElapsed()) / 1e6);
        since.restart();
    });
    QElapsedTimer whole;
    whole.start();
    since.start();
    probe.start(kProbeMs);
    status->StartLogging();
    while (status->IsLogging()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    probe.stop();

    Run run;
    run.written = status->RecordsWritten();
    run.perRecordMs = static_cast<double>(whole.elapsed()) / std::max(1, run.written);
    if (!gaps.empty()) {
        run.longestStallMs = std::max(0.0, *std::max_element(gaps.begin(), gaps.end()) - kProbeMs);
        std::sort(gaps.begin(), gaps.end());
        run.medianGapMs = gaps[gaps.size() / 2];
    }
    status->CancelLogging();
    delete status;
    return run;
}

// Answers every file dialog with one path and every question with OK.
class CAnswering : public CUserInteraction {
public:
    explicit CAnswering(QString path) : m_path(std::move(path)) {}
    int MessageBox(QWidget*, const Message&) override { return kIdOk; }
    int RunModal(QDialog&) override { return kIdOk; }
    QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_path; }
    QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_path; }

private:
    QString m_path;
};

// The longest gap between two probes, less the probe's period, while `command` runs.
double LongestStallMs(const std::function<void()>& command)
{
    double longest = 0;
    QElapsedTimer since;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, static_cast<double>(since.nsecsElapsed()) / 1e6);
        since.restart();
    });
    since.start();
    probe.start(kProbeMs);
    command();
    longest = std::max(longest, static_cast<double>(since.nsecsElapsed()) / 1e6);
    return std::max(0.0, longest - kProbeMs);
}

void ConfigurationStalls(CTovinAppContext& app, CSimulatedBoard& board)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zent2-gui-stall-bench.cfg";
    CAnswering answering(QString::fromStdString(file.string()));
    CUserInteraction* previous = SetUserInteraction(&answering);
    std::printf("Board configurations, 8 devices, the event loop probed every %d ms:\n", kProbeMs);
    for (const int roundTripUs : {0, 125, 250, 1000}) {
        board.Driver()->SetRoundTrip(std::chrono::microseconds(roundTripUs));
        QElapsedTimer whole;
        whole.start();
        const double save = LongestStallMs([&] { SaveBoardConfiguration(nullptr, app); });
        const double saveMs = static_cast<double>(whole.restart());
        for (int d = 0; d < CSimulatedBoard::kMaxHmus; ++d) board.Hmu(d)->SetConfiguration(22, 0x5A);  // VMON1 Config0
        const double load = LongestStallMs([&] { LoadBoardConfiguration(nullptr, app); });
        std::printf("round trip %d us: save %.0f ms, longest UI stall %.1f ms; load %.0f ms, longest UI stall %.1f "
                    "ms\n",
                    roundTripUs, saveMs, save, static_cast<double>(whole.elapsed()), load);
    }
    SetUserInteraction(previous);
    std::filesystem::remove(file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The toolkit takes the user's locale; the figures keep their decimal point.
    std::setlocale(LC_NUMERIC, "C");
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    auto board = CSimulatedBoard::CreateDefault();
    for (int d = 2; d < CSimulatedBoard::kMaxHmus; ++d) board->AddHmu(d);
    auto memory = std::make_unique<CMemorySettingsStore>();
    memory->Set("Demo Mode", SettingValue::Number(0));
    CTovinAppContext app(board->Driver(), std::move(memory));
    SetTheApp(&app);
    app.Startup();
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zent2-gui-stall-bench.log";
    app.Remembered().logFileName = QString::fromStdString(file.string());

    std::printf("The data logging window, 8 devices, the default channels, %d records back to back;\n"
                "the event loop probed every %d ms (longest gap less %d ms):\n",
                records, kProbeMs, kProbeMs);
    for (const bool trend : {false, true}) {
        std::printf(trend ? "With the live Trend window open:\n" : "Without a Trend window:\n");
        for (const int roundTripUs : {0, 125, 250, 1000}) {
            board->Driver()->SetRoundTrip(std::chrono::microseconds(roundTripUs));
            const Run run = LogWithProbe(app, records, trend);
            std::printf("round trip %d us: record %.1f ms, longest UI stall %.1f ms (median probe gap %.1f ms, %d "
                        "records)\n",
                        roundTripUs, run.perRecordMs, run.longestStallMs, run.medianGapMs, run.written);
        }
    }
    std::filesystem::remove(file);
    ConfigurationStalls(app, *board);
    SetTheApp(nullptr);
    return 0;
}
