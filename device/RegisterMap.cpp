#include "device/RegisterMap.h"

#include <cstdio>
#include <string>

namespace regmap {
namespace {

void Add(std::vector<RegisterEntry>& rows, int type, int reg, const std::string& name, bool readOnly)
{
    RegisterEntry e;
    e.reg = reg;
    e.name = name;
    e.readOnly = readOnly;
    e.type = type;
    rows.push_back(e);
}

std::vector<RegisterEntry> MakeRows()
{
    std::vector<RegisterEntry> rows;
    rows.reserve(kRowsPerDevice);
    const int M = kMonitorRegister;
    const int C = kConfigRegister;

    Add(rows, M, 0, "ADC MUX", false);
    Add(rows, M, 1, "ADC value Low", true);
    Add(rows, M, 2, "ADC value High", true);
    Add(rows, M, 3, "IMON average control", false);
    Add(rows, M, 4, "IMON average select", false);
    Add(rows, M, 5, "IMON average result Low", true);
    Add(rows, M, 6, "IMON average result High", true);
    Add(rows, M, 7, "Monitor select", false);
    Add(rows, M, 8, "Monitor record", true);
    Add(rows, M, 0x70, "Output control block", false);
    Add(rows, M, 0x84, "TMON meas int High", true);
    Add(rows, M, 0x85, "TMON meas int Low", true);
    Add(rows, M, 0x80, "TMON meas 1 High", true);
    Add(rows, M, 0x81, "TMON meas 1 Low", true);
    Add(rows, M, 0x82, "TMON meas 2 High", true);
    Add(rows, M, 0x83, "TMON meas 2 Low", true);
    Add(rows, M, 0x86, "TMON stat A", true);
    Add(rows, M, 0x87, "TMON stat B", true);

    // Profiles 1 and 2 of the trim cells are listed but never written by the browser.
    const char* profileNames[] = {"Trim1 Profile%d Low", "Trim1 Trim2 Profile%d High", "Trim2 Profile%d Low",
                                  "Trim3 Profile%d Low", "Trim3 Trim4 Profile%d High", "Trim4 Profile%d Low"};
    int reg = 0;
    for (int profile = 1; profile <= 2; ++profile) {
        for (const char* pattern : profileNames) {
            char name[64];
            std::snprintf(name, sizeof name, pattern, profile);
            Add(rows, C, reg++, name, true);
        }
    }
    for (int cell = 1; cell <= 4; ++cell) {
        Add(rows, C, reg++, "Trim" + std::to_string(cell) + " Profile0 Low", false);
        Add(rows, C, reg++, "Trim" + std::to_string(cell) + " Profile0 High", false);
    }
    Add(rows, C, reg++, "Trim CLT Rate", false);
    Add(rows, C, reg++, "Trim DAC BPZ", false);
    for (int k = 1; k <= 9; ++k)
        for (int j = 0; j < 3; ++j) Add(rows, C, reg++, "VMON" + std::to_string(k) + " Config" + std::to_string(j), false);
    for (int j = 0; j < 3; ++j) Add(rows, C, reg++, "HVMON Config" + std::to_string(j), false);
    for (int j = 0; j < 2; ++j) Add(rows, C, reg++, "IMON1 Config" + std::to_string(j), false);
    for (int j = 0; j < 2; ++j) Add(rows, C, reg++, "HIMON1 Config" + std::to_string(j), false);
    for (const char* block : {"TMON1", "TMON2", "TMON Int"})
        for (int j = 0; j < 9; ++j) Add(rows, C, reg++, std::string(block) + " Config" + std::to_string(j), false);
    for (int k = 1; k <= 4; ++k)
        for (int j = 0; j < 2; ++j) Add(rows, C, reg++, "HVOUT" + std::to_string(k) + " Config" + std::to_string(j), false);
    for (int j = 0; j < 6; ++j) Add(rows, C, reg++, "OCB Config" + std::to_string(j), false);
    // Configuration registers 97 and 101 are not listed.
    reg = 98;
    for (int j = 0; j < 3; ++j) Add(rows, C, reg++, "GPIO Config" + std::to_string(j), false);
    Add(rows, C, 102, "Writeprotect Usertag", false);
    return rows;
}

}  // namespace

const std::vector<RegisterEntry>& DeviceRows()
{
    static const std::vector<RegisterEntry> rows = MakeRows();
    return rows;
}

std::vector<RegisterEntry> Build()
{
    std::vector<RegisterEntry> map;
    map.reserve(kDevices * kRowsPerDevice);
    for (int d = 0; d < kDevices; ++d) map.insert(map.end(), DeviceRows().begin(), DeviceRows().end());
    return map;
}

int FindRow(int type, int reg)
{
    const auto& rows = DeviceRows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].type == type && rows[i].reg == reg) return static_cast<int>(i);
    return -1;
}

}  // namespace regmap
