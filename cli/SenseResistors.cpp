#include "cli/SenseResistors.h"

#include <array>
#include <filesystem>
#include <memory>

#include "device/blocks/Imon.h"
#include "settings/FileSettingsStore.h"
#include "settings/Settings.h"

namespace cli {

std::function<float(int, int)> SenseResistors(const CliRequest& request)
{
    if (request.senseGiven) {
        const float ohms = static_cast<float>(request.senseOhms);
        return [ohms](int, int) { return ohms; };
    }
    constexpr int kDevices = 8;
    std::array<std::array<float, imon::kMonitors>, kDevices> ohms{};
    for (auto& device : ohms) device.fill(imon::kDefaultSenseResistance);
    // Only a file that is there: opening the store would make its folders.
    const std::filesystem::path path = DefaultSettingsFilePath();
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        const CSettings settings(std::make_unique<CFileSettingsStore>(path));
        for (int d = 0; d < kDevices; ++d)
            for (int m = 0; m < imon::kMonitors; ++m)
                ohms[d][m] = settings.ReadReal(imon::SenseResistorSettingName(d, m), imon::kDefaultSenseResistance);
    }
    return [ohms](int device, int monitor) {
        if (device < 0 || device >= kDevices || monitor < 0 || monitor >= imon::kMonitors)
            return imon::kDefaultSenseResistance;
        return ohms[device][monitor];
    };
}

}  // namespace cli
