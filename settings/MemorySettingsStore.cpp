#include "settings/MemorySettingsStore.h"

std::optional<SettingValue> CMemorySettingsStore::Get(std::string_view name) const
{
    if (!m_open) return std::nullopt;
    const SettingValue* value = FindSetting(m_values, name);
    if (!value) return std::nullopt;
    return *value;
}

bool CMemorySettingsStore::Set(std::string_view name, const SettingValue& value)
{
    if (!m_open || m_failWrites) return false;
    PutSetting(m_values, name, value);
    ++m_writes;
    return true;
}

std::vector<std::string> CMemorySettingsStore::Names() const
{
    std::vector<std::string> names;
    if (!m_open) return names;
    for (const auto& entry : m_values) names.push_back(entry.name);
    return names;
}
