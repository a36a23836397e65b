// zent2-cli serve run in this process on the simulated board and asked over
// loopback with httplib's client; ended by SIGINT as Ctrl+C ends it. Built
// on Linux and Windows alike (ServeCommandTest.cpp drives the program with
// POSIX calls and Prometheus, on Linux only).

#include <gtest/gtest.h>

#include <httplib.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include "cli/Zent2Cli.h"

namespace {

namespace fs = std::filesystem;

// An output stream another thread may wait on for a text to appear.
class CWatchedText : public std::streambuf {
public:
    // Until `text` was written or `done` is set; gives all written so far.
    std::string WaitFor(const std::string& text, const bool& done)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_text.find(text) != std::string::npos || done; });
        return m_text;
    }
    void Finish(bool& done)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        done = true;
        m_changed.notify_all();
    }

protected:
    int overflow(int c) override
    {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char one = static_cast<char>(c);
        xsputn(&one, 1);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_text.append(s, static_cast<size_t>(n));
        m_changed.notify_all();
        return n;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_text;
};

TEST(ServeInProcess, AnswersOverLoopbackHoldsItsPortAndEndsAtSigint)
{
    const fs::path board = fs::path(testing::TempDir()) / "zent2-serve-in-process.txt";
    std::ofstream(board) << "hmu0.vmon1 = 1.25\nhmu0.temp1 = 61.5\n";

    CWatchedText outText;
    std::ostream out(&outText);
    std::ostringstream err;
    bool ended = false;
    int status = -1;
    CZent2Cli cli;
    std::thread serving([&] {
        status = cli.Run({"--simulated-board", "--board", board.string(), "serve", "--listen", "127.0.0.1:0",
                          "--board-name", "loop"},
                         out, err);
        outText.Finish(ended);
    });

    const std::string printed = outText.WaitFor("/metrics\n", ended);
    std::smatch address;
    const bool serving_ = std::regex_search(printed, address, std::regex(R"(Serving http://127\.0\.0\.1:(\d+)/metrics)"));
    if (serving_) {
        httplib::Client client("127.0.0.1", std::stoi(address[1]));
        struct Case {
            const char* path;
            int status;
            const char* holds;  // a line of the body
        };
        const Case cases[] = {
            {"/metrics", 200, "\nzent2_voltage_volts{board=\"loop\",device=\"HMU0\",channel=\"VMON1\"} 1.25\n"},
            {"/metrics", 200, "\nzent2_temperature_celsius{board=\"loop\",device=\"HMU0\",channel=\"TMON1\"} 61.5\n"},
            {"/", 200, "<a href=\"/metrics\">Metrics</a>"},
            {"/metrics/", 404, "404 Not Found: the metrics are at /metrics\n"},
            {"/favicon.ico", 404, "404 Not Found"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.path);
            const httplib::Result result = client.Get(c.path);
            EXPECT_TRUE(result) << httplib::to_string(result.error());
            if (!result) continue;
            EXPECT_EQ(result->status, c.status);
            EXPECT_NE(result->body.find(c.holds), std::string::npos) << result->body;
        }
        // A second serve on the same port ends before serving, with the system's reason
        // (in the same words on Windows).
        std::ostringstream secondOut;
        std::ostringstream secondErr;
        CZent2Cli second;
        const std::string taken = "127.0.0.1:" + address[1].str();
        EXPECT_EQ(second.Run({"--simulated-board", "serve", "--listen", taken}, secondOut, secondErr),
                  CZent2Cli::kExitDevice);
        EXPECT_EQ(secondErr.str(), "zent2-cli: cannot listen on " + taken + ": Address already in use\n");
        EXPECT_EQ(secondOut.str(), "");
    }
    // Serving (it printed its address line) whatever that line said: ended
    // through the handler serve set for as long as it runs.
    if (printed.find("/metrics\n") != std::string::npos) std::raise(SIGINT);
    serving.join();
    fs::remove(board);
    ASSERT_TRUE(serving_) << printed << err.str();
    EXPECT_EQ(status, CZent2Cli::kExitOk) << err.str();
    EXPECT_EQ(err.str(), "");
}

}  // namespace
