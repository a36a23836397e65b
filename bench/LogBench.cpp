// What one log record costs: eight answering devices, all 29 channels each,
// written by the log writer on the simulated board. Counts the driver
// exchanges, bytes and I2C clock cycles of a record, measures its CPU time,
// and turns the counts into the time a real cable would take under two
// models:
//   (a) every exchange is one USB round trip of 125 us plus its I2C wire time
//       at 400 kHz (a driver that sends a send-immediate after each read);
//   (b) every read waits for the chip's 16 ms latency timer (a driver without
//       send-immediate), after the 125 us write and the wire time.
// The cable lock that brackets the record is counted apart: opening and
// closing the enable channel, its writes and the two 1 ms waits.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "logging/LogSession.h"
#include "sim/SimulatedBoard.h"
#include "bench/BenchCableContext.h"

namespace {

// The simulated cable, with the calls counted per channel.
class CCountingDriver : public CFtdiDriver {
public:
    struct Counts {
        uint64_t opens = 0, closes = 0, bitModes = 0, writes = 0, reads = 0, bytesWritten = 0, bytesRead = 0;
    };

    explicit CCountingDriver(std::shared_ptr<CFtdiDriver> inner) : m_inner(std::move(inner)) {}

    FtdiStatus CreateDeviceInfoList(uint32_t* count) override { return m_inner->CreateDeviceInfoList(count); }
    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) override
    {
        return m_inner->GetDeviceInfoList(records, count);
    }
    FtdiStatus Open(int index, FtdiHandle* handle) override
    {
        const FtdiStatus status = m_inner->Open(index, handle);
        if (status == FTDI_OK) {
            m_index[*handle] = index;
            ++m_counts[index].opens;
        }
        return status;
    }
    FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) override
    {
        ++Of(handle).bitModes;
        return m_inner->SetBitMode(handle, mask, mode);
    }
    FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count, uint32_t* written) override
    {
        Counts& c = Of(handle);
        ++c.writes;
        c.bytesWritten += count;
        return m_inner->Write(handle, buffer, count, written);
    }
    FtdiStatus Read(FtdiHandle handle, uint8_t* buffer, uint32_t count, uint32_t* received) override
    {
        const FtdiStatus status = m_inner->Read(handle, buffer, count, received);
        Counts& c = Of(handle);
        ++c.reads;
        c.bytesRead += *received;
        return status;
    }
    FtdiStatus Close(FtdiHandle handle) override
    {
        ++Of(handle).closes;
        return m_inner->Close(handle);
    }
    FtdiStatus Purge(FtdiHandle handle) override { return m_inner->Purge(handle); }
    FtdiStatus GetDriverVersion(FtdiHandle handle, uint32_t* version) override
    {
        return m_inner->GetDriverVersion(handle, version);
    }
    FtdiStatus GetLibraryVersion(uint32_t* version) override { return m_inner->GetLibraryVersion(version); }

    const Counts& Channel(int index) { return m_counts[index]; }
    void Reset() { m_counts.clear(); }

private:
    Counts& Of(FtdiHandle handle) { return m_counts[m_index.count(handle) ? m_index[handle] : -1]; }

    std::shared_ptr<CFtdiDriver> m_inner;
    std::map<FtdiHandle, int> m_index;
    std::map<int, Counts> m_counts;
};

constexpr double kRoundTripUs = 125.0;
constexpr double kSclPeriodUs = 2.5;  // 400 kHz
constexpr double kLatencyTimerUs = 16000.0;
constexpr double kWaitUs = 1000.0;
// Opening a channel with the libftdi backend, beyond the driver calls the
// link makes: USB reset, baud rate, latency timer, two bit-mode changes and a
// purge (one control transfer each), then the set-up check, one exchange
// whose answer waits for the latency timer (1 ms as the backend sets it).
constexpr double kOpenControlTransfers = 6.0;
constexpr double kOpenCheckLatencyUs = 1000.0;

struct Figures {
    uint64_t exchanges = 0, bytesWritten = 0, bytesRead = 0, sclCycles = 0;
    CCountingDriver::Counts enable;
};

Figures CountRecord(CLogSession& session, CCountingDriver& driver, CSimulatedFtdiDriver& simulated)
{
    driver.Reset();
    simulated.ResetCounters();
    session.WriteRecord();
    Figures f;
    const CCountingDriver::Counts& i2c = driver.Channel(CI2C_FTDI::kI2CChannelIndex);
    f.exchanges = i2c.reads;
    f.bytesWritten = i2c.bytesWritten;
    f.bytesRead = i2c.bytesRead;
    f.sclCycles = simulated.Counters().sclCycles;
    f.enable = driver.Channel(CI2C_FTDI::kEnableChannelIndex);
    return f;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Records on the simulated cable with a modelled USB round trip per read:
// the whole record in one call (as zent2-cli writes it) and in steps (as the
// status window reads it, its event loop running between steps). The
// longest stretch the window's thread spends without coming back to its
// events is the record itself in one call, the longest step in steps.
void RoundTrips(CLogSession& session, CSimulatedFtdiDriver& simulated, int records)
{
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("\nWith the cable's USB round trip modelled (%d records each; best / median):\n", records);
    for (const int roundTripUs : {0, 125, 250, 1000}) {
        simulated.SetRoundTrip(std::chrono::microseconds(roundTripUs));
        std::vector<double> whole, stepped, stalls;
        for (int r = 0; r < records; ++r) {
            const Clock::time_point start = Clock::now();
            session.WriteRecord();
            whole.push_back(ms(Clock::now() - start));
        }
        int steps = 0;
        for (int r = 0; r < records; ++r) {
            session.BeginRecord();
            double longest = 0.0;
            const Clock::time_point start = Clock::now();
            CLogSession::Progress progress = CLogSession::Progress::Reading;
            while (progress == CLogSession::Progress::Reading) {
                const Clock::time_point stepStart = Clock::now();
                progress = session.StepRecord(kLogStepBudget);
                longest = std::max(longest, ms(Clock::now() - stepStart));
            }
            stepped.push_back(ms(Clock::now() - start));
            stalls.push_back(longest);
            steps = session.RecordSteps();
        }
        std::printf("round trip %d us: record %.1f ms, longest UI stall %.1f ms (median record %.1f ms, stall %.1f ms; "
                    "%d steps)\n",
                    roundTripUs, *std::min_element(stepped.begin(), stepped.end()),
                    *std::min_element(stalls.begin(), stalls.end()), Median(stepped), Median(stalls), steps);
        std::printf("  in one call, as before: record %.1f ms, longest UI stall %.1f ms (median %.1f ms)\n",
                    *std::min_element(whole.begin(), whole.end()), *std::min_element(whole.begin(), whole.end()),
                    Median(whole));
    }
    simulated.SetRoundTrip(std::chrono::microseconds(0));
}

}  // namespace

int main(int argc, char** argv)
{
    auto board = CSimulatedBoard::CreateDefault();
    for (int d = 2; d < CSimulatedBoard::kMaxHmus; ++d) board->AddHmu(d);
    auto driver = std::make_shared<CCountingDriver>(board->Driver());
    CTovin_I2C_Port port(driver);
    port.SetDemoMode(false);
    port.OpenCable();
    CBenchContext context(port);

    logsel::LogSelection selection{};
    selection.fill(1);
    CLogSession session(port, selection, [](int, int) { return 0.1f; });
    if (session.Start("/dev/null", 1, 0, 0) != CLogSession::StartResult::Started) {
        std::fprintf(stderr, "cannot write to /dev/null: %s\n", session.ErrorText().c_str());
        return 1;
    }

    std::printf("One log record: 8 answering HMU devices, 29 channels each, simulated board at 400 kHz\n\n");
    const Figures f = CountRecord(session, *driver, *board->Driver());
    std::printf("I2C channel per record: %llu exchanges (write + read), %llu bytes written, %llu bytes read, "
                "%llu SCL cycles\n",
                static_cast<unsigned long long>(f.exchanges), static_cast<unsigned long long>(f.bytesWritten),
                static_cast<unsigned long long>(f.bytesRead), static_cast<unsigned long long>(f.sclCycles));
    std::printf("Cable lock per record: enable channel %llu open, %llu close, %llu bit-mode call, %llu writes, "
                "2 waits of 1 ms\n",
                static_cast<unsigned long long>(f.enable.opens), static_cast<unsigned long long>(f.enable.closes),
                static_cast<unsigned long long>(f.enable.bitModes), static_cast<unsigned long long>(f.enable.writes));

    // Where the exchanges go: one device, one group of channels at a time.
    logsel::LogSelection nothing{};
    CLogSession single(port, nothing, [](int, int) { return 0.1f; });
    single.Start("/dev/null", 1, 0, 0);
    for (int d = 0; d < CSimulatedBoard::kMaxHmus; ++d) board->RemoveHmu(d);
    const uint64_t silent = CountRecord(single, *driver, *board->Driver()).exchanges;
    board->AddHmu(0);
    const uint64_t base = CountRecord(single, *driver, *board->Driver()).exchanges;
    std::printf("\nWhere the exchanges go (per device; the first two whatever is selected):\n");
    std::printf("  %-52s %6llu\n", "probe of a device that does not answer (5 attempts)",
                static_cast<unsigned long long>(silent / CSimulatedBoard::kMaxHmus));
    std::printf("  %-52s %6llu\n", "answering device: probe, pin records, identification",
                static_cast<unsigned long long>(base - silent + silent / CSimulatedBoard::kMaxHmus));
    struct Part {
        const char* name;
        logsel::Group group;
    };
    for (const Part& part : {Part{"VMON1..9, HVMON (10 conversions)", logsel::Group::Vmon},
                             Part{"HVOUT1..4 (from the pin records)", logsel::Group::Hvout},
                             Part{"GPIO1..10 (from the pin records)", logsel::Group::Gpio},
                             Part{"TMON1, TMON2, TMON int", logsel::Group::Tmon},
                             Part{"IMON1, HIMON (conversion and gain)", logsel::Group::Imon}}) {
        nothing.fill(0);
        const logsel::GroupRange range = logsel::RangeOf(part.group);
        for (int k = 0; k < range.count; ++k) nothing[logsel::Index(0, range.first + k)] = 1;
        const uint64_t n = CountRecord(single, *driver, *board->Driver()).exchanges;
        std::printf("  + %-50s %6llu\n", part.name, static_cast<unsigned long long>(n - base));
    }
    single.Close();
    for (int d = 1; d < CSimulatedBoard::kMaxHmus; ++d) board->AddHmu(d);

    std::printf("\n");
    const bench::Result cpu = bench::Measure("WriteLogRecord, 8 devices x 29 channels", [&] { session.WriteRecord(); },
                                             1.0, 20);
    std::printf("(wall time includes the cable lock's two 1 ms waits; the simulated cable takes no USB time)\n");

    const double wireUs = static_cast<double>(f.sclCycles) * kSclPeriodUs;
    const double exchanges = static_cast<double>(f.exchanges);
    const double lockCommonUs = kOpenControlTransfers * kRoundTripUs +
                                static_cast<double>(f.enable.bitModes + f.enable.writes + f.enable.closes) *
                                    kRoundTripUs +
                                2 * kWaitUs;
    const double lockAUs = lockCommonUs + kRoundTripUs + kOpenCheckLatencyUs;
    const double lockBUs = lockCommonUs + kRoundTripUs + kLatencyTimerUs;
    const double recordAUs = exchanges * kRoundTripUs + wireUs;
    const double recordBUs = exchanges * (kRoundTripUs + kLatencyTimerUs) + wireUs;
    std::printf("\nTime per record on a real cable (I2C wire time %.1f ms):\n", wireUs / 1000.0);
    std::printf("  %-46s %10s %10s %10s\n", "model", "I2C (ms)", "lock (ms)", "total (ms)");
    std::printf("  %-46s %10.1f %10.2f %10.1f\n", "(a) 125 us round trip per exchange", recordAUs / 1000.0,
                lockAUs / 1000.0, (recordAUs + lockAUs) / 1000.0);
    std::printf("  %-46s %10.1f %10.2f %10.1f\n", "(b) 16 ms latency timer per read", recordBUs / 1000.0,
                lockBUs / 1000.0, (recordBUs + lockBUs) / 1000.0);
    std::printf("  CPU per record: %.2f ms\n", cpu.cpuNsPerRun / 1e6);
    const auto fits = [](double us) { return us <= 1e6 ? "fits" : "does not fit"; };
    std::printf("  against the 1 s minimum interval: (a) %s (%.0f %% of it), (b) %s (%.1f x it)\n",
                fits(recordAUs + lockAUs), (recordAUs + lockAUs) / 1e4, fits(recordBUs + lockBUs),
                (recordBUs + lockBUs) / 1e6);
    RoundTrips(session, *board->Driver(), argc > 1 ? std::max(1, std::atoi(argv[1])) : 3);
    session.Close();
    return 0;
}
