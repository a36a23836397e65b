#include "cli/ServeCommand.h"

#include <algorithm>
#include <chrono>
#include <ostream>

#include "cli/MetricsServer.h"
#include "cli/MetricsText.h"
#include "cli/SenseResistors.h"
#include "cli/StopSignals.h"
#include "device/ReadingWatch.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/FaultLog.h"
#include "link/CableLock.h"
#include "link/I2C_FTDI.h"
#include "logging/LiveFrame.h"
#include "util/TextFormat.h"

namespace {

using Clock = std::chrono::steady_clock;

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

// The record count the fault log's status announces, read with the fault
// log block as the fault page starts its read; the records themselves are
// not fetched. A busy or invalid log has no count to give.
metrics::FaultLogCount ReadFaultLogCount(CTovin_I2C_Port& port, int device)
{
    metrics::FaultLogCount count;
    if (port.GetDemoMode()) {
        faultlog::Records records{};
        count.records = faultlog::ReadDemoLog(records).count;
        return count;
    }
    CCableLock lock;
    const int previous = port.GetHmuIndex();
    port.SetHmuIndex(device);
    const CReadingWatch watch(port);
    const faultlog::Status status = faultlog::ReadStatus(port);
    port.SetHmuIndex(previous);
    if (!status.answered || watch.Failed()) {
        count.failed = true;
    } else if (!faultlog::StatusUnusable(status.status0, status.status1)) {
        count.records = faultlog::StatusCount(status.status1);
    }
    return count;
}

double UnixSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

int RunServeCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                    const LogClock& clock, int* stoppedBy)
{
    if (stoppedBy != nullptr) *stoppedBy = 0;
    const std::string board =
        !request.boardName.empty() ? request.boardName : !request.cableSerial.empty() ? request.cableSerial : "zent2";
    metrics::CMetricsServer server(board);
    std::string error;
    if (!server.Bind(request.listenHost, request.listenPort, error)) {
        Message(err, error);
        return 1;
    }

    live::LiveOptions options;
    options.channels = request.logChannels;
    options.senseOhms = cli::SenseResistors(request);
    live::CLiveMonitor monitor(port, options);

    CStopSignals signals;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(request.serveInterval));
    Clock::time_point due = clock.now();
    int status = 0;
    while (true) {
        const Clock::time_point start = clock.now();
        metrics::Poll poll;
        monitor.ReadFrame();
        poll.frame = &monitor.Frame();
        for (const live::LiveDevice& device : monitor.Frame().devices)
            if (device.Answering()) poll.faultLogs[static_cast<size_t>(device.device)] = ReadFaultLogCount(port, device.device);
        poll.durationSeconds = std::chrono::duration<double>(clock.now() - start).count();
        poll.finishedUnixSeconds = UnixSeconds();
        if (port.GetLink().TransfersFailing()) {
            // What the last poll read is not the board any more: stop serving it.
            Message(err, FormatText("the cable failed during poll %d (unplugged, or its chip stopped answering)",
                                    monitor.Frame().number));
            status = 1;
            break;
        }
        server.Publish(metrics::FormatMetrics(board, poll));
        if (monitor.Frame().number == 1) {
            server.Start();
            out << "Serving " << server.MetricsUrl() << std::endl;
        }
        if (CStopSignals::Requested()) break;
        if (!WaitForNextRound(clock, due, interval)) break;
    }
    server.Stop();
    if (stoppedBy != nullptr) *stoppedBy = CStopSignals::Signal();
    return status;
}
