#include "cli/CliCableContext.h"

#include "device/Tovin_I2C_Port.h"

CCliCableContext::CCliCableContext(CTovin_I2C_Port& port) : m_port(port), m_previous(SetCableContext(this)) {}

CCliCableContext::~CCliCableContext()
{
    SetCableContext(m_previous);
}

bool CCliCableContext::CableDemoMode() const
{
    return m_port.GetDemoMode();
}

CI2C_FTDI* CCliCableContext::CableLink()
{
    return &m_port.GetLink();
}
