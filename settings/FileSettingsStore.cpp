#include "settings/FileSettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unordered_map>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // mingw's C++ headers define it already
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\";
constexpr std::string_view kCrLf = "\r\n";
// Regedit keeps hex lines within 80 columns: break once a line passes 76
// before its trailing backslash.
constexpr size_t kHexBreakColumn = 76;

std::string KeyLine()
{
    return "[" + std::string(kRoot) + std::string(kSettingsKeyPath) + "]";
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Control bytes other than tab mean binary junk, never a line of ours.
bool HasControlBytes(std::string_view s)
{
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t') || b == 0x7F) return true;
    }
    return false;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && SameSettingName(s.substr(0, prefix.size()), prefix);
}

// The file as UTF-8 text: a file exported by regedit itself is UTF-16LE with a
// byte-order mark; an editor may have put a UTF-8 mark in front.
std::string DecodeFileText(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8));
        return Utf16ToUtf8(units);
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

// Lines end with CR LF, LF or a lone CR: files edited on any system read alike.
std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string LowerName(std::string_view name)
{
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// The values of a file as it is parsed: a later line of the same name (any
// case) replaces the earlier value in its place, "-" deletes it. Looked up by
// name in constant time, so a file of any size parses in one pass.
class CValueBuilder {
public:
    void Put(std::string_view name, SettingValue value)
    {
        const auto [it, added] = m_index.try_emplace(LowerName(name), m_entries.size());
        if (added) {
            m_entries.push_back({NamedSetting{std::string(name), std::move(value)}, true});
        } else {
            m_entries[it->second].setting.value = std::move(value);
        }
    }
    void Remove(std::string_view name)
    {
        const auto it = m_index.find(LowerName(name));
        if (it == m_index.end()) return;
        // Given again after this, the name goes to the end, as a new one does.
        m_entries[it->second].live = false;
        m_index.erase(it);
    }
    SettingList Take()
    {
        SettingList list;
        list.reserve(m_entries.size());
        for (Entry& entry : m_entries)
            if (entry.live) list.push_back(std::move(entry.setting));
        return list;
    }

private:
    struct Entry {
        NamedSetting setting;
        bool live;
    };
    std::vector<Entry> m_entries;
    std::unordered_map<std::string, size_t> m_index;
};

// A quoted name or text from s[pos] == '"'; regedit escapes only backslash and
// double quote. Leaves pos after the closing quote.
std::optional<std::string> ParseQuoted(std::string_view s, size_t& pos)
{
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (pos + 1 >= s.size() || (s[pos + 1] != '\\' && s[pos + 1] != '"')) return std::nullopt;
            ++pos;
        }
        out.push_back(s[pos]);
    }
    return std::nullopt;  // no closing quote: the line was cut
}

// "xx,xx,...": exactly two hex digits per byte, so that a cut line shows.
std::optional<std::vector<uint8_t>> ParseHexList(std::string_view s)
{
    std::vector<uint8_t> bytes;
    s = Trim(s);
    if (s.empty()) return bytes;
    while (true) {
        const size_t comma = s.find(',');
        const std::string_view token = Trim(s.substr(0, comma));
        if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(HexDigit(token[0]) << 4 | HexDigit(token[1])));
        if (comma == std::string_view::npos) return bytes;
        s.remove_prefix(comma + 1);
    }
}

std::optional<uint32_t> ParseHexNumber(std::string_view s, size_t minDigits, size_t maxDigits)
{
    if (s.size() < minDigits || s.size() > maxDigits) return std::nullopt;
    uint32_t n = 0;
    for (char c : s) {
        if (HexDigit(c) < 0) return std::nullopt;
        n = n << 4 | static_cast<uint32_t>(HexDigit(c));
    }
    return n;
}

// The data after "name=": a quoted text, dword:xxxxxxxx, hex:... or hex(N):...
std::optional<SettingValue> ParseData(std::string_view data)
{
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        auto text = ParseQuoted(data, pos);
        if (!text || !Trim(data.substr(pos)).empty()) return std::nullopt;
        return SettingValue::Text(std::move(*text));
    }
    if (StartsWithNoCase(data, "dword:")) {
        // Regedit always writes eight digits; fewer means a cut line.
        auto n = ParseHexNumber(Trim(data.substr(6)), 8, 8);
        if (!n) return std::nullopt;
        return SettingValue::Number(*n);
    }
    if (!StartsWithNoCase(data, "hex")) return std::nullopt;
    data.remove_prefix(3);
    uint32_t type = kRegBinary;
    if (!data.empty() && data.front() == '(') {
        const size_t close = data.find(')');
        if (close == std::string_view::npos) return std::nullopt;
        auto n = ParseHexNumber(data.substr(1, close - 1), 1, 8);
        if (!n) return std::nullopt;
        type = *n;
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':') return std::nullopt;
    auto bytes = ParseHexList(data.substr(1));
    if (!bytes) return std::nullopt;
    return SettingValue::FromRegistry(type, bytes->data(), bytes->size());
}

std::string Quoted(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// Texts that regedit would read the same whatever code page it assumes.
bool IsPlainAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
    return true;
}

void AppendHex(std::string& line, const std::vector<uint8_t>& data)
{
    static const char kDigits[] = "0123456789abcdef";
    size_t column = line.size();
    for (size_t i = 0; i < data.size(); ++i) {
        line.push_back(kDigits[data[i] >> 4]);
        line.push_back(kDigits[data[i] & 0x0F]);
        column += 2;
        if (i + 1 == data.size()) break;
        line.push_back(',');
        ++column;
        if (column > kHexBreakColumn) {
            line += "\\";
            line += kCrLf;
            line += "  ";
            column = 2;
        }
    }
}

fs::path ResolveLinks(fs::path p)
{
    for (int hop = 0; hop < 16; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(p, ec)) break;
        fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p;
}

}  // namespace

fs::path SettingsFilePath(const char* xdgConfigHome, const char* home)
{
    fs::path base;
    if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute())
        base = xdgConfigHome;
    else if (home && *home && fs::path(home).is_absolute())
        base = fs::path(home) / ".config";
    else
        return {};
    return base / "Norvane Semiconductor Corporation" / "ZENT2_I2C_Utility" / "Settings.reg";
}

fs::path DefaultSettingsFilePath()
{
#ifdef _WIN32
    return SettingsFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("USERPROFILE"));
#else
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        if (user) home = user->pw_dir;
    }
    return SettingsFilePath(std::getenv("XDG_CONFIG_HOME"), home);
#endif
}

RegFileContents ParseRegFile(std::string_view fileBytes)
{
    RegFileContents out;
    const std::string text = DecodeFileText(fileBytes);
    const std::vector<std::string_view> lines = SplitLines(text);
    const std::string keyLine = KeyLine();
    CValueBuilder values;
    bool seenContent = false;
    bool inKey = false;

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view raw = lines[i];
        const std::string_view line = Trim(raw);
        if (line.empty()) continue;
        if (HasControlBytes(raw)) {
            out.dropped.emplace_back(raw);
            continue;
        }
        if (!seenContent) {
            seenContent = true;
            if (line == kHeader) continue;
        }
        if (line.front() == '[') {
            inKey = SameSettingName(line, keyLine);
            if (!inKey) out.dropped.emplace_back(raw);
            continue;
        }
        if (!inKey) {
            out.dropped.emplace_back(raw);
            continue;
        }

        // A value line: "name" or @, '=', data; hex data may go on over lines
        // that end with a backslash.
        std::string name;
        size_t pos = 0;
        bool ok = true;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            auto quoted = ParseQuoted(line, pos);
            if (quoted) name = std::move(*quoted);
            else ok = false;
        } else {
            ok = false;
        }
        std::string_view rest = ok ? Trim(line.substr(pos)) : std::string_view{};
        if (ok && (rest.empty() || rest.front() != '=')) ok = false;
        if (!ok) {
            out.dropped.emplace_back(raw);
            continue;
        }
        std::string data(Trim(rest.substr(1)));
        size_t last = i;
        if (StartsWithNoCase(data, "hex")) {
            while (ok && !data.empty() && data.back() == '\\') {
                data.pop_back();
                const std::string_view next = last + 1 < lines.size() ? Trim(lines[last + 1]) : "";
                // A continuation starts with a hex digit; anything else means the
                // value was cut, and that line is left for its own parsing.
                if (next.empty() || HexDigit(next.front()) < 0 || HasControlBytes(next)) {
                    ok = false;
                    break;
                }
                // Appended in place: a long value costs its length, not its square.
                while (!data.empty() && IsSpace(data.back())) data.pop_back();
                data += next;
                ++last;
            }
        }
        if (ok && data == "-") {
            values.Remove(name);  // regedit's "delete this value"
        } else if (auto value = ok ? ParseData(data) : std::nullopt) {
            values.Put(name, std::move(*value));
        } else {
            for (size_t k = i; k <= last; ++k) out.dropped.emplace_back(lines[k]);
        }
        i = last;
    }
    out.values = values.Take();
    return out;
}

std::string FormatRegValue(std::string_view name, const SettingValue& value)
{
    std::string line = name.empty() ? std::string("@") : Quoted(name);
    line += '=';
    switch (value.type) {
    case SettingType::Number: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(value.number));
        line += buffer;
        break;
    }
    case SettingType::Text:
        if (IsPlainAscii(value.text)) {
            line += Quoted(value.text);
            break;
        }
        line += "hex(1):";
        AppendHex(line, value.RegistryData());
        break;
    case SettingType::Binary:
        line += "hex:";
        AppendHex(line, value.bytes);
        break;
    case SettingType::ExpandText:
    case SettingType::Other: {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.RegistryType()));
        line += buffer;
        AppendHex(line, value.RegistryData());
        break;
    }
    }
    line += kCrLf;
    return line;
}

std::string FormatRegFile(const SettingList& values)
{
    std::string text;
    text += kHeader;
    text += kCrLf;
    text += kCrLf;
    text += KeyLine();
    text += kCrLf;
    for (const auto& entry : values) text += FormatRegValue(entry.name, entry.value);
    text += kCrLf;
    return text;
}

CFileSettingsStore::CFileSettingsStore(fs::path file) : m_file(std::move(file))
{
    if (m_file.empty() || !m_file.has_filename()) return;
    const fs::path folder = m_file.parent_path();
    std::error_code ec;
    if (!folder.empty()) fs::create_directories(folder, ec);
    m_open = folder.empty() || fs::is_directory(folder, ec);
    if (!m_open) return;
    // A save that was killed leaves its temporary file: the old file is whole,
    // the temporary one is of no use.
    RemoveLeftoverTemporaryFiles(m_file);
    RemoveLeftoverTemporaryFiles(DamagedCopyPath());
}

fs::path CFileSettingsStore::DamagedCopyPath() const
{
    fs::path copy = m_file;
    copy += ".damaged";
    return copy;
}

CFileSettingsStore::FileStamp CFileSettingsStore::Stamp() const
{
    FileStamp stamp;
#ifdef _WIN32
    // The file's id changes when a save renames a new file over it, its write
    // time (in 100 ns) when an editor rewrites it in place; the C runtime's
    // stat, behind std::filesystem here, has whole seconds only.
    const HANDLE handle = CreateFileW(m_file.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        stamp.type = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                         ? static_cast<int>(fs::file_type::not_found)
                         : -1;
        return stamp;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known) return stamp;
    stamp.type = static_cast<int>((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? fs::file_type::unknown
                                                                                       : fs::file_type::regular);
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    stamp.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    stamp.modified = static_cast<int64_t>(static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                          info.ftLastWriteTime.dwLowDateTime);
#else
    // A rename over the file gives it a new inode, so a value written by
    // another instance is seen even within one tick of the file clock.
    struct stat st {};
    if (::stat(m_file.c_str(), &st) != 0) {
        stamp.type = errno == ENOENT || errno == ENOTDIR ? static_cast<int>(fs::file_type::not_found) : -1;
        return stamp;
    }
    stamp.type = static_cast<int>(S_ISREG(st.st_mode) ? fs::file_type::regular : fs::file_type::unknown);
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
#endif
    return stamp;
}

bool CFileSettingsStore::Load(std::string& bytes) const
{
    bytes.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(m_file, ec);
    if (status.type() == fs::file_type::not_found) return true;
    if (ec || status.type() != fs::file_type::regular) return false;
    std::ifstream in(m_file, std::ios::binary);
    if (!in) return false;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes.append(chunk, static_cast<size_t>(in.gcount()));
    return !in.bad();
}

const CFileSettingsStore::Snapshot* CFileSettingsStore::Current() const
{
    if (!m_open) return nullptr;
    // The file is parsed again only when it changed since it was last read.
    const FileStamp stamp = Stamp();
    if (m_snapshot && m_snapshot->stamp == stamp && stamp.type != -1) return &*m_snapshot;
    m_snapshot.reset();
    std::string bytes;
    if (!Load(bytes)) return nullptr;
    Snapshot snapshot;
    snapshot.stamp = stamp;
    snapshot.contents = ParseRegFile(bytes);
    // Kept only to be set aside before a rewrite drops what did not parse.
    if (!snapshot.contents.dropped.empty()) snapshot.bytes = std::move(bytes);
    m_snapshot = std::move(snapshot);
    return &*m_snapshot;
}

std::optional<SettingValue> CFileSettingsStore::Get(std::string_view name) const
{
    const Snapshot* snapshot = Current();
    if (!snapshot) return std::nullopt;
    const SettingValue* value = FindSetting(snapshot->contents.values, name);
    if (!value) return std::nullopt;
    return *value;
}

bool CFileSettingsStore::Set(std::string_view name, const SettingValue& value)
{
    return SetValues({NamedSetting{std::string(name), value}});
}

bool CFileSettingsStore::SetValues(const SettingList& values)
{
    // A name with a line break or NUL cannot be written as one .reg line.
    if (!m_open) return false;
    for (const NamedSetting& entry : values)
        if (HasControlBytes(entry.name)) return false;
    const Snapshot* snapshot = Current();
    if (!snapshot) return false;  // rewriting would lose what could not be read
    SettingList list = snapshot->contents.values;
    for (const NamedSetting& entry : values) PutSetting(list, entry.name, entry.value);
    if (!snapshot->contents.dropped.empty() && !WriteFileAtomically(DamagedCopyPath(), snapshot->bytes)) return false;
    m_snapshot.reset();
    if (!WriteFileAtomically(m_file, FormatRegFile(list))) return false;
    // What was just written is what the file holds now.
    Snapshot written;
    written.stamp = Stamp();
    written.contents.values = std::move(list);
    m_snapshot = std::move(written);
    return true;
}

std::vector<std::string> CFileSettingsStore::Names() const
{
    std::vector<std::string> names;
    const Snapshot* snapshot = Current();
    if (!snapshot) return names;
    for (const auto& entry : snapshot->contents.values) names.push_back(entry.name);
    return names;
}

namespace {

// Temporary files of WriteFileAtomically: ".NAME.tmpPID-UNIQUE" beside NAME.
std::string TemporaryPrefix(const fs::path& file)
{
    return "." + file.filename().string() + ".tmp";
}

// The writer of a temporary file, from its name; 0 when it is not one.
unsigned long TemporaryFileWriter(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    unsigned long pid = 0;
    size_t i = prefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 100'000'000; ++i)
        pid = pid * 10 + static_cast<unsigned long>(name[i] - '0');
    if (i == prefix.size() || i + 1 >= name.size() || name[i] != '-') return 0;
    return pid;
}

bool ProcessIsGone(unsigned long pid)
{
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return gone;
#else
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

unsigned long ThisProcess()
{
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

}  // namespace

int RemoveLeftoverTemporaryFiles(const fs::path& target)
{
    const fs::path file = ResolveLinks(target);
    if (!file.has_filename()) return 0;
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const std::string prefix = TemporaryPrefix(file);
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const unsigned long writer = TemporaryFileWriter(name, prefix);
        // Another instance may be saving right now: only a dead writer's file goes.
        if (writer == 0 || writer == ThisProcess() || !ProcessIsGone(writer)) continue;
        std::error_code removeError;
        if (it->is_regular_file(removeError) && fs::remove(it->path(), removeError)) ++removed;
    }
    return removed;
}

#ifdef _WIN32

bool WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    const fs::path file = ResolveLinks(target);
    const fs::path folder = file.parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) return false;
    }
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path temp = folder / (fs::path(TemporaryPrefix(file)).wstring() +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        FILE* out = _wfopen(temp.c_str(), L"wbx");
        if (!out) {
            if (errno == EEXIST) continue;
            return false;
        }
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        ok = std::fflush(out) == 0 && ok;
        ok = _commit(_fileno(out)) == 0 && ok;
        ok = std::fclose(out) == 0 && ok;
        ok = ok && MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!ok) _wremove(temp.c_str());
        return ok;
    }
    return false;
}

#else

namespace {

class CUniqueFd {
public:
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd() { Close(); }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    int Get() const { return m_fd; }
    bool Close()
    {
        if (m_fd < 0) return true;
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    const fs::path file = ResolveLinks(target);
    if (!file.has_filename()) return false;
    const fs::path folder = file.parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) return false;
    }

    std::string temp =
        (folder / (TemporaryPrefix(file) + std::to_string(::getpid()) + "-XXXXXX")).string();
    CUniqueFd fd(::mkstemp(temp.data()));
    if (fd.Get() < 0) return false;

    // A new file stays private to the user (mkstemp's 0600); a replaced one
    // keeps its permissions.
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0) ::fchmod(fd.Get(), old.st_mode & 07777);

    bool ok = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    CUniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return true;
}

#endif
