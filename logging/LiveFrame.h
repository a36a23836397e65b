#pragma once
// The live view of the board: every channel of every HMU device that answers,
// read over and over (zent2-cli watch, the Board Monitor window). A frame is
// one pass over the devices; CLiveMonitor reads it one device per call, each
// under the cable lock, so that a window's event loop gets a turn between
// devices, and keeps the lowest and highest reading of each channel since the
// last reset.
//
// Channels are counted as the log counts them (logging/LogSelection.h):
// VMON1..VMON9, HVMON (0..9), HVOUT1..4 (10..13), GPIO1..10 (14..23), TMON1,
// TMON2, TMON int (24..26), IMON1, HIMON (27..28). Each is read through its
// device block with the sequences the pages use; a reading whose transaction
// was not acknowledged, or whose result never became ready, is failed and has
// no value (never a 0).
//
// Use:
//     CLiveMonitor monitor(port, LiveOptions{});
//     monitor.ReadFrame();                          // or ReadNextDevice() until true
//     for (const LiveDevice& device : monitor.Frame().devices)
//         for (int c = 0; c < live::kChannels; ++c) {
//             const LiveReading& r = device.channels[c];
//             if (!r.read) continue;                // not selected or not on this device
//             if (r.value) ... *r.value, live::ChannelUnit(c), r.min, r.max, r.comparators
//         }

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/blocks/Vmon.h"
#include "logging/LogSelection.h"

class CTovin_I2C_Port;

namespace live {

constexpr int kDevices = logsel::kDevices;
constexpr int kChannels = logsel::kChannels;

enum class Quantity { Voltage, Current, Temperature, Level };
Quantity QuantityOf(int channel);
// "V", "A", "°C" (UTF-8), "" for pin levels.
std::string_view ChannelUnit(int channel);
// "VMON1" .. "HVMON", "HVOUT1", "GPIO1", "TMON1", "TMON2", "TMON int", "IMON1", "HIMON".
std::string_view ChannelLabel(int channel);
// Whether a channel has comparators A and B (VMON, HVMON, TMON, IMON, HIMON).
bool HasComparators(int channel);
// The demonstration design's name for a device's channel: "POT1".."POT4",
// "DC-DC4", "DC-DC8", "R203"; empty for the other channels.
std::string RailName(int device, int channel);

// Whether a comparator output (comparator 0 = A, 1 = B) is its fault state.
// A voltage comparator detects in the direction the voltage page sets for it:
// an under-voltage one is in fault when its output is 0 (the input under the
// threshold), an over-voltage one when it is 1. Current and temperature
// comparators are over-current and over-temperature alarms: 1 is the fault.
bool ComparatorFault(int channel, bool output, vmon::Direction direction);

// One channel of one device in a frame.
struct LiveReading {
    bool read = false;              // part of the frame: selected, and the device has it
    bool failed = false;            // read, but the reading failed: no value
    std::optional<double> value;    // volts, amps, degrees C, or 0/1 for a pin
    bool attenuated = false;        // a full-scale voltage read again through the attenuator; not rescaled
    // Comparator outputs A and B (1 = the input is above the threshold), as
    // the pages read them; none when the channel has no comparators or their
    // read failed.
    std::optional<std::array<bool, 2>> comparators;
    // Lowest and highest value since the last reset; failed readings are skipped.
    std::optional<double> min;
    std::optional<double> max;
};

enum class Presence {
    NotSeen,   // has not answered since the monitor started
    Present,   // answered its probe in this frame and the frames before
    Left,      // answered in an earlier frame, not in this one
    Returned,  // answers again in this frame after it had left
};
std::string_view PresenceText(Presence presence);  // "absent", "present", "left", "returned"

struct LiveDevice {
    int device = 0;
    Presence presence = Presence::NotSeen;
    std::array<LiveReading, kChannels> channels{};
    bool Answering() const { return presence == Presence::Present || presence == Presence::Returned; }
    int FailedReadings() const;
};

struct LiveFrameData {
    int number = 0;                   // frames completed so far, this one included (1 the first)
    bool named = false;               // the devices were asked for by name
    std::vector<LiveDevice> devices;  // the watched devices in device order (see LiveOptions)
    // Devices shown: those that answer now or have answered before, and
    // every device asked for by name.
    std::vector<const LiveDevice*> Shown() const;
    // Failed readings of shown devices, plus one for each shown device that
    // does not answer (asked for by name, or gone since it answered).
    int FailedReadings() const;
};

struct LiveOptions {
    // The devices to watch; empty: 0..7, of which those that answer are shown.
    std::vector<int> devices;
    logsel::DeviceChannels channels = [] {
        logsel::DeviceChannels all{};
        all.fill(true);
        return all;
    }();
    // Sense resistor of a current monitor (0 = IMON1, 1 = HIMON) of a
    // device, ohms; none: the default resistor.
    std::function<float(int device, int monitor)> senseOhms;
};

class CLiveMonitor {
public:
    CLiveMonitor(CTovin_I2C_Port& port, LiveOptions options);

    // Probes and reads the next device of the frame under one cable lock,
    // and puts it in the frame at once; the port's device is left as it was.
    // True when that device was the frame's last: the frame is complete.
    bool ReadNextDevice();
    // The rest of the frame (all of it when none was begun).
    void ReadFrame();

    // The frame as read so far: a frame being read holds the devices read in
    // it and the previous frame's for the others.
    const LiveFrameData& Frame() const { return m_frame; }
    bool NamedDevices() const { return !m_options.devices.empty(); }
    // Starts min and max again, from the values of the frame as it stands.
    void ResetMinMax();

private:
    void ReadDevice(LiveDevice& device);

    CTovin_I2C_Port& m_port;
    LiveOptions m_options;
    LiveFrameData m_frame;
    size_t m_next = 0;  // index in m_frame.devices of the device read next
};

}  // namespace live
