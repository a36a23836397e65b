#pragma once
// The log file format and the two writer operations: the header, written
// once when logging starts, and one record per interval. A record holds one
// block per HMU device that answers, in device order; a block is the line
// "Record %d Value, Name" and one line per selected channel, value first:
//
//     Record 2 Value, Name
//     1.202, HMU0_VMON1
//     1, HMU0_HVOUT2
//     31.250, HMU0_TMON3
//
// Reading the devices and formatting the lines are apart, so that a record
// can be looked at as values (a chart, a progress line) as well as written.
// Devices are read only through the device blocks.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logging/LogSelection.h"

class CI2C_FTDI;
class CLogFile;
class CTovin_I2C_Port;

// One logged value: a channel of a device (logsel channel order) and what
// was read. Pin states are 0 or 1.
struct LogValue {
    int device = 0;
    int channel = 0;
    double value = 0.0;
};

struct LogDeviceBlock {
    int device = 0;
    std::vector<LogValue> values;  // in channel order, selected channels read in full only
    // The selected channels whose reading failed (a transaction not
    // acknowledged, a result never ready: the port would give 0 or a stale
    // value), in channel order. They have no value and no line in the record.
    std::vector<int> failedChannels{};
    bool ReadingFailed() const { return !failedChannels.empty(); }
};

struct LogRecord {
    int number = 0;
    std::vector<LogDeviceBlock> devices;  // answering devices, in device order
    // Readings of the record that failed and were left out, over all devices.
    int FailedReadings() const;
};

struct LogHeader {
    std::string programVersion;
    uint32_t driverVersion = 0;
    uint32_t libraryVersion = 0;
    std::string osText;
    int delaySeconds = 0;
    int totalRecords = 0;
    std::optional<std::tm> localTime;  // none: the date line is left out
};

// The sense resistor of a current monitor (0 = IMON1, 1 = HIMON) of a
// device, in ohms, as the user set it.
using SenseResistance = std::function<float(int device, int monitor)>;

// The kind of channel in the line names: "VMON", "HVOUT", "GPIO", "TMON", "IMON".
const char* LogLineKind(logsel::Group group);
// The line name of a value: "HMU0_VMON1" .. "HMU0_VMON10" (HVMON),
// "HMU0_HVOUT1", "HMU0_GPIO1", "HMU0_TMON1" .. "HMU0_TMON3" (internal),
// "HMU0_IMON1", "HMU0_IMON2" (HIMON).
std::string LogValueName(int device, int channel);
// The channel part of a line name: "VMON1", "HVOUT2", "GPIO7", "TMON3", "IMON2".
std::string LogChannelName(int channel);
// One value line, with its line end.
std::string FormatLogLine(const LogValue& value);
std::string FormatLogRecord(const LogRecord& record);
// Lines 1 to 6 of the header; the date line in English, whatever the locale.
std::string FormatLogHeader(const LogHeader& header);

// The header of a run starting at `now`: program version, the cable's driver
// and library versions (0 when it gives none), the system, the interval and
// the number of records, and the local time.
LogHeader MakeLogHeader(CI2C_FTDI& link, int delaySeconds, int totalRecords, std::time_t now);

// Reads record `number` inside one cable lock: every HMU device that answers
// its probe, the selected channels of each. GPIO7 of a device without it is
// never read into the record. A reading that fails after the probe (the
// port's FailedTransactions() or UnreadyResults() moved while it was read)
// goes into the device's failedChannels instead of its values. The port's current device is the same after
// as before, so an open page keeps addressing its own device.
LogRecord ReadLogRecord(CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                        const SenseResistance& senseOhms);

// A record read in steps, so that a window can let its event loop run
// between them. Each step holds its own cable lock, reads the device it is
// at (its probe first) until the budget has passed, at least one reading,
// and never goes on to the next device: a record of n answering devices
// takes at least n steps. The port's current device is the same after a
// step as before it. The values are those ReadLogRecord gives.
class CLogRecordReader {
public:
    CLogRecordReader(CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                     const SenseResistance& senseOhms);
    // True once the record is complete (then Step does nothing).
    bool Step(std::chrono::microseconds budget);
    bool Done() const { return m_device >= logsel::kDevices; }
    int Steps() const { return m_steps; }
    int Number() const { return m_record.number; }
    LogRecord Take() { return std::move(m_record); }

private:
    void NextDevice();

    CTovin_I2C_Port& m_port;
    const logsel::LogSelection& m_selection;
    SenseResistance m_senseOhms;
    LogRecord m_record;
    int m_device = 0;
    int m_unit = 0;
    int m_steps = 0;
};

// Header and record, written and flushed at once, so that a crash keeps
// every record that was completed. False on a failed write or flush; the
// file's ErrorText() says why, and the file ends where it ended before (no
// record cut short).
bool WriteLogHeader(CLogFile& file, CTovin_I2C_Port& port, int delaySeconds, int totalRecords, std::time_t now);
bool WriteLogRecord(CLogFile& file, CTovin_I2C_Port& port, int number, const logsel::LogSelection& selection,
                    const SenseResistance& senseOhms, LogRecord* written = nullptr);
