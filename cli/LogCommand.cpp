#include "cli/LogCommand.h"

#include <algorithm>
#include <csignal>
#include <ostream>
#include <thread>

#include "device/TextFormat.h"
#include "device/Tovin_I2C_Port.h"
#include "logging/LogSession.h"

namespace {

using Clock = std::chrono::steady_clock;

// How soon a signal is noticed while waiting for the next record.
constexpr std::chrono::milliseconds kWaitSlice{100};

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int)
{
    g_stopRequested = 1;
}

// SIGINT and SIGTERM ask the run to end for as long as it lasts; the
// handlers the program had come back afterwards.
class CStopSignals {
public:
    CStopSignals()
    {
        g_stopRequested = 0;
        m_previousInt = std::signal(SIGINT, RequestStop);
        m_previousTerm = std::signal(SIGTERM, RequestStop);
    }
    ~CStopSignals()
    {
        std::signal(SIGINT, m_previousInt == SIG_ERR ? SIG_DFL : m_previousInt);
        std::signal(SIGTERM, m_previousTerm == SIG_ERR ? SIG_DFL : m_previousTerm);
    }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    static bool Requested() { return g_stopRequested != 0; }

private:
    void (*m_previousInt)(int);
    void (*m_previousTerm)(int);
};

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

std::string Progress(const LogRecord& record, int total)
{
    std::string line = total != 0 ? FormatText("Record %d of %d:", record.number, total)
                                   : FormatText("Record %d:", record.number);
    if (record.devices.empty()) return line + " no HMU device answered";
    // The file takes what was read, as the desktop logger writes it; an
    // unattended run names the readings that failed rather than hide them.
    for (size_t i = 0; i < record.devices.size(); ++i) {
        line += FormatText("%s HMU%d%s", i == 0 ? "" : ",", record.devices[i].device,
                           record.devices[i].readingFailed ? " (a reading failed: some values are not measurements)"
                                                           : "");
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

int RunLogCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err, const LogClock& clock)
{
    const logsel::LogSelection selection = logsel::SelectionForAllDevices(request.logChannels);
    const float ohms = static_cast<float>(request.senseOhms);
    CLogSession session(port, selection, [ohms](int, int) { return ohms; });
    session.SetRecordObserver([&](const LogRecord& record) { err << Progress(record, request.logCount) << '\n'; });

    CStopSignals signals;
    switch (session.Start(request.logFile, request.logInterval, request.logCount, clock.wallTime())) {
    case CLogSession::StartResult::Started: break;
    case CLogSession::StartResult::OpenFailed:
        Message(err, "cannot create the log file " + request.logFile + ": " + session.ErrorText());
        return 1;
    case CLogSession::StartResult::WriteFailed:
        Message(err, "cannot write the log file " + request.logFile + ": " + session.ErrorText());
        return 1;
    }

    const auto interval = std::chrono::seconds(request.logInterval);
    Clock::time_point due = clock.now();
    while (true) {
        const int number = session.RecordsWritten() + 1;
        if (!session.WriteRecord()) {
            Message(err, "writing the log file " + request.logFile + " failed: " + session.ErrorText() + "; " +
                             Records(session.RecordsWritten()) + " before it are in the file");
            return 1;
        }
        // Devices that stop answering are left out and the run goes on; a
        // cable that is gone would only give empty records from here on.
        if (port.GetLink().TransfersFailing()) {
            Message(err, FormatText("the cable failed during record %d (unplugged, or its chip stopped answering): "
                                    "the log ends there; the records before it are complete in %s",
                                    number, request.logFile.c_str()));
            session.Close();
            return 1;
        }
        if (session.Complete() || CStopSignals::Requested()) break;
        // Records keep to their schedule; one that ran late does not bring a burst after it.
        due += interval;
        if (clock.now() > due + interval) due = clock.now();
        for (Clock::time_point now = clock.now(); now < due && !CStopSignals::Requested(); now = clock.now())
            clock.sleep(std::min(std::chrono::duration_cast<std::chrono::milliseconds>(due - now), kWaitSlice));
        if (CStopSignals::Requested()) break;
    }
    if (!session.Close()) {
        Message(err, "closing the log file " + request.logFile + " failed: " + session.ErrorText());
        return 1;
    }
    Message(err, Records(session.RecordsWritten()) + " written to " + request.logFile);
    return 0;
}
