#include "logging/LogSelection.h"

#include <cctype>

#include "util/TextFormat.h"

namespace logsel {

namespace {

constexpr std::array<std::string_view, kChannels> kLabels = {
    "VMON1",  "VMON2",  "VMON3",  "VMON4",  "VMON5",  "VMON6",  "VMON7",  "VMON8",    "VMON9",  "HVMON",
    "HVOUT1", "HVOUT2", "HVOUT3", "HVOUT4", "GPIO1",  "GPIO2",  "GPIO3",  "GPIO4",    "GPIO5",  "GPIO6",
    "GPIO7",  "GPIO8",  "GPIO9",  "GPIO10", "TMON1",  "TMON2",  "TMON int", "IMON1", "HIMON",
};
constexpr std::array<std::string_view, kGroups> kTitles = {"&VMON", "&HVOUT", "&GPIO", "&TMON", "&IMON"};
// Group names as the command line spells them.
constexpr std::array<std::string_view, kGroups> kGroupNames = {"vmon", "hvout", "gpio", "tmon", "imon"};

std::string Lower(std::string_view text)
{
    std::string lower;
    for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// Channels a name stands for: one, a whole group, or none for an unknown name.
bool AddName(const std::string& name, DeviceChannels& channels)
{
    for (int g = 0; g < kGroups; ++g) {
        if (name == kGroupNames[g]) {
            for (int k = 0; k < kGroupRanges[g].count; ++k) channels[kGroupRanges[g].first + k] = true;
            return true;
        }
    }
    static const std::array<std::pair<std::string_view, int>, 4> kAliases = {{
        {"hvmon", Channel(Group::Vmon, 10)},
        {"tmonint", Channel(Group::Tmon, 3)},
        {"himon", Channel(Group::Imon, 2)},
        {"imon2", Channel(Group::Imon, 2)},
    }};
    for (const auto& [alias, channel] : kAliases) {
        if (name == alias) {
            channels[channel] = true;
            return true;
        }
    }
    // A group name followed by the channel's number in that group.
    for (int g = 0; g < kGroups; ++g) {
        const std::string_view prefix = kGroupNames[g];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 2 || digits[0] == '0') return false;
        int number = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            number = number * 10 + (c - '0');
        }
        if (number < 1 || number > kGroupRanges[g].count) return false;
        channels[kGroupRanges[g].first + number - 1] = true;
        return true;
    }
    return false;
}

}  // namespace

Group GroupOf(int channel)
{
    for (int g = kGroups - 1; g > 0; --g)
        if (channel >= kGroupRanges[g].first) return static_cast<Group>(g);
    return Group::Vmon;
}

int NumberInGroup(int channel)
{
    return channel - RangeOf(GroupOf(channel)).first + 1;
}

std::string_view ChannelLabel(int channel)
{
    return channel >= 0 && channel < kChannels ? kLabels[channel] : std::string_view();
}

std::string_view GroupTitle(Group group)
{
    return kTitles[static_cast<int>(group)];
}

std::optional<DeviceChannels> ParseChannelList(std::string_view list, std::string& error)
{
    DeviceChannels channels{};
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view item = Trimmed(list.substr(0, comma));
        if (item.empty()) {
            error = "an empty channel name in the list";
            return std::nullopt;
        }
        if (!AddName(Lower(item), channels)) {
            error = "unknown channel '" + ShownText(item) +
                    "': use vmon1..vmon9, hvmon, hvout1..hvout4, gpio1..gpio10, tmon1..tmon3, imon1, himon "
                    "or a group vmon, hvout, gpio, tmon, imon";
            return std::nullopt;
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return channels;
}

LogSelection SelectionForAllDevices(const DeviceChannels& channels)
{
    LogSelection selection{};
    for (int d = 0; d < kDevices; ++d)
        for (int c = 0; c < kChannels; ++c) selection[Index(d, c)] = channels[c] ? 1 : 0;
    return selection;
}

}  // namespace logsel
