#pragma once
// The cable context of the command-line program: its accesses are bracketed by
// the enable line just as the desktop program's are. Installs itself for its
// lifetime and puts the previous context back afterwards.

#include "link/CableLock.h"

class CTovin_I2C_Port;

class CCliCableContext : public CCableContext {
public:
    explicit CCliCableContext(CTovin_I2C_Port& port);
    ~CCliCableContext() override;
    CCliCableContext(const CCliCableContext&) = delete;
    CCliCableContext& operator=(const CCliCableContext&) = delete;

    bool CableDemoMode() const override;
    CI2C_FTDI* CableLink() override;

private:
    CTovin_I2C_Port& m_port;
    CCableContext* m_previous = nullptr;
};
