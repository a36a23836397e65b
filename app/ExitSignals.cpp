#include "app/ExitSignals.h"

#include <QSocketNotifier>
#include <iterator>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
constexpr int kSignals[] = {SIGTERM, SIGINT};
int g_sockets[2] = {-1, -1};  // [0] written by the handler, [1] read by the event loop
struct sigaction g_previous[2];

extern "C" void OnExitSignal(int signal)
{
    const int saved = errno;  // a handler must leave errno as it found it
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &number, 1);
    errno = saved;
}
#endif

}  // namespace

CExitSignals::CExitSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
#ifndef _WIN32
    if (g_sockets[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0) return;
    // A full socket must never block the handler.
    ::fcntl(g_sockets[0], F_SETFL, ::fcntl(g_sockets[0], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CExitSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
    m_installed = true;
#endif
}

CExitSignals::~CExitSignals()
{
#ifndef _WIN32
    if (!m_installed) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_sockets[0]);
    ::close(g_sockets[1]);
    g_sockets[0] = g_sockets[1] = -1;
#endif
}

void CExitSignals::OnReadable()
{
#ifndef _WIN32
    unsigned char number = 0;
    if (::read(g_sockets[1], &number, 1) == 1 && m_onSignal) m_onSignal(number);
#endif
}
