#include "app/FileSettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
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

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

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
    const std::vector<std::string> lines = SplitLines(DecodeFileText(fileBytes));
    const std::string keyLine = KeyLine();
    bool seenContent = false;
    bool inKey = false;

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& raw = lines[i];
        const std::string_view line = Trim(raw);
        if (line.empty()) continue;
        if (HasControlBytes(raw)) {
            out.dropped.push_back(raw);
            continue;
        }
        if (!seenContent) {
            seenContent = true;
            if (line == kHeader) continue;
        }
        if (line.front() == '[') {
            inKey = SameSettingName(line, keyLine);
            if (!inKey) out.dropped.push_back(raw);
            continue;
        }
        if (!inKey) {
            out.dropped.push_back(raw);
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
            out.dropped.push_back(raw);
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
                data += next;
                data = std::string(Trim(data));
                ++last;
            }
        }
        if (ok && data == "-") {
            RemoveSetting(out.values, name);  // regedit's "delete this value"
        } else if (auto value = ok ? ParseData(data) : std::nullopt) {
            PutSetting(out.values, name, std::move(*value));
        } else {
            for (size_t k = i; k <= last; ++k) out.dropped.push_back(lines[k]);
        }
        i = last;
    }
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
    if (folder.empty()) {
        m_open = true;
        return;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    m_open = fs::is_directory(folder, ec);
}

fs::path CFileSettingsStore::DamagedCopyPath() const
{
    fs::path copy = m_file;
    copy += ".damaged";
    return copy;
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
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::optional<SettingValue> CFileSettingsStore::Get(std::string_view name) const
{
    std::string bytes;
    if (!m_open || !Load(bytes)) return std::nullopt;
    const RegFileContents contents = ParseRegFile(bytes);
    const SettingValue* value = FindSetting(contents.values, name);
    if (!value) return std::nullopt;
    return *value;
}

bool CFileSettingsStore::Set(std::string_view name, const SettingValue& value)
{
    // A name with a line break or NUL cannot be written as one .reg line.
    if (!m_open || HasControlBytes(name)) return false;
    std::string bytes;
    if (!Load(bytes)) return false;  // rewriting would lose what could not be read
    RegFileContents contents = ParseRegFile(bytes);
    PutSetting(contents.values, name, value);
    if (!contents.dropped.empty() && !WriteFileAtomically(DamagedCopyPath(), bytes)) return false;
    return WriteFileAtomically(m_file, FormatRegFile(contents.values));
}

std::vector<std::string> CFileSettingsStore::Names() const
{
    std::vector<std::string> names;
    std::string bytes;
    if (!m_open || !Load(bytes)) return names;
    for (const auto& entry : ParseRegFile(bytes).values) names.push_back(entry.name);
    return names;
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
        fs::path temp = folder / (L"." + file.filename().wstring() + L".tmp" +
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

    std::string temp = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
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
