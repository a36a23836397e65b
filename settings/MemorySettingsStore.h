#pragma once
// Settings kept in memory: for tests, which can also preset values of any type
// and make the key fail to open or writes fail.

#include "settings/SettingsStore.h"

class CMemorySettingsStore : public CSettingsStore {
public:
    explicit CMemorySettingsStore(bool open = true) : m_open(open) {}

    bool IsOpen() const override { return m_open; }
    std::optional<SettingValue> Get(std::string_view name) const override;
    bool Set(std::string_view name, const SettingValue& value) override;
    std::vector<std::string> Names() const override;

    // While set, every Set fails and changes nothing; the key stays open.
    void SetFailWrites(bool fail) { m_failWrites = fail; }
    int WriteCount() const { return m_writes; }

private:
    bool m_open;
    bool m_failWrites = false;
    int m_writes = 0;
    SettingList m_values;
};
