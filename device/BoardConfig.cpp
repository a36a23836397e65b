#include "device/BoardConfig.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>

#include "device/Tovin_I2C_Port.h"
#include "util/TextFormat.h"
#include "util/NumberText.h"

namespace boardconfig {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<int> MakeConfigRows()
{
    std::vector<int> rows;
    const std::vector<RegisterEntry>& map = regmap::DeviceRows();
    for (size_t r = 0; r < map.size(); ++r)
        if (map[r].type == kConfigRegister && !map[r].readOnly) rows.push_back(static_cast<int>(r));
    return rows;
}

// The row of a writable configuration register by its name, -1 when the
// map has no such register, -2 when it has one that is not writable configuration.
int FindConfigRow(std::string_view name)
{
    const std::vector<RegisterEntry>& map = regmap::DeviceRows();
    int found = -1;
    for (size_t r = 0; r < map.size(); ++r) {
        if (map[r].name != name) continue;
        if (map[r].type == kConfigRegister && !map[r].readOnly) return static_cast<int>(r);
        found = -2;
    }
    return found;
}

std::string Quoted(std::string_view text)
{
    return "\"" + ShownText(text) + "\"";
}

// One register line taken apart: the words as written, unchecked.
struct LineWords {
    std::string_view device;
    std::string_view name;
    std::string_view number;
    std::string_view value;
};

// Splits `line` into its four words; false when it is not of that shape.
// Nothing but blanks and a comment may follow the value.
bool SplitLine(std::string_view line, LineWords& words)
{
    size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
    };
    const auto word = [&] {
        const size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '#' && line[pos] != '"') ++pos;
        return line.substr(start, pos - start);
    };
    skipBlanks();
    words.device = word();
    skipBlanks();
    if (words.device.empty() || pos >= line.size() || line[pos] != '"') return false;
    const size_t close = line.find('"', pos + 1);
    if (close == std::string_view::npos) return false;
    words.name = line.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    skipBlanks();
    words.number = word();
    skipBlanks();
    words.value = word();
    skipBlanks();
    if (words.number.empty() || words.value.empty()) return false;
    return pos == line.size() || line[pos] == '#';
}

// Whether the line holds nothing but blanks and a comment.
bool IsEmptyLine(std::string_view line)
{
    for (const char c : line) {
        if (c == '#') return true;
        if (!IsBlank(c)) return false;
    }
    return true;
}

// "HMU0".."HMU7" (any case) as 0..7; -1 for another HMU number, -2 for no HMU word.
int ParseDevice(std::string_view word)
{
    if (word.size() < 4) return -2;
    for (size_t i = 0; i < 3; ++i)
        if ((word[i] & ~0x20) != "HMU"[i]) return -2;
    const std::optional<uint64_t> number = ParseNumber(word.substr(3));
    if (!number || word.substr(3, 2) == "0x" || word.substr(3, 2) == "0X") return -2;
    return *number < static_cast<uint64_t>(kDevices) ? static_cast<int>(*number) : -1;
}

// Positions in map order, for sorting by device and register.
int Order(const Setting& s)
{
    return s.device * regmap::kRowsPerDevice + s.row;
}

Settings Sorted(Settings settings)
{
    std::stable_sort(settings.begin(), settings.end(),
                     [](const Setting& a, const Setting& b) { return Order(a) < Order(b); });
    return settings;
}

// Puts the port's current device back when a sequence ends.
class CIndexKeeper {
public:
    explicit CIndexKeeper(CTovin_I2C_Port& port) : m_port(port), m_index(port.GetHmuIndex()) {}
    ~CIndexKeeper() { m_port.SetHmuIndex(m_index); }
    CIndexKeeper(const CIndexKeeper&) = delete;
    CIndexKeeper& operator=(const CIndexKeeper&) = delete;

private:
    CTovin_I2C_Port& m_port;
    int m_index;
};

bool ReadOne(CTovin_I2C_Port& port, const Setting& setting, uint8_t& value)
{
    const RegisterEntry& reg = setting.Register();
    const uint64_t failed = port.FailedTransactions();
    port.SetHmuIndex(setting.device);
    value = port.ReadRegister(reg.ReadCommand(), reg.reg);
    return port.FailedTransactions() == failed;
}

bool WriteOne(CTovin_I2C_Port& port, const Setting& setting)
{
    const RegisterEntry& reg = setting.Register();
    const uint64_t failed = port.FailedTransactions();
    port.SetHmuIndex(setting.device);
    port.WriteRegister(reg.WriteCommand(), reg.reg, setting.value);
    return port.FailedTransactions() == failed;
}

bool UpdateOne(CTovin_I2C_Port& port, int device)
{
    const uint64_t failed = port.FailedTransactions();
    port.SetHmuIndex(device);
    port.UpdateConfiguration();
    const bool ok = port.FailedTransactions() == failed;
    if (!ok) port.ClearError();  // reported by the caller, not left flagged for a page to report again
    return ok;
}

Settings OfDevice(const Settings& settings, int device)
{
    Settings of;
    for (const Setting& s : settings)
        if (s.device == device) of.push_back(s);
    return of;
}

}  // namespace

const std::vector<int>& ConfigRows()
{
    static const std::vector<int> rows = MakeConfigRows();
    return rows;
}

std::vector<int> Devices(const Settings& settings)
{
    std::vector<int> devices;
    for (const Setting& s : settings)
        if (std::find(devices.begin(), devices.end(), s.device) == devices.end()) devices.push_back(s.device);
    std::sort(devices.begin(), devices.end());
    return devices;
}

Settings AllRegisters(const std::vector<int>& devices)
{
    Settings settings;
    for (const int device : devices)
        for (const int row : ConfigRows()) settings.push_back({device, row, 0, 0});
    return settings;
}

std::string RegisterText(const Setting& setting)
{
    static const int nameWidth = [] {
        size_t widest = 0;
        for (const int row : ConfigRows()) widest = std::max(widest, regmap::DeviceRows()[row].name.size());
        return static_cast<int>(widest) + 2;
    }();
    const RegisterEntry& reg = setting.Register();
    return FormatText("HMU%d  %-*s %3d", setting.device, nameWidth, ("\"" + reg.name + "\"").c_str(), reg.reg);
}

std::string Format(const Settings& settings, const Header& header, std::string_view newline)
{
    const std::string nl(newline);
    std::string devices;
    for (const int device : Devices(settings)) devices += FormatText(" HMU%d", device);
    std::string text = "# ZENT2 I2C utility " + header.version + ": board configuration" + nl;
    text += "# Date: " + header.date + nl;
    text += "# Devices:" + devices + nl;
    text += "# The writable configuration registers: device, name, number, value." + nl;
    for (const Setting& s : Sorted(settings)) text += RegisterText(s) + FormatText("  0x%02X", s.value) + nl;
    return text;
}

bool Parse(std::string_view text, const std::string& source, Settings& settings, std::string& error)
{
    settings.clear();
    int lineNumber = 0;
    const auto fail = [&](const std::string& message) {
        error = source + ", line " + std::to_string(lineNumber) + ": " + message;
        settings.clear();
        return false;
    };
    std::map<int, int> lineOf;  // Order() of each register given -> its line
    // The byte order mark some Windows editors put before UTF-8 text.
    size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (start < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLineBytes)
            return fail("line longer than " + std::to_string(kMaxLineBytes) + " characters");
        if (IsEmptyLine(line)) continue;

        LineWords words;
        if (!SplitLine(line, words))
            return fail("expected HMUn \"register name\" number value, found " + Quoted(line));
        Setting setting;
        setting.line = lineNumber;
        setting.device = ParseDevice(words.device);
        if (setting.device == -1) return fail(Quoted(words.device) + " is not a device: HMU0..HMU7");
        if (setting.device < 0)
            return fail("expected HMUn \"register name\" number value, found " + Quoted(line));
        setting.row = FindConfigRow(words.name);
        if (setting.row == -2)
            return fail(Quoted(words.name) + " is not a writable configuration register");
        if (setting.row < 0) return fail("the register map has no register " + Quoted(words.name));
        const RegisterEntry& reg = setting.Register();
        const std::optional<uint64_t> number = ParseNumber(words.number);
        if (!number) return fail("bad register number " + Quoted(words.number) + ": use decimal or 0x hex");
        if (*number != static_cast<uint64_t>(reg.reg))
            return fail(Quoted(reg.name) + " is register " + std::to_string(reg.reg) + ", not " +
                        ShownText(words.number));
        const std::optional<uint64_t> value = ParseNumber(words.value);
        if (!value)
            return fail("bad value " + Quoted(words.value) + " of " + Quoted(reg.name) + ": use 0x hex or decimal");
        if (*value > 0xFF)
            return fail("value " + ShownText(words.value) + " of " + Quoted(reg.name) + " is over 0xFF");
        setting.value = static_cast<uint8_t>(*value);
        const auto [given, fresh] = lineOf.emplace(Order(setting), lineNumber);
        if (!fresh)
            return fail(FormatText("HMU%d ", setting.device) + Quoted(reg.name) + " is given twice (first on line " +
                        std::to_string(given->second) + ")");
        settings.push_back(setting);
    }
    if (settings.empty()) {
        error = source + ": no register lines (HMUn \"register name\" number value)";
        return false;
    }
    error.clear();
    return true;
}

bool ReadFile(const std::string& path, Settings& settings, std::string& error)
{
    settings.clear();
    // Only a regular file: a folder reads as nothing, and a device may never end.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        error = "cannot open the configuration file " + path + ": it does not exist";
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        error = "the configuration file " + path + " is not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the configuration file " + path;
        return false;
    }
    std::string text(kMaxFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        error = "cannot read the configuration file " + path;
        return false;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxFileBytes) {
        error = "the configuration file " + path + " is larger than " + std::to_string(kMaxFileBytes / 1024) + " KiB";
        return false;
    }
    return Parse(text, path, settings, error);
}

std::string AbsentDeviceError(const Settings& settings, int device, const std::string& source)
{
    int line = 0;
    for (const Setting& s : settings)
        if (s.device == device && (line == 0 || s.line < line)) line = s.line;
    return source + ", line " + std::to_string(line) +
           FormatText(": HMU%d is not on the board (it did not answer)", device);
}

std::vector<Difference> Compare(const Settings& file, const Settings& device)
{
    std::map<int, uint8_t> held;
    for (const Setting& s : device) held[Order(s)] = s.value;
    std::vector<Difference> differences;
    for (const Setting& s : file) {
        const auto it = held.find(Order(s));
        if (it != held.end() && it->second != s.value) differences.push_back({s, it->second});
    }
    return differences;
}

std::vector<int> AbsentDevices(CTovin_I2C_Port& port, const Settings& settings)
{
    std::vector<int> absent;
    for (const int device : Devices(settings))
        if (!port.ProbeHmu(device)) absent.push_back(device);
    return absent;
}

Reading Read(CTovin_I2C_Port& port, const Settings& which)
{
    CReader reader(which);
    while (reader.Step(port, std::numeric_limits<int>::max())) {
    }
    return reader.Result();
}

bool LoadResult::Applied(int device) const
{
    return std::find(updated.begin(), updated.end(), device) != updated.end();
}

LoadResult Load(CTovin_I2C_Port& port, const Settings& file, bool dryRun)
{
    CLoader loader(file, dryRun);
    while (loader.Step(port, std::numeric_limits<int>::max())) {
    }
    return loader.Result();
}

CReader::CReader(Settings which) : m_which(std::move(which))
{
}

bool CReader::Step(CTovin_I2C_Port& port, int transactions)
{
    const CIndexKeeper keep(port);
    for (int n = 0; n < transactions && !Done(); ++n) {
        const Setting& s = m_which[m_next];
        Setting value = s;
        if (!ReadOne(port, s, value.value)) {
            m_reading.ok = false;
            m_reading.failed = s;
            break;
        }
        value.line = 0;
        m_reading.values.push_back(value);
        ++m_next;
    }
    return !Done();
}

CLoader::CLoader(const Settings& file, bool dryRun)
    : m_ordered(Sorted(file)), m_devices(Devices(m_ordered)), m_dryRun(dryRun), m_reader(m_ordered)
{
}

size_t CLoader::Total() const
{
    if (m_dryRun) return m_ordered.size();
    // Read before, the writes, an update per device, read back.
    return 2 * m_ordered.size() + m_result.differences.size() + m_devices.size();
}

bool CLoader::Step(CTovin_I2C_Port& port, int transactions)
{
    const CIndexKeeper keep(port);
    for (int n = 0; n < transactions && !Done(); ++n) {
        One(port);
        ++m_finished;
    }
    return !Done();
}

void CLoader::Fail(LoadResult::Failure failure, const Setting& failed)
{
    m_result.failure = failure;
    m_result.failed = failed;
    // The differences not yet written, from the one that failed on.
    if (failure != LoadResult::Failure::Read)
        for (size_t i = m_next; i < m_result.differences.size(); ++i)
            m_result.notWritten.push_back(m_result.differences[i].file);
    m_phase = Phase::Done;
}

// One transaction: a read, a write or an Update Configuration.
void CLoader::One(CTovin_I2C_Port& port)
{
    const std::vector<Difference>& differences = m_result.differences;
    switch (m_phase) {
    case Phase::Before:
        m_reader.Step(port, 1);
        if (!m_reader.Done()) return;
        if (!m_reader.Result().ok) return Fail(LoadResult::Failure::Read, m_reader.Result().failed);
        m_result.differences = Compare(m_ordered, m_reader.Result().values);
        m_phase = m_dryRun || m_devices.empty() ? Phase::Done : Phase::Write;
        return;
    case Phase::Write: {
        const int device = m_devices[m_device];
        if (m_next < differences.size() && differences[m_next].file.device == device) {
            const Setting& s = differences[m_next].file;
            if (!WriteOne(port, s)) return Fail(LoadResult::Failure::Write, s);
            m_result.written.push_back(s);
            ++m_next;
            return;
        }
        // Sent also to a device with nothing to write: a configuration read
        // shows the written copy, which may not be the one in effect.
        if (!UpdateOne(port, device)) return Fail(LoadResult::Failure::Update, Setting{device, 0, 0, 0});
        m_result.updated.push_back(device);
        m_reader = CReader(OfDevice(m_ordered, device));
        m_phase = Phase::After;
        return;
    }
    case Phase::After: {
        m_reader.Step(port, 1);
        if (!m_reader.Done()) return;
        if (!m_reader.Result().ok) return Fail(LoadResult::Failure::ReadBack, m_reader.Result().failed);
        for (const Difference& d : Compare(OfDevice(m_ordered, m_devices[m_device]), m_reader.Result().values))
            m_result.notTaken.push_back(d);
        m_phase = ++m_device < m_devices.size() ? Phase::Write : Phase::Done;
        return;
    }
    case Phase::Done:
        return;
    }
}

}  // namespace boardconfig
