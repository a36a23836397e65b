#pragma once
// zent2-cli serve as a test or benchmark runs it: the built program started
// on the simulated board, the address it prints, raw HTTP exchanges with it
// over loopback (a request is sent byte for byte as given, so that broken
// ones can be), and its end by a signal. POSIX only.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace servetest {

using Clock = std::chrono::steady_clock;

// Waits are generous: they only bound a run that went wrong, on a loaded machine.
constexpr std::chrono::seconds kPatience{90};

// Reads from fd until the text holds `until` or the fd ends or time runs out.
inline std::string ReadUntil(int fd, const std::string& until, Clock::time_point deadline)
{
    std::string text;
    char buffer[4096];
    while (text.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// A port no one listens on now: bound to 0, then let go.
inline int FreePort()
{
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    close(sock);
    return ntohs(address.sin_port);
}

inline int Connect(int port)
{
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

inline bool SendAll(int sock, const std::string& bytes)
{
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(sock, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Everything the server sends until it closes the connection (empty when it
// closed it without a word, or reset it).
inline std::string ReadToEnd(int sock)
{
    std::string text;
    char buffer[16384];
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        pollfd p{sock, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// One request as given, the whole answer back.
inline std::string Exchange(int port, const std::string& request)
{
    const int sock = Connect(port);
    if (sock < 0) return "(no connection)";
    SendAll(sock, request);  // the server may close early on a refused request
    std::string answer = ReadToEnd(sock);
    close(sock);
    return answer;
}

inline std::string Get(int port, const std::string& target)
{
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

// "200" of "HTTP/1.1 200 OK\r\n..."; empty for no answer.
inline std::string Status(const std::string& answer)
{
    if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return {};
    return answer.substr(9, 3);
}

inline std::string Body(const std::string& answer)
{
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// The program, started with its arguments; stdout is read up to the line
// that gives its address.
class CServeProcess {
public:
    explicit CServeProcess(const std::vector<std::string>& args, const std::string& program)
    {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            close(out[0]);
            close(err[0]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
        m_stdout = ReadUntil(m_out, "/metrics\n", Clock::now() + kPatience);
        const size_t at = m_stdout.find("Serving http://127.0.0.1:");
        if (at != std::string::npos) m_port = std::atoi(m_stdout.c_str() + at + 25);
    }

    ~CServeProcess() { Stop(SIGKILL); }
    CServeProcess(const CServeProcess&) = delete;
    CServeProcess& operator=(const CServeProcess&) = delete;

    int Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    const std::string& Stdout() const { return m_stdout; }

    // Sends the signal and waits for the end: the exit status, or -1 when
    // the signal killed it (it did not end by itself).
    int Stop(int signal, std::string* errText = nullptr)
    {
        if (m_pid <= 0) return -1;
        kill(m_pid, signal);
        const std::string text = ReadUntil(m_err, std::string(1, '\0'), Clock::now() + kPatience);
        if (errText != nullptr) *errText = text;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        close(m_out);
        close(m_err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    int m_port = 0;
    std::string m_stdout;
};

}  // namespace servetest
