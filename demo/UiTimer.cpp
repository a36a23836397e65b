#include "demo/UiTimer.h"

#include <algorithm>

namespace {

CVirtualClock* g_clock = nullptr;

}  // namespace

CUiTimer::CUiTimer(std::function<void()> expired, QObject* parent) : QObject(parent), m_expired(std::move(expired))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CUiTimer::Expire);
}

CUiTimer::~CUiTimer()
{
    Stop();
}

void CUiTimer::Start(int milliseconds)
{
    Stop();
    // A period of 0 would expire at every turn of the event loop.
    m_interval = std::max(milliseconds, 1);
    if (CVirtualClock* clock = CVirtualClock::Installed()) {
        m_clock = clock;
        clock->Start(this, CVirtualClock::Milliseconds(m_interval));
    } else {
        m_timer.start(m_interval);
    }
}

void CUiTimer::StartTurns()
{
    Stop();
    m_interval = 0;
    if (CVirtualClock* clock = CVirtualClock::Installed()) {
        m_clock = clock;
        clock->Start(this, CVirtualClock::Milliseconds(0));
    } else {
        m_timer.start(0);
    }
}

void CUiTimer::Stop()
{
    if (m_clock != nullptr) m_clock->Stop(this);
    m_clock = nullptr;
    m_timer.stop();
}

bool CUiTimer::IsActive() const
{
    return m_clock != nullptr || m_timer.isActive();
}

void CUiTimer::Expire()
{
    if (m_expired) m_expired();
}

CVirtualClock::CVirtualClock() : m_previous(g_clock)
{
    g_clock = this;
}

CVirtualClock::~CVirtualClock()
{
    for (auto& [timer, entry] : m_timers) timer->m_clock = nullptr;
    g_clock = m_previous;
}

CVirtualClock* CVirtualClock::Installed()
{
    return g_clock;
}

void CVirtualClock::Start(CUiTimer* timer, Milliseconds period)
{
    m_timers[timer] = {m_now + period, period, ++m_started};
}

void CVirtualClock::Stop(CUiTimer* timer)
{
    m_timers.erase(timer);
}

void CVirtualClock::MoveTo(Milliseconds time)
{
    if (time <= m_now) return;
    const Milliseconds step = time - m_now;
    m_now = time;
    if (onStep) onStep(step);
}

void CVirtualClock::Advance(Milliseconds elapsed)
{
    const Milliseconds target = m_now + std::max(elapsed, Milliseconds(0));
    for (;;) {
        // The next expiry up to the target. An expiry may start, stop or
        // destroy timers, so the search starts afresh after each one.
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (it->second.due > target) continue;
            if (next == m_timers.end() || it->second.due < next->second.due ||
                (it->second.due == next->second.due && it->second.order < next->second.order))
                next = it;
        }
        if (next == m_timers.end()) break;
        MoveTo(next->second.due);
        next->second.due += next->second.period;
        next->first->Expire();
    }
    MoveTo(target);
}
