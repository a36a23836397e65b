#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "device/MeasureCodes.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Tmon.h"
#include "util/PathText.h"

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
    for (auto& scales : m_trimScale) scales.fill(1.0);
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
    // As it powers up: what the board sets logs no faults, so the logs are empty.
    board->AddHmu(0);
    board->AddHmu(1);
    board->AddMain();

    return board;
}

void CSimulatedBoard::AddExampleFaults()
{
    const std::shared_ptr<CHmuDevice>& hmu0 = m_hmus[0];
    if (!hmu0) return;
    HmuComparators underVoltage = hmu0->Comparators();
    underVoltage.vmon[2 * 6] = false;
    hmu0->AddFaultRecord(MakeFaultRecord(underVoltage, 0x03, 0x0007));
    HmuComparators overTemperature = hmu0->Comparators();
    overTemperature.tmon[2] = true;
    overTemperature.tmon[3] = true;
    hmu0->AddFaultRecord(MakeFaultRecord(overTemperature, 0x01, 0x0005));
    m_logMarks[0] = hmu0->FaultRecords().size();
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
    SetUpPotComparators(index);
    if (m_main && index < CDemonstrationDesign::kDevices) device->SetFaultLogging(m_design.FaultLogging());
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
    // A freshly programmed design powers up with every supply on.
    m_design.PowerUp(true, MainRegisters());
    for (int index = 0; index < CDemonstrationDesign::kDevices; ++index) {
        if (!m_hmus[index]) continue;
        m_hmus[index]->SetFaultLogging(m_design.FaultLogging());
        m_logMarks[index] = m_hmus[index]->FaultRecords().size();
        PushValues(index);
    }
    PushPotStatus();
    m_driver->Bus().Attach(kMainAddress, m_main);
    return m_main;
}

bool CSimulatedBoard::RemoveMain()
{
    if (!m_main) return false;
    m_driver->Bus().Detach(kMainAddress);
    m_main.reset();
    // Without the design nothing holds the supplies off or the fault log trigger.
    for (int index = 0; index < CDemonstrationDesign::kDevices; ++index) {
        if (m_hmus[index]) m_hmus[index]->SetFaultLogging(true);
        PushValues(index);
    }
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
    if (m_main) RunDesign();
    RunThermal(step);
    RunTrimLoops(step);
}

void CSimulatedBoard::PressManualRestart()
{
    if (m_main) {
        using demodesign::kFaultLogging;
        const int powerUp = kFaultLogging.Get(m_design.PowerUpRegisters()[kFaultLogging.reg]);
        m_main->SetRegister(kFaultLogging.reg, kFaultLogging.Set(m_main->Register(kFaultLogging.reg), powerUp));
    }
    m_design.PressManualRestart();
}

std::array<uint8_t, kBoardMainRegisters> CSimulatedBoard::MainRegisters() const
{
    std::array<uint8_t, kBoardMainRegisters> registers = demodesign::kPowerUpValues;
    if (m_main)
        for (int reg = 0; reg < kBoardMainRegisters; ++reg) registers[reg] = m_main->Register(reg);
    return registers;
}

void CSimulatedBoard::RunDesign()
{
    DesignInputs inputs;
    inputs.registers = MainRegisters();
    inputs.potGood = PotStatus();
    // The design sees R203 through HMU0's TMON2 comparators; without HMU0 it never sees it warm.
    if (const std::shared_ptr<CHmuDevice>& watcher = m_hmus[demodesign::kThermalHmu]) {
        const tmon::ComparatorStates states = watcher->Comparators().tmon;
        inputs.r203Warm = states[2 * kR203Monitor];
        inputs.r203Hot = states[2 * kR203Monitor + 1];
    }

    const DesignEvents events = m_design.Step(m_now, inputs);

    // Records of the moment of the fault, before the supplies go down. A
    // POT fault that a comparator logged already is not logged twice.
    const auto logSize = [&](int index) { return m_hmus[index] ? m_hmus[index]->FaultRecords().size() : size_t{0}; };
    if (events.logging && events.potFault >= 0) {
        const int index = demodesign::PotInput(events.potFault).hmu;
        if (m_hmus[index] && logSize(index) == m_logMarks[index]) m_hmus[index]->CaptureFault();
    }
    if (events.logging && events.faultButton && m_hmus[0]) m_hmus[0]->CaptureFault();
    for (int index = 0; index < CDemonstrationDesign::kDevices; ++index) {
        if (events.potFault < 0) m_logMarks[index] = logSize(index);
        if (m_hmus[index]) m_hmus[index]->SetFaultLogging(m_design.FaultLogging());
        PushValues(index);
    }
    PushPotStatus();
}

void CSimulatedBoard::RunThermal(Duration step)
{
    const bool designed = m_main != nullptr;
    if (designed && m_design.GetThermal() != CDemonstrationDesign::Thermal::Idle) m_r203Heated = true;
    if (!m_r203Heated) return;

    const ThermalSetup& setup = m_thermalSetup;
    double power = 0.0;
    if (designed && m_design.HeaterOn()) {
        const double dcdc4 = SupplyOn(0, CDemonstrationDesign::kDcdc4Supply)
                                 ? m_trimScale[0][CDemonstrationDesign::kDcdc4Supply]
                                 : 0.0;
        power = dcdc4 * dcdc4;
    }
    // The fan takes a while to reach the speed it is set to.
    const double seconds = std::chrono::duration<double>(step).count();
    const double wanted = designed ? CDemonstrationDesign::FanFraction(m_design.FanSpeed()) : 0.0;
    m_airflow = wanted + (m_airflow - wanted) * std::exp(-seconds / setup.fanSpinSeconds);
    const double airflow = m_airflow;
    const double cooling =
        1.0 + setup.fanCooling * airflow * airflow * airflow * (m_fanAimed ? 1.0 : setup.unaimedShare);
    const double settled = BoardCelsius() + setup.heaterRise * power / cooling;
    const double decay = std::exp(-seconds * cooling / setup.timeConstantSeconds);
    const double celsius = settled + (R203Celsius() - settled) * decay;
    if (celsius != R203Celsius()) SetTemperature(demodesign::kThermalHmu, kR203Monitor, celsius);
}

bool CSimulatedBoard::SetThermalSetup(const ThermalSetup& setup)
{
    const auto positive = [](double value) { return Finite(value) && value > 0.0; };
    if (!Finite(setup.heaterRise) || setup.heaterRise < 0.0 || !Finite(setup.fanCooling) || setup.fanCooling < 0.0 ||
        !Finite(setup.unaimedShare) || setup.unaimedShare < 0.0 || setup.unaimedShare > 1.0 ||
        !positive(setup.timeConstantSeconds) || !positive(setup.fanSpinSeconds))
        return false;
    m_thermalSetup = setup;
    return true;
}

bool CSimulatedBoard::SupplyOn(int index, int channel) const
{
    if (!m_main || index >= CDemonstrationDesign::kDevices || channel >= CDemonstrationDesign::kMeasuredSupplies)
        return true;
    return m_design.SupplyOn(index, channel);
}

bool CSimulatedBoard::SupplyLed(int device, int supply) const
{
    if (device < 0 || device >= CDemonstrationDesign::kDevices || supply < 0 ||
        supply >= CDemonstrationDesign::kSupplies)
        return false;
    return !m_main || m_design.SupplyOn(device, supply);
}

bool CSimulatedBoard::ResetLed(int device, int reset) const
{
    return m_main && m_design.ResetOn(device, reset);
}

HmuInputs CSimulatedBoard::MeasuredInputs(int index) const
{
    HmuInputs inputs = InputsOf(m_values[index]);
    for (int cell = 0; cell < CHmuDevice::kTrimCells; ++cell)
        inputs.vmonVolts[trim::TrimmedInput(cell)] *= m_trimScale[index][cell];
    for (int channel = 0; channel < CDemonstrationDesign::kMeasuredSupplies; ++channel)
        if (!SupplyOn(index, channel)) inputs.vmonVolts[channel] = 0.0;
    return inputs;
}

double CSimulatedBoard::MeasuredVolts(int index, int channel) const
{
    if (index < 0 || index >= kMaxHmus || channel < 0 || channel >= vmon::kChannels) return 0.0;
    return MeasuredInputs(index).vmonVolts[channel];
}

double CSimulatedBoard::TrimScaleGoal(int index, int cell) const
{
    if (!m_main) return 1.0;
    double goal = m_design.MarginFactor();
    if (index == 0 && cell == CDemonstrationDesign::kDcdc4Supply) goal *= m_design.Dcdc4Factor();
    return goal;
}

double CSimulatedBoard::TrimGoalVolts(int index, int cell) const
{
    return trim::SetPointVolts(m_hmus[index]->TrimCode(cell));
}

void CSimulatedBoard::RunTrimLoops(Duration step)
{
    const double decay = std::exp(-std::chrono::duration<double>(step) / kTrimTimeConstant);
    for (int index = 0; index < kMaxHmus; ++index) {
        // Margining and the DC-DC4 responses move the trim cells' set points,
        // so their rails follow at the loops' rate, targeted or not.
        bool scaled = false;
        for (int cell = 0; cell < CHmuDevice::kTrimCells; ++cell) {
            double& scale = m_trimScale[index][cell];
            const double goal = TrimScaleGoal(index, cell);
            if (scale == goal) continue;
            const double next = goal + (scale - goal) * decay;
            scale = std::fabs(next - goal) < kTrimSnapScale ? goal : next;
            scaled = true;
        }
        if (scaled) PushValues(index);

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
    device->SetInputs(MeasuredInputs(index));
    device->SetIdentification(m_values[index].identification);
    device->SetSignature(m_values[index].signature);
}

double CSimulatedBoard::PotVolts(int pot) const
{
    if (pot < 0 || pot >= kPots) return 0.0;
    const demodesign::RailInput rail = demodesign::PotInput(pot);
    return m_values[rail.hmu].vmonVolts[rail.channel];
}

bool CSimulatedBoard::SetPotVolts(int pot, double volts)
{
    if (pot < 0 || pot >= kPots) return false;
    const demodesign::RailInput rail = demodesign::PotInput(pot);
    return SetVmon(rail.hmu, rail.channel, volts);
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
    SetUpPotComparators(demodesign::PotInput(pot).hmu);
    PushPotStatus();
    return true;
}

void CSimulatedBoard::SetUpPotComparators(int index)
{
    if (index < 0 || index >= kMaxHmus || !m_hmus[index]) return;
    for (int pot = 0; pot < kPots; ++pot) {
        const demodesign::RailInput rail = demodesign::PotInput(pot);
        if (rail.hmu != index) continue;
        CHmuDevice& device = *m_hmus[index];
        const int c = rail.channel;
        vmon::ChannelConfig config = vmon::DecodeConfig(device.ActiveConfiguration(vmon::Config0Register(c)),
                                                        device.ActiveConfiguration(vmon::Config1Register(c)),
                                                        device.ActiveConfiguration(vmon::Config2Register(c)));
        const vmon::Range range = vmon::ChannelRange(c);
        config.a = NearestThreshold(range, m_potWindows[pot].low);
        config.b = NearestThreshold(range, m_potWindows[pot].high);
        const vmon::ConfigWrite write = vmon::EncodeConfig(config);
        device.SetConfiguration(vmon::Config0Register(c), write.config0);
        device.SetConfiguration(vmon::Config1Register(c), write.config1Value);
        device.SetConfiguration(vmon::Config2Register(c), write.config2);
    }
}

uint8_t CSimulatedBoard::PotStatus() const
{
    uint8_t bits = 0;
    for (int pot = 0; pot < kPots; ++pot) {
        const demodesign::RailInput rail = demodesign::PotInput(pot);
        const double volts = MeasuredVolts(rail.hmu, rail.channel);
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
    // Only a regular file: a folder would read as an empty board, and a
    // device such as /dev/zero would never end.
    std::error_code ec;
    const std::filesystem::path file = PathFromUtf8(path);
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        error = "cannot open board file " + path;
        return false;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        error = "board file " + path + " is not a regular file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot open board file " + path;
        return false;
    }
    std::string text(kMaxBoardFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxBoardFileBytes) {
        error = "board file " + path + " is larger than " + std::to_string(kMaxBoardFileBytes / 1024) + " KiB";
        return false;
    }
    return LoadText(text, error, path);
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
    plan.fanAimed = m_fanAimed;
    plan.thermal = m_thermalSetup;
    return plan;
}

void CSimulatedBoard::Apply(const BoardPlan& plan)
{
    // Values first, so that a device the file adds is set up around the
    // values the file gives it.
    m_values = plan.values;
    for (int i = 0; i < kMaxHmus; ++i) PushValues(i);
    const bool windowsMoved = plan.windows != m_potWindows;
    m_potWindows = plan.windows;
    m_fanAimed = plan.fanAimed;
    m_thermalSetup = plan.thermal;
    for (int i = 0; i < kMaxHmus; ++i) {
        if (!plan.present[i]) {
            RemoveHmu(i);
            continue;
        }
        const bool added = !m_hmus[i];
        CHmuDevice& device = *AddHmu(i);
        if (!added && windowsMoved) SetUpPotComparators(i);
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
    if (m_main) {
        for (int reg = 0; reg < kBoardMainRegisters; ++reg)
            if (plan.main.registers[reg]) m_main->SetRegister(reg, *plan.main.registers[reg]);
        // The design powers up with the file's registers.
        if (plan.main.firstLine != 0) {
            m_design.PowerUp(plan.main.suppliesOn.value_or(true), MainRegisters());
            for (int i = 0; i < CDemonstrationDesign::kDevices; ++i) {
                if (m_hmus[i]) m_hmus[i]->SetFaultLogging(m_design.FaultLogging());
                PushValues(i);
                // What the supplies going off changed is how the board powers up: no fault.
                if (m_hmus[i]) m_hmus[i]->RebaseFaultWatch();
            }
        }
    }
    PushPotStatus();
}
