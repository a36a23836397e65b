#ifdef _WIN32

#include "settings/RegistrySettingsStore.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // mingw's C++ headers define it already
#define NOMINMAX
#endif
#include <windows.h>

#include <limits>

namespace {

std::wstring Wide(std::string_view utf8)
{
    const std::u16string units = Utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text, size_t length)
{
    return Utf16ToUtf8(std::u16string(text, text + length));
}

HKEY Key(void* key)
{
    return static_cast<HKEY>(key);
}

}  // namespace

CRegistrySettingsStore::CRegistrySettingsStore(std::string_view keyPath)
{
    HKEY key = nullptr;
    const std::wstring path = Wide(keyPath);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS)
        m_key = key;
}

CRegistrySettingsStore::~CRegistrySettingsStore()
{
    if (m_key) RegCloseKey(Key(m_key));
}

std::optional<SettingValue> CRegistrySettingsStore::Get(std::string_view name) const
{
    if (!m_key) return std::nullopt;
    const std::wstring wname = Wide(name);
    std::vector<BYTE> data(64);
    // The value may grow between the size query and the read: ask again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status = RegQueryValueExW(Key(m_key), wname.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS) return std::nullopt;
        return SettingValue::FromRegistry(type, data.data(), size);
    }
    return std::nullopt;
}

bool CRegistrySettingsStore::Set(std::string_view name, const SettingValue& value)
{
    if (!m_key) return false;
    const std::vector<uint8_t> data = value.RegistryData();
    if (data.size() > std::numeric_limits<DWORD>::max()) return false;
    static const BYTE kNothing = 0;
    const std::wstring wname = Wide(name);
    return RegSetValueExW(Key(m_key), wname.c_str(), 0, value.RegistryType(),
                          data.empty() ? &kNothing : data.data(), static_cast<DWORD>(data.size())) ==
           ERROR_SUCCESS;
}

std::vector<std::string> CRegistrySettingsStore::Names() const
{
    std::vector<std::string> names;
    if (!m_key) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(Key(m_key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> buffer(longest + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumValueW(Key(m_key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS)
            names.push_back(Narrow(buffer.data(), length));
    }
    return names;
}

#endif
