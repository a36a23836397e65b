#pragma once
// The HTTP side of zent2-cli serve: answers GET and HEAD of /metrics with the
// text last published and of / with a page linking to it; other paths get
// 404, other methods 405. It never reads the board: the polling thread
// publishes a finished text, and a scrape copies the latest one under a
// mutex.
//
// A client gets a bounded share: its request must arrive whole within
// requestTime and requestBytes, else the connection is dropped; `workers`
// connections are served at once and up to `waiting` more wait for a
// worker; beyond that a connection is answered 503 and closed at once.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace metrics {

struct ServerLimits {
    int workers = 8;
    size_t waiting = 64;
    std::chrono::milliseconds requestTime{10000};
    size_t requestBytes = 16 * 1024;
    std::chrono::milliseconds writeTime{5000};  // for each piece of a response
};

class CMetricsServer {
public:
    // boardName: for the page at /.
    CMetricsServer(std::string boardName, ServerLimits limits = {});
    ~CMetricsServer();
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // Binds host:port (port 0: a free port). On false, error names the
    // address and the system's reason.
    bool Bind(const std::string& host, int port, std::string& error);
    // The address it listens on, as a URL of its metrics:
    // "http://127.0.0.1:9847/metrics", "http://[::1]:9847/metrics".
    std::string MetricsUrl() const;
    int Port() const { return m_port; }

    // The text every scrape gets from now on.
    void Publish(std::string text);

    // Serves on a thread of its own until Stop (or destruction).
    void Start();
    void Stop();

private:
    class CImpl;
    std::unique_ptr<CImpl> m_impl;
    std::string m_host;
    int m_port = 0;
};

}  // namespace metrics
