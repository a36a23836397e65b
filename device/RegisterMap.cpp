#include "device/RegisterMap.h"

#include <string>

#include "device/HmuCommands.h"
#include "util/TextFormat.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"
#include "device/blocks/Tmon.h"
#include "device/blocks/Trim.h"
#include "device/blocks/Vmon.h"

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

std::string Numbered(const char* pattern, int number)
{
    return FormatText(pattern, number);
}

std::vector<RegisterEntry> MakeRows()
{
    std::vector<RegisterEntry> rows;
    rows.reserve(kRowsPerDevice);
    const int M = kMonitorRegister;
    const int C = kConfigRegister;

    Add(rows, M, hmu::kRegAdcMux, "ADC MUX", false);
    Add(rows, M, hmu::kRegAdcLow, "ADC value Low", true);
    Add(rows, M, hmu::kRegAdcHigh, "ADC value High", true);
    Add(rows, M, imon::kRegAverageControl, "IMON average control", false);
    Add(rows, M, imon::kRegAverageSelect, "IMON average select", false);
    Add(rows, M, imon::kRegAverageLow, "IMON average result Low", true);
    Add(rows, M, imon::kRegAverageHigh, "IMON average result High", true);
    Add(rows, M, hmu::kRegMonitorSelect, "Monitor select", false);
    Add(rows, M, hmu::kRegMonitorRecord, "Monitor record", true);
    Add(rows, M, ocb::kRegOutputControl, "Output control block", false);
    // The internal sensor's registers are listed first.
    Add(rows, M, tmon::MeasHighRegister(2), "TMON meas int High", true);
    Add(rows, M, tmon::MeasLowRegister(2), "TMON meas int Low", true);
    for (int t = 0; t < 2; ++t) {
        Add(rows, M, tmon::MeasHighRegister(t), Numbered("TMON meas %d High", t + 1), true);
        Add(rows, M, tmon::MeasLowRegister(t), Numbered("TMON meas %d Low", t + 1), true);
    }
    Add(rows, M, tmon::kStatARegister, "TMON stat A", true);
    Add(rows, M, tmon::kStatBRegister, "TMON stat B", true);

    // Profiles 1 and 2 of the trim cells are listed but never written by the browser.
    const char* profileNames[trim::kProfileRegisters] = {
        "Trim1 Profile%d Low", "Trim1 Trim2 Profile%d High", "Trim2 Profile%d Low",
        "Trim3 Profile%d Low", "Trim3 Trim4 Profile%d High", "Trim4 Profile%d Low"};
    for (int profile = 1; profile <= 2; ++profile) {
        const int first = profile == 1 ? trim::kFirstProfile1Register : trim::kFirstProfile2Register;
        for (int i = 0; i < trim::kProfileRegisters; ++i)
            Add(rows, C, first + i, Numbered(profileNames[i], profile), true);
    }
    for (int cell = 0; cell < trim::kCells; ++cell) {
        Add(rows, C, trim::Profile0LowRegister(cell), Numbered("Trim%d Profile0 Low", cell + 1), false);
        Add(rows, C, trim::Profile0HighRegister(cell), Numbered("Trim%d Profile0 High", cell + 1), false);
    }
    Add(rows, C, trim::kCltRateRegister, "Trim CLT Rate", false);
    Add(rows, C, trim::kDacBpzRegister, "Trim DAC BPZ", false);
    for (int c = 0; c < vmon::kChannels; ++c) {
        const std::string input = c == vmon::kHvmonChannel ? std::string("HVMON") : Numbered("VMON%d", c + 1);
        Add(rows, C, vmon::Config0Register(c), input + " Config0", false);
        Add(rows, C, vmon::Config1Register(c), input + " Config1", false);
        Add(rows, C, vmon::Config2Register(c), input + " Config2", false);
    }
    for (int m = 0; m < imon::kMonitors; ++m) {
        const std::string monitor = m == 0 ? "IMON1" : "HIMON1";
        Add(rows, C, imon::RegistersOf(m).settingsRegister, monitor + " Config0", false);
        Add(rows, C, imon::RegistersOf(m).tripRegister, monitor + " Config1", false);
    }
    const char* tmonNames[tmon::kMonitors] = {"TMON1", "TMON2", "TMON Int"};
    for (int t = 0; t < tmon::kMonitors; ++t)
        for (int j = 0; j < tmon::kConfigRegistersPerMonitor; ++j)
            Add(rows, C, tmon::ConfigRegister(t, j), std::string(tmonNames[t]) + Numbered(" Config%d", j), false);
    for (int k = 0; k < hvout::kOutputs; ++k) {
        Add(rows, C, hvout::Config0Register(k), Numbered("HVOUT%d Config0", k + 1), false);
        Add(rows, C, hvout::Config1Register(k), Numbered("HVOUT%d Config1", k + 1), false);
    }
    for (int j = 0; j < ocb::kConfigRegisters; ++j) Add(rows, C, ocb::ConfigRegister(j), Numbered("OCB Config%d", j), false);
    for (int j = 0; j < gpio::kConfigRegisters; ++j)
        Add(rows, C, gpio::kFirstConfigRegister + j, Numbered("GPIO Config%d", j), false);
    Add(rows, C, signature::kWriteProtectRegister, "Writeprotect Usertag", false);
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
