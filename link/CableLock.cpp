#include "link/CableLock.h"

#include <chrono>
#include <thread>

#include "link/I2C_FTDI.h"

namespace {

CCableContext* g_context = nullptr;
int g_depth = 0;  // UI thread only: a nesting guard, not a lock between threads

void WaitOneMillisecond()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

CCableContext* SetCableContext(CCableContext* context)
{
    CCableContext* previous = g_context;
    g_context = context;
    return previous;
}

CCableContext* GetCableContext()
{
    return g_context;
}

int CCableLock::Depth()
{
    return g_depth;
}

CCableLock::CCableLock() : m_context(g_context)
{
    if (++g_depth != 1) return;
    if (m_context == nullptr || m_context->CableDemoMode()) return;
    CI2C_FTDI* link = m_context->CableLink();
    if (link == nullptr) return;
    m_openStatus = static_cast<int>(link->OpenEnableChannel());
    if (m_openStatus == 0) {
        link->RaiseEnableLine();
        WaitOneMillisecond();
    }
}

CCableLock::~CCableLock()
{
    if (--g_depth != 0) return;
    if (m_context == nullptr || m_context->CableDemoMode()) return;
    CI2C_FTDI* link = m_context->CableLink();
    if (link == nullptr) return;
    WaitOneMillisecond();
    link->LowerEnableLine();
    link->CloseEnableChannel();
}
