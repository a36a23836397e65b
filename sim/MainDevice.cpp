#include "sim/MainDevice.h"

void CMainDevice::OnStart(bool)
{
    m_written = -1;
}

bool CMainDevice::OnAddress(bool read)
{
    m_written = read ? -1 : 0;
    return true;
}

bool CMainDevice::OnWrite(uint8_t byte)
{
    if (m_written == 0)
        m_pointer = byte;
    else if (m_written == 1)
        Store(m_pointer, byte);
    if (m_written >= 0) ++m_written;
    return true;
}

uint8_t CMainDevice::OnRead()
{
    return Register(m_pointer);
}

void CMainDevice::OnStop()
{
    m_written = -1;
}

void CMainDevice::Store(uint8_t reg, uint8_t value)
{
    if (reg >= kRegisters) return;
    if (reg == kStatusRegister)
        value = static_cast<uint8_t>((value & ~kPotStatusMask) | PotStatus());
    m_registers[reg] = value;
}

uint8_t CMainDevice::Register(int reg) const
{
    return reg >= 0 && reg < kRegisters ? m_registers[reg] : 0;
}

void CMainDevice::SetRegister(int reg, uint8_t value)
{
    if (reg >= 0 && reg < kRegisters) m_registers[reg] = value;
}

void CMainDevice::SetPotStatus(uint8_t bits)
{
    uint8_t& status = m_registers[kStatusRegister];
    status = static_cast<uint8_t>((status & ~kPotStatusMask) | (bits & kPotStatusMask));
}
