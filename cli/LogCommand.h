#pragma once
// zent2-cli log: the desktop program's log file, written unattended. The
// header, then a record at once and one every interval, each flushed, with
// a progress line per record on standard error, until the count is reached
// or SIGINT or SIGTERM arrives; the record being written is finished first.
// A FIFO is waited for until a program reads it, or a signal ends the wait.

#include <chrono>
#include <ctime>
#include <functional>
#include <iosfwd>

#include "cli/CommandLine.h"

class CTovin_I2C_Port;

// The time the log command runs on; tests give it a virtual one.
struct LogClock {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<std::time_t()> wallTime;  // for the header's date line

    static LogClock Real();
};

// Waits for the next round of a schedule (log records, watch frames, serve
// polls): moves `due` on by `interval` and sleeps until then, in slices, so
// that SIGINT or SIGTERM ends the wait soon (a CStopSignals lives around
// it). A round that ran late does not bring a burst after it. False when a
// signal asked to stop.
bool WaitForNextRound(const LogClock& clock, std::chrono::steady_clock::time_point& due,
                      std::chrono::steady_clock::duration interval);

// Exit status: 0 when the count was reached or a signal ended the run, 1 when
// the file could not be created or written (the records completed before
// stay), when a reading failed (it is left out of its record; every
// record is written all the same, and a summary names what failed), or when
// the cable failed (the run ends after the record in which it did).
// stoppedBy, when given, is set to the signal (SIGINT, SIGTERM) that ended
// the run, 0 when none did.
int RunLogCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& err, const LogClock& clock,
                  int* stoppedBy = nullptr);
