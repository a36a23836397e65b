#pragma once
// Log files for the tests: written line by line in the data logger's format
// (header, then per record one block per device with its value lines), and
// a temporary file to put them in.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/TextFormat.h"
#include "logging/LogReader.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace logtest {

struct Value {
    int device = 0;
    int channel = 0;
    double value = 0.0;
};

inline std::string Header(int interval = 1, int total = 0, bool withDate = true)
{
    std::string text = "Norvane Semiconductor Sentrix II I2C Utility version: 1.0.17.297\n"
                       "FTDI driver version: 0x00000000\n"
                       "FTDI library version: 0x00010500\n"
                       "OS Version: Linux 6.1.0 (build 0), 64-bit\n";
    text += FormatText("Logging interval: %d sec, Total logs: %d (0 - unlimited)\n", interval, total);
    if (withDate) text += "Tuesday, December 31, 2024 23:59:58\n\n";
    return text;
}

// The value line as the logger formats it.
inline std::string Line(const Value& v)
{
    const std::string name = logread::ChannelName(v.device, v.channel);
    switch (logread::QuantityOf(v.channel)) {
    case logread::Quantity::State: return FormatText("%u, %s\n", static_cast<unsigned>(v.value), name.c_str());
    case logread::Quantity::Volts: return FormatText("%2.3f, %s\n", v.value, name.c_str());
    default: return FormatText("%0.3f, %s\n", v.value, name.c_str());
    }
}

// Record n: a "Record n Value, Name" line for each device in `devices`,
// each followed by that device's values (in the order given).
inline std::string Record(int number, const std::vector<int>& devices, const std::vector<Value>& values)
{
    std::string text;
    for (const int device : devices) {
        text += FormatText("Record %d Value, Name\n", number);
        for (const Value& v : values)
            if (v.device == device) text += Line(v);
    }
    return text;
}

// A value for every channel of the devices, varying with the record.
inline double SampleValue(int record, int device, int channel)
{
    switch (logread::QuantityOf(channel)) {
    case logread::Quantity::State: return ((record + channel + device) / 3) % 2;
    case logread::Quantity::Volts: return 1.0 + 0.1 * channel + 0.001 * ((record * 7 + device) % 50);
    case logread::Quantity::Celsius: return 30.0 + device + 0.25 * (record % 20);
    case logread::Quantity::Amperes: return 0.1 * (channel - 26) + 0.001 * (record % 30);
    }
    return 0.0;
}

// A whole log: `records` records of `devices` devices with every channel.
inline std::string FullLog(int records, int devices, int interval = 1)
{
    std::string text = Header(interval, records);
    std::vector<int> all;
    for (int d = 0; d < devices; ++d) all.push_back(d);
    for (int r = 1; r <= records; ++r) {
        std::vector<Value> values;
        for (int d = 0; d < devices; ++d)
            for (int c = 0; c < logread::kChannels; ++c) values.push_back({d, c, SampleValue(r, d, c)});
        text += Record(r, all, values);
    }
    return text;
}

// A file under the temporary folder, removed when the object goes.
class TempFile {
public:
    explicit TempFile(const std::string& name, const std::string& content = {})
        : m_path(std::filesystem::temp_directory_path() / ("zent2-" + std::to_string(getpid()) + "-" + name))
    {
        if (!content.empty()) Write(content);
    }
    ~TempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Write(const std::string& content) const
    {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << content;
    }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

}  // namespace logtest
