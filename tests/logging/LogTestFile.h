#pragma once
// Log files for the tests, written by the data logger's own formatting (the
// header, then per record one block per device with its value lines), and a
// temporary file to put them in.

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logging/LogReader.h"
#include "logging/LogWriter.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace logtest {

using Value = LogValue;

// A header begun on Tuesday, December 31, 2024 at 23:59:58 (or without the date line).
inline std::string Header(int interval = 1, int total = 0, bool withDate = true)
{
    LogHeader header;
    header.programVersion = "1.0.17.297";
    header.driverVersion = 0;
    header.libraryVersion = 0x00010500;
    header.osText = "Linux 6.1.0 (build 0), 64-bit";
    header.delaySeconds = interval;
    header.totalRecords = total;
    if (withDate) {
        std::tm time{};
        time.tm_year = 2024 - 1900;
        time.tm_mon = 11;
        time.tm_mday = 31;
        time.tm_wday = 2;
        time.tm_hour = 23;
        time.tm_min = 59;
        time.tm_sec = 58;
        header.localTime = time;
    }
    return FormatLogHeader(header);
}

// Record n: a block for each device in `devices`, each with that device's
// values (in the order given).
inline std::string Record(int number, const std::vector<int>& devices, const std::vector<Value>& values)
{
    LogRecord record;
    record.number = number;
    for (const int device : devices) {
        LogDeviceBlock block;
        block.device = device;
        for (const Value& v : values)
            if (v.device == device) block.values.push_back(v);
        record.devices.push_back(block);
    }
    return FormatLogRecord(record);
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
