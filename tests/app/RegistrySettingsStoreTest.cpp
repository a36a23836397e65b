// The Windows settings store on the registry itself (under Wine in CI), in a
// key of the test's own that is deleted afterwards.

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>

#include "settings/RegistrySettingsStore.h"
#include "settings/Settings.h"

namespace {

std::wstring Wide(std::string_view text)
{
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

struct RegistryStore : ::testing::Test {
    const std::string key = "Software\\Norvane Semiconductor Corporation\\ZENT2_I2C_Utility\\Test-" +
                            std::to_string(GetCurrentProcessId());

    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Wide(key).c_str()); }

    // What the registry holds under the name, read past the store.
    std::pair<DWORD, std::vector<uint8_t>> Raw(std::string_view name) const
    {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return {};
        DWORD type = REG_NONE;
        std::vector<uint8_t> data(256);
        DWORD size = DWORD(data.size());
        const LSTATUS status = RegQueryValueExW(handle, Wide(name).c_str(), nullptr, &type, data.data(), &size);
        RegCloseKey(handle);
        if (status != ERROR_SUCCESS) return {};
        data.resize(size);
        return {type, data};
    }
};

TEST_F(RegistryStore, EveryTypeIsStoredInItsRegistryFormAndReadBack)
{
    struct Case {
        const char* name;
        SettingValue value;
        DWORD registryType;
    };
    const std::vector<Case> cases = {
        {"Demo Mode", SettingValue::Number(0x12345678), REG_DWORD},
        {"Log Settings", SettingValue::Binary({1, 0, 0xFF, 7}), REG_BINARY},
        {"Cable Serial", SettingValue::Text("FT7QX1"), REG_SZ},
        {"Log Folder", SettingValue::ExpandText("%USERPROFILE%\\Messungen Grüße Ω"), REG_EXPAND_SZ},
        {"Werte für Ω", SettingValue::Text("Grüße"), REG_SZ},
        {"Empty", SettingValue::Binary({}), REG_BINARY},
        {"Big Number", SettingValue::Other(11, {1, 2, 3, 4, 5, 6, 7, 8}), 11},
    };
    {
        CRegistrySettingsStore store(key);
        ASSERT_TRUE(store.IsOpen());
        for (const Case& c : cases) ASSERT_TRUE(store.Set(c.name, c.value)) << c.name;
    }
    CRegistrySettingsStore store(key);
    std::vector<std::string> names = store.Names();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected;
    for (const Case& c : cases) expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.Get(c.name), c.value);
        const auto [type, data] = Raw(c.name);
        EXPECT_EQ(type, c.registryType);
        EXPECT_EQ(data, c.value.RegistryData());
    }
    // Names compare without regard to ASCII case, as the registry does.
    EXPECT_EQ(store.Get("demo mode"), SettingValue::Number(0x12345678));
    EXPECT_FALSE(store.Get("Missing"));
}

TEST_F(RegistryStore, SettingsReadWhatTheyWrote)
{
    CSettings settings(std::make_unique<CRegistrySettingsStore>(key));
    ASSERT_TRUE(settings.IsOpen());
    EXPECT_TRUE(settings.WriteReal("HMU0_IMON0_SenseResistor", 0.005f));
    EXPECT_FLOAT_EQ(settings.ReadReal("HMU0_IMON0_SenseResistor", 1.0f), 0.005f);
    // Kept as text with '.', whatever the locale.
    EXPECT_EQ(Raw("HMU0_IMON0_SenseResistor").second, SettingValue::Text("0.005").RegistryData());
}

}  // namespace
