#pragma once
// zent2-cli watch: every channel of the watched devices, frame after frame
// (logging/LiveFrame.h). On a terminal one screen is redrawn in place with
// ANSI cursor moves; otherwise each frame is written as plain text, frames
// apart by a blank line, so that the output can be piped and read.

#include <iosfwd>
#include <string>

#include "cli/CommandLine.h"
#include "cli/LogCommand.h"

class CTovin_I2C_Port;
namespace live {
struct LiveFrameData;
}

// One frame as plain text, one line per device and one per channel read:
// channel, rail name, value, min, max, comparator A and B. A failed reading
// shows "---", a channel without comparators "-" for A and B, an attenuated
// reading a "*" after its value (explained under the frame).
std::string FormatWatchFrame(const live::LiveFrameData& frame);

// Runs until --count frames are shown or SIGINT or SIGTERM arrives (the frame
// being read is finished first). Exit status: 0 when every reading of the
// last frame succeeded, 1 when one failed, a watched device did not answer
// or the cable failed. stoppedBy, when given, is set to the signal that
// ended the run, 0 when none did.
int RunWatchCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                    const LogClock& clock, bool terminal, int* stoppedBy = nullptr);
