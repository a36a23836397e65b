#pragma once
// Typed named values under the one per-user settings key, and the interface of
// every place that keeps them: the Windows registry, a .reg file elsewhere,
// memory in tests.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The key, below HKEY_CURRENT_USER.
inline constexpr std::string_view kSettingsKeyPath =
    "Software\\Norvane Semiconductor Corporation\\ZENT2_I2C_Utility\\Settings";

// Registry type codes; the .reg file writes them as hex(N).
enum : uint32_t {
    kRegNone = 0,
    kRegText = 1,        // REG_SZ
    kRegExpandText = 2,  // REG_EXPAND_SZ
    kRegBinary = 3,      // REG_BINARY
    kRegNumber = 4,      // REG_DWORD, little-endian
};

// The kinds of value the program reads and writes. Anything else found in the
// store (multi-strings, 64-bit numbers, a REG_DWORD that is not 4 bytes long)
// is carried as Other with its registry type and bytes, so that rewriting the
// store keeps it.
enum class SettingType { Number, Binary, Text, ExpandText, Other };

struct SettingValue {
    SettingType type = SettingType::Binary;
    uint32_t number = 0;         // Number
    std::vector<uint8_t> bytes;  // Binary, Other
    std::string text;            // Text, ExpandText: UTF-8, no terminating NUL
    uint32_t otherType = 0;      // registry type of an Other value

    static SettingValue Number(uint32_t value);
    static SettingValue Binary(std::vector<uint8_t> data);
    static SettingValue Text(std::string value);
    static SettingValue ExpandText(std::string value);
    static SettingValue Other(uint32_t registryType, std::vector<uint8_t> data);

    // Registry form: texts are UTF-16LE with their terminating NUL.
    uint32_t RegistryType() const;
    std::vector<uint8_t> RegistryData() const;
    // Back from registry form. Texts end at their first NUL, as every reader of
    // the registry sees them; a REG_DWORD of any size but 4 becomes Other.
    static SettingValue FromRegistry(uint32_t registryType, const uint8_t* data, size_t size);

    bool operator==(const SettingValue&) const = default;
};

// An ordered list of values, as the memory and file stores keep them: a new
// name goes to the end, a replaced value keeps its place and its first name.
struct NamedSetting {
    std::string name;
    SettingValue value;
};
using SettingList = std::vector<NamedSetting>;

class CSettingsStore {
public:
    virtual ~CSettingsStore() = default;

    // False when the key could not be created or opened: then nothing is
    // found and every Set fails.
    virtual bool IsOpen() const = 0;
    // The value of that name (names compare without regard to ASCII case, as
    // in the registry); nothing when missing or unreadable.
    virtual std::optional<SettingValue> Get(std::string_view name) const = 0;
    // Creates or replaces the value; true when it is stored.
    virtual bool Set(std::string_view name, const SettingValue& value) = 0;
    // Several values together: a store that can (the settings file) writes
    // them in one step, so that an interrupted save keeps all old values or
    // all new ones. True when every value is stored.
    virtual bool SetValues(const SettingList& values);
    // Names of the values present, in the store's own order.
    virtual std::vector<std::string> Names() const = 0;
};


bool SameSettingName(std::string_view a, std::string_view b);
const SettingValue* FindSetting(const SettingList& list, std::string_view name);
void PutSetting(SettingList& list, std::string_view name, SettingValue value);
bool RemoveSetting(SettingList& list, std::string_view name);

// UTF-8 <-> UTF-16; malformed input becomes U+FFFD rather than being dropped.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
