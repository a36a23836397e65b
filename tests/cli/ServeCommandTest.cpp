// zent2-cli serve, the built program on the simulated board: a real
// Prometheus scrapes it and its query API gives back the board file's values
// and no value for a failed reading; broken, slow and refused requests, and
// more connections than it takes, leave the server answering and the
// polling going; many scrapers at once all get
// whole polls; bad addresses and options end it before it serves.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <set>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/Zent2Cli.h"
#include "tests/cli/ServeClient.h"

namespace {

namespace fs = std::filesystem;
using namespace servetest;

// A board of known values and two fault records on HMU0; HMU1's conversions
// never finish and its fault log status is not acknowledged.
constexpr const char* kBoard =
    "hmu0.vmon1 = 1.25\n"
    "hmu0.temp1 = 61.5\n"
    "hmu0.faultlog.record = 00 00 00 00 00 02 00\n"
    "hmu0.faultlog.record = 01 00 80 00 00 00 04\n"
    "hmu1.fault.conversion = always\n"
    "hmu1.nack.command.0x03 = always\n";

class CliServe : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(testing::TempDir()) / ("zent2-serve-" + std::to_string(getpid()));
        fs::create_directories(dir);
        std::ofstream(dir / "board.txt") << kBoard;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> Args(std::vector<std::string> more) const
    {
        std::vector<std::string> args = {"--simulated-board", "--board", (dir / "board.txt").string(), "serve",
                                         "--listen", "127.0.0.1:0"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    fs::path dir;
};

// The value of a sample line "name{labels} value" in an exposition; none when absent.
std::optional<std::string> Sample(const std::string& metrics, const std::string& nameAndLabels)
{
    const size_t at = metrics.find("\n" + nameAndLabels + " ");
    if (at == std::string::npos) return std::nullopt;
    const size_t start = at + nameAndLabels.size() + 2;
    return metrics.substr(start, metrics.find('\n', start) - start);
}

std::string UrlEncoded(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '_' || c == '.' || c == '-') out += static_cast<char>(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

TEST_F(CliServe, PrometheusScrapesTheBoardFilesValues)
{
    if (!fs::exists("/usr/bin/prometheus")) GTEST_SKIP() << "/usr/bin/prometheus is not installed (scripts/setup --test)";
    // A board name that needs every escape of a label value.
    const std::string board = "bench \"A\" \\ 2";
    CServeProcess serve(Args({"--interval", "0.5", "--board-name", board}), ZENT2_CLI_PATH);
    ASSERT_GT(serve.Port(), 0) << serve.Stdout();

    const int prometheusPort = FreePort();
    std::ofstream(dir / "prometheus.yml") << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                             "scrape_configs:\n  - job_name: zent2\n    static_configs:\n"
                                             "      - targets: ['127.0.0.1:"
                                          << serve.Port() << "']\n";
    const std::vector<std::string> prometheusArgs = {
        "--config.file=" + (dir / "prometheus.yml").string(), "--storage.tsdb.path=" + (dir / "tsdb").string(),
        "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort), "--log.level=warn"};
    // Ended with the test, whichever way it ends.
    struct Child {
        pid_t pid;
        ~Child()
        {
            if (pid <= 0) return;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    };
    const Child prometheus{fork()};
    ASSERT_GE(prometheus.pid, 0);
    if (prometheus.pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv = {const_cast<char*>("prometheus")};
        for (const std::string& arg : prometheusArgs) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv("/usr/bin/prometheus", argv.data());
        _exit(127);
    }
    const auto query = [&](const std::string& expression) {
        return Body(Get(prometheusPort, "/api/v1/query?query=" + UrlEncoded(expression)));
    };
    const std::regex value(R"re("value":\[[0-9.e+]+,"([^"]*)"\])re");
    const auto values = [&](const std::string& expression) {
        std::vector<std::string> found;
        const std::string answer = query(expression);
        for (auto it = std::sregex_iterator(answer.begin(), answer.end(), value); it != std::sregex_iterator(); ++it)
            found.push_back((*it)[1]);
        return found;
    };

    // A few scrapes: until the scrape count says three went through.
    const Clock::time_point deadline = Clock::now() + kPatience;
    std::vector<std::string> scrapes;
    while (Clock::now() < deadline) {
        scrapes = values("count_over_time(up{job=\"zent2\"}[1m])");
        if (!scrapes.empty() && std::atof(scrapes[0].c_str()) >= 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_FALSE(scrapes.empty()) << "Prometheus never scraped zent2-cli serve";
    EXPECT_EQ(values("up{job=\"zent2\"}"), std::vector<std::string>{"1"});

    struct Case {
        std::string expression;
        std::vector<std::string> values;  // empty: no sample at all
    };
    const Case cases[] = {
        {"zent2_voltage_volts{device=\"HMU0\",channel=\"VMON1\"}", {"1.25"}},
        {"zent2_temperature_celsius{device=\"HMU0\",channel=\"TMON1\"}", {"61.5"}},
        {"zent2_fault_log_records{device=\"HMU0\"}", {"2"}},
        {"zent2_reading_failed{device=\"HMU0\",channel=\"VMON1\"}", {"0"}},
        {"zent2_device_present{device=\"HMU1\"}", {"1"}},
        // The conversions of HMU1 never finish: failed, and no value, never a 0 or a stale one.
        {"zent2_reading_failed{device=\"HMU1\",channel=\"VMON1\"}", {"1"}},
        {"zent2_voltage_volts{device=\"HMU1\"}", {}},
        {"zent2_attenuated{device=\"HMU1\"}", {}},
        // Every converted reading (the ten voltages, the two currents) and the fault log.
        {"count(zent2_reading_failed{device=\"HMU1\"} == 1)", {"13"}},
        {"zent2_reading_failed{device=\"HMU1\",channel=\"TMON1\"}", {"0"}},
        {"zent2_reading_failed{device=\"HMU1\",channel=\"fault log\"}", {"1"}},
        {"zent2_fault_log_records{device=\"HMU1\"}", {}},
        // The escaped board name comes back as it was given.
        {"count(zent2_voltage_volts{board=\"bench \\\"A\\\" \\\\ 2\"})", {"10"}},
        {"zent2_device_present{device=\"HMU2\"}", {"0"}},
    };
    for (const Case& c : cases) EXPECT_EQ(values(c.expression), c.values) << c.expression << "\n" << query(c.expression);

    EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

TEST_F(CliServe, BadRequestsAreRefusedWhileServingAndPollingGoOn)
{
    CServeProcess serve(Args({"--interval", "0.2", "--board-name", "bad <requests>"}), ZENT2_CLI_PATH);
    const int port = serve.Port();
    ASSERT_GT(port, 0) << serve.Stdout();
    const std::string lastPoll = "zent2_last_poll_timestamp_seconds{board=\"bad <requests>\"}";
    const std::optional<std::string> before = Sample(Body(Get(port, "/metrics")), lastPoll);
    ASSERT_TRUE(before);

    // Clients that never finish their request, opened first: they hold
    // workers while the cases below run, and are dropped in the end.
    struct Slow {
        std::string start;
        std::string status;  // at the deadline
        int sock = -1;
    };
    Slow slow[] = {{"GET /metrics HTTP/1.1\r\nHost: x\r\n", "400"}, {"GE", ""}};
    for (Slow& client : slow) {
        client.sock = Connect(port);
        ASSERT_GE(client.sock, 0);
        SendAll(client.sock, client.start);
    }

    const std::string big(20000, 'a');
    std::string manyHeaders = "GET /metrics HTTP/1.1\r\n";
    for (int i = 0; i < 2000; ++i) manyHeaders += "X-Header-" + std::to_string(i) + ": 1\r\n";
    manyHeaders += "\r\n";
    struct Case {
        std::string what;
        std::string request;
        std::string status;  // empty: dropped without an answer
        std::string inAnswer;
    };
    const Case cases[] = {
        {"malformed request line", "GARBAGE\r\n\r\n", "400", ""},
        {"no HTTP version", "GET /metrics\r\n\r\n", "400", ""},
        {"URI over the limit", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", "414", ""},
        {"URI over the request size", "GET /" + big + " HTTP/1.1\r\n\r\n", "", ""},
        {"header over the request size", "GET /metrics HTTP/1.1\r\nX-Big: " + big + "\r\n\r\n", "400", ""},
        {"too many headers", manyHeaders, "400", ""},
        {"POST", "POST /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "405", "Allow: GET, HEAD\r\n"},
        {"DELETE", "DELETE / HTTP/1.1\r\n\r\n", "405", ""},
        {"unknown path", "GET /api/v1/write HTTP/1.1\r\n\r\n", "404", "the metrics are at /metrics"},
        {"path beside /metrics", "GET /metrics/../secret HTTP/1.1\r\n\r\n", "404", ""},
        {"HEAD", "HEAD /metrics HTTP/1.1\r\nConnection: close\r\n\r\n", "200",
         "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"},
        {"the page", "GET / HTTP/1.1\r\n\r\n", "200", "ZENT2 board bad &lt;requests&gt;</h1>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string answer = Exchange(port, c.request);
        EXPECT_EQ(Status(answer), c.status) << answer.substr(0, 200);
        EXPECT_NE(answer.find(c.inAnswer), std::string::npos) << answer.substr(0, 400);
        if (c.what == "HEAD") {
            EXPECT_EQ(Body(answer), "");
        }
        // Still answering, with the whole text.
        EXPECT_TRUE(Sample(Body(Get(port, "/metrics")), lastPoll));
    }

    // More connections at once than the workers and the waiting line hold
    // (8 and 64), none saying a word: those beyond are answered 503 at once.
    // The first is dropped at its deadline, long after every one was taken
    // or refused; until then no worker let go of one but the slow clients'
    // two, so between 80 - (8 + 64) and 80 - 64 were refused.
    std::vector<int> crowd;
    for (int i = 0; i < 80; ++i) {
        crowd.push_back(Connect(port));
        ASSERT_GE(crowd.back(), 0);
    }
    EXPECT_EQ(ReadToEnd(crowd.front()), "");
    for (const int sock : crowd) shutdown(sock, SHUT_WR);
    int refused = 0;
    for (const int sock : crowd) {
        const std::string answer = ReadToEnd(sock);
        close(sock);
        if (Status(answer) == "503") ++refused;
        else EXPECT_EQ(answer, "");
    }
    EXPECT_GE(refused, 80 - (8 + 64));
    EXPECT_LE(refused, 80 - 64);

    // The slow clients are dropped at their deadline.
    for (const Slow& client : slow) {
        EXPECT_EQ(Status(ReadToEnd(client.sock)), client.status) << client.start;
        close(client.sock);
    }
    // The polling went on all along.
    std::optional<std::string> after;
    for (const Clock::time_point deadline = Clock::now() + kPatience; Clock::now() < deadline;) {
        after = Sample(Body(Get(port, "/metrics")), lastPoll);
        if (after && std::atof(after->c_str()) > std::atof(before->c_str())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(after);
    EXPECT_GT(std::atof(after->c_str()), std::atof(before->c_str()));
    EXPECT_EQ(serve.Stop(SIGINT), 0);
}

// 50 scrapers at once while the board is read slowly (a slow cable, and
// polls back to back): every scrape gets a whole poll, never one half read,
// and each scraper goes on until it has seen the text change under it.
TEST_F(CliServe, ManyScrapersAtOnceEachGetAWholePoll)
{
    CServeProcess serve(Args({"--interval", "0.1", "--cable-round-trip", "1000"}), ZENT2_CLI_PATH);
    const int port = serve.Port();
    ASSERT_GT(port, 0) << serve.Stdout();
    constexpr int kClients = 50;
    constexpr int kScrapes = 10;
    std::atomic<int> scrapes{0};
    std::atomic<int> whole{0};
    std::atomic<int> busy{0};
    std::atomic<int> sawTwoPolls{0};
    std::vector<std::string> wrong;
    std::mutex wrongMutex;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&] {
            std::set<std::string> seen;
            const Clock::time_point deadline = Clock::now() + kPatience;
            for (int s = 0; (s < kScrapes || seen.size() < 2) && Clock::now() < deadline; ++s) {
                ++scrapes;
                const std::string answer = Get(port, "/metrics");
                const std::string body = Body(answer);
                // A whole poll: the 10 voltages of HMU0 (HMU1 has none), the poll's time at the end.
                size_t voltages = 0;
                for (size_t at = body.find("\nzent2_voltage_volts{"); at != std::string::npos;
                     at = body.find("\nzent2_voltage_volts{", at + 1))
                    ++voltages;
                const std::optional<std::string> time = Sample(body, "zent2_last_poll_timestamp_seconds{board=\"zent2\"}");
                if (Status(answer) == "200" && voltages == 10 && time && body.back() == '\n') {
                    ++whole;
                    seen.insert(*time);
                } else if (Status(answer) == "503") {
                    ++busy;  // more waiting than the server takes: refused, not half served
                } else {
                    std::lock_guard<std::mutex> lock(wrongMutex);
                    wrong.push_back(answer.substr(0, 300));
                }
            }
            sawTwoPolls += seen.size() >= 2 ? 1 : 0;
        });
    for (std::thread& client : clients) client.join();
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " scrapes went wrong, the first:\n" << wrong.front();
    EXPECT_GE(scrapes, kClients * kScrapes);
    EXPECT_EQ(whole + busy, scrapes);
    EXPECT_EQ(busy, 0) << "50 clients fit the workers and the waiting line";
    EXPECT_EQ(sawTwoPolls, kClients);
    EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

TEST_F(CliServe, AnAddressItCannotListenOnEndsItBeforeServing)
{
    // A port someone listens on already.
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    socklen_t length = sizeof address;
    getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string takenPort = std::to_string(ntohs(address.sin_port));

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"serve", "--listen", "127.0.0.1:" + takenPort}, 1,
         "zent2-cli: cannot listen on 127.0.0.1:" + takenPort + ": Address already in use\n"},
        {{"serve", "--listen", "no-such-host.invalid:9847"}, 1, "zent2-cli: cannot listen on no-such-host.invalid:9847: "},
        {{"serve", "--listen", "9847"}, 2, "zent2-cli: --listen '9847': give HOST:PORT, e.g. 127.0.0.1:9847\n"},
        {{"serve", "--listen", "::1:9847"}, 2, "an IPv6 address goes in brackets"},
        {{"serve", "--listen", "[::1]9847"}, 2, "give [IPV6]:PORT"},
        {{"serve", "--listen", "127.0.0.1:65536"}, 2, "the port must be a number from 0 to 65535"},
        {{"serve", "--interval", "0.01"}, 2, "--interval 0.01 is outside 0.1..86400 seconds"},
        {{"serve", "--count", "2"}, 2, "--count belongs to the log and watch commands"},
        {{"watch", "--listen", "127.0.0.1:0"}, 2, "--listen belongs to the serve command"},
        {{"serve", "--board-name", std::string(101, 'b')}, 2, "--board-name is longer than 100 bytes"},
        {{"serve", "--board-name", "rack\n2"}, 2, "--board-name 'rack\\x0A2': give printable UTF-8 text"},
        {{"serve", "--board-name", "rack \xC3("}, 2, "give printable UTF-8 text"},
        // A surrogate, an overlong form, a code point past U+10FFFF: Prometheus refuses them all.
        {{"serve", "--board-name", "rack \xED\xA0\x80"}, 2, "give printable UTF-8 text"},
        {{"serve", "--board-name", "rack \xE0\x80\xAF"}, 2, "give printable UTF-8 text"},
        {{"serve", "--board-name", "rack \xF4\x90\x80\x80"}, 2, "give printable UTF-8 text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[2]);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--simulated-board");
        CZent2Cli cli;
        std::ostringstream out, err;
        EXPECT_EQ(cli.Run(args, out, err), c.status);
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
    }
    close(taken);
}

}  // namespace
