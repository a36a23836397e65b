#include "sim/HmuDevice.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "device/MeasureCodes.h"
#include "device/blocks/Gpio.h"
#include "device/blocks/Hvout.h"
#include "device/blocks/Imon.h"
#include "device/blocks/Signature.h"

using namespace hmu;

namespace {

int TripRegister(int monitor)
{
    return imon::RegistersOf(monitor).tripRegister;
}

// Trip points are single-precision table values; compared at microvolt
// precision so that a sense voltage equal to a trip point does not trip on
// the float's rounding.
double TripVolts(int entry)
{
    return std::round(static_cast<double>(imon::TripPointVolts(entry)) * 1e6) / 1e6;
}

}  // namespace

faultlog::Record MakeFaultRecord(const HmuComparators& comparators, uint8_t hvoutStates,
                                 uint16_t gpioStates)
{
    faultlog::Record record{};
    for (int j = 0; j < vmon::kComparators; ++j)
        faultlog::SetRecordBit(record, faultlog::VmonBit(j / 2, j % 2), comparators.vmon[j]);
    for (int m = 0; m < 2; ++m)
        for (int k = 0; k < 2; ++k)
            faultlog::SetRecordBit(record, faultlog::ImonBit(m, k), comparators.imon[m][k]);
    for (int j = 0; j < tmon::kComparators; ++j)
        faultlog::SetRecordBit(record, faultlog::TmonBit(j / 2, j % 2), comparators.tmon[j]);
    for (int h = 0; h < 4; ++h)
        faultlog::SetRecordBit(record, faultlog::HvoutBit(h), (hvoutStates >> h) & 1);
    for (int g = 0; g < 10; ++g)
        faultlog::SetRecordBit(record, faultlog::GpioBit(g), (gpioStates >> g) & 1);
    return record;
}

bool EnteredFaultState(const HmuComparators& before, const HmuComparators& now)
{
    for (int j = 0; j < vmon::kComparators; ++j) {
        const bool faultOutput = j % 2 != 0;  // A under the rail faults at 0, B over it at 1
        if (now.vmon[j] == faultOutput && before.vmon[j] != faultOutput) return true;
    }
    for (int m = 0; m < 2; ++m)
        for (int k = 0; k < 2; ++k)
            if (now.imon[m][k] && !before.imon[m][k]) return true;
    for (int j = 0; j < tmon::kComparators; ++j)
        if (now.tmon[j] && !before.tmon[j]) return true;
    return false;
}

CHmuDevice::CHmuDevice() = default;

void CHmuDevice::InjectFault(HmuFault fault, int times, int command)
{
    FaultArm& arm = m_faultArms[static_cast<int>(fault)];
    arm.times = times < 0 ? kAlways : times;
    arm.command = fault == HmuFault::CommandNack || fault == HmuFault::DataNack ? command : kAnyCommand;
}

int CHmuDevice::FaultTimes(HmuFault fault) const
{
    return m_faultArms[static_cast<int>(fault)].times;
}

int CHmuDevice::FaultCommand(HmuFault fault) const
{
    return m_faultArms[static_cast<int>(fault)].command;
}

bool CHmuDevice::TakeFault(HmuFault fault, int command)
{
    FaultArm& arm = m_faultArms[static_cast<int>(fault)];
    if (arm.times == 0) return false;
    if (arm.command != kAnyCommand && arm.command != command) return false;
    if (arm.times > 0) --arm.times;
    return true;
}

bool CHmuDevice::TakesOperand(uint8_t command)
{
    switch (command) {
    case kCmdWriteConfig:
    case kCmdMaskedWrite:
    case kCmdReadConfig:
    case kCmdWriteMonitor:
    case kCmdReadMonitor:
    case kCmdSignature:
    case faultlog::kCmdReadEnable:
        return true;
    default:
        return false;
    }
}

void CHmuDevice::OnStart(bool)
{
    // Whoever the START is for, a write in progress here has ended.
    m_expect = Expect::Nothing;
}

bool CHmuDevice::OnAddress(bool read)
{
    if (TakeFault(HmuFault::AddressNack)) {
        m_expect = Expect::Nothing;
        return false;
    }
    if (read) {
        m_readIndex = 0;
        m_expect = Expect::Nothing;
    } else {
        // The last command stays current until a new command byte arrives,
        // so an address-only probe does not disturb a pending read.
        m_expect = Expect::Command;
    }
    return true;
}

bool CHmuDevice::OnWrite(uint8_t byte)
{
    switch (m_expect) {
    case Expect::Command:
        if (TakeFault(HmuFault::CommandNack, byte)) {
            // Not taken: nothing is current, and the rest of the transaction is refused.
            m_command = -1;
            m_expect = Expect::Refused;
            return false;
        }
        m_command = byte;
        m_operand = -1;
        m_data.clear();
        m_expect = TakesOperand(byte) ? Expect::Operand : Expect::Data;
        OnCommand();
        break;
    case Expect::Operand:
        m_operand = byte;
        m_expect = Expect::Data;
        OnOperand();
        break;
    case Expect::Data:
        if (TakeFault(HmuFault::DataNack, m_command)) {
            m_expect = Expect::Refused;
            return false;
        }
        m_data.push_back(byte);
        OnData(byte);
        break;
    case Expect::Refused:
        return false;
    case Expect::Nothing:
        break;
    }
    return true;
}

uint8_t CHmuDevice::OnRead()
{
    return ReadData(m_readIndex++);
}

void CHmuDevice::OnStop()
{
    m_expect = Expect::Nothing;
}

void CHmuDevice::OnCommand()
{
    switch (m_command) {
    case kCmdUpdate:
        m_active = m_pending;
        ++m_updates;
        WatchComparators();
        break;
    case faultlog::kCmdUnlock:
        m_eraseUnlocked = false;  // a new attempt starts locked
        m_eraseArmed = false;
        break;
    case faultlog::kCmdErase:
        // The unlock first, then the log opened: the order the fault log page sends.
        if (m_eraseUnlocked && m_eraseArmed) {
            m_faults.clear();
            m_faultStatus1 = static_cast<uint8_t>(m_faultStatus1 & ~faultlog::kStatus1Invalid);
        }
        break;
    case faultlog::kCmdEndErase:
        m_eraseUnlocked = false;
        m_eraseArmed = false;
        break;
    default:
        break;
    }
}

void CHmuDevice::OnOperand()
{
    if (m_command == faultlog::kCmdReadEnable) {
        // Anything but the enable operand closes the log; a failing handshake
        // leaves it closed and answers neither byte the master expects.
        const bool wrong = TakeFault(HmuFault::WrongEnableAnswer);
        m_faultReadEnabled = m_operand == faultlog::kEnableOperand && !wrong;
        m_eraseArmed = m_faultReadEnabled && m_eraseUnlocked;
        const uint8_t answer = m_operand == faultlog::kEnableOperand ? faultlog::kEnabledAnswer
                                                                     : faultlog::kDisabledAnswer;
        m_enableAnswer = wrong ? static_cast<uint8_t>(~answer) : answer;
    }
}

void CHmuDevice::OnData(uint8_t byte)
{
    const size_t index = m_data.size() - 1;
    if (m_command == kCmdWriteConfig) {
        if (index == 0 && m_operand >= 0 && m_operand < kConfigRegisters) m_pending[m_operand] = byte;
    } else if (m_command == kCmdMaskedWrite) {
        // Bits set in the mask keep the register's value, the others take the new one.
        if (index == 1 && m_operand >= 0 && m_operand < kConfigRegisters) {
            const uint8_t mask = m_data[0];
            m_pending[m_operand] = static_cast<uint8_t>((m_pending[m_operand] & mask) | (byte & ~mask));
        }
    } else if (m_command == kCmdWriteMonitor) {
        if (index == 0 && m_operand >= 0) WriteMonitor(m_operand, byte);
    } else if (m_command >= trim::TargetCommand(0) && m_command < trim::TargetCommand(kTrimCells)) {
        if (index == 1)  // low byte first
            StoreTrimTarget(m_command - trim::TargetCommand(0), static_cast<uint16_t>(m_data[0] | (m_data[1] << 8)));
    } else if (m_command == faultlog::kCmdUnlock) {
        if (index == 1)
            m_eraseUnlocked = faultlog::UnlockCodeOf(m_data[0], m_data[1]) == m_unlockCode;
    }
}

uint8_t CHmuDevice::ReadData(int index)
{
    switch (m_command) {
    case kCmdReadConfig:
        return index == 0 ? PendingConfiguration(m_operand) : 0;
    case kCmdReadMonitor:
        return index == 0 && m_operand >= 0 ? ReadMonitor(m_operand) : 0;
    case kCmdIdentify:
        return index == 0 ? m_identification : 0;
    case kCmdSignature: {
        const int byte = m_operand - signature::kFirstPosition;
        if (index != 0 || byte < 0 || byte >= kSignatureBytes) return 0;
        return static_cast<uint8_t>(m_signature >> (8 * byte));
    }
    case faultlog::kCmdStatus:
        return FaultStatus(index);
    case faultlog::kCmdReadEnable:
        return index == 0 ? m_enableAnswer : 0;
    case faultlog::kCmdReadRecords: {
        // The records can be read only while READ_FAULT_ENABLE is on.
        const int record = index / faultlog::kRecordBytes;
        if (!m_faultReadEnabled || record >= static_cast<int>(m_faults.size())) return 0;
        return m_faults[record][index % faultlog::kRecordBytes];
    }
    default:
        if (m_command >= trim::TargetCommand(0) && m_command < trim::TargetCommand(kTrimCells) && index < 2)
            return static_cast<uint8_t>(m_trimTargets[m_command - trim::TargetCommand(0)] >> (8 * index));
        return 0;
    }
}

uint8_t CHmuDevice::FaultStatus(int index) const
{
    if (index == 0) return m_faultStatus0;
    if (index == 1)
        return static_cast<uint8_t>(faultlog::Status1ForCount(static_cast<int>(m_faults.size())) |
                                    m_faultStatus1);
    return 0;
}

void CHmuDevice::SetInputs(const HmuInputs& inputs)
{
    m_inputs = inputs;
    WatchComparators();
}

void CHmuDevice::SetConfiguration(int reg, uint8_t value)
{
    if (reg < 0 || reg >= kConfigRegisters) return;
    m_pending[reg] = value;
    m_active[reg] = value;
    if (m_watched) m_watched = Comparators();
}

uint8_t CHmuDevice::PendingConfiguration(int reg) const
{
    return reg >= 0 && reg < kConfigRegisters ? m_pending[reg] : 0;
}

uint8_t CHmuDevice::ActiveConfiguration(int reg) const
{
    return reg >= 0 && reg < kConfigRegisters ? m_active[reg] : 0;
}

uint16_t CHmuDevice::TrimTarget(int cell) const
{
    return cell >= 0 && cell < kTrimCells ? m_trimTargets[cell] : 0;
}

bool CHmuDevice::TrimLoopEngaged(int cell) const
{
    return cell >= 0 && cell < kTrimCells && m_trimEngaged[cell];
}

int CHmuDevice::TrimCode(int cell) const
{
    if (cell < 0 || cell >= kTrimCells) return 0;
    return trim::CodeFromRegisters(m_active[trim::Profile0LowRegister(cell)],
                                   m_active[trim::Profile0HighRegister(cell)]);
}

void CHmuDevice::StoreTrimTarget(int cell, uint16_t word)
{
    // The code takes effect at once: the target command needs no update. The
    // upper nibble of the High register is not part of the code and is kept.
    m_trimTargets[cell] = word;
    const int code = word & trim::kCodeMask;
    const int low = trim::Profile0LowRegister(cell);
    const int high = trim::Profile0HighRegister(cell);
    for (auto* copy : {&m_pending, &m_active}) {
        (*copy)[low] = static_cast<uint8_t>(code & 0xFF);
        (*copy)[high] = static_cast<uint8_t>(((*copy)[high] & 0xF0) | (code >> 8));
    }
    m_trimEngaged[cell] = true;
}

bool CHmuDevice::IsPlainMonitorRegister(int reg) const
{
    return reg == imon::kRegAverageControl || reg == imon::kRegAverageSelect || reg == ocb::kRegOutputControl;
}

void CHmuDevice::SetMonitorRegister(int reg, uint8_t value)
{
    if (reg == imon::kRegAverageControl) m_imonAverageControl = value;
    if (reg == imon::kRegAverageSelect) m_imonAverageSelect = value;
    if (reg == ocb::kRegOutputControl) m_outputControl = value;
}

void CHmuDevice::WriteMonitor(int reg, uint8_t value)
{
    if (reg == kRegAdcMux) {
        StartConversion(value);
    } else if (reg == kRegMonitorSelect) {
        m_recordSelectWritten = static_cast<uint8_t>(value & ~kRecordReady);
        m_recordPolls = 0;
    } else if (IsPlainMonitorRegister(reg)) {
        SetMonitorRegister(reg, value);
    }
    // Result and status registers are read-only: the write is dropped.
}

void CHmuDevice::StartConversion(uint8_t selector)
{
    // The result registers keep the previous result until this one is ready.
    m_adcMux = selector;
    m_adcPending = ConversionCode(selector);
    m_adcPolls = 0;
    m_adcStarted = true;
    m_adcNeverReady = TakeFault(HmuFault::ConversionNeverReady);
    m_adcReady = !m_adcNeverReady && m_adcReadyAfter <= 0;
    if (m_adcReady) m_adcResult = m_adcPending;
}

uint8_t CHmuDevice::ReadMonitor(int reg)
{
    if (reg == kRegAdcLow) {
        ++m_adcPolls;
        if (m_adcStarted && !m_adcReady && !m_adcNeverReady && m_adcPolls >= m_adcReadyAfter) {
            m_adcReady = true;
            m_adcResult = m_adcPending;
        }
    } else if (reg == kRegMonitorSelect) {
        ++m_recordPolls;
    }
    return MonitorRegister(reg);
}

uint8_t CHmuDevice::MonitorRegister(int reg) const
{
    switch (reg) {
    case kRegAdcMux:
        return m_adcMux;
    case kRegAdcLow:
        return measure::AdcRegistersFor(m_adcResult, m_adcReady).low;
    case kRegAdcHigh:
        return measure::AdcRegistersFor(m_adcResult, m_adcReady).high;
    case imon::kRegAverageControl:
        return m_imonAverageControl;
    case imon::kRegAverageSelect:
        return m_imonAverageSelect;
    case kRegMonitorSelect:
        return static_cast<uint8_t>(m_recordSelectWritten | (m_recordPolls >= m_recordReadyAfter ? kRecordReady : 0));
    case kRegMonitorRecord: {
        const uint8_t select = m_recordSelectWritten & kRecordSelectMask;
        const HmuComparators states = Comparators();
        int record = vmon::EncodeMonitorRecord(select, states.vmon);
        for (int m = 0; m < 2; ++m)
            for (int k = 0; k < 2; ++k) {
                const imon::RecordBit where = imon::ComparatorRecordBit(m, k);
                if (where.select == select && states.imon[m][k]) record |= 1 << where.bit;
            }
        const HmuPinLevels levels = PinLevels(states);
        const gpio::PinRecords pins = gpio::EncodePinRecords(levels.hvout, levels.gpio);
        if (select == gpio::kPinRecordHigh) record |= pins.record2;
        if (select == gpio::kPinRecordLow) record |= pins.record1;
        return static_cast<uint8_t>(record);
    }
    case ocb::kRegOutputControl:
        return m_outputControl;
    case tmon::kStatARegister:
    case tmon::kStatBRegister: {
        const tmon::StatRegisters stats = tmon::EncodeComparatorStats(Comparators().tmon);
        return reg == tmon::kStatARegister ? stats.statA : stats.statB;
    }
    default:
        if (reg >= tmon::kRegMeasFirst && reg < tmon::kStatARegister) {
            const int monitor = (reg - tmon::kRegMeasFirst) / 2;
            const measure::TemperatureRegisters registers =
                measure::TemperatureRegistersFor(measure::TemperatureToCode(m_inputs.temperatures[monitor]));
            return reg == tmon::MeasHighRegister(monitor) ? registers.high : registers.low;
        }
        return 0;  // IMON average result and registers the device does not have
    }
}

int CHmuDevice::ConversionCode(uint8_t selector) const
{
    const int input = selector & ~hmu::kSelectAttenuated & 0xFF;
    double volts = 0.0;
    if (input < vmon::kChannels) {
        volts = m_inputs.vmonVolts[input];
    } else if (input == imon::RegistersOf(0).selector || input == imon::RegistersOf(1).selector) {
        // The amplifier's gain follows comparator A's range code.
        const int monitor = input == imon::RegistersOf(0).selector ? 0 : 1;
        const int gain = imon::DecodeTripRegister(m_active[TripRegister(monitor)]).gain;
        volts = m_inputs.senseVolts[monitor] * gain;
    }
    if (selector & kSelectAttenuated) volts *= kAttenuation;
    return measure::AdcCodeForVolts(volts);
}

HmuComparators CHmuDevice::Comparators() const
{
    HmuComparators states;
    for (int c = 0; c < vmon::kChannels; ++c) {
        const vmon::ChannelConfig config =
            vmon::DecodeConfig(m_active[vmon::Config0Register(c)], m_active[vmon::Config1Register(c)],
                               m_active[vmon::Config2Register(c)]);
        const vmon::Range range = vmon::ChannelRange(c);
        const double volts = m_inputs.vmonVolts[c];
        states.vmon[2 * c] = volts > vmon::ThresholdVolts(range, vmon::Direction::Over, config.a);
        states.vmon[2 * c + 1] = volts > vmon::ThresholdVolts(range, vmon::Direction::Over, config.b);
    }
    for (int m = 0; m < 2; ++m) {
        const imon::TripRegister trip = imon::DecodeTripRegister(m_active[TripRegister(m)]);
        states.imon[m][0] = m_inputs.senseVolts[m] > TripVolts(trip.entryA);
        states.imon[m][1] = m_inputs.senseVolts[m] > TripVolts(trip.entryB);
    }
    for (int t = 0; t < tmon::kMonitors; ++t) {
        const tmon::Thresholds codes =
            tmon::DecodeThresholds(m_active[tmon::Config3Register(t)], m_active[tmon::Config4Register(t)],
                                   m_active[tmon::Config5Register(t)]);
        const double celsius = m_inputs.temperatures[t];
        states.tmon[2 * t] = celsius > tmon::DegreesOfCode(codes.codeA);
        states.tmon[2 * t + 1] = celsius > tmon::DegreesOfCode(codes.codeB);
    }
    return states;
}

HmuPinLevels CHmuDevice::PinLevels() const
{
    return PinLevels(Comparators());
}

HmuPinLevels CHmuDevice::PinLevels(const HmuComparators& states) const
{
    const auto bit = [](unsigned bits, int n) { return ((bits >> n) & 1u) != 0; };
    std::array<uint8_t, gpio::kConfigRegisters> directionRegisters{};
    for (int i = 0; i < gpio::kConfigRegisters; ++i) directionRegisters[i] = m_active[gpio::kFirstConfigRegister + i];
    const gpio::Directions directions = gpio::DecodeDirections(directionRegisters);
    const ocb::OutputControl control = ocb::DecodeOutputControl(m_outputControl);
    HmuPinLevels levels;

    // Pins the output control block cannot drive come first: signals may name them.
    const auto isOcbPin = [](int pin) {
        return pin == ocb::GpioPinOf(0) || pin == ocb::GpioPinOf(1);
    };
    for (int pin = 0; pin < gpio::kPins; ++pin) {
        if (isOcbPin(pin)) continue;
        const bool high = directions[pin] == gpio::kInput ? bit(m_inputs.gpioInputs, pin)
                                                          : bit(m_inputs.gpioInterface, pin);
        if (high) levels.gpio = static_cast<uint16_t>(levels.gpio | (1u << pin));
    }
    const uint16_t plainPins = levels.gpio;
    // The level a source signal gives an output whose interface level and
    // output control bit are these.
    const auto signalLevel = [&](int signal, bool interface, bool i2c) {
        if (signal == ocb::kSignalInterface) return interface;
        if (signal == ocb::kSignalI2c) return i2c;
        if (const int pin = ocb::SignalPin(signal); pin >= 0) return bit(plainPins, pin);
        if (const int m = ocb::SignalImonMonitor(signal); m >= 0) return states.imon[m][0];
        if (const int c = ocb::SignalVmonChannel(signal); c >= 0) return states.vmon[2 * c];
        return false;
    };

    const uint8_t gpioSignals = m_active[ocb::GpioSignalField(0).reg];
    for (int which = 0; which < ocb::kGpioSignals; ++which) {
        const int pin = ocb::GpioPinOf(which);
        const bool high = directions[pin] == gpio::kInput
                              ? bit(m_inputs.gpioInputs, pin)
                              : signalLevel(ocb::SignalOf(gpioSignals, ocb::GpioSignalField(which)),
                                            bit(m_inputs.gpioInterface, pin), control.gpio[which]);
        if (high) levels.gpio = static_cast<uint16_t>(levels.gpio | (1u << pin));
    }
    if (gpio::Gpio7Absent(m_identification))
        levels.gpio = static_cast<uint16_t>(levels.gpio & ~(1u << gpio::kGpio7));

    for (int k = 0; k < hvout::kOutputs; ++k) {
        const hvout::OutputConfig config =
            hvout::DecodeConfig(m_active[hvout::Config0Register(k)], m_active[hvout::Config1Register(k)]);
        const bool interface = bit(m_inputs.hvoutInterface, k);
        const ocb::SignalField field = ocb::HvoutSignalField(k);
        const bool high = config.source == hvout::kSourceInterface
                              ? interface
                              : signalLevel(ocb::SignalOf(m_active[field.reg], field), interface, control.hvout[k]);
        if (high) levels.hvout = static_cast<uint8_t>(levels.hvout | (1u << k));
    }
    return levels;
}

bool CHmuDevice::AddFaultRecord(const faultlog::Record& record)
{
    if (static_cast<int>(m_faults.size()) >= faultlog::kMaxRecords) return false;
    m_faults.push_back(record);
    return true;
}

bool CHmuDevice::CaptureFault()
{
    const HmuComparators states = Comparators();
    const HmuPinLevels levels = PinLevels(states);
    return AddFaultRecord(MakeFaultRecord(states, levels.hvout, levels.gpio));
}

void CHmuDevice::SetFaultRecords(const std::vector<faultlog::Record>& records)
{
    const size_t kept = std::min(records.size(), static_cast<size_t>(faultlog::kMaxRecords));
    m_faults.assign(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(kept));
}

void CHmuDevice::RebaseFaultWatch()
{
    m_watched = Comparators();
}

void CHmuDevice::WatchComparators()
{
    const HmuComparators now = Comparators();
    // The first look only takes the outputs as they are: a device powering up logs nothing.
    if (m_faultLogging && m_watched && EnteredFaultState(*m_watched, now)) {
        const HmuPinLevels levels = PinLevels(now);
        AddFaultRecord(MakeFaultRecord(now, levels.hvout, levels.gpio));
    }
    m_watched = now;
}

void CHmuDevice::SetFaultStatusFlags(uint8_t status0, uint8_t status1)
{
    m_faultStatus0 = status0;
    m_faultStatus1 = status1;
}
