#pragma once
// The six settings operations the program uses, over a settings store. A value
// that is missing, of another type or of another size reads as the caller's
// default; when the key could not be opened every read gives its default and
// every write fails. Nothing is thrown.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsStore.h"

class CSettings {
public:
    // Longest text read as a real, counting its terminating NUL.
    static constexpr std::size_t kMaxRealTextBytes = 32;

    // A null store behaves as a key that could not be opened.
    explicit CSettings(std::unique_ptr<CSettingsStore> store);

    bool IsOpen() const;
    CSettingsStore* Store() const { return m_store.get(); }

    // The stored 32-bit number, when the value is one; else the default.
    uint32_t ReadNumber(std::string_view name, uint32_t defaultValue) const;
    bool WriteNumber(std::string_view name, uint32_t value);

    // True only when the value is binary and exactly `size` bytes long; only
    // then is the buffer filled.
    bool ReadBinary(std::string_view name, void* buffer, std::size_t size) const;
    bool WriteBinary(std::string_view name, const void* buffer, std::size_t size);

    // A text value (plain or expandable); else the default.
    std::string ReadText(std::string_view name, std::string_view defaultValue) const;
    bool WriteText(std::string_view name, std::string_view value);
    bool Has(std::string_view name) const;

    // A text value (plain or expandable) of at most 31 characters that is
    // wholly a decimal number; else the default.
    float ReadReal(std::string_view name, float defaultValue) const;
    // Stores the number as plain text formatted as "%g" does.
    bool WriteReal(std::string_view name, float value);

    // Several values, in order, in one write where the store can do that (the
    // settings file), so that a save cut short keeps all old values or all
    // new ones. True when every value is stored.
    bool WriteValues(const SettingList& values);

private:
    std::unique_ptr<CSettingsStore> m_store;
};

// The per-user store of this platform: the registry on Windows, the settings
// file elsewhere (see DefaultSettingsFilePath).
std::unique_ptr<CSettingsStore> CreateUserSettingsStore();

// "%g" with '.' as decimal point, whatever the process locale.
std::string FormatReal(float value);
// A finite float from a text that is wholly a decimal number: optional leading
// white space and sign, digits with an optional '.' fraction and exponent.
// '.' is the decimal point whatever the process locale. Hexadecimal numbers,
// infinities, NaN and values beyond the float range are refused.
std::optional<float> ParseReal(std::string_view text);
