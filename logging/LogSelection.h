#pragma once
// Which measurements go into the log file: 29 channels per HMU device, one
// byte each, devices 0..7 one after the other (232 bytes, stored as the
// "Log Settings" value). A non-zero byte selects the channel.
//
// Channel order within a device: VMON1..VMON9, HVMON (0..9), HVOUT1..4
// (10..13), GPIO1..10 (14..23), TMON1, TMON2, TMON int (24..26), IMON1,
// HIMON (27..28). The selection page, the log lines and the command line's
// channel names all follow it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace logsel {

constexpr int kDevices = 8;
constexpr int kChannels = 29;
constexpr int kSize = kDevices * kChannels;  // 232

using LogSelection = std::array<uint8_t, kSize>;
using DeviceChannels = std::array<bool, kChannels>;

// The kinds of channel, in their order within a device.
enum class Group : int { Vmon, Hvout, Gpio, Tmon, Imon };
constexpr int kGroups = 5;

struct GroupRange {
    int first;  // first channel of the group
    int count;
};
constexpr std::array<GroupRange, kGroups> kGroupRanges = {{{0, 10}, {10, 4}, {14, 10}, {24, 3}, {27, 2}}};
constexpr GroupRange RangeOf(Group group) { return kGroupRanges[static_cast<int>(group)]; }

// The group of a channel (0..28) and its number within the group, from 1 as
// the log lines count: VMON10 is HVMON, TMON3 the internal sensor, IMON2 HIMON.
Group GroupOf(int channel);
int NumberInGroup(int channel);
constexpr int Channel(Group group, int number) { return RangeOf(group).first + number - 1; }

// GPIO7, which a device identified as hmu::kIdentificationWithoutGpio7 lacks.
constexpr int kGpio7Channel = Channel(Group::Gpio, 7);

// Check box texts: "VMON1" .. "HVMON", "HVOUT1" .., "GPIO1" .., "TMON1",
// "TMON2", "TMON int", "IMON1", "HIMON"; and the group box titles "&VMON" ...
std::string_view ChannelLabel(int channel);
std::string_view GroupTitle(Group group);

constexpr int Index(int device, int channel) { return device * kChannels + channel; }
inline bool Selected(const LogSelection& selection, int device, int channel)
{
    return selection[Index(device, channel)] != 0;
}

// A comma list of channel names, case ignored: vmon1..vmon9, hvmon (or
// vmon10), hvout1..hvout4, gpio1..gpio10, tmon1, tmon2, tmon3 (or tmonint),
// imon1, himon (or imon2), and the group names vmon, hvout, gpio, tmon, imon
// for a whole group. Nothing when a name is unknown or the list is empty;
// error then names the problem.
std::optional<DeviceChannels> ParseChannelList(std::string_view list, std::string& error);

// The same channels for every device.
LogSelection SelectionForAllDevices(const DeviceChannels& channels);

}  // namespace logsel
