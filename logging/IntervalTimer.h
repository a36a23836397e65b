#pragma once
// A repeating timer as the status window uses it. The window runs on a
// toolkit timer; tests give it one they advance by hand, so that a run of
// records takes no real time.

#include <functional>

class CIntervalTimer {
public:
    virtual ~CIntervalTimer() = default;
    // Calls onTick every periodMs until stopped; a running timer restarts.
    virtual void Start(int periodMs, std::function<void()> onTick) = 0;
    // Does nothing when the timer does not run.
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    // Runs `work` once the events already waiting are handled, so that a long
    // job in pieces leaves the window answering in between. A timer on
    // virtual time has no events to let through: it runs the work at once.
    virtual void Defer(std::function<void()> work) { work(); }
};
