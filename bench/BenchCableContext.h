#pragma once
// The cable lock context of a benchmark: the port's link, on the real bus.

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"

class CBenchContext : public CCableContext {
public:
    explicit CBenchContext(CTovin_I2C_Port& port) : m_port(port) { m_previous = SetCableContext(this); }
    ~CBenchContext() override { SetCableContext(m_previous); }
    bool CableDemoMode() const override { return false; }
    CI2C_FTDI* CableLink() override { return &m_port.GetLink(); }

private:
    CTovin_I2C_Port& m_port;
    CCableContext* m_previous;
};
