#pragma once
// A repeating timer of a window, run on the user-interface thread. A QTimer
// drives it, unless a virtual clock is installed when it starts: then that
// clock drives it, and tests move time on by hand instead of waiting.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

class CVirtualClock;

class CUiTimer : public QObject {
    Q_OBJECT
public:
    explicit CUiTimer(std::function<void()> expired, QObject* parent = nullptr);
    ~CUiTimer() override;
    CUiTimer(const CUiTimer&) = delete;
    CUiTimer& operator=(const CUiTimer&) = delete;

    // Starts, or starts again, with this period (at least 1 ms).
    void Start(int milliseconds);
    // Expires at every turn of the event loop until stopped, for work done
    // in steps between other events; on a virtual clock, again and again at
    // the same moment.
    void StartTurns();
    void Stop();
    bool IsActive() const;
    int Interval() const { return m_interval; }

private:
    friend class CVirtualClock;
    void Expire();

    std::function<void()> m_expired;
    QTimer m_timer;
    CVirtualClock* m_clock = nullptr;  // the clock that drives it, while one does
    int m_interval = 0;
};

// Time for the timers that start while it is installed (one at a time; it
// installs itself on construction and steps back on destruction). Advance
// moves time on and runs every expiry at its moment, in time order; timers
// due at the same moment run in the order they were started.
class CVirtualClock {
public:
    using Milliseconds = std::chrono::milliseconds;

    CVirtualClock();
    ~CVirtualClock();
    CVirtualClock(const CVirtualClock&) = delete;
    CVirtualClock& operator=(const CVirtualClock&) = delete;

    static CVirtualClock* Installed();

    void Advance(Milliseconds elapsed);
    Milliseconds Now() const { return m_now; }
    int ActiveTimers() const { return static_cast<int>(m_timers.size()); }
    // Told of every step of time before the expiries at its end run, so that
    // something else (the simulated board) keeps the same time.
    std::function<void(Milliseconds step)> onStep;

private:
    friend class CUiTimer;
    struct Entry {
        Milliseconds due;
        Milliseconds period;
        uint64_t order;
    };
    void Start(CUiTimer* timer, Milliseconds period);
    void Stop(CUiTimer* timer);
    void MoveTo(Milliseconds time);

    std::map<CUiTimer*, Entry> m_timers;
    Milliseconds m_now{0};
    uint64_t m_started = 0;
    CVirtualClock* m_previous = nullptr;
};
