#include "cli/MetricsServer.h"

#include <httplib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "cli/MetricsText.h"
#include "util/TextFormat.h"

namespace metrics {

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
constexpr int kNoSignal = 0;
int PollSocket(pollfd* fds, int timeoutMs) { return WSAPoll(fds, 1, timeoutMs); }
void CloseSocket(socket_t sock) { closesocket(sock); }
int LastSocketError() { return WSAGetLastError(); }
bool Interrupted() { return false; }
#else
constexpr int kNoSignal = MSG_NOSIGNAL;  // a client that went away is an error, not SIGPIPE
int PollSocket(pollfd* fds, int timeoutMs) { return poll(fds, 1, timeoutMs); }
void CloseSocket(socket_t sock) { close(sock); }
int LastSocketError() { return errno; }
bool Interrupted() { return errno == EINTR; }
#endif

// Set while a connection beyond the waiting limit is handed over: it is
// answered 503 and closed without reading it.
thread_local bool t_refuse = false;

// Waits until the socket can be read (or written), at most until `until`.
bool WaitFor(socket_t sock, short events, Clock::time_point until)
{
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fd{};
        fd.fd = sock;
        fd.events = events;
        const int ready = PollSocket(&fd, static_cast<int>(std::min<long long>(left, 1000 * 1000)));
        if (ready > 0) return true;
        if (ready < 0 && !Interrupted()) return false;
    }
}

// One connection as httplib reads and writes it: every read waits only
// until the request's deadline and stops at its byte budget, so a slow or
// endless request is dropped rather than holding its worker. (httplib's
// own limits are per read and per line, and its CPPHTTPLIB_* macros would
// not reach Debian's build of it, a shared library compiled with its
// defaults; its URI limit, 8192 bytes, still applies.)
class CRequestStream : public httplib::Stream {
public:
    CRequestStream(socket_t sock, const ServerLimits& limits)
        : m_sock(sock), m_deadline(Clock::now() + limits.requestTime), m_budget(limits.requestBytes),
          m_writeTime(limits.writeTime)
    {
    }

    bool is_readable() const override { return m_next < m_end || WaitFor(m_sock, POLLIN, m_deadline); }
    bool is_writable() const override { return WaitFor(m_sock, POLLOUT, Clock::now() + m_writeTime); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (m_next == m_end) {
            if (m_budget == 0 || !WaitFor(m_sock, POLLIN, m_deadline)) return -1;
            const size_t want = std::min(m_buffer.size(), m_budget);
            ssize_t got = -1;
            do {
                got = recv(m_sock, m_buffer.data(), static_cast<int>(want), 0);
            } while (got < 0 && Interrupted());
            if (got <= 0) return got;
            m_budget -= static_cast<size_t>(got);
            m_next = 0;
            m_end = static_cast<size_t>(got);
        }
        const size_t n = std::min(size, m_end - m_next);
        std::memcpy(ptr, m_buffer.data() + m_next, n);
        m_next += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable()) return -1;
        ssize_t sent = -1;
        do {
            sent = send(m_sock, ptr, static_cast<int>(std::min<size_t>(size, 1 << 20)), kNoSignal);
        } while (sent < 0 && Interrupted());
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    socket_t socket() const override { return m_sock; }

private:
    void Address(bool local, std::string& ip, int& port) const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        auto* generic = reinterpret_cast<sockaddr*>(&address);
        ip.clear();
        port = 0;
        if ((local ? getsockname(m_sock, generic, &length) : getpeername(m_sock, generic, &length)) != 0) return;
        std::array<char, NI_MAXHOST> host{};
        std::array<char, NI_MAXSERV> service{};
        if (getnameinfo(generic, length, host.data(), static_cast<socklen_t>(host.size()), service.data(),
                        static_cast<socklen_t>(service.size()), NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host.data();
            port = std::atoi(service.data());
        }
    }

    socket_t m_sock;
    Clock::time_point m_deadline;
    size_t m_budget;
    std::chrono::milliseconds m_writeTime;
    std::array<char, 4096> m_buffer{};
    size_t m_next = 0;
    size_t m_end = 0;
};

// httplib's server with one request per connection, read through
// CRequestStream, and the 503 for a connection that finds no place.
class CServer : public httplib::Server {
public:
    explicit CServer(const ServerLimits& limits) : m_limits(limits) {}

    // httplib listens with a backlog of 5: connections that arrive together
    // beyond it lose their SYN and retry a second later. Listening again on
    // the bound socket widens it to the workers and the waiting line.
    void WidenBacklog()
    {
        const socket_t sock = svr_sock_;
        if (sock != INVALID_SOCKET) ::listen(sock, m_limits.workers + static_cast<int>(m_limits.waiting));
    }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        bool served = false;
        if (t_refuse) {
            static constexpr char kBusy[] =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
#ifdef _WIN32
            send(sock, kBusy, static_cast<int>(sizeof kBusy - 1), 0);
#else
            send(sock, kBusy, sizeof kBusy - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
#endif
        } else {
            CRequestStream stream(sock, m_limits);
            bool closed = false;
            served = process_request(stream, true, closed, [](httplib::Request&) {});
        }
#ifdef _WIN32
        shutdown(sock, SD_BOTH);
#else
        shutdown(sock, SHUT_RDWR);
#endif
        CloseSocket(sock);
        return served;
    }

    const ServerLimits& m_limits;
};

// A fixed set of workers and a bounded line of connections waiting for one.
class CBoundedPool : public httplib::TaskQueue {
public:
    CBoundedPool(int workers, size_t waiting) : m_waiting(waiting)
    {
        for (int i = 0; i < workers; ++i) m_threads.emplace_back([this] { Work(); });
    }

    void enqueue(std::function<void()> job) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_jobs.size() < m_waiting && !m_shutdown) {
                m_jobs.push_back(std::move(job));
                m_wake.notify_one();
                return;
            }
        }
        // No place: closed at once on the accepting thread.
        t_refuse = true;
        job();
        t_refuse = false;
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shutdown = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) thread.join();
    }

private:
    void Work()
    {
        while (true) {
            std::function<void()> job;
            bool refuse = false;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_shutdown || !m_jobs.empty(); });
                if (m_jobs.empty()) return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                // Connections still waiting when the server stops are closed, not served.
                refuse = m_shutdown;
            }
            t_refuse = refuse;
            job();
            t_refuse = false;
        }
    }

    const size_t m_waiting;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_shutdown = false;
    std::vector<std::thread> m_threads;
};

std::string HostInUrl(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string HtmlEscaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// The statuses httplib answers a bad request with on its own.
const char* StatusText(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

std::string SystemReason(int error)
{
#ifdef _WIN32
    // The usual ones in the words Linux gives, whatever the language of
    // Windows; other errors in the system's own words.
    switch (error) {
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
    case WSAEACCES: return "Permission denied";
    case WSAEAFNOSUPPORT: return "Address family not supported by protocol";
    default: break;
    }
    // The system's own words ("Only one usage of each socket address ... is
    // normally permitted."), without the line end and the full stop, and its number.
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? FormatText("error %d", error) : FormatText("%s (error %d)", reason.c_str(), error);
#else
    return std::strerror(error);
#endif
}

// Binding first on a socket of our own gives the system's reason when it
// fails, which httplib does not pass on.
bool CanBind(const std::string& host, int port, std::string& reason)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); status != 0) {
        reason = gai_strerror(status);
        return false;
    }
    bool bound = false;
    for (addrinfo* at = found; at != nullptr && !bound; at = at->ai_next) {
        const socket_t sock = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        if (sock == INVALID_SOCKET) {
            reason = SystemReason(LastSocketError());
            continue;
        }
        // As httplib sets it: a port in TIME_WAIT may be taken again, one that listens may not.
        // (On Windows SO_REUSEADDR would take even a port another program
        // listens on; exclusive use is what fails there.)
        int yes = 1;
#ifdef _WIN32
        setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
#else
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
#endif
        if (bind(sock, at->ai_addr, static_cast<socklen_t>(at->ai_addrlen)) == 0) bound = true;
        else reason = SystemReason(LastSocketError());
        CloseSocket(sock);
    }
    freeaddrinfo(found);
    return bound;
}

}  // namespace

class CMetricsServer::CImpl {
public:
    CImpl(std::string boardName, ServerLimits limits) : limits(limits), board(std::move(boardName)), server(this->limits)
    {
        server.new_task_queue = [this] { return new CBoundedPool(this->limits.workers, this->limits.waiting); };
        server.set_payload_max_length(this->limits.requestBytes);
        server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
            if (request.method != "GET" && request.method != "HEAD") {
                response.status = 405;
                response.set_header("Allow", "GET, HEAD");
                response.set_content("405 Method Not Allowed: this endpoint only answers GET and HEAD\n",
                                     "text/plain; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.path != "/" && request.path != "/metrics") {
                response.status = 404;
                response.set_content("404 Not Found: the metrics are at /metrics\n", "text/plain; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
            std::shared_ptr<const std::string> text;
            {
                std::lock_guard<std::mutex> lock(mutex);
                text = latest;
            }
            response.set_content(text ? *text : std::string(), kContentType);
        });
        server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
            const std::string name = HtmlEscaped(board);
            response.set_content("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>ZENT2 board " + name +
                                     "</title></head>\n<body><h1>ZENT2 board " + name +
                                     "</h1>\n<p><a href=\"/metrics\">Metrics</a></p></body></html>\n",
                                 "text/html; charset=utf-8");
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
            if (response.body.empty())
                response.set_content(FormatText("%d %s\n", response.status, StatusText(response.status)),
                                     "text/plain; charset=utf-8");
        });
    }

    ServerLimits limits;
    std::string board;
    CServer server;
    std::mutex mutex;
    std::shared_ptr<const std::string> latest;
    std::thread thread;
    std::atomic<bool> listenEnded{false};
};

CMetricsServer::CMetricsServer(std::string boardName, ServerLimits limits)
    : m_impl(std::make_unique<CImpl>(std::move(boardName), limits))
{
}

CMetricsServer::~CMetricsServer()
{
    Stop();
}

bool CMetricsServer::Bind(const std::string& host, int port, std::string& error)
{
    const std::string address = HostInUrl(host) + ":" + std::to_string(port);
    std::string reason;
    if (!CanBind(host, port, reason)) {
        error = "cannot listen on " + address + ": " + reason;
        return false;
    }
    const int bound = port == 0 ? m_impl->server.bind_to_any_port(host) : (m_impl->server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + address + ": the HTTP server could not bind it";
        return false;
    }
    m_impl->server.WidenBacklog();
    m_host = host;
    m_port = bound;
    return true;
}

std::string CMetricsServer::MetricsUrl() const
{
    return "http://" + HostInUrl(m_host) + ":" + std::to_string(m_port) + "/metrics";
}

void CMetricsServer::Publish(std::string text)
{
    auto shared = std::make_shared<const std::string>(std::move(text));
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->latest = std::move(shared);
}

void CMetricsServer::Start()
{
    if (m_impl->thread.joinable() || m_port == 0) return;
    m_impl->thread = std::thread([this] {
        m_impl->server.listen_after_bind();
        m_impl->listenEnded = true;
    });
}

void CMetricsServer::Stop()
{
    if (!m_impl->thread.joinable()) return;
    // stop() only acts once the accept loop runs.
    while (!m_impl->server.is_running() && !m_impl->listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_impl->server.stop();
    m_impl->thread.join();
}

}  // namespace metrics
