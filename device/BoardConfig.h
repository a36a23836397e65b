#pragma once
// Board configurations: the writable configuration registers of the HMU
// devices (the browser's writable "C" rows: thresholds, glitch filters,
// window modes, HVOUT and GPIO set-ups, trim targets) as a text file people
// read and diff, compared with a board and written onto another.
//
// The file: a header of '#' comments (program version, date, devices), then
// one line per register: the device, the register's name as in the register
// map, in double quotes, its number and its value, e.g.
//     HMU0  "VMON1 Config0"  22  0x5A
// Numbers are decimal or 0x hex; '#' starts a comment, blank lines are
// skipped, lines end in LF or CR LF (a UTF-8 byte order mark is skipped). A file may hold any part of a device's
// registers: compare and load concern only the registers it names.
//
// Reading checks the whole file before anything is sent; the bus sequences
// run on the register port inside the caller's cable lock and leave the
// port's current HMU index as they found it. A window runs them a step at a
// time (CReader, CLoader), each step under its own lock, so that the event
// loop turns between steps.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/RegisterMap.h"

class CTovin_I2C_Port;

namespace boardconfig {

// Configuration files are small: longer lines and larger files are refused.
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxFileBytes = 1024 * 1024;
constexpr int kDevices = regmap::kDevices;

// The rows of regmap::DeviceRows() a configuration holds: the writable
// configuration registers, in map order.
const std::vector<int>& ConfigRows();

// One register of one device with its value.
struct Setting {
    int device = 0;     // HMU 0..7
    int row = 0;        // in regmap::DeviceRows()
    uint8_t value = 0;
    int line = 0;       // its line in the file; 0 for a value read from a device
    const RegisterEntry& Register() const { return regmap::DeviceRows()[static_cast<size_t>(row)]; }
};
// Settings in the order they were read or are to be written.
using Settings = std::vector<Setting>;

// The devices the settings name, ascending.
std::vector<int> Devices(const Settings& settings);
// Every writable configuration register of each device, value 0: what a
// save reads.
Settings AllRegisters(const std::vector<int>& devices);

// What the header says besides the devices.
struct Header {
    std::string version;  // ProgramVersion()
    std::string date;     // "2024-05-06 14:03:07"
};
// The newline files are written with on this platform.
#ifdef _WIN32
inline constexpr std::string_view kPlatformNewline = "\r\n";
#else
inline constexpr std::string_view kPlatformNewline = "\n";
#endif
// The file text, registers by device and in map order.
std::string Format(const Settings& settings, const Header& header, std::string_view newline = kPlatformNewline);
// A register as its file line names it: HMU0  "VMON1 Config0"  22
std::string RegisterText(const Setting& setting);

// Reads and checks the whole text. On false `error` is one line, "SOURCE,
// line N: what is wrong" (text from the file cut short and made readable),
// and `settings` is not to be used.
bool Parse(std::string_view text, const std::string& source, Settings& settings, std::string& error);
// Reads a file of at most kMaxFileBytes (a regular file only) and parses it.
bool ReadFile(const std::string& path, Settings& settings, std::string& error);

// "SOURCE, line N: HMU3 is not on the board (it did not answer)", N the
// device's first line in the file.
std::string AbsentDeviceError(const Settings& settings, int device, const std::string& source);

// A register whose device value is not the file's.
struct Difference {
    Setting file;         // the file's line and value
    uint8_t deviceValue;  // what the device holds
};
// The file's settings whose register reads otherwise in `device` (settings
// read from the devices), in the file's order.
std::vector<Difference> Compare(const Settings& file, const Settings& device);

// ---- Bus sequences -------------------------------------------------------

// The devices of `settings` that do not answer a probe, ascending.
std::vector<int> AbsentDevices(CTovin_I2C_Port& port, const Settings& settings);

// Reads the register of each setting from its device. A transaction that
// failed (the port's FailedTransactions() moved) ends the reading there:
// `ok` is false, `failed` names the register and `values` holds only what
// was read before it.
struct Reading {
    bool ok = true;
    Settings values;
    Setting failed;
};
Reading Read(CTovin_I2C_Port& port, const Settings& which);

// Loads the file onto the board: reads every register it names (nothing is
// written when a read fails), then device by device writes the registers that
// differ, sends Update Configuration once (also to a device with nothing to
// write: a configuration read shows the written copy, which may not be the
// one in effect) and reads the device's registers of the file back. Stops at
// the first transaction that fails; a register that reads back otherwise is
// reported and the other devices are still loaded.
struct LoadResult {
    enum class Failure { None, Read, Write, Update, ReadBack };
    Failure failure = Failure::None;
    Setting failed;                       // the register (or, for Update, the device) that failed
    std::vector<Difference> differences;  // what the board held that the file does not
    Settings written;                     // sent and acknowledged, in order
    Settings notWritten;                  // of the differences: not sent, or not acknowledged
    std::vector<int> updated;             // devices whose Update Configuration was acknowledged
    std::vector<Difference> notTaken;     // read back otherwise than the file says
    bool Done() const { return failure == Failure::None && notTaken.empty(); }
    // Whether a written register's device applied it.
    bool Applied(int device) const;
};
// dryRun: only the reads and the differences; nothing is written.
LoadResult Load(CTovin_I2C_Port& port, const Settings& file, bool dryRun = false);

// ---- In steps --------------------------------------------------------------

// The transactions of one step: about 35 ms on a cable of 1 ms round trip,
// under 10 ms at 125 us.
constexpr int kTransactionsPerStep = 16;

// Read, a step at a time. Step() makes at most `transactions` transactions
// and says whether there is more to do.
class CReader {
public:
    explicit CReader(Settings which = {});
    bool Step(CTovin_I2C_Port& port, int transactions = kTransactionsPerStep);
    bool Done() const { return !m_reading.ok || m_next == m_which.size(); }
    size_t Finished() const { return m_next; }
    size_t Total() const { return m_which.size(); }
    const Reading& Result() const { return m_reading; }

private:
    Settings m_which;
    size_t m_next = 0;
    Reading m_reading;
};

// Load, a step at a time, in the same order and with the same result.
class CLoader {
public:
    explicit CLoader(const Settings& file, bool dryRun = false);
    bool Step(CTovin_I2C_Port& port, int transactions = kTransactionsPerStep);
    bool Done() const { return m_phase == Phase::Done; }
    // Whether the reading before any write is over: stopping from here on
    // may leave the board half loaded.
    bool Writing() const { return m_phase != Phase::Before; }
    // Transactions made, and made and to come (the writes are known once the
    // first reading is over).
    size_t Finished() const { return m_finished; }
    size_t Total() const;
    const LoadResult& Result() const { return m_result; }

private:
    enum class Phase { Before, Write, After, Done };
    void One(CTovin_I2C_Port& port);
    void Fail(LoadResult::Failure failure, const Setting& failed);

    Settings m_ordered;
    std::vector<int> m_devices;
    bool m_dryRun;
    Phase m_phase = Phase::Before;
    CReader m_reader;     // the reading before, then each device's read-back
    size_t m_device = 0;  // in m_devices, while writing and reading back
    size_t m_next = 0;    // the next difference to write
    size_t m_finished = 0;
    LoadResult m_result;
};

}  // namespace boardconfig
