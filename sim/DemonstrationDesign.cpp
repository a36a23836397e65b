#include "sim/DemonstrationDesign.h"

#include <algorithm>

using namespace demodesign;

namespace {

constexpr std::chrono::seconds kShortWait{3};
constexpr std::chrono::seconds kLongWait{5};

int ResetsOf(uint8_t register1)
{
    return std::clamp(kResets.Get(register1) + 1, 1, CDemonstrationDesign::kResetOutputs);
}

}  // namespace

CDemonstrationDesign::CDemonstrationDesign()
{
    PowerUp(true);
}

void CDemonstrationDesign::PowerUp(bool suppliesOn, const std::array<uint8_t, kRegisters>& registers)
{
    *this = CDemonstrationDesign(NoPowerUp{});
    m_registers = registers;
    m_powerUpRegisters = registers;
    m_resets = ResetsOf(m_registers[kResets.reg]);
    for (auto& device : m_supplies) device.fill(suppliesOn);
    for (auto& device : m_resetOn)
        for (int r = 0; r < kResetOutputs; ++r) device[r] = suppliesOn && r < m_resets;
    m_sequence = suppliesOn ? Sequence::Up : Sequence::Off;
}

bool CDemonstrationDesign::SupplyOn(int device, int supply) const
{
    return device >= 0 && device < kDevices && supply >= 0 && supply < kSupplies && m_supplies[device][supply];
}

bool CDemonstrationDesign::ResetOn(int device, int reset) const
{
    return device >= 0 && device < kDevices && reset >= 0 && reset < kResetOutputs && m_resetOn[device][reset];
}

int CDemonstrationDesign::MarginPercent() const
{
    switch (kMargin.Get(m_registers[kMargin.reg])) {
    case kMarginPlus5: return 5;
    case kMarginMinus5: return -5;
    default: return 0;
    }
}

bool CDemonstrationDesign::PhaseShifted() const
{
    return kClocking.Get(m_registers[kClocking.reg]) != 0;
}

bool CDemonstrationDesign::LogsFaults() const
{
    return kFaultLogging.Get(m_registers[kFaultLogging.reg]) != 0 && m_thermal == Thermal::Idle;
}

bool CDemonstrationDesign::FaultLogging() const
{
    return LogsFaults() && m_sequence == Sequence::Up;
}

std::string CDemonstrationDesign::FaultLoggingText() const
{
    if (kFaultLogging.Get(m_registers[kFaultLogging.reg]) == 0) return "Off (the fault logging bit is clear)";
    if (m_thermal != Thermal::Idle) return "Off (the thermal demonstration runs)";
    if (m_sequence == Sequence::Sequencing) return "Off (the supplies are coming up)";
    if (m_sequence == Sequence::Off) return "Off (the supplies are off)";
    return "On";
}

double CDemonstrationDesign::FanFraction(int speed)
{
    return std::clamp(speed, 0, kFanFull) / static_cast<double>(kFanFull);
}

int CDemonstrationDesign::ResponsePercent(int code, bool& fullShutDown)
{
    fullShutDown = code == 3;
    if (fullShutDown) return 0;
    return code == 0 ? -5 : -10;
}

DesignEvents CDemonstrationDesign::Step(Duration now, const DesignInputs& inputs)
{
    DesignEvents events;
    events.logging = LogsFaults();
    m_registers = inputs.registers;

    const bool started = kThermalStarted.Get(m_registers[kThermalStarted.reg]) != 0;
    if (started && m_thermal == Thermal::Idle) EnterCooling(now);
    if (!started && m_thermal != Thermal::Idle) {
        m_thermal = Thermal::Idle;
        m_heater = false;
        m_fan = 0;
        m_dcdc4Percent = 0;
    }

    // The inputs show the rails as the last step left them, so the watch
    // comes before this step switches anything.
    if (m_sequence != Sequence::Off) {
        if (const int pot = WatchPots(inputs); pot >= 0) {
            events.potFault = pot;
            ShutDown(Stop::PotFault, pot);
        } else if (m_faultButtonPressed) {
            events.faultButton = true;
            ShutDown(Stop::FaultButton);
        }
    }
    m_faultButtonPressed = false;

    if (m_restartPressed) {
        m_restartPressed = false;
        Restart(now);
        if (m_thermal != Thermal::Idle) EnterCooling(now);
    }
    RunSequence(now);
    if (m_thermal != Thermal::Idle) RunThermal(now, inputs);
    return events;
}

int CDemonstrationDesign::WatchPots(const DesignInputs& inputs) const
{
    for (int pot = 0; pot < kPots; ++pot) {
        const RailInput rail = PotInput(pot);
        if (SupplyOn(rail.hmu, rail.channel) && ((inputs.potGood >> pot) & 1) == 0) return pot;
    }
    return -1;
}

void CDemonstrationDesign::Restart(Duration now)
{
    for (auto& device : m_supplies) device.fill(false);
    for (auto& device : m_resetOn) device.fill(false);
    m_twentyRails = kRails.Get(m_registers[kRails.reg]) != 0;
    m_resets = ResetsOf(m_registers[kResets.reg]);
    m_restartAt = now;
    m_sequence = Sequence::Sequencing;
    m_stop = Stop::None;
    m_stopPot = -1;
}

void CDemonstrationDesign::ShutDown(Stop why, int pot)
{
    for (auto& device : m_supplies) device.fill(false);
    for (auto& device : m_resetOn) device.fill(false);
    m_sequence = Sequence::Off;
    m_stop = why;
    m_stopPot = pot;
}

void CDemonstrationDesign::RunSequence(Duration now)
{
    if (m_sequence != Sequence::Sequencing) return;
    // Position p of the sequence (HMU0's supplies, then HMU1's) comes on
    // (p + 1) intervals after the restart.
    const auto due = [&](int position) { return now >= m_restartAt + (position + 1) * kSupplyInterval; };
    const int devices = m_twentyRails ? kDevices : 1;
    for (int device = 0; device < devices; ++device) {
        const int first = device * kSupplies;
        for (int supply = 0; supply < kSupplies; ++supply)
            if (due(first + supply)) m_supplies[device][supply] = true;
        // One interval after the fifth supply.
        if (due(first + kResetsAfterSupply))
            for (int r = 0; r < m_resets; ++r) m_resetOn[device][r] = true;
    }
    if (due(devices * kSupplies - 1)) m_sequence = Sequence::Up;
}

void CDemonstrationDesign::EnterCooling(Duration now)
{
    m_thermal = Thermal::Cooling;
    m_thermalSince = now;
    m_heater = false;
    m_fan = kFanFull;
    m_dcdc4Percent = 0;
}

void CDemonstrationDesign::EnterHeating(Duration now)
{
    m_thermal = Thermal::Heating;
    m_thermalSince = now;
    m_heater = true;
    m_fan = 0;
    m_dcdc4Percent = 0;
}

void CDemonstrationDesign::Respond(int code)
{
    bool fullShutDown = false;
    const int percent = ResponsePercent(code, fullShutDown);
    if (!fullShutDown) {
        m_dcdc4Percent = percent;
        return;
    }
    ShutDown(Stop::ThermalShutDown);
    m_thermal = Thermal::ShutDown;
    m_heater = false;
}

void CDemonstrationDesign::RunThermal(Duration now, const DesignInputs& inputs)
{
    const bool warm = inputs.r203Warm || inputs.r203Hot;
    const bool hot = inputs.r203Hot;
    const Duration wait = kWait.Get(m_registers[kWait.reg]) ? Duration(kLongWait) : Duration(kShortWait);
    const int warmFan = std::clamp(kWarmFanSpeed.Get(m_registers[kWarmFanSpeed.reg]), 0, kFanFull);
    const int hotFan = std::clamp(kHotFanSpeed.Get(m_registers[kHotFanSpeed.reg]), 0, kFanFull);
    const auto enter = [&](Thermal state, int fan) {
        m_thermal = state;
        m_fan = fan;
        m_thermalSince = now;
        m_responded = false;
    };

    // After the fan speed changed the design waits before it looks again;
    // with the fan off it turns it on as soon as R203 is warm.
    if (m_thermal != Thermal::Heating && now - m_thermalSince < wait) return;
    switch (m_thermal) {
    case Thermal::Idle:
    case Thermal::ShutDown:
        break;
    case Thermal::Cooling:
        if (!warm) EnterHeating(now);
        break;
    case Thermal::Heating:
        if (hot) {
            enter(Thermal::Hot, hotFan);
        } else if (warm) {
            enter(Thermal::Warm, warmFan);
        }
        break;
    case Thermal::Warm:
        if (!warm) {
            EnterHeating(now);  // A
        } else if (hot) {
            enter(Thermal::Hot, hotFan);  // C
        } else if (!m_responded) {
            m_responded = true;  // B
            Respond(kWarmResponse.Get(m_registers[kWarmResponse.reg]));
        }
        break;
    case Thermal::Hot:
        if (!warm) {
            EnterHeating(now);  // A
        } else if (hot && !m_responded) {
            m_responded = true;  // D
            Respond(kHotResponse.Get(m_registers[kHotResponse.reg]));
        }
        break;
    }
}
