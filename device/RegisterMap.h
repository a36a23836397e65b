#pragma once
// The 119 registers of an HMU device that the browser lists, reads and writes.
// A register is identified by its type together with its number.

#include <cstdint>
#include <string>
#include <vector>

#include "device/HmuCommands.h"

enum RegisterType : int32_t { kConfigRegister = 0, kMonitorRegister = 1 };

struct RegisterEntry {
    int32_t reg = 0;         // operand byte of the register commands
    std::string name;
    int32_t value = 0;       // last value read or entered; low 8 bits are the byte
    bool shown = true;
    bool readOnly = false;
    int32_t type = kConfigRegister;

    char TypeLetter() const { return type == kMonitorRegister ? 'M' : 'C'; }
    // Register commands of the type: configuration 0x33 / 0x31 (applied by the
    // update command), monitor 0x52 / 0x51.
    uint8_t ReadCommand() const { return type == kMonitorRegister ? hmu::kCmdReadMonitor : hmu::kCmdReadConfig; }
    uint8_t WriteCommand() const { return type == kMonitorRegister ? hmu::kCmdWriteMonitor : hmu::kCmdWriteConfig; }
};

namespace regmap {

constexpr int kRowsPerDevice = 119;
constexpr int kDevices = 8;

// The rows of one device, in list order.
const std::vector<RegisterEntry>& DeviceRows();
// The whole map: kDevices identical blocks of kRowsPerDevice rows.
std::vector<RegisterEntry> Build();
// Row index within a block of the register (type, number), or -1.
int FindRow(int type, int reg);

}  // namespace regmap
