#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "device/MeasureCodes.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Imon.h"

namespace {

constexpr uint64_t kSignatureBase = 0x2C5E0A0100000017ull;
// Temperature thresholds the board's devices start with, degrees Celsius.
constexpr int kTmonThresholds[3][2] = {{40, 50}, {40, 50}, {37, 85}};
constexpr PotWindow kDefaultPotWindow{1.08, 1.32};  // 1.2 V rails, +-10 %

bool Finite(double value)
{
    return std::isfinite(value);
}

// The code whose over-voltage table value, the one the device compares
// with, is nearest to the target.
vmon::ThresholdCode NearestThreshold(vmon::Range range, double volts)
{
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int entry = 0; entry < vmon::kEntries; ++entry) {
        const double distance = std::fabs(vmon::EntryVolts(range, vmon::Direction::Over, entry) - volts);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = entry;
        }
    }
    return vmon::CodeFromEntry(best);
}

// Trip point entries for a sense voltage: A the lowest one above 1.5 times
// the voltage (an over-current alarm that stays quiet), B the highest one
// below it (shows that current flows).
// Trip points are compared at microvolt precision, as the device does, so
// that a float table value just under a sense voltage does not count as below.
imon::TripWrite TripPointsAround(double senseVolts)
{
    const auto trip = [](int entry) { return std::round(imon::TripPointVolts(entry) * 1e6) / 1e6; };
    int entryA = imon::kTripPoints - 1;
    for (int entry = 0; entry < imon::kTripPoints; ++entry) {
        if (trip(entry) > 1.5 * senseVolts) {
            entryA = entry;
            break;
        }
    }
    int entryB = 0;
    for (int entry = 0; entry < imon::kTripPoints; ++entry)
        if (trip(entry) < senseVolts) entryB = entry;
    return imon::EncodeTripRegister(entryA, entryB);
}

}  // namespace

CSimulatedBoard::CSimulatedBoard() : m_driver(std::make_shared<CSimulatedFtdiDriver>())
{
    for (int i = 0; i < kMaxHmus; ++i) m_values[i] = TypicalValues(i);
    m_potWindows.fill(kDefaultPotWindow);
}

// The devices stay on the cable's bus, which a port may hold longer than the board.
CSimulatedBoard::~CSimulatedBoard() = default;

HmuBoardValues CSimulatedBoard::TypicalValues(int index)
{
    HmuBoardValues values;
    if (index == 0) {
        // The board's own management device: core and I/O rails, POT1 and
        // POT2 on VMON7 and VMON8, DC-DC4 on VMON4, the USB 5 V on HVMON.
        values.vmonVolts = {1.800, 1.500, 1.250, 1.200, 1.000, 0.900, 1.200, 1.220, 0.750, 5.000};
        values.senseAmps = {2.0, 5.0};
        values.senseOhms = {0.010, 0.005};
        values.temperatures = {35.0, 42.5, 38.25};
        values.identification = 0x8A;
    } else {
        // The expansion device: POT3 and POT4, DC-DC8 on VMON4, a 12 V input on HVMON.
        values.vmonVolts = {1.650, 1.500, 1.350, 1.000, 1.100, 0.950, 1.150, 1.250, 0.850, 12.000};
        values.senseAmps = {1.2, 3.0};
        values.senseOhms = {0.010, 0.005};
        values.temperatures = {33.0, 31.5, 36.75};
        values.identification = 0x88;
    }
    values.signature = kSignatureBase + static_cast<uint64_t>(index < 0 ? 0 : index);
    return values;
}

std::unique_ptr<CSimulatedBoard> CSimulatedBoard::CreateDefault()
{
    auto board = std::make_unique<CSimulatedBoard>();
    const std::shared_ptr<CHmuDevice> hmu0 = board->AddHmu(0);
    board->AddHmu(1);
    board->AddMain();

    // Two faults from an earlier run: POT1 fell under its trip point, then the
    // heated resistor went above both its thresholds.
    HmuComparators underVoltage = hmu0->Comparators();
    underVoltage.vmon[2 * 6] = false;
    hmu0->AddFaultRecord(MakeFaultRecord(underVoltage, 0x03, 0x0007));
    HmuComparators overTemperature = hmu0->Comparators();
    overTemperature.tmon[2] = true;
    overTemperature.tmon[3] = true;
    hmu0->AddFaultRecord(MakeFaultRecord(overTemperature, 0x01, 0x0005));
    return board;
}

void CSimulatedBoard::SetUpDevice(CHmuDevice& device, const HmuBoardValues& values)
{
    for (int c = 0; c < vmon::kChannels; ++c) {
        const vmon::Range range = vmon::ChannelRange(c);
        vmon::ChannelConfig config;
        config.a = NearestThreshold(range, 0.9 * values.vmonVolts[c]);
        config.b = NearestThreshold(range, 1.1 * values.vmonVolts[c]);
        config.glitchFilter = true;
        const vmon::ConfigWrite write = vmon::EncodeConfig(config);
        device.SetConfiguration(vmon::Config0Register(c), write.config0);
        device.SetConfiguration(vmon::Config1Register(c), write.config1Value);
        device.SetConfiguration(vmon::Config2Register(c), write.config2);
    }
    for (int m = 0; m < imon::kMonitors; ++m) {
        const double sense = values.senseAmps[m] * values.senseOhms[m];
        device.SetConfiguration(imon::RegistersOf(m).settingsRegister, imon::EncodeSettings({true, false}));
        device.SetConfiguration(imon::RegistersOf(m).tripRegister, TripPointsAround(sense).value);
    }
    for (int t = 0; t < tmon::kMonitors; ++t) {
        const tmon::Thresholds codes{tmon::CodeOfDegrees(kTmonThresholds[t][0]),
                                     tmon::CodeOfDegrees(kTmonThresholds[t][1])};
        const tmon::ThresholdRegisters regs = tmon::EncodeThresholds(codes, 0, 0);
        device.SetConfiguration(tmon::Config3Register(t), regs.r3);
        device.SetConfiguration(tmon::Config4Register(t), regs.r4);
        device.SetConfiguration(tmon::Config5Register(t), regs.r5);
    }
    // Trim cells 1..4 hold the set points of the rails on VMON1..VMON4, 2 mV per code.
    for (int n = 0; n < CHmuDevice::kTrimCells; ++n) {
        const int code = measure::AdcCodeForVolts(values.vmonVolts[n]);
        device.SetConfiguration(trim::Profile0LowRegister(n), static_cast<uint8_t>(code & 0xFF));
        device.SetConfiguration(trim::Profile0HighRegister(n), static_cast<uint8_t>(code >> 8));
    }
}

std::shared_ptr<CHmuDevice> CSimulatedBoard::AddHmu(int index)
{
    if (index < 0 || index >= kMaxHmus) return nullptr;
    if (m_hmus[index]) return m_hmus[index];
    auto device = std::make_shared<CHmuDevice>();
    SetUpDevice(*device, m_values[index]);
    m_hmus[index] = device;
    PushValues(index);
    m_driver->Bus().Attach(HmuAddress(index), device);
    return device;
}

bool CSimulatedBoard::RemoveHmu(int index)
{
    if (index < 0 || index >= kMaxHmus || !m_hmus[index]) return false;
    m_driver->Bus().Detach(HmuAddress(index));
    m_hmus[index].reset();
    return true;
}

std::shared_ptr<CHmuDevice> CSimulatedBoard::Hmu(int index) const
{
    if (index < 0 || index >= kMaxHmus) return nullptr;
    return m_hmus[index];
}

std::shared_ptr<CMainDevice> CSimulatedBoard::AddMain()
{
    if (m_main) return m_main;
    m_main = std::make_shared<CMainDevice>();
    PushPotStatus();
    m_driver->Bus().Attach(kMainAddress, m_main);
    return m_main;
}

bool CSimulatedBoard::RemoveMain()
{
    if (!m_main) return false;
    m_driver->Bus().Detach(kMainAddress);
    m_main.reset();
    return true;
}

const HmuBoardValues& CSimulatedBoard::Values(int index) const
{
    return m_values[std::clamp(index, 0, kMaxHmus - 1)];
}

HmuInputs CSimulatedBoard::InputsOf(const HmuBoardValues& values)
{
    HmuInputs inputs;
    inputs.vmonVolts = values.vmonVolts;
    for (int m = 0; m < 2; ++m) inputs.senseVolts[m] = values.senseAmps[m] * values.senseOhms[m];
    inputs.temperatures = values.temperatures;
    inputs.gpioInputs = values.gpioInputs;
    inputs.gpioInterface = values.gpioInterface;
    inputs.hvoutInterface = values.hvoutInterface;
    return inputs;
}

bool CSimulatedBoard::SetValues(int index, const HmuBoardValues& values)
{
    if (index < 0 || index >= kMaxHmus) return false;
    const auto allFinite = [](const auto& list) { return std::all_of(list.begin(), list.end(), Finite); };
    if (!allFinite(values.vmonVolts) || !allFinite(values.senseAmps) || !allFinite(values.temperatures))
        return false;
    if (!std::all_of(values.senseOhms.begin(), values.senseOhms.end(),
                     [](double ohms) { return Finite(ohms) && ohms > 0.0; }))
        return false;
    m_values[index] = values;
    PushValues(index);
    if (index <= 1) PushPotStatus();
    return true;
}

bool CSimulatedBoard::SetVmon(int index, int channel, double volts)
{
    if (index < 0 || index >= kMaxHmus || channel < 0 || channel >= vmon::kChannels) return false;
    HmuBoardValues values = m_values[index];
    values.vmonVolts[channel] = volts;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetSenseCurrent(int index, int monitor, double amps)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor > 1) return false;
    HmuBoardValues values = m_values[index];
    values.senseAmps[monitor] = amps;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetSenseResistor(int index, int monitor, double ohms)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor > 1) return false;
    HmuBoardValues values = m_values[index];
    values.senseOhms[monitor] = ohms;
    return SetValues(index, values);
}

bool CSimulatedBoard::SetTemperature(int index, int monitor, double celsius)
{
    if (index < 0 || index >= kMaxHmus || monitor < 0 || monitor >= tmon::kMonitors) return false;
    HmuBoardValues values = m_values[index];
    values.temperatures[monitor] = celsius;
    return SetValues(index, values);
}

namespace {

template <class Bits>
void SetBit(Bits& bits, int bit, bool high)
{
    bits = static_cast<Bits>(high ? bits | (1u << bit) : bits & ~(1u << bit));
}

}  // namespace

bool CSimulatedBoard::SetGpioInput(int index, int pin, bool high)
{
    if (index < 0 || index >= kMaxHmus || pin < 0 || pin >= gpio::kPins) return false;
    HmuBoardValues values = m_values[index];
    SetBit(values.gpioInputs, pin, high);
    return SetValues(index, values);
}

bool CSimulatedBoard::SetGpioInterface(int index, int pin, bool high)
{
    if (index < 0 || index >= kMaxHmus || pin < 0 || pin >= gpio::kPins) return false;
    HmuBoardValues values = m_values[index];
    SetBit(values.gpioInterface, pin, high);
    return SetValues(index, values);
}

bool CSimulatedBoard::SetHvoutInterface(int index, int output, bool high)
{
    if (index < 0 || index >= kMaxHmus || output < 0 || output >= hvout::kOutputs) return false;
    HmuBoardValues values = m_values[index];
    SetBit(values.hvoutInterface, output, high);
    return SetValues(index, values);
}

void CSimulatedBoard::Advance(Duration elapsed)
{
    while (elapsed > Duration::zero()) {
        const Duration step = std::min(elapsed, kStep);
        m_now += step;
        elapsed -= step;
        Step(step);
    }
}

void CSimulatedBoard::Step(Duration step)
{
    RunTrimLoops(step);
}

double CSimulatedBoard::TrimGoalVolts(int index, int cell) const
{
    return trim::SetPointVolts(m_hmus[index]->TrimCode(cell));
}

void CSimulatedBoard::RunTrimLoops(Duration step)
{
    const double decay = std::exp(-std::chrono::duration<double>(step) / kTrimTimeConstant);
    for (int index = 0; index < kMaxHmus; ++index) {
        if (!m_hmus[index]) continue;
        HmuBoardValues values = m_values[index];
        bool moved = false;
        for (int cell = 0; cell < CHmuDevice::kTrimCells; ++cell) {
            if (!m_hmus[index]->TrimLoopEngaged(cell)) continue;
            double& rail = values.vmonVolts[trim::TrimmedInput(cell)];
            const double goal = TrimGoalVolts(index, cell);
            if (rail == goal) continue;
            const double next = goal + (rail - goal) * decay;
            rail = std::fabs(next - goal) < kTrimSnapVolts ? goal : next;
            moved = true;
        }
        if (moved) SetValues(index, values);
    }
}

void CSimulatedBoard::PushValues(int index)
{
    const std::shared_ptr<CHmuDevice>& device = m_hmus[index];
    if (!device) return;
    device->SetInputs(InputsOf(m_values[index]));
    device->SetIdentification(m_values[index].identification);
    device->SetSignature(m_values[index].signature);
}

double CSimulatedBoard::PotVolts(int pot) const
{
    if (pot < 0 || pot >= kPots) return 0.0;
    const PotRail rail = PotRailOf(pot);
    return m_values[rail.index].vmonVolts[rail.channel];
}

bool CSimulatedBoard::SetPotVolts(int pot, double volts)
{
    if (pot < 0 || pot >= kPots) return false;
    const PotRail rail = PotRailOf(pot);
    return SetVmon(rail.index, rail.channel, volts);
}

PotWindow CSimulatedBoard::GetPotWindow(int pot) const
{
    return pot >= 0 && pot < kPots ? m_potWindows[pot] : PotWindow{};
}

bool CSimulatedBoard::SetPotWindow(int pot, PotWindow window)
{
    if (pot < 0 || pot >= kPots || !Finite(window.low) || !Finite(window.high) || window.low > window.high)
        return false;
    m_potWindows[pot] = window;
    PushPotStatus();
    return true;
}

uint8_t CSimulatedBoard::PotStatus() const
{
    uint8_t bits = 0;
    for (int pot = 0; pot < kPots; ++pot) {
        const double volts = PotVolts(pot);
        if (volts >= m_potWindows[pot].low && volts <= m_potWindows[pot].high) bits |= 1 << pot;
    }
    return bits;
}

void CSimulatedBoard::PushPotStatus()
{
    if (m_main) m_main->SetPotStatus(PotStatus());
}

bool CSimulatedBoard::LoadFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open board file " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return LoadText(text.str(), error, path);
}

bool CSimulatedBoard::LoadText(const std::string& text, std::string& error, const std::string& source)
{
    BoardPlan plan = CurrentPlan();
    if (!ParseBoardFile(text, source, plan, error)) return false;
    Apply(plan);
    return true;
}

BoardPlan CSimulatedBoard::CurrentPlan() const
{
    BoardPlan plan;
    plan.values = m_values;
    plan.windows = m_potWindows;
    for (int i = 0; i < kMaxHmus; ++i) {
        plan.present[i] = m_hmus[i] != nullptr;
        if (!m_hmus[i]) continue;
        plan.devices[i].records = m_hmus[i]->FaultRecords();
        plan.devices[i].status0 = m_hmus[i]->FaultStatusFlags0();
        plan.devices[i].status1 = m_hmus[i]->FaultStatusFlags1();
    }
    plan.mainPresent = m_main != nullptr;
    return plan;
}

void CSimulatedBoard::Apply(const BoardPlan& plan)
{
    // Values first, so that a device the file adds is set up around the
    // values the file gives it.
    m_values = plan.values;
    for (int i = 0; i < kMaxHmus; ++i) PushValues(i);
    m_potWindows = plan.windows;
    for (int i = 0; i < kMaxHmus; ++i) {
        if (!plan.present[i]) {
            RemoveHmu(i);
            continue;
        }
        CHmuDevice& device = *AddHmu(i);
        const BoardDevicePlan& setup = plan.devices[i];
        for (const auto& [reg, value] : setup.configuration) device.SetConfiguration(reg, value);
        if (setup.outputControl) device.SetMonitorRegister(ocb::kRegOutputControl, *setup.outputControl);
        // The log as planned, also over whatever the new values would have logged:
        // the board powers up this way.
        device.SetFaultRecords(setup.records);
        device.SetFaultStatusFlags(setup.status0, setup.status1);
        for (const BoardFault& fault : setup.faults) device.InjectFault(fault.fault, fault.times, fault.command);
        device.RebaseFaultWatch();
    }
    if (plan.mainPresent)
        AddMain();
    else
        RemoveMain();
    PushPotStatus();
}
