#pragma once
// A logging timer on virtual time: nothing happens until the test lets time
// pass, and then every tick that falls due runs at once.

#include <algorithm>
#include <functional>

#include "logging/IntervalTimer.h"

class CVirtualTimer : public CIntervalTimer {
public:
    void Start(int periodMs, std::function<void()> onTick) override
    {
        m_period = periodMs;
        m_onTick = std::move(onTick);
        m_active = true;
        m_elapsed = 0;
        ++m_starts;
    }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }

    void Advance(int ms)
    {
        while (m_active && m_period > 0 && ms > 0) {
            const int step = std::min(ms, m_period - m_elapsed);
            m_elapsed += step;
            ms -= step;
            if (m_elapsed == m_period) {
                m_elapsed = 0;
                m_onTick();
            }
        }
    }
    int Period() const { return m_period; }
    int Starts() const { return m_starts; }

private:
    std::function<void()> m_onTick;
    int m_period = 0;
    int m_elapsed = 0;
    bool m_active = false;
    int m_starts = 0;
};
