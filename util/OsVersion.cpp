#include "util/OsVersion.h"

#include <array>
#include <fstream>
#include <sstream>
#include <utility>

#include "util/TextFormat.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/utsname.h>
#endif

namespace {

constexpr uint32_t kPlatformNt = 2;
constexpr uint32_t kWorkstation = 1;
constexpr uint32_t kArchX86 = 0;
constexpr uint32_t kArchIa64 = 6;
constexpr uint32_t kArchAmd64 = 9;

constexpr uint32_t kSuiteEnterprise = 0x0002;
constexpr uint32_t kSuiteDatacenter = 0x0080;
constexpr uint32_t kSuitePersonal = 0x0200;
constexpr uint32_t kSuiteBlade = 0x0400;
constexpr uint32_t kSuiteStorageServer = 0x2000;
constexpr uint32_t kSuiteComputeServer = 0x4000;

const char* EditionName(uint32_t productInfo)
{
    static constexpr std::array<std::pair<uint32_t, const char*>, 17> kEditions = {{
        {1, "Ultimate Edition"},
        {2, "Home Basic Edition"},
        {3, "Home Premium Edition"},
        {4, "Enterprise Edition"},
        {10, "Enterprise Edition"},
        {6, "Business Edition"},
        {7, "Standard Edition"},
        {8, "Datacenter Edition"},
        {9, "Small Business Server"},
        {11, "Starter Edition"},
        {12, "Datacenter Edition (core installation)"},
        {13, "Standard Edition (core installation)"},
        {14, "Enterprise Edition (core installation)"},
        {15, "Enterprise Edition for Itanium-based Systems"},
        {17, "Web Server Edition"},
        {18, "Cluster Server Edition"},
        {25, "Small Business Server Premium Edition"},
    }};
    for (const auto& [code, name] : kEditions)
        if (code == productInfo) return name;
    return "";
}

// Windows 6.3 and 10.0 are newer than the table: named here, so that the
// header does not read "Microsoft (build ...)".
const char* NewerWindowsName(const WindowsVersionFacts& f)
{
    const bool workstation = f.productType == kWorkstation;
    if (f.major == 6 && f.minor == 3) return workstation ? "Windows 8.1 " : "Windows Server 2012 R2 ";
    if (f.major == 10 && f.minor == 0) {
        if (workstation) return f.build >= 22000 ? "Windows 11 " : "Windows 10 ";
        if (f.build >= 26100) return "Windows Server 2025 ";
        if (f.build >= 20348) return "Windows Server 2022 ";
        if (f.build >= 17763) return "Windows Server 2019 ";
        return "Windows Server 2016 ";
    }
    return "";
}

void AddWindows52(const WindowsVersionFacts& f, std::string& text)
{
    const bool workstation = f.productType == kWorkstation;
    if (f.suiteMask & kSuiteStorageServer)
        text += "Windows Storage Server 2003";
    else if (workstation && f.architecture == kArchAmd64)
        text += "Windows XP Professional x64 Edition";
    else
        text += "Windows Server 2003, ";
    if (workstation) return;
    if (f.architecture == kArchIa64) {
        if (f.suiteMask & kSuiteDatacenter)
            text += "Datacenter Edition for Itanium-based Systems";
        else if (f.suiteMask & kSuiteEnterprise)
            text += "Enterprise Edition for Itanium-based Systems";
    } else if (f.architecture == kArchAmd64) {
        if (f.suiteMask & kSuiteDatacenter)
            text += "Datacenter x64 Edition";
        else if (f.suiteMask & kSuiteEnterprise)
            text += "Enterprise x64 Edition";
        else
            text += "Standard x64 Edition";
    } else {
        if (f.suiteMask & kSuiteComputeServer)
            text += "Compute Cluster Edition";
        else if (f.suiteMask & kSuiteDatacenter)
            text += "Datacenter Edition";
        else if (f.suiteMask & kSuiteEnterprise)
            text += "Enterprise Edition";
        else if (f.suiteMask & kSuiteBlade)
            text += "Web Edition";
        else
            text += "Standard Edition";
    }
}

// The value of one key of an os-release file, unquoted; empty when absent.
std::string OsReleaseValue(std::string_view content, std::string_view key)
{
    std::istringstream lines{std::string(content)};
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 || line[key.size()] != '=') continue;
        std::string value = line.substr(key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            const char quote = value.front();
            std::string unquoted;
            for (size_t i = 1; i + 1 < value.size(); ++i) {
                // Inside double quotes a backslash takes the next character as it is.
                if (quote == '"' && value[i] == '\\' && i + 2 < value.size()) ++i;
                unquoted += value[i];
            }
            value = unquoted;
        }
        return value;
    }
    return {};
}

#ifdef _WIN32
std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

WindowsVersionFacts QueryWindowsFacts()
{
    WindowsVersionFacts facts;
    // The version record as the system keeps it: GetVersionEx reports 6.2 to
    // a program without a compatibility manifest, whatever runs.
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return facts;
    facts.available = true;
    facts.platformId = info.dwPlatformId;
    facts.major = info.dwMajorVersion;
    facts.minor = info.dwMinorVersion;
    facts.build = info.dwBuildNumber;
    facts.servicePack = Utf8(info.szCSDVersion);
    facts.suiteMask = info.wSuiteMask;
    facts.productType = info.wProductType;
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    facts.architecture = system.wProcessorArchitecture;
    if (facts.major >= 6) {
        DWORD type = 0;
        if (GetProductInfo(facts.major, facts.minor, 0, 0, &type)) facts.productInfo = type;
    }
    return facts;
}
#else
std::string ReadOsRelease()
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        if (!file) continue;
        std::ostringstream content;
        content << file.rdbuf();
        return content.str();
    }
    return {};
}
#endif

}  // namespace

int WindowsOsVersionText(const WindowsVersionFacts& f, std::string& text)
{
    if (!f.available) return 1;
    if (f.platformId != kPlatformNt || f.major < 5) {
        text = "Udefined Windows version";
        return 0;
    }
    const bool workstation = f.productType == kWorkstation;
    text = "Microsoft ";
    if (f.major == 6 && f.minor == 0) {
        text += workstation ? "Windows Vista " : "Windows Server 2008 ";
    } else if (f.major == 6 && (f.minor == 1 || f.minor == 2)) {
        if (workstation)
            text += f.minor == 1 ? "Windows 7 " : "Windows 8 ";
        else
            text += "Windows Server 2008 R2 ";
    } else {
        text += NewerWindowsName(f);
    }
    if (f.major >= 6) text += EditionName(f.productInfo);

    if (f.major == 5 && f.minor == 2) {
        AddWindows52(f, text);
    } else if (f.major == 5 && f.minor == 1) {
        text += "Windows XP ";
        text += (f.suiteMask & kSuitePersonal) ? "Home Edition" : "Professional";
    } else if (f.major == 5 && f.minor == 0) {
        text += "Windows 2000 ";
        if (workstation)
            text += "Professional";
        else if (f.suiteMask & kSuiteDatacenter)
            text += "Datacenter Server";
        else if (f.suiteMask & kSuiteEnterprise)
            text += "Advanced Server";
        else
            text += "Server";
    }
    // A name whose edition code has no text of its own ends in its blank.
    while (text.back() == ' ') text.pop_back();
    if (!f.servicePack.empty()) text += " " + f.servicePack;
    text = FormatText("%s (build %u)", text.c_str(), static_cast<unsigned>(f.build));
    if (f.major >= 6) {
        if (f.architecture == kArchAmd64)
            text += ", 64-bit";
        else if (f.architecture == kArchX86)
            text += ", 32-bit";
    }
    return 1;
}

std::string UnixOsVersionText(std::string_view osRelease, std::string_view kernelName,
                              std::string_view kernelRelease, std::string_view machine)
{
    std::string distribution = OsReleaseValue(osRelease, "PRETTY_NAME");
    if (distribution.empty()) {
        distribution = OsReleaseValue(osRelease, "NAME");
        const std::string version = OsReleaseValue(osRelease, "VERSION");
        if (!distribution.empty() && !version.empty()) distribution += " " + version;
    }
    std::string kernel;
    for (const std::string_view part : {kernelName, kernelRelease, machine}) {
        if (part.empty()) continue;
        if (!kernel.empty()) kernel += ' ';
        kernel += part;
    }
    if (distribution.empty()) return kernel;
    if (kernel.empty()) return distribution;
    return distribution + ", " + kernel;
}

int GetOsVersionText(std::string& text)
{
#ifdef _WIN32
    return WindowsOsVersionText(QueryWindowsFacts(), text);
#else
    utsname names{};
    if (uname(&names) != 0) names = utsname{};
    text = UnixOsVersionText(ReadOsRelease(), names.sysname, names.release, names.machine);
    return 1;
#endif
}
