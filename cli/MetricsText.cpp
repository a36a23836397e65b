#include "cli/MetricsText.h"

#include <cmath>

#include "util/TextFormat.h"

namespace metrics {

namespace {

// Six significant digits: more than the converters resolve, and 1.2 stays
// "1.2" rather than the float it came from. Prometheus spells the
// non-finite values its own way.
std::string Number(double value)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return FormatText("%.6g", value);
}

struct Family {
    const char* name;
    const char* help;
};

class CExposition {
public:
    explicit CExposition(std::string_view board) : m_board(EscapeLabelValue(board)) {}

    void Begin(const Family& family, const char* type = "gauge")
    {
        m_family = family.name;
        m_text += FormatText("# HELP %s %s\n# TYPE %s %s\n", family.name, family.help, family.name, type);
    }

    // A sample of the current family; extra is the labels after board (",a=\"b\"" ...).
    void Sample(const std::string& extra, const std::string& value)
    {
        m_text += m_family + "{board=\"" + m_board + "\"" + extra + "} " + value + "\n";
    }

    std::string Text() && { return std::move(m_text); }

private:
    std::string m_board;
    std::string m_family;
    std::string m_text;
};

std::string DeviceLabel(int device)
{
    return FormatText(",device=\"HMU%d\"", device);
}

std::string ChannelLabels(int device, int channel)
{
    return DeviceLabel(device) + ",channel=\"" + EscapeLabelValue(live::ChannelLabel(channel)) + "\"";
}

}  // namespace

std::string EscapeLabelValue(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\n': escaped += "\\n"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string FormatMetrics(std::string_view board, const Poll& poll)
{
    CExposition out(board);
    const std::vector<live::LiveDevice>& devices = poll.frame->devices;

    out.Begin({"zent2_device_present", "1 when the HMU device answered its probe in the last poll, else 0."});
    for (const live::LiveDevice& device : devices) out.Sample(DeviceLabel(device.device), device.Answering() ? "1" : "0");

    // The value gauges: only readings that gave a value.
    const std::pair<live::Quantity, Family> quantities[] = {
        {live::Quantity::Voltage, {"zent2_voltage_volts", "Voltage at the monitor input (VMON1..VMON9, HVMON), volts."}},
        {live::Quantity::Current,
         {"zent2_current_amperes", "Current through the sense resistor of IMON1 and HIMON, amperes."}},
        {live::Quantity::Temperature,
         {"zent2_temperature_celsius", "Temperature of TMON1, TMON2 and the internal sensor, degrees Celsius."}},
        {live::Quantity::Level, {"zent2_pin_level", "Level of HVOUT1..HVOUT4 and GPIO1..GPIO10, 0 or 1."}},
    };
    for (const auto& [quantity, family] : quantities) {
        out.Begin(family);
        for (const live::LiveDevice& device : devices)
            for (int c = 0; c < live::kChannels; ++c) {
                const live::LiveReading& r = device.channels[c];
                if (r.read && r.value && live::QuantityOf(c) == quantity)
                    out.Sample(ChannelLabels(device.device, c), Number(*r.value));
            }
    }

    out.Begin({"zent2_comparator_state",
               "Output of comparator A or B of a channel, 1 when the input is above its threshold."});
    for (const live::LiveDevice& device : devices)
        for (int c = 0; c < live::kChannels; ++c) {
            const live::LiveReading& r = device.channels[c];
            if (!r.read || !r.comparators) continue;
            for (int k = 0; k < 2; ++k)
                out.Sample(ChannelLabels(device.device, c) + (k == 0 ? ",comparator=\"A\"" : ",comparator=\"B\""),
                           (*r.comparators)[k] ? "1" : "0");
        }

    out.Begin({"zent2_attenuated",
               "1 when a full-scale voltage was read again through the attenuator; its value is not rescaled."});
    for (const live::LiveDevice& device : devices)
        for (int c = 0; c < live::kChannels; ++c) {
            const live::LiveReading& r = device.channels[c];
            if (r.read && r.value && live::QuantityOf(c) == live::Quantity::Voltage)
                out.Sample(ChannelLabels(device.device, c), r.attenuated ? "1" : "0");
        }

    out.Begin({"zent2_reading_failed",
               "1 when the reading of a channel (or the fault log status, channel \"fault log\") failed in the last "
               "poll; its value is then absent."});
    for (const live::LiveDevice& device : devices) {
        if (!device.Answering()) continue;
        for (int c = 0; c < live::kChannels; ++c) {
            const live::LiveReading& r = device.channels[c];
            if (r.read) out.Sample(ChannelLabels(device.device, c), r.failed ? "1" : "0");
        }
        const FaultLogCount& log = poll.faultLogs[static_cast<size_t>(device.device)];
        out.Sample(DeviceLabel(device.device) + ",channel=\"fault log\"", log.failed ? "1" : "0");
    }

    out.Begin({"zent2_fault_log_records", "Records in the fault log of the HMU device, 0..16."});
    for (const live::LiveDevice& device : devices) {
        const FaultLogCount& log = poll.faultLogs[static_cast<size_t>(device.device)];
        if (device.Answering() && log.records) out.Sample(DeviceLabel(device.device), std::to_string(*log.records));
    }

    out.Begin({"zent2_polls_total", "Polls of the board finished since serve started."}, "counter");
    out.Sample("", std::to_string(poll.frame->number));
    out.Begin({"zent2_poll_duration_seconds", "How long the last poll of the board took, seconds."});
    out.Sample("", FormatText("%.6f", poll.durationSeconds));
    out.Begin({"zent2_last_poll_timestamp_seconds", "When the last poll of the board ended, Unix time in seconds."});
    out.Sample("", FormatText("%.3f", poll.finishedUnixSeconds));
    return std::move(out).Text();
}

}  // namespace metrics
