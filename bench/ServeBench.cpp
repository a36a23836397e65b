// zent2-cli serve under load, on the simulated board with a good cable's
// round trip (125 us): the poll interval and duration with no scraper and
// with 50 scrapers at once, scrape latency, and the program's resident
// memory (VmRSS) over rounds of 10,000 scrapes. Figures only.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ServeClient.h"

namespace {

using namespace servetest;

std::optional<double> SampleValue(const std::string& metrics, const std::string& name)
{
    const size_t at = metrics.find("\n" + name + "{board=\"zent2\"} ");
    if (at == std::string::npos) return std::nullopt;
    return std::atof(metrics.c_str() + at + name.size() + 17);
}

long VmRssKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Watches the polls for `seconds`: how far apart they end and how long they take.
void ReportPolls(const char* what, int port, double seconds)
{
    std::set<double> ends;
    std::vector<double> durations;
    std::optional<double> firstCount;
    std::optional<double> lastCount;
    const Clock::time_point until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < until) {
        const std::string body = Body(Get(port, "/metrics"));
        const std::optional<double> end = SampleValue(body, "zent2_last_poll_timestamp_seconds");
        const std::optional<double> duration = SampleValue(body, "zent2_poll_duration_seconds");
        if (end && ends.insert(*end).second && duration) durations.push_back(*duration);
        if (const std::optional<double> count = SampleValue(body, "zent2_polls_total")) {
            if (!firstCount) firstCount = count;
            lastCount = count;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (ends.size() < 2) {
        std::printf("%-26s fewer than two polls seen\n", what);
        return;
    }
    double longest = 0;
    for (auto it = std::next(ends.begin()); it != ends.end(); ++it) longest = std::max(longest, *it - *std::prev(it));
    // By the poll counter: polls this observer missed count all the same.
    const double mean = (*ends.rbegin() - *ends.begin()) / (*lastCount - *firstCount);
    double total = 0;
    for (const double d : durations) total += d;
    std::printf("%-26s %3.0f polls (%zu seen): interval mean %.3f s, longest seen %.3f s; duration mean %.3f s\n",
                what, *lastCount - *firstCount + 1, ends.size(), mean, longest,
                total / static_cast<double>(durations.size()));
}

}  // namespace

int main()
{
    CServeProcess serve({"--simulated-board", "--cable-round-trip", "125", "serve", "--listen", "127.0.0.1:0",
                         "--interval", "0.5"},
                        ZENT2_CLI_PATH);
    const int port = serve.Port();
    if (port <= 0) {
        std::printf("zent2-cli serve did not start: %s\n", serve.Stdout().c_str());
        return 1;
    }
    std::printf("zent2-cli serve --interval 0.5, simulated board, 125 us cable round trip\n");
    ReportPolls("no scraper", port, 5.0);

    // 50 scrapers, each scraping again as soon as it has its answer.
    std::atomic<bool> stop{false};
    std::atomic<long> scrapes{0};
    std::atomic<long> failed{0};
    std::vector<std::vector<double>> latencies(50);
    std::vector<std::thread> scrapers;
    for (size_t c = 0; c < latencies.size(); ++c)
        scrapers.emplace_back([&, c] {
            while (!stop) {
                const Clock::time_point start = Clock::now();
                const bool ok = Status(Get(port, "/metrics")) == "200";
                latencies[c].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                ++(ok ? scrapes : failed);
            }
        });
    const Clock::time_point loadStart = Clock::now();
    ReportPolls("50 scrapers at once", port, 5.0);
    stop = true;
    for (std::thread& t : scrapers) t.join();
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - loadStart).count();
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    if (!all.empty())
        std::printf("%-26s %ld scrapes (%.0f/s), %ld failed; latency median %.2f ms, 99th %.2f ms, max %.2f ms\n",
                    "50 scrapers at once", scrapes.load(), static_cast<double>(scrapes) / loadSeconds, failed.load(),
                    all[all.size() / 2], all[all.size() * 99 / 100], all.back());

    // Resident memory over rounds of 10,000 scrapes, 10 clients at once
    // (after 20 s of polls and scrapes to settle: the process grows in its
    // first seconds with no scraper too).
    for (const Clock::time_point settled = Clock::now() + std::chrono::seconds(20); Clock::now() < settled;)
        Get(port, "/metrics");
    std::printf("%-26s VmRSS %ld KiB", "memory", VmRssKiB(serve.Pid()));
    for (int round = 1; round <= 10; ++round) {
        std::vector<std::thread> workers;
        for (int w = 0; w < 10; ++w)
            workers.emplace_back([&] {
                for (int i = 0; i < 1000; ++i) Get(port, "/metrics");
            });
        for (std::thread& t : workers) t.join();
        std::printf(", %ld after %d,000", VmRssKiB(serve.Pid()), round * 10);
    }
    std::printf(" scrapes\n");
    return serve.Stop(SIGTERM);
}
