#pragma once
// What windows are given by the application: the register port, the
// settings, demo mode and the font size, the fault log unlock code, and the
// values dialogs remember between openings. The application context is the
// one of the program; tests hand windows their own (or the same context over
// a simulated cable).

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/RegisterMap.h"

class CSettings;
class CTovin_I2C_Port;

// Values kept for the life of the process: what a dialog showed last, the log
// channel selection and file, the all-registers browser's rows.
struct RememberedValues {
    static constexpr int kLogSettingsSize = 232;

    std::array<uint8_t, kLogSettingsSize> logSettings{};
    QString logFileName;
    std::vector<RegisterEntry> registerMap;
    int browserSelection = 0;
    std::array<int, 2> demo1Values{0, 0};
    int clockingValue = 0;
    int marginingValue = 0;
    std::array<int, 7> demo2Values{125, 120, 1, 4, 1, 0, 0};
};

// The heater and fan of the simulated board as its design drives them. The
// design keeps them to itself (no register holds them), so only the simulated
// board can tell; with a real cable there is nothing to show.
struct SimulatedThermalOutputs {
    bool heaterOn = false;
    int fanSpeed = 0;  // 0 off, 1 25 %, 2 50 %, 3 75 %, 4 full
};

class CAppServices {
public:
    virtual ~CAppServices() = default;

    virtual CTovin_I2C_Port& Port() = 0;
    virtual bool HasPort() const = 0;
    virtual CSettings& Settings() = 0;
    virtual bool DemoMode() const = 0;
    // Windows created from now on use the large font.
    virtual bool LargeUiFont() const = 0;
    // The code that unlocks a fault log erase.
    virtual uint16_t FaultUnlockCode() const = 0;
    virtual RememberedValues& Remembered() = 0;
    // Nothing unless the program runs on the simulated board with its main device.
    virtual std::optional<SimulatedThermalOutputs> SimulatedThermal() const { return std::nullopt; }
};
