#pragma once
// The toolkit's timer for the status window's records, on the window's thread.

#include <QTimer>
#include <functional>

#include "logging/IntervalTimer.h"

class CQtIntervalTimer : public CIntervalTimer {
public:
    // periodMs, when not 0, is used instead of the period Start is given: the
    // stall benchmark runs its records back to back.
    explicit CQtIntervalTimer(int periodMs = 0) : m_periodMs(periodMs)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_onTick) m_onTick();
        });
    }
    void Start(int periodMs, std::function<void()> onTick) override
    {
        m_onTick = std::move(onTick);
        m_timer.start(m_periodMs != 0 ? m_periodMs : periodMs);
    }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }
    // Dropped with the timer, should the window go first.
    void Defer(std::function<void()> work) override { QTimer::singleShot(0, &m_timer, std::move(work)); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
    int m_periodMs;
};
