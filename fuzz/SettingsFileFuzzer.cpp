// The settings file parser on any bytes: it must not crash, and what it keeps
// must survive a rewrite: the file written from the values parses without a
// dropped line, and writing that again gives the same text.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/FileSettingsStore.h"
#include "settings/Settings.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const RegFileContents first = ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const NamedSetting& entry : first.values) {
        if (entry.value.type == SettingType::Text || entry.value.type == SettingType::ExpandText)
            ParseReal(entry.value.text);
    }
    const std::string written = FormatRegFile(first.values);
    const RegFileContents second = ParseRegFile(written);
    FUZZ_CHECK(second.dropped.empty());
    FUZZ_CHECK(second.values.size() == first.values.size());
    FUZZ_CHECK(FormatRegFile(second.values) == written);
    return 0;
}
