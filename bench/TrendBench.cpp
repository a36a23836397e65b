// How long a large log takes to read and plot: a log of 1000 records of
// eight devices with all 29 channels (232,000 value lines), read by the log
// reader, converted to CSV, and opened in the Trend window until its charts
// are drawn; and what one more record costs a Trend window that follows a
// logging run. Runs on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise.
//
//   build/bench/zent2-trend-bench [RUNS]
//
// With a log file instead (a day of eight devices: bench/make-day-log), what
// the Trend window costs on it: opened and first drawn, a zoom or pan step
// and a device ticked in the legend with every channel shown, and the peak
// memory of the process:
//
//   build/bench/zent2-trend-bench FILE.log [RUNS]

#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "logging/LogCsv.h"
#include "logging/LogReader.h"
#include "logging/LogWriter.h"
#include "logview/TovinTrendDlg.h"

namespace {

constexpr int kRecords = 1000;
constexpr int kDevices = 8;

double Value(int record, int device, int channel)
{
    switch (logread::QuantityOf(channel)) {
    case logread::Quantity::State: return ((record / (20 + channel)) + device) % 2;
    case logread::Quantity::Volts: return 1.0 + 0.1 * channel + 0.05 * ((record * 13 + device * 7) % 100) / 100.0;
    case logread::Quantity::Celsius: return 30.0 + device + 0.25 * (record % 40);
    case logread::Quantity::Amperes: return 0.1 + 0.001 * ((record + device) % 50);
    }
    return 0.0;
}

// The log as the data logger writes it.
std::string MakeLog()
{
    std::string text = "Norvane Semiconductor Sentrix II I2C Utility version: 1.0.17.297\n"
                       "FTDI driver version: 0x00000000\nFTDI library version: 0x00010500\n"
                       "OS Version: Linux\nLogging interval: 1 sec, Total logs: 1000 (0 - unlimited)\n"
                       "Monday, May 06, 2024 14:03:07\n\n";
    for (int r = 1; r <= kRecords; ++r) {
        LogRecord record{r, {}};
        for (int d = 0; d < kDevices; ++d) {
            LogDeviceBlock block{d, {}};
            for (int c = 0; c < logread::kChannels; ++c) block.values.push_back({d, c, Value(r, d, c)});
            record.devices.push_back(std::move(block));
        }
        text += FormatLogRecord(record);
    }
    return text;
}

double Seconds(const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best and median of `runs` runs, in milliseconds.
void Report(const char* what, int runs, const std::function<void()>& body)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(Seconds(body) * 1000.0);
    std::sort(times.begin(), times.end());
    std::printf("%-62s best %8.1f ms  median %8.1f ms  (%d runs)\n", what, times.front(), times[times.size() / 2], runs);
}

// Megabytes of the process: its peak ("VmHWM") or now ("VmRSS").
long MemoryMb(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1) / 1024;
    return -1;
}

struct Times {
    std::vector<double> ms;
    void Add(double seconds) { ms.push_back(seconds * 1000.0); }
    // "what: 64 ms" (the median), then the best and the median.
    void Print(const char* what)
    {
        std::sort(ms.begin(), ms.end());
        std::printf("%s: %.0f ms\n", what, ms[ms.size() / 2]);
        std::printf("  (%s best %.1f ms, median %.1f ms, %zu runs)\n", what, ms.front(), ms[ms.size() / 2], ms.size());
    }
};

void Draw(CTovinTrendDlg& trend)
{
    QApplication::processEvents();
    trend.UpdateCharts();
    trend.grab();
}

int FileBench(const QString& file, int runs)
{
    // CPU time too: the machine may be shared, and waiting is not work.
    Times open, openCpu, zoom, zoomCpu, tick, tickCpu;
    for (int i = 0; i < runs; ++i) {
        const double cpu = bench::CpuSeconds();
        open.Add(Seconds([&] {
            CTovinTrendDlg trend;
            trend.resize(1180, 700);
            if (!trend.OpenFile(file)) std::exit(1);
            trend.show();
            Draw(trend);
        }));
        openCpu.Add(bench::CpuSeconds() - cpu);
    }
    {
        CTovinTrendDlg trend;
        trend.resize(1180, 700);
        trend.OpenFile(file);
        trend.show();
        QTreeWidget* legend = trend.Legend();
        for (int d = 0; d < legend->topLevelItemCount(); ++d) legend->topLevelItem(d)->setCheckState(0, Qt::Checked);
        Draw(trend);
        // Wheel steps in and out around the middle, and drags along.
        for (int i = 0; i < 2 * runs; ++i) {
            const double cpu = bench::CpuSeconds();
            zoom.Add(Seconds([&] {
                if (i % 4 == 3) trend.Pan(0.1);
                else trend.ZoomAt(0.5, i % 4 == 2 ? 1.25 : 0.8);
                Draw(trend);
            }));
            zoomCpu.Add(bench::CpuSeconds() - cpu);
        }
        trend.ResetZoom();
        Draw(trend);
        // The last device off and on again, as a click in the legend does.
        QTreeWidgetItem* device = legend->topLevelItem(legend->topLevelItemCount() - 1);
        for (int i = 0; i < 2 * runs; ++i) {
            const double cpu = bench::CpuSeconds();
            tick.Add(Seconds([&] {
                device->setCheckState(0, i % 2 == 0 ? Qt::Unchecked : Qt::Checked);
                Draw(trend);
            }));
            tickCpu.Add(bench::CpuSeconds() - cpu);
        }
    }
    QApplication::processEvents();
    open.Print("open+draw");
    openCpu.Print("open+draw CPU");
    zoom.Print("zoom step (all channels)");
    zoomCpu.Print("zoom step (all channels) CPU");
    tick.Print("legend tick");
    tickCpu.Print("legend tick CPU");
    std::printf("peak memory: %ld MB\n", MemoryMb("VmHWM:"));
    std::printf("memory after the windows closed: %ld MB\n", MemoryMb("VmRSS:"));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The toolkit takes the user's locale; the figures keep their decimal point.
    std::setlocale(LC_NUMERIC, "C");
    if (argc > 1 && std::filesystem::is_regular_file(argv[1])) {
        std::printf("memory before: %ld MB\n", MemoryMb("VmRSS:"));
        return FileBench(QString::fromLocal8Bit(argv[1]), argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const std::filesystem::path path = std::filesystem::temp_directory_path() / "zent2-trend-bench.log";
    const std::string log = MakeLog();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << log;
    std::printf("Log: %d records, %d devices, %d channels each, %d value lines, %.1f MB (%s)\n", kRecords, kDevices,
                logread::kChannels, kRecords * kDevices * logread::kChannels, log.size() / 1e6,
                QGuiApplication::platformName().toUtf8().constData());

    Report("read the log", runs, [&] {
        const logread::LogReadResult result = logread::ReadLogFile(path.string());
        if (result.data.ValueCount() != 232000u) std::printf("  read only %zu values\n", result.data.ValueCount());
    });
    Report("read it and write the CSV (zent2-cli csv)", runs, [&] {
        std::ostringstream csv;
        logread::WriteLogCsv(logread::ReadLogFile(path.string()).data, csv);
    });

    // Opened as "Open Log..." opens it, shown, and drawn into a pixmap: the
    // first paint of every chart (HMU0's 29 channels shown, as it opens).
    const QString file = QString::fromStdString(path.string());
    Report("open in the Trend window and draw it (29 channels shown)", runs, [&] {
        CTovinTrendDlg trend;
        trend.OpenFile(file);
        trend.show();
        QApplication::processEvents();
        trend.grab();
    });
    Report("open it, show every channel (232) and draw it", runs, [&] {
        CTovinTrendDlg trend;
        trend.OpenFile(file);
        for (int d = 0; d < kDevices; ++d)
            for (int c = 0; c < logread::kChannels; ++c) trend.SetShown(d, c, true);
        trend.show();
        QApplication::processEvents();
        trend.grab();
    });

    // A logging run of 232 channels, 999 records in: what record 1000 costs
    // the logging timer (AddRecord), and the drawing that follows it.
    for (const bool all : {false, true}) {
        CTovinTrendDlg live;
        logread::LogInfo info;
        info.intervalSeconds = 1;
        info.totalRecords = 0;
        info.start = logread::LogDateTime{2024, 5, 6, 14, 3, 7};
        live.StartLive(info, QStringLiteral("bench.log"));
        live.show();
        const auto record = [&](int r) {
            std::vector<CTovinTrendDlg::Value> values;
            for (int d = 0; d < kDevices; ++d)
                for (int c = 0; c < logread::kChannels; ++c) values.push_back({d, c, Value(r, d, c), 3});
            return values;
        };
        int next = 1;
        for (; next < kRecords; ++next) live.AddRecord(next, record(next));
        if (all)
            for (int d = 0; d < kDevices; ++d)
                for (int c = 0; c < logread::kChannels; ++c) live.SetShown(d, c, true);
        QApplication::processEvents();
        live.grab();
        std::vector<double> add, draw;
        for (int i = 0; i < runs; ++i, ++next) {
            const std::vector<CTovinTrendDlg::Value> values = record(next);
            add.push_back(Seconds([&] { live.AddRecord(next, values); }) * 1000.0);
            draw.push_back(Seconds([&] {
                               QApplication::processEvents();
                               live.grab();
                           }) *
                           1000.0);
        }
        std::sort(add.begin(), add.end());
        std::sort(draw.begin(), draw.end());
        const char* shown = all ? "232 channels shown" : "29 channels shown";
        std::printf("%-62s best %8.3f ms  median %8.3f ms  (%d runs)\n",
                    (std::string("live, ") + shown + ": one record (the timer's share)").c_str(), add.front(),
                    add[add.size() / 2], runs);
        std::printf("%-62s best %8.1f ms  median %8.1f ms  (%d runs)\n",
                    (std::string("live, ") + shown + ": charts updated and drawn after it").c_str(), draw.front(),
                    draw[draw.size() / 2], runs);
    }

    std::filesystem::remove(path);
    return 0;
}
