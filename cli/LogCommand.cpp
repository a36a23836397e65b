#include "cli/LogCommand.h"
#include "cli/SenseResistors.h"
#include "cli/StandardOutput.h"

#include <algorithm>
#include <csignal>
#include <ostream>
#include <thread>

#include "cli/StopSignals.h"
#include "util/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "logging/LogFailures.h"
#include "logging/LogSession.h"

namespace {

using Clock = std::chrono::steady_clock;

// How soon a signal is noticed while waiting for the next record.
constexpr std::chrono::milliseconds kWaitSlice{100};

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

std::string Progress(const LogRecord& record, int total)
{
    std::string line = total != 0 ? FormatText("Record %d of %d:", record.number, total)
                                   : FormatText("Record %d:", record.number);
    if (record.devices.empty()) return line + " no HMU device answered";
    // A reading that failed is not in the file: the line names it.
    for (size_t i = 0; i < record.devices.size(); ++i) {
        const LogDeviceBlock& block = record.devices[i];
        line += FormatText("%s HMU%d", i == 0 ? "" : ",", block.device);
        if (block.ReadingFailed()) line += " (failed, not logged: " + ChannelListText(block.failedChannels) + ")";
    }
    return line;
}

std::string Records(int count)
{
    return count == 1 ? "1 record" : std::to_string(count) + " records";
}

}  // namespace

LogClock LogClock::Real()
{
    return {[] { return Clock::now(); }, [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); },
            [] { return std::time(nullptr); }};
}

bool WaitForNextRound(const LogClock& clock, Clock::time_point& due, Clock::duration interval)
{
    due += interval;
    if (clock.now() > due + interval) due = clock.now();
    for (Clock::time_point now = clock.now(); now < due && !CStopSignals::Requested(); now = clock.now())
        clock.sleep(std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(due - now),
                               std::chrono::milliseconds(1), kWaitSlice));
    return !CStopSignals::Requested();
}

int RunLogCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err, const LogClock& clock,
                  int* stoppedBy)
{
    if (stoppedBy != nullptr) *stoppedBy = 0;
    const logsel::LogSelection selection = logsel::SelectionForAllDevices(request.logChannels);
    CLogSession session(port, selection, cli::SenseResistors(request));
    session.SetRecordObserver([&](const LogRecord& record) { err << Progress(record, request.logCount) << '\n'; });

    const bool toStandardOutput = request.logFile == cli::kStandardStream;
    const std::string fileName = toStandardOutput ? std::string("standard output") : request.logFile;
    CStopSignals signals;
    const auto noteSignal = [&] {
        if (stoppedBy != nullptr) *stoppedBy = CStopSignals::Signal();
    };
    // A FIFO waits for its reader; a signal ends the wait.
    bool waitNamed = false;
    const auto waitForReader = [&] {
        if (CStopSignals::Requested()) return false;
        if (!waitNamed) Message(err, "waiting for a program to read the FIFO " + fileName + " (Ctrl-C ends)");
        waitNamed = true;
        clock.sleep(kWaitSlice);
        return !CStopSignals::Requested();
    };
    switch (session.Start(request.logFile, request.logInterval, request.logCount, clock.wallTime(), waitForReader)) {
    case CLogSession::StartResult::Started: break;
    case CLogSession::StartResult::OpenFailed:
        noteSignal();
        if (CStopSignals::Requested()) {
            Message(err, std::string(CStopSignals::Signal() == SIGINT ? "SIGINT" : "SIGTERM") +
                             " arrived before the log file " + fileName + " was opened: nothing was logged");
            return 1;
        }
        Message(err, "cannot create the log file " + fileName + ": " + session.ErrorText());
        return 1;
    case CLogSession::StartResult::WriteFailed:
        if (toStandardOutput && cli::StandardOutputReaderGone()) return 0;
        Message(err, "cannot write the log file " + fileName + ": " + session.ErrorText());
        return 1;
    }

    // Readings that failed are not in the file: named at the end, and the run is not a success.
    const auto summary = [&] {
        if (session.Failures().Any()) Message(err, session.Failures().Summary() + " (not in the log)");
    };
    const auto interval = std::chrono::seconds(request.logInterval);
    Clock::time_point due = clock.now();
    while (true) {
        const int number = session.RecordsWritten() + 1;
        if (!session.WriteRecord()) {
            noteSignal();
            // The reader of standard output went away (| head): it has what it wanted.
            if (toStandardOutput && cli::StandardOutputReaderGone()) return 0;
            Message(err, "writing the log file " + fileName + " failed: " + session.ErrorText() + "; " +
                             Records(session.RecordsWritten()) + " before it are in the file");
            summary();
            return 1;
        }
        // Devices that stop answering are left out and the run goes on; a
        // cable that is gone would only give empty records from here on.
        if (port.GetLink().TransfersFailing()) {
            Message(err, FormatText("the cable failed during record %d (unplugged, or its chip stopped answering): "
                                    "the log ends there; the records before it are complete in %s",
                                    number, fileName.c_str()));
            session.Close();
            return 1;
        }
        if (session.Complete() || CStopSignals::Requested()) break;
        if (!WaitForNextRound(clock, due, interval)) break;
    }
    noteSignal();
    if (!session.Close()) {
        Message(err, "closing the log file " + fileName + " failed: " + session.ErrorText());
        summary();
        return 1;
    }
    Message(err, Records(session.RecordsWritten()) + " written to " + fileName);
    summary();
    return session.Failures().Any() ? 1 : 0;
}
