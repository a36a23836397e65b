#include "cli/StopSignals.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int number)
{
    g_stopRequested = number;
}

}  // namespace

CStopSignals::CStopSignals()
{
    g_stopRequested = 0;
    m_previousInt = std::signal(SIGINT, RequestStop);
    m_previousTerm = std::signal(SIGTERM, RequestStop);
}

CStopSignals::~CStopSignals()
{
    std::signal(SIGINT, m_previousInt == SIG_ERR ? SIG_DFL : m_previousInt);
    std::signal(SIGTERM, m_previousTerm == SIG_ERR ? SIG_DFL : m_previousTerm);
}

bool CStopSignals::Requested() { return g_stopRequested != 0; }

int CStopSignals::Signal() { return g_stopRequested; }
