#pragma once
// Settings in the Windows registry, under HKEY_CURRENT_USER\<kSettingsKeyPath>
// (tests give a key of their own).

#ifdef _WIN32

#include "settings/SettingsStore.h"

class CRegistrySettingsStore : public CSettingsStore {
public:
    // Creates or opens the key with read and write access; the key stays
    // closed when that fails.
    explicit CRegistrySettingsStore(std::string_view keyPath = kSettingsKeyPath);
    ~CRegistrySettingsStore() override;
    CRegistrySettingsStore(const CRegistrySettingsStore&) = delete;
    CRegistrySettingsStore& operator=(const CRegistrySettingsStore&) = delete;

    bool IsOpen() const override { return m_key != nullptr; }
    std::optional<SettingValue> Get(std::string_view name) const override;
    bool Set(std::string_view name, const SettingValue& value) override;
    std::vector<std::string> Names() const override;

private:
    void* m_key = nullptr;  // HKEY; kept opaque so that users need not include <windows.h>
};

#endif
