#include "settings/Settings.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "settings/FileSettingsStore.h"
#include "settings/RegistrySettingsStore.h"

CSettings::CSettings(std::unique_ptr<CSettingsStore> store) : m_store(std::move(store)) {}

bool CSettings::IsOpen() const
{
    return m_store && m_store->IsOpen();
}

uint32_t CSettings::ReadNumber(std::string_view name, uint32_t defaultValue) const
{
    if (!IsOpen()) return defaultValue;
    const auto value = m_store->Get(name);
    return value && value->type == SettingType::Number ? value->number : defaultValue;
}

bool CSettings::WriteNumber(std::string_view name, uint32_t value)
{
    return IsOpen() && m_store->Set(name, SettingValue::Number(value));
}

bool CSettings::ReadBinary(std::string_view name, void* buffer, std::size_t size) const
{
    if (!IsOpen() || (!buffer && size != 0)) return false;
    const auto value = m_store->Get(name);
    if (!value || value->type != SettingType::Binary || value->bytes.size() != size) return false;
    if (size != 0) std::memcpy(buffer, value->bytes.data(), size);
    return true;
}

bool CSettings::WriteBinary(std::string_view name, const void* buffer, std::size_t size)
{
    if (!IsOpen() || (!buffer && size != 0)) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return m_store->Set(name, SettingValue::Binary(std::vector<uint8_t>(bytes, bytes + size)));
}

std::string CSettings::ReadText(std::string_view name, std::string_view defaultValue) const
{
    if (!IsOpen()) return std::string(defaultValue);
    const auto value = m_store->Get(name);
    if (!value || (value->type != SettingType::Text && value->type != SettingType::ExpandText))
        return std::string(defaultValue);
    return value->text;
}

bool CSettings::WriteText(std::string_view name, std::string_view value)
{
    return IsOpen() && m_store->Set(name, SettingValue::Text(std::string(value)));
}

bool CSettings::Has(std::string_view name) const
{
    return IsOpen() && m_store->Get(name).has_value();
}

float CSettings::ReadReal(std::string_view name, float defaultValue) const
{
    if (!IsOpen()) return defaultValue;
    const auto value = m_store->Get(name);
    if (!value || (value->type != SettingType::Text && value->type != SettingType::ExpandText)) return defaultValue;
    if (value->text.size() + 1 > kMaxRealTextBytes) return defaultValue;
    return ParseReal(value->text).value_or(defaultValue);
}

bool CSettings::WriteReal(std::string_view name, float value)
{
    return IsOpen() && m_store->Set(name, SettingValue::Text(FormatReal(value)));
}

bool CSettings::WriteValues(const SettingList& values)
{
    return IsOpen() && m_store->SetValues(values);
}

std::unique_ptr<CSettingsStore> CreateUserSettingsStore()
{
#ifdef _WIN32
    return std::make_unique<CRegistrySettingsStore>();
#else
    return std::make_unique<CFileSettingsStore>(DefaultSettingsFilePath());
#endif
}

std::string FormatReal(float value)
{
    // to_chars with a precision is printf's %g in the C locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::optional<float> ParseReal(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size() && std::strchr(" \t\n\v\f\r", text[pos]) && text[pos] != '\0') ++pos;
    if (pos < text.size() && text[pos] == '+') {
        ++pos;
        if (pos < text.size() && text[pos] == '-') return std::nullopt;
    }
    if (pos == text.size()) return std::nullopt;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    double number = 0;
    const auto result = std::from_chars(first, last, number, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
    if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max()) return std::nullopt;
    return static_cast<float>(number);
}
