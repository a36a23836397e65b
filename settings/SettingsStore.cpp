#include "settings/SettingsStore.h"

#include <algorithm>

SettingValue SettingValue::Number(uint32_t value)
{
    SettingValue v;
    v.type = SettingType::Number;
    v.number = value;
    return v;
}

SettingValue SettingValue::Binary(std::vector<uint8_t> data)
{
    SettingValue v;
    v.type = SettingType::Binary;
    v.bytes = std::move(data);
    return v;
}

SettingValue SettingValue::Text(std::string value)
{
    SettingValue v;
    v.type = SettingType::Text;
    v.text = std::move(value);
    return v;
}

SettingValue SettingValue::ExpandText(std::string value)
{
    SettingValue v;
    v.type = SettingType::ExpandText;
    v.text = std::move(value);
    return v;
}

SettingValue SettingValue::Other(uint32_t registryType, std::vector<uint8_t> data)
{
    SettingValue v;
    v.type = SettingType::Other;
    v.otherType = registryType;
    v.bytes = std::move(data);
    return v;
}

uint32_t SettingValue::RegistryType() const
{
    switch (type) {
    case SettingType::Number: return kRegNumber;
    case SettingType::Binary: return kRegBinary;
    case SettingType::Text: return kRegText;
    case SettingType::ExpandText: return kRegExpandText;
    case SettingType::Other: break;
    }
    return otherType;
}

std::vector<uint8_t> SettingValue::RegistryData() const
{
    switch (type) {
    case SettingType::Number:
        return {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    case SettingType::Text:
    case SettingType::ExpandText: {
        std::vector<uint8_t> data;
        for (char16_t unit : Utf8ToUtf16(text)) {
            data.push_back(static_cast<uint8_t>(unit));
            data.push_back(static_cast<uint8_t>(unit >> 8));
        }
        data.push_back(0);
        data.push_back(0);
        return data;
    }
    case SettingType::Binary:
    case SettingType::Other: break;
    }
    return bytes;
}

SettingValue SettingValue::FromRegistry(uint32_t registryType, const uint8_t* data, size_t size)
{
    std::vector<uint8_t> raw(data, data + size);
    switch (registryType) {
    case kRegNumber:
        if (size != 4) break;
        return Number(uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                      uint32_t{data[3]} << 24);
    case kRegBinary: return Binary(std::move(raw));
    case kRegText:
    case kRegExpandText: {
        std::u16string units;
        for (size_t i = 0; i + 1 < size; i += 2) {
            const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
            if (unit == 0) break;
            units.push_back(unit);
        }
        std::string text = Utf16ToUtf8(units);
        return registryType == kRegText ? Text(std::move(text)) : ExpandText(std::move(text));
    }
    default: break;
    }
    return Other(registryType, std::move(raw));
}

bool CSettingsStore::SetValues(const SettingList& values)
{
    bool ok = true;
    for (const NamedSetting& entry : values) ok = Set(entry.name, entry.value) && ok;
    return ok;
}

bool SameSettingName(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

const SettingValue* FindSetting(const SettingList& list, std::string_view name)
{
    for (const auto& entry : list)
        if (SameSettingName(entry.name, name)) return &entry.value;
    return nullptr;
}

void PutSetting(SettingList& list, std::string_view name, SettingValue value)
{
    for (auto& entry : list) {
        if (SameSettingName(entry.name, name)) {
            entry.value = std::move(value);
            return;
        }
    }
    list.push_back({std::string(name), std::move(value)});
}

bool RemoveSetting(SettingList& list, std::string_view name)
{
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const NamedSetting& e) { return SameSettingName(e.name, name); });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    constexpr char32_t kReplacement = 0xFFFD;
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        // Continuation bytes that follow, the lead's payload, the smallest code
        // point that needs this length (anything shorter is an overlong form).
        int extra = 0;
        char32_t cp = lead;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        size_t n = 1;
        bool ok = true;
        for (; n <= static_cast<size_t>(extra); ++n) {
            if (i + n >= text.size() || (static_cast<uint8_t>(text[i + n]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = cp << 6 | (static_cast<uint8_t>(text[i + n]) & 0x3F);
        }
        // A broken sequence is replaced as a whole up to the byte that broke it.
        i += n;
        if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
