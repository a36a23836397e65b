#include "device/blocks/DemoDesign.h"

#include <algorithm>
#include <cmath>

#include "device/HmuCommands.h"
#include "device/Tovin_I2C_Port.h"
#include "device/blocks/Trim.h"
#include "device/blocks/Vmon.h"
#include "device/blocks/Adc.h"

namespace demodesign {
namespace {

// The port flags a main-device access that was not acknowledged; every such
// access clears the flag first, so it speaks for the last one only.
bool LastMainAccessAnswered(const CTovin_I2C_Port& port)
{
    return port.GetError() != CTovin_I2C_Port::kErrorAck;
}

uint8_t ReadConfig(CTovin_I2C_Port& port, int reg)
{
    return port.ReadRegister(hmu::kCmdReadConfig, reg);
}

// TMON2 Config3..5 of HMU0: warm threshold in A, hot in B.
void WriteThresholdRegisters(CTovin_I2C_Port& port, tmon::Thresholds codes, uint8_t r3, uint8_t r5)
{
    const tmon::ThresholdRegisters regs = tmon::EncodeThresholds(codes, r3, r5);
    port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config3Register(kResistorMonitor), regs.r3);
    port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config4Register(kResistorMonitor), regs.r4);
    port.WriteRegister(hmu::kCmdWriteConfig, tmon::Config5Register(kResistorMonitor), regs.r5);
}

struct ThresholdRead {
    tmon::ThresholdRegisters regs;
    tmon::Thresholds codes;
};

ThresholdRead ReadThresholdRegisters(CTovin_I2C_Port& port)
{
    ThresholdRead read;
    read.regs.r3 = ReadConfig(port, tmon::Config3Register(kResistorMonitor));
    read.regs.r4 = ReadConfig(port, tmon::Config4Register(kResistorMonitor));
    read.regs.r5 = ReadConfig(port, tmon::Config5Register(kResistorMonitor));
    read.codes = tmon::DecodeThresholds(read.regs.r3, read.regs.r4, read.regs.r5);
    return read;
}

// The register with the fields that have a value replaced.
uint8_t Replace(uint8_t value, std::initializer_list<std::pair<Field, std::optional<int>>> fields)
{
    for (const auto& [field, v] : fields)
        if (v) value = field.Set(value, *v);
    return value;
}

}  // namespace

FieldRead ReadField(CTovin_I2C_Port& port, Field field)
{
    const uint8_t value = port.ReadMain(field.reg);
    return {field.Get(value), LastMainAccessAnswered(port)};
}

bool WriteFields(CTovin_I2C_Port& port, int reg, std::initializer_list<std::pair<Field, int>> fields)
{
    uint8_t value = port.ReadMain(reg);
    if (!LastMainAccessAnswered(port)) return false;
    for (const auto& [field, v] : fields) value = field.Set(value, v);
    port.WriteMain(reg, value);
    return LastMainAccessAnswered(port);
}

bool WriteField(CTovin_I2C_Port& port, Field field, int value)
{
    return WriteFields(port, field.reg, {{field, value}});
}

Sequencing ReadSequencing(CTovin_I2C_Port& port)
{
    const uint8_t value = port.ReadMain(kRails.reg);
    return {kRails.Get(value), kResets.Get(value), LastMainAccessAnswered(port)};
}

bool WriteSequencing(CTovin_I2C_Port& port, int rails, int resets)
{
    static_assert(kRails.reg == kResets.reg);
    return WriteFields(port, kRails.reg, {{kRails, rails}, {kResets, resets}});
}

Temperatures ReadTemperatures(CTovin_I2C_Port& port)
{
    Temperatures t;
    port.SetHmuIndex(kBoardHmu);
    t.board = tmon::ReadTemperature(port, kBoardMonitor);
    port.SetHmuIndex(kThermalHmu);
    t.resistor = tmon::ReadTemperature(port, kResistorMonitor);
    return t;
}

tmon::Thresholds ThresholdsAbove(float boardCelsius)
{
    // The sensor reads from -256 to 255.75 degrees, so the cast cannot overflow.
    const int whole = static_cast<int>(std::trunc(std::clamp(boardCelsius, -256.0f, 256.0f)));
    return {tmon::CodeOfDegrees(whole + 2), tmon::CodeOfDegrees(whole + 4)};
}

void WriteResistorThresholds(CTovin_I2C_Port& port, tmon::Thresholds codes)
{
    port.SetHmuIndex(kThermalHmu);
    const ThresholdRead read = ReadThresholdRegisters(port);
    WriteThresholdRegisters(port, codes, read.regs.r3, read.regs.r5);
    port.UpdateConfiguration();
}

ThermalSettings ReadThermal(CTovin_I2C_Port& port)
{
    ThermalSettings s;
    port.SetHmuIndex(kThermalHmu);
    s.thresholds = ReadThresholdRegisters(port).codes;
    std::array<uint8_t, 3> m{};
    for (int reg = 0; reg < 3; ++reg) {
        m[reg] = port.ReadMain(reg);
        s.answered = s.answered && LastMainAccessAnswered(port);
    }
    s.warmFan = kWarmFanSpeed.Get(m[kWarmFanSpeed.reg]);
    s.warmResponse = kWarmResponse.Get(m[kWarmResponse.reg]);
    s.hotResponse = kHotResponse.Get(m[kHotResponse.reg]);
    s.hotFan = kHotFanSpeed.Get(m[kHotFanSpeed.reg]);
    s.wait = kWait.Get(m[kWait.reg]);
    return s;
}

bool WriteThermal(CTovin_I2C_Port& port, const ThermalWrite& settings)
{
    port.SetHmuIndex(kThermalHmu);
    const ThresholdRead thresholds = ReadThresholdRegisters(port);
    std::array<uint8_t, 3> m{};
    std::array<bool, 3> read{};
    for (int reg = 0; reg < 3; ++reg) {
        m[reg] = port.ReadMain(reg);
        read[reg] = LastMainAccessAnswered(port);
    }
    const std::array<uint8_t, 3> written = {
        Replace(m[0], {{kWarmFanSpeed, settings.warmFan}, {kWarmResponse, settings.warmResponse}}),
        Replace(m[1], {{kHotResponse, settings.hotResponse}}),
        Replace(m[2], {{kHotFanSpeed, settings.hotFan}, {kWait, settings.wait}}),
    };
    bool ok = true;
    for (int reg = 0; reg < 3; ++reg) {
        // A register that did not answer its read is left alone.
        if (!read[reg]) {
            ok = false;
            continue;
        }
        port.WriteMain(reg, written[reg]);
        ok = ok && LastMainAccessAnswered(port);
    }
    WriteThresholdRegisters(port, settings.thresholds, thresholds.regs.r3, thresholds.regs.r5);
    port.UpdateConfiguration();
    return ok;
}

Heat ResistorHeat(float resistorCelsius, int warmCode, int hotCode)
{
    if (resistorCelsius >= static_cast<float>(tmon::DegreesOfCode(hotCode))) return Heat::Hot;
    if (resistorCelsius >= static_cast<float>(tmon::DegreesOfCode(warmCode))) return Heat::Warm;
    return Heat::Cool;
}

bool Network::AnyInUse() const
{
    return std::any_of(states.begin(), states.end(), [](int s) { return s != kRailNotInUse; });
}

bool DcdcGood(float setVolts, float measuredVolts)
{
    const float tolerance = static_cast<float>(setVolts * 0.1);
    const float difference = setVolts - measuredVolts;
    return -tolerance <= difference && difference <= tolerance;
}

void RefreshNetwork(CTovin_I2C_Port& port, Network& network)
{
    CNetworkRefresh pass;
    while (!pass.Step(port, network)) {
    }
}

bool CNetworkRefresh::Step(CTovin_I2C_Port& port, Network& network)
{
    while (!Done() && !Run(m_next++, port, network)) {
    }
    return Done();
}

bool CNetworkRefresh::Run(int step, CTovin_I2C_Port& port, Network& network)
{
    const auto inUse = [&](int rail) { return network.states[rail] != kRailNotInUse; };
    if (step == 0) {
        bool anyPot = false;
        for (int pot = 0; pot < kPots; ++pot) anyPot = anyPot || inUse(pot);
        m_status = anyPot ? ReadField(port, kPotStatus).value : 0;
        return anyPot;
    }
    if (step <= 2) {
        // POT1 and POT2 on HMU0, then POT3 and POT4 on HMU1.
        const int hmu = step - 1;
        port.SetHmuIndex(hmu);
        bool read = false;
        for (int pot = 2 * hmu; pot < 2 * hmu + 2; ++pot) {
            if (!inUse(pot)) continue;
            network.states[pot] = (m_status >> pot) & 1 ? kRailGood : kRailFault;
            network.volts[pot] = adc::MeasureVoltage(port, vmon::InputSelector(PotInput(pot).channel));
            read = true;
        }
        return read;
    }
    const int dcdc = step - 3;
    const int rail = kFirstDcdcRail + dcdc;
    if (!inUse(rail)) return false;
    const RailInput input = DcdcInput(dcdc);
    port.SetHmuIndex(input.hmu);
    const float measured = adc::MeasureVoltage(port, vmon::InputSelector(input.channel));
    const float set = trim::CodeVolts(trim::ReadCode(port, kDcdcTrimCell));
    network.states[rail] = DcdcGood(set, measured) ? kRailGood : kRailFault;
    network.volts[rail] = measured;
    return true;
}

}  // namespace demodesign
