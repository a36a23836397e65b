#pragma once
// SIGINT and SIGTERM ask a long command (log, watch) to end for as long as
// the object lives; the handlers the program had come back afterwards.

#include <csignal>

class CStopSignals {
public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    static bool Requested();
    // The signal that asked the run to end, 0 for none.
    static int Signal();

private:
    void (*m_previousInt)(int);
    void (*m_previousTerm)(int);
};
