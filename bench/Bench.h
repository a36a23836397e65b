#pragma once
// A small timing harness: runs a body many times and reports wall-clock and
// CPU time per run. Figures only; nothing here passes or fails.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace bench {

inline double CpuSeconds()
{
#ifdef CLOCK_PROCESS_CPUTIME_ID
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

struct Result {
    double wallNsPerRun;
    double cpuNsPerRun;
};

// Runs `body` until about `seconds` have passed (at least `minRuns` times).
inline Result Measure(const std::string& name, const std::function<void()>& body, double seconds = 0.5,
                      long minRuns = 100)
{
    for (int i = 0; i < 10; ++i) body();  // warm up
    long runs = 0;
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    double elapsed = 0;
    while (runs < minRuns || elapsed < seconds) {
        for (int i = 0; i < 50; ++i) body();
        runs += 50;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
    const double cpu = CpuSeconds() - cpuStart;
    Result r{elapsed * 1e9 / static_cast<double>(runs), cpu * 1e9 / static_cast<double>(runs)};
    std::printf("%-58s %10.0f ns wall %10.0f ns CPU  (%ld runs)\n", name.c_str(), r.wallNsPerRun, r.cpuNsPerRun,
                runs);
    return r;
}

}  // namespace bench
