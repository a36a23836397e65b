#include "cli/WatchCommand.h"

#include <algorithm>
#include <ostream>
#include <sstream>

#include "cli/SenseResistors.h"
#include "cli/StopSignals.h"
#include "device/Tovin_I2C_Port.h"
#include "link/I2C_FTDI.h"
#include "logging/LiveFrame.h"
#include "util/TextFormat.h"

namespace {

using Clock = std::chrono::steady_clock;

// Characters as a terminal shows them: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(const std::string& text, size_t width)
{
    const size_t columns = Columns(text);
    return columns >= width ? text + " " : text + std::string(width - columns, ' ');
}

std::string ValueText(int channel, double value)
{
    const std::string unit(live::ChannelUnit(channel));
    switch (live::QuantityOf(channel)) {
    case live::Quantity::Voltage: return FormatText("%.3f ", value) + unit;
    case live::Quantity::Current: return FormatText("%.3f ", value) + unit;
    case live::Quantity::Temperature: return FormatText("%.2f ", value) + unit;
    case live::Quantity::Level: return value != 0.0 ? "1" : "0";
    }
    return {};
}

std::string DeviceLine(const live::LiveDevice& device)
{
    const std::string name = FormatText("HMU%d", device.device);
    switch (device.presence) {
    case live::Presence::Present: return name;
    case live::Presence::Returned: return name + " (returned: answers again)";
    case live::Presence::Left: return name + " (left: does not answer)";
    case live::Presence::NotSeen: return name + " (absent: does not answer)";
    }
    return name;
}

void Message(std::ostream& err, const std::string& text)
{
    err << "zent2-cli: " << text << '\n';
}

}  // namespace

std::string FormatWatchFrame(const live::LiveFrameData& frame)
{
    std::string text = FormatText("Frame %d\n", frame.number);
    bool anyAttenuated = false;
    const std::vector<const live::LiveDevice*> shown = frame.Shown();
    if (shown.empty()) text += "No HMU device answered\n";
    for (const live::LiveDevice* device : shown) {
        text += DeviceLine(*device) + "\n";
        if (!device->Answering()) continue;
        text += "  " + Padded("Channel", 10) + Padded("Rail", 8) + Padded("Value", 13) + Padded("Min", 13) +
                Padded("Max", 13) + "A  B\n";
        for (int c = 0; c < live::kChannels; ++c) {
            const live::LiveReading& r = device->channels[c];
            if (!r.read) continue;
            std::string value = r.value ? ValueText(c, *r.value) : "---";
            if (r.attenuated) {
                value += "*";
                anyAttenuated = true;
            }
            const std::string min = r.min ? ValueText(c, *r.min) : "---";
            const std::string max = r.max ? ValueText(c, *r.max) : "---";
            std::string a = "-";
            std::string b = "-";
            if (r.comparators) {
                a = (*r.comparators)[0] ? "1" : "0";
                b = (*r.comparators)[1] ? "1" : "0";
            } else if (live::HasComparators(c)) {
                a = b = "---";
            }
            std::string line = "  " + Padded(std::string(live::ChannelLabel(c)), 10) +
                               Padded(live::RailName(device->device, c), 8) + Padded(value, 13) + Padded(min, 13) +
                               Padded(max, 13) + Padded(a, 3) + b;
            if (r.failed) line += "  (reading failed)";
            text += line + "\n";
        }
    }
    if (anyAttenuated) text += "* read through the attenuator; not rescaled\n";
    return text;
}

int RunWatchCommand(const cli::CliRequest& request, CTovin_I2C_Port& port, std::ostream& out, std::ostream& err,
                    const LogClock& clock, bool terminal, int* stoppedBy)
{
    if (stoppedBy != nullptr) *stoppedBy = 0;
    live::LiveOptions options;
    options.devices = request.watchDevices;
    options.channels = request.logChannels;
    options.senseOhms = cli::SenseResistors(request);
    live::CLiveMonitor monitor(port, options);

    CStopSignals signals;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(request.watchInterval));
    Clock::time_point due = clock.now();
    int status = 0;
    while (true) {
        monitor.ReadFrame();
        const std::string text = FormatWatchFrame(monitor.Frame());
        if (terminal) {
            // Home, each line cleared to its end, then the rest of the screen.
            std::string screen = monitor.Frame().number == 1 ? "\x1b[H\x1b[2J" : "\x1b[H";
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) screen += line + "\x1b[K\n";
            out << screen << "\x1b[J" << std::flush;
        } else {
            out << (monitor.Frame().number == 1 ? "" : "\n") << text << std::flush;
        }
        if (port.GetLink().TransfersFailing()) {
            Message(err, FormatText("the cable failed during frame %d (unplugged, or its chip stopped answering)",
                                    monitor.Frame().number));
            return 1;
        }
        status = monitor.Frame().FailedReadings() == 0 ? 0 : 1;
        if ((request.logCount != 0 && monitor.Frame().number >= request.logCount) || CStopSignals::Requested()) break;
        if (!WaitForNextRound(clock, due, interval)) break;
    }
    if (stoppedBy != nullptr) *stoppedBy = CStopSignals::Signal();
    if (status != 0) {
        const int failed = monitor.Frame().FailedReadings();
        Message(err, FormatText("%d %s of the last frame failed", failed, failed == 1 ? "reading" : "readings"));
    }
    return status;
}
