// What a large settings file costs at start-up (open the store, read the
// seven start-up settings) and at exit (write the six values back in one
// atomic write), for a 10 MB file: many small values of every type and one
// long binary value spread over continuation lines.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "settings/FileSettingsStore.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTargetBytes = 10u * 1024u * 1024u;

std::string LargeFile()
{
    SettingList values;
    values.push_back({"Demo Mode", SettingValue::Number(1)});
    values.push_back({"Large UI Font", SettingValue::Number(0)});
    values.push_back({"I2C Address", SettingValue::Number(0xC0)});
    values.push_back({"I2C SW Address", SettingValue::Number(0x40)});
    values.push_back({"FPGA Section", SettingValue::Number(0)});
    values.push_back({"I2C Baudrate", SettingValue::Number(400)});
    values.push_back({"Log Settings", SettingValue::Binary(std::vector<uint8_t>(232, 1))});
    values.push_back({"Long Binary", SettingValue::Binary(std::vector<uint8_t>(1024 * 1024, 0x5A))});
    std::string text = FormatRegFile(values);
    for (int i = 0; text.size() < kTargetBytes; ++i) {
        const std::string name = "Value" + std::to_string(i);
        switch (i % 3) {
        case 0: text += FormatRegValue(name, SettingValue::Number(static_cast<uint32_t>(i))); break;
        case 1: text += FormatRegValue(name, SettingValue::Text("0.005")); break;
        default: text += FormatRegValue(name, SettingValue::Binary(std::vector<uint8_t>(40, 0x01))); break;
        }
    }
    return text;
}

double Milliseconds(const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Best and median of a few runs, in milliseconds; a run returns its own time.
void Report(const char* name, const std::function<double()>& run, int runs = 7)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) ms.push_back(run());
    std::sort(ms.begin(), ms.end());
    std::printf("%-52s best %7.1f ms  median %7.1f ms  (%d runs)\n", name, ms.front(), ms[ms.size() / 2], runs);
}

void ReadStartupSettings(CSettings& settings)
{
    uint8_t log[232];
    settings.ReadNumber("Demo Mode", 0);
    settings.ReadNumber("Large UI Font", 1);
    settings.ReadNumber("I2C Address", 0xC0);
    settings.ReadNumber("I2C SW Address", 0x40);
    settings.ReadNumber("FPGA Section", 0);
    settings.ReadNumber("I2C Baudrate", 400);
    settings.ReadBinary("Log Settings", log, sizeof log);
}

SettingList ExitValues()
{
    return {{"Demo Mode", SettingValue::Number(0)},     {"Large UI Font", SettingValue::Number(1)},
            {"I2C Address", SettingValue::Number(0xC2)}, {"FPGA Section", SettingValue::Number(1)},
            {"I2C Baudrate", SettingValue::Number(100)},
            {"Log Settings", SettingValue::Binary(std::vector<uint8_t>(232, 0))}};
}

}  // namespace

int main()
{
    std::string pattern = (fs::temp_directory_path() / "zent2-settings-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path folder = pattern;
    const fs::path file = folder / "Settings.reg";
    const std::string text = LargeFile();
    const auto restore = [&] { std::ofstream(file, std::ios::binary) << text; };
    restore();
    std::printf("Settings file of %.1f MB (%zu bytes)\n", static_cast<double>(text.size()) / (1024.0 * 1024.0),
                text.size());

    Report("ParseRegFile", [&] { return Milliseconds([&] { ParseRegFile(text); }); });
    Report("start-up: open the store, read the 7 settings", [&] {
        return Milliseconds([&] {
            CSettings settings(std::make_unique<CFileSettingsStore>(file));
            ReadStartupSettings(settings);
        });
    });
    Report("exit: write the 6 settings after the start-up reads", [&] {
        restore();
        CSettings settings(std::make_unique<CFileSettingsStore>(file));
        ReadStartupSettings(settings);
        return Milliseconds([&] { settings.WriteValues(ExitValues()); });
    });
    Report("exit: write the 6 settings, nothing read before", [&] {
        restore();
        CSettings settings(std::make_unique<CFileSettingsStore>(file));
        return Milliseconds([&] { settings.WriteValues(ExitValues()); });
    });

    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
