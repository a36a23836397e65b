#pragma once
// zent2-cli serve: the live view (logging/LiveFrame.h) polled on this thread
// and served as Prometheus metrics (cli/MetricsText.h) by an HTTP server on
// threads of its own (cli/MetricsServer.h). Only this thread touches the
// bus, each device under its own cable lock; a scrape gets the text of the
// last finished poll and never waits for the bus.

#include <iosfwd>

#include "cli/CommandLine.h"
#include "cli/LogCommand.h"

class CTovin_I2C_Port;

// Runs until SIGINT or SIGTERM (the poll being read is finished first).
// Prints "Serving http://ADDRESS:PORT/metrics" once it listens and the first
// poll is published. Exit status: 0 when a signal ended it, 1 when the
// address cannot be listened on or the cable failed. stoppedBy, when given,
// is set to the signal that ended the run, 0 when none did.
int RunServeCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                    const LogClock& clock, int* stoppedBy = nullptr);
