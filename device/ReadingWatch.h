#pragma once
// Whether a reading failed: the port counts every transaction that failed
// all its attempts and every result whose ready bit never came, and gives 0
// or a stale value for them, which the value itself cannot show.

#include <cstdint>

#include "device/Tovin_I2C_Port.h"

class CReadingWatch {
public:
    explicit CReadingWatch(const CTovin_I2C_Port& port)
        : m_port(port), m_failed(port.FailedTransactions()), m_unready(port.UnreadyResults())
    {
    }
    bool Failed() const { return m_port.FailedTransactions() != m_failed || m_port.UnreadyResults() != m_unready; }

private:
    const CTovin_I2C_Port& m_port;
    uint64_t m_failed;
    uint64_t m_unready;
};
