#include "device/Tovin_I2C_Port.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "link/CableLock.h"

using namespace hmu;

CTovin_I2C_Port::CTovin_I2C_Port(std::shared_ptr<CFtdiDriver> driver)
    : m_link(std::make_unique<CI2C_FTDI>(std::move(driver)))
{
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
    if (const CDemoRegisterFile* demo = Demo()) {
        if (const std::optional<uint8_t> answer = demo->ReadRegister(m_hmuIndex, command, reg)) return *answer;
    }
    uint8_t result = 0;
    if (BeginCommand(command, reg)) ReadBytes(&result, 1);
    return result;
}

void CTovin_I2C_Port::WriteRegister(int command, int reg, int value)
{
    if (CDemoRegisterFile* demo = Demo(); demo && demo->WriteRegister(m_hmuIndex, command, reg, value)) return;
    const uint8_t byte = static_cast<uint8_t>(value);
    if (BeginCommand(command, reg)) WriteBytes(&byte, 1);
}

void CTovin_I2C_Port::MaskedWrite(int reg, int value, int mask)
{
    if (CDemoRegisterFile* demo = Demo(); demo && demo->MaskedWrite(m_hmuIndex, reg, value, mask)) return;
    const uint8_t bytes[2] = {static_cast<uint8_t>(mask), static_cast<uint8_t>(value)};
    if (BeginCommand(kCmdMaskedWrite, reg)) WriteBytes(bytes, 2);
}

void CTovin_I2C_Port::UpdateConfiguration()
{
    if (Demo()) return;  // the demo file applies writes at once
    const uint8_t address = HmuWriteAddress();
    const bool ok = Attempt([&] {
        m_link->AddStart();
        m_link->AddWriteByte(address);
        m_link->AddWriteByte(kCmdUpdate);
        m_link->AddStop();
    });
    if (!ok) m_error = kErrorAck;
}

bool CTovin_I2C_Port::Probe(int address)
{
    CCableLock lock;
    if (Demo()) return true;  // every device answers in demo mode
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
    if (CDemoRegisterFile* demo = Demo()) return demo->WriteMain(reg, value);
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
    if (const CDemoRegisterFile* demo = Demo()) return demo->ReadMain(reg);
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
