#include "logging/LogFailures.h"

#include <vector>

#include "util/TextFormat.h"

namespace {

std::string RecordsText(uint64_t count, int first, int last)
{
    if (first == last) return FormatText("in record %d", first);
    if (count == static_cast<uint64_t>(last - first) + 1) return FormatText("in records %d-%d", first, last);
    return FormatText("in %llu records from %d to %d", static_cast<unsigned long long>(count), first, last);
}

}  // namespace

std::string ChannelListText(const std::vector<int>& channels)
{
    std::string text;
    for (size_t i = 0; i < channels.size();) {
        // A run of consecutive channels of one kind: "VMON1-10".
        size_t end = i + 1;
        while (end < channels.size() && channels[end] == channels[end - 1] + 1 &&
               logsel::GroupOf(channels[end]) == logsel::GroupOf(channels[i]))
            ++end;
        if (!text.empty()) text += ", ";
        text += LogChannelName(channels[i]);
        if (end - i > 1) text += FormatText("-%d", logsel::NumberInGroup(channels[end - 1]));
        i = end;
    }
    return text;
}

std::string FailedReadingsText(const LogRecord& record)
{
    std::string text;
    for (const LogDeviceBlock& block : record.devices) {
        if (!block.ReadingFailed()) continue;
        if (!text.empty()) text += "; ";
        text += FormatText("HMU%d ", block.device) + ChannelListText(block.failedChannels);
    }
    return text;
}

void CLogFailures::Add(const LogRecord& record)
{
    bool any = false;
    for (const LogDeviceBlock& block : record.devices) {
        if (block.device < 0 || block.device >= logsel::kDevices) continue;
        for (const int channel : block.failedChannels) {
            if (channel < 0 || channel >= logsel::kChannels) continue;
            Tally& tally = m_tallies[static_cast<size_t>(logsel::Index(block.device, channel))];
            if (tally.records == 0) tally.first = record.number;
            tally.last = record.number;
            ++tally.records;
            ++m_readings;
            any = true;
        }
    }
    if (any) ++m_records;
}

void CLogFailures::Clear()
{
    m_tallies = {};
    m_readings = 0;
    m_records = 0;
}

uint64_t CLogFailures::FailedIn(int device, int channel) const
{
    if (device < 0 || device >= logsel::kDevices || channel < 0 || channel >= logsel::kChannels) return 0;
    return m_tallies[static_cast<size_t>(logsel::Index(device, channel))].records;
}

std::string CLogFailures::Summary() const
{
    if (!Any()) return {};
    std::string text = m_readings == 1 ? std::string("1 reading failed: ")
                                       : FormatText("%llu readings failed: ", static_cast<unsigned long long>(m_readings));
    bool firstGroup = true;
    for (int device = 0; device < logsel::kDevices; ++device) {
        // The device's channels, grouped by the records they failed in.
        std::array<bool, logsel::kChannels> named{};
        for (int channel = 0; channel < logsel::kChannels; ++channel) {
            const Tally& tally = m_tallies[static_cast<size_t>(logsel::Index(device, channel))];
            if (tally.records == 0 || named[static_cast<size_t>(channel)]) continue;
            std::vector<int> group;
            for (int other = channel; other < logsel::kChannels; ++other) {
                const Tally& t = m_tallies[static_cast<size_t>(logsel::Index(device, other))];
                if (t.records == tally.records && t.first == tally.first && t.last == tally.last) {
                    group.push_back(other);
                    named[static_cast<size_t>(other)] = true;
                }
            }
            text += (firstGroup ? "" : "; ") + FormatText("HMU%d ", device) + ChannelListText(group) + " " +
                    RecordsText(tally.records, tally.first, tally.last);
            firstGroup = false;
        }
    }
    return text;
}
