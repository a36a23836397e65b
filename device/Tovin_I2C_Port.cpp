#include "device/Tovin_I2C_Port.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "device/MeasureCodes.h"
#include "link/CableLock.h"

using namespace hmu;

namespace {

// Current-sense amplifier gain by the range code in bits 3..2 of the trip point register.
constexpr int kSenseRanges[4] = {100, 50, 25, 10};

}  // namespace

CTovin_I2C_Port::CTovin_I2C_Port(std::shared_ptr<CFtdiDriver> driver)
    : m_link(std::make_unique<CI2C_FTDI>(std::move(driver)))
{
    for (auto& device : m_demoImage)
        for (int r = 0; r < kHmuRegisters; ++r) device[r] = r;
}

CTovin_I2C_Port::~CTovin_I2C_Port()
{
    m_link->CloseI2CChannel();
}

FtdiStatus CTovin_I2C_Port::OpenCable()
{
    m_link->ListDevices();
    return m_link->OpenI2CChannel();
}

void CTovin_I2C_Port::CheckCable()
{
    m_error = 0;
    if (m_link->ListDevices() == 0) m_error = kErrorNoCable;
}

// One transaction, tried up to five times: queue, one write, one read, test.
// An attempt also fails when replies are missing: a missing acknowledge bit
// proves nothing, and the data bytes would be left over from an earlier read.
// A write the driver refused or cut short fails the attempt too.
template <class Queue>
bool CTovin_I2C_Port::Attempt(Queue&& queue)
{
    m_openCommand.reset();  // whatever was open, this transaction starts anew
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if constexpr (std::is_invocable_v<Queue, int>)
            queue(attempt);
        else
            queue();
        const int expected = m_link->ExpectedReplies();
        const bool written = m_link->FlushI2C() == FTDI_OK;
        const int received = m_link->CollectReplies();
        if (written && !m_link->AckFailed() && received == expected) return true;
    }
    ++m_failedTransactions;
    return false;
}

int32_t* CTovin_I2C_Port::DemoRegister(int reg)
{
    // The simulated file holds only the registers of the map and the eight devices.
    if (m_hmuIndex < 0 || m_hmuIndex >= kHmuDevices || reg < 0 || reg >= kHmuRegisters) return nullptr;
    return &m_demoImage[m_hmuIndex][reg];
}

int32_t* CTovin_I2C_Port::DemoMainRegister(int reg)
{
    if (reg < 0 || reg >= kMainRegisters) return nullptr;
    return &m_demoMain[reg];
}

void CTovin_I2C_Port::QueueCommandPhase(const CommandPhase& phase)
{
    m_link->AddStart();
    m_link->AddWriteByte(phase.address);
    m_link->AddWriteByte(phase.command);
    if (phase.operand >= 0) m_link->AddWriteByte(static_cast<uint8_t>(phase.operand));
}

bool CTovin_I2C_Port::BeginCommand(int command, int operand)
{
    const CommandPhase phase{HmuWriteAddress(), static_cast<uint8_t>(command), operand < 0 ? -1 : operand & 0xFF};
    if (Attempt([&] { QueueCommandPhase(phase); })) {
        m_openCommand = phase;
        return true;
    }
    // Every attempt ended with the bus held mid-transaction: release SCL and SDA.
    m_link->AddStop();
    m_link->FlushI2C();
    return false;
}

bool CTovin_I2C_Port::ReadBytes(uint8_t* buffer, int count)
{
    if (buffer == nullptr || count < 0) return false;
    if (count > kMaxReadBytes) {
        // Would not fit one exchange with its STOP; refuse rather than read garbage.
        std::memset(buffer, 0, static_cast<size_t>(count));
        return false;
    }
    const uint8_t address = static_cast<uint8_t>(HmuWriteAddress() + 1);
    const bool ok = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(address);
        for (int j = 0; j < count; ++j) m_link->AddReadByte(j == count - 1);
        m_link->AddStop();
    });
    if (!ok) {
        std::memset(buffer, 0, static_cast<size_t>(count));
        return false;
    }
    for (int j = 0; j < count; ++j) buffer[j] = m_link->ReplyByte(j + 1);
    return true;
}

bool CTovin_I2C_Port::WriteBytes(const uint8_t* buffer, int count)
{
    if ((buffer == nullptr && count != 0) || count < 0 || count > kMaxWriteBytes) return false;
    // The first attempt goes on with the transaction BeginCommand left open.
    // That attempt ended with a STOP, so a retry must carry the command phase
    // again: data bytes alone would reach no device.
    const std::optional<CommandPhase> phase = std::exchange(m_openCommand, std::nullopt);
    return Attempt([&](int attempt) {
        if (attempt > 0 && phase) QueueCommandPhase(*phase);
        for (int j = 0; j < count; ++j) m_link->AddWriteByte(buffer[j]);
        m_link->AddStop();
    });
}

uint8_t* CTovin_I2C_Port::ReadBlock(int command, int operand, uint8_t* buffer, int count)
{
    if (buffer == nullptr) return nullptr;
    if (BeginCommand(command, operand)) {
        ReadBytes(buffer, count);
    } else if (count > 0) {
        std::memset(buffer, 0, static_cast<size_t>(count));
    }
    return buffer;
}

uint8_t CTovin_I2C_Port::ReadRegister(int command, int reg)
{
    if (m_demoMode) {
        switch (command) {
        case kCmdReadMonitor:
            if (reg == kRegMonitorSelect) return kRecordReady;
            if (reg == kRegTmonStatA || reg == kRegTmonStatB) return 0x07;
            return 0x00;
        case kCmdIdentify:
            return m_hmuIndex == 0 ? 0x8A : 0x88;
        case kCmdReadConfig: {
            const int32_t* value = DemoRegister(reg);
            return value ? static_cast<uint8_t>(*value) : 0;
        }
        default:
            break;  // not simulated: goes to the bus
        }
    }
    uint8_t result = 0;
    if (BeginCommand(command, reg)) ReadBytes(&result, 1);
    return result;
}

void CTovin_I2C_Port::WriteRegister(int command, int reg, int value)
{
    if (m_demoMode) {
        if (command == kCmdWriteConfig) {
            if (int32_t* target = DemoRegister(reg)) *target = value & 0xFF;
        }
        return;
    }
    const uint8_t byte = static_cast<uint8_t>(value);
    if (BeginCommand(command, reg)) WriteBytes(&byte, 1);
}

void CTovin_I2C_Port::MaskedWrite(int reg, int value, int mask)
{
    if (m_demoMode) {
        if (int32_t* target = DemoRegister(reg)) *target &= (value | mask);
        return;
    }
    const uint8_t bytes[2] = {static_cast<uint8_t>(mask), static_cast<uint8_t>(value)};
    if (BeginCommand(kCmdMaskedWrite, reg)) WriteBytes(bytes, 2);
}

void CTovin_I2C_Port::UpdateConfiguration()
{
    if (m_demoMode) return;
    const uint8_t address = HmuWriteAddress();
    const bool ok = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(address);
        m_link->AddWriteByte(kCmdUpdate);
        m_link->AddStop();
    });
    if (!ok) m_error = kErrorAck;
}

int CTovin_I2C_Port::SenseRangeFigure(int value)
{
    return kSenseRanges[(value >> 2) & 3];
}

int CTovin_I2C_Port::ReadSenseRange(int which, uint8_t* out)
{
    const uint8_t value = ReadRegister(kCmdReadConfig, which ? kRegHimonConfig1 : kRegImonConfig1);
    if (out != nullptr) *out = value;
    return SenseRangeFigure(value);
}

int CTovin_I2C_Port::WriteSenseRange(int which, int value)
{
    WriteRegister(kCmdWriteConfig, which ? kRegHimonConfig1 : kRegImonConfig1, value);
    return SenseRangeFigure(value);
}

float CTovin_I2C_Port::ReadTemperature(int n)
{
    if (m_demoMode) {
        m_demoTemperature += 0.25f;
        return m_demoTemperature;
    }
    const uint8_t high = ReadRegister(kCmdReadMonitor, kRegTmonMeas1High + 2 * n);
    const uint8_t low = ReadRegister(kCmdReadMonitor, kRegTmonMeas1High + 1 + 2 * n);
    return measure::TemperatureFromCode(high * 8 + (low >> 5));
}

int CTovin_I2C_Port::ReadTrimCode(int n)
{
    const uint8_t low = ReadRegister(kCmdReadConfig, 2 * n + kRegTrimProfile0Low);
    const uint8_t high = ReadRegister(kCmdReadConfig, 2 * n + kRegTrimProfile0Low + 1);
    return low + (high & 0x0F) * 256;
}

void CTovin_I2C_Port::WriteTrimTarget(int n, uint16_t word)
{
    if (m_demoMode) return;
    if (!BeginCommand(kCmdTrimTarget + n, -1)) return;
    const uint8_t bytes[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
    WriteBytes(bytes, 2);
    uint8_t scratch[2];
    ReadBytes(scratch, 2);
}

uint64_t CTovin_I2C_Port::ReadSignature()
{
    CCableLock lock;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        uint8_t byte = 0;
        ReadBlock(kCmdSignature, 0x70 + i, &byte, 1);
        value += static_cast<uint64_t>(byte) << (8 * i);
    }
    return value;
}

uint8_t CTovin_I2C_Port::ReadMonitorRecord(int n)
{
    if (m_demoMode) return 0;
    WriteRegister(kCmdWriteMonitor, kRegMonitorSelect, n & 0x0F);
    for (int poll = 0; poll < 3; ++poll) {
        if (ReadRegister(kCmdReadMonitor, kRegMonitorSelect) & kRecordReady) break;
    }
    return ReadRegister(kCmdReadMonitor, kRegMonitorRecord);
}

float CTovin_I2C_Port::MeasureVoltage(int selector)
{
    if (m_demoMode) {
        m_demoVoltageA += 0.01f;
        return m_demoVoltageA;
    }
    const int input = selector == 0 ? 0x10 : selector == 1 ? 0x13 : (selector & 0xFF);
    WriteRegister(kCmdWriteMonitor, kRegAdcMux, input);
    uint8_t low = 0;
    int readyAt = 0;  // poll number at which the conversion was done, 0 = never
    for (int poll = 1; poll <= 5; ++poll) {
        low = ReadRegister(kCmdReadMonitor, kRegAdcLow);
        if (low & 1) {
            readyAt = poll;
            break;
        }
    }
    const uint8_t high = ReadRegister(kCmdReadMonitor, kRegAdcHigh);
    if (readyAt == 0 || readyAt > 3) return 0.0f;
    return static_cast<float>(measure::AdcCode(high, low) * 0.002);
}

float CTovin_I2C_Port::MeasureVoltageRanged(int selector)
{
    if (m_demoMode) {
        m_demoVoltageB += 0.01f;
        return m_demoVoltageB;
    }
    uint8_t low = 0;
    uint8_t high = 0;
    for (int pass = 0; pass < 2; ++pass) {
        WriteRegister(kCmdWriteMonitor, kRegAdcMux, pass == 0 ? selector : selector + 0x80);
        for (int poll = 0; poll < 3; ++poll) {
            low = ReadRegister(kCmdReadMonitor, kRegAdcLow);
            if (low & 1) break;
        }
        high = ReadRegister(kCmdReadMonitor, kRegAdcHigh);
        // A full-scale reading is taken once more with the selector's bit 7 set.
        if (!(high == 0x1F && (low & 0xF8) == 0xF8)) break;
    }
    return static_cast<float>((((low >> 3) & 0x1F) + (high << 5)) * 0.002);
}

bool CTovin_I2C_Port::Probe(int address)
{
    CCableLock lock;
    if (m_demoMode) return true;
    const uint8_t byte = static_cast<uint8_t>(address);
    return Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(byte);
        m_link->AddStop();
    });
}

void CTovin_I2C_Port::WriteMain(int reg, int value)
{
    m_error = 0;
    if (m_demoMode) {
        if (int32_t* target = DemoMainRegister(reg)) *target = value;
        return;
    }
    const uint8_t address = static_cast<uint8_t>(m_mainAddress);
    const bool ok = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(address);
        m_link->AddWriteByte(static_cast<uint8_t>(reg));
        m_link->AddWriteByte(static_cast<uint8_t>(value));
        m_link->AddStop();
    });
    if (!ok) m_error = kErrorAck;
}

uint8_t CTovin_I2C_Port::ReadMain(int reg)
{
    m_error = 0;
    if (m_demoMode) {
        const int32_t* value = DemoMainRegister(reg);
        return value ? static_cast<uint8_t>(*value) : 0;
    }
    const uint8_t address = static_cast<uint8_t>(m_mainAddress);
    // The two phases are separate transactions: a STOP, not a repeated START.
    const bool selected = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(address);
        m_link->AddWriteByte(static_cast<uint8_t>(reg));
        m_link->AddStop();
    });
    if (!selected) {
        m_error = kErrorAck;
        return 0;
    }
    const bool read = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(static_cast<uint8_t>(address + 1));
        m_link->AddReadByte(1);
        m_link->AddStop();
    });
    if (!read) {
        m_error = kErrorAck;
        return 0;
    }
    return m_link->ReplyByte(1);
}
