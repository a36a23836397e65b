#pragma once
// A dual-channel FTDI cable in software, behind the same driver interface as
// the real one. Device index 0 is the enable channel (its MPSSE engine drives
// only the enable line, high byte bit 0); index 1 is the I2C channel, whose
// MPSSE engine is wired to the simulated I2C bus where the targets live.
// Further listed devices are channels that lead nowhere.
//
// It behaves as the vendor's driver does where the link relies on it: a
// channel opens once, a failed open leaves the handle alone, a stale handle is
// refused, writes hand the whole buffer to the engine, reads never block and
// return what the engine has queued (at most what was asked for). Every open
// starts a fresh session: queued replies are dropped and the channel executes
// MPSSE commands only after a set-bit-mode with mode 2.
//
// Single-threaded, like the link that uses it.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/FtdiDriver.h"
#include "sim/I2cBus.h"
#include "sim/MpsseEngine.h"

struct SimulatedDriverCounters {
    uint64_t writeCalls = 0;
    uint64_t readCalls = 0;
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
    uint64_t sclCycles = 0;
    // Bus transactions begun while the enable line was low, that is outside
    // any cable lock: the program's traffic should show none.
    uint64_t transactionsWithEnableLow = 0;
    // Reads that slept for the modelled USB round trip, and how long in all.
    uint64_t roundTripWaits = 0;
    uint64_t roundTripWaitUs = 0;
};

class CSimulatedFtdiDriver : public CFtdiDriver {
public:
    static constexpr int kEnableChannel = 0;
    static constexpr int kI2CChannel = 1;
    static constexpr int kAlways = -1;
    static constexpr uint32_t kLibraryVersion = 0x00030216;
    static constexpr uint32_t kDriverVersion = 0x00021236;

    CSimulatedFtdiDriver();
    ~CSimulatedFtdiDriver() override;
    CSimulatedFtdiDriver(const CSimulatedFtdiDriver&) = delete;
    CSimulatedFtdiDriver& operator=(const CSimulatedFtdiDriver&) = delete;

    // CFtdiDriver.
    FtdiStatus CreateDeviceInfoList(uint32_t* count) override;
    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) override;
    FtdiStatus Open(int index, FtdiHandle* handle) override;
    FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) override;
    FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count,
                     uint32_t* written) override;
    FtdiStatus Read(FtdiHandle handle, uint8_t* buffer, uint32_t count,
                    uint32_t* received) override;
    FtdiStatus Close(FtdiHandle handle) override;
    FtdiStatus Purge(FtdiHandle handle) override;
    FtdiStatus GetDriverVersion(FtdiHandle handle, uint32_t* version) override;
    FtdiStatus GetLibraryVersion(uint32_t* version) override;

    // Configuration. The listed devices, by their serial texts; listing
    // changes close every open channel, as a new cable would.
    void SetDeviceSerials(const std::vector<std::string>& serials);
    // `count` devices named "ZSIM2232A", "ZSIM2232B", ... (0 to 26).
    void SetDeviceCount(int count);
    int DeviceCount() const { return static_cast<int>(m_serials.size()); }
    const std::vector<std::string>& DeviceSerials() const { return m_serials; }

    // Unplugging lists no device, makes opens fail and turns every open handle
    // stale (writes fail, reads return nothing); the I2C lines and the enable
    // line are released. Plugging back gives freshly powered channels.
    void SetPlugged(bool plugged);
    bool IsPlugged() const { return m_plugged; }

    // Fault injection. The next `times` opens of the index fail (kAlways for
    // every one, 0 to cancel).
    void FailOpens(int index, int times);
    // The next `times` address bytes equal to addressByte (exact byte, 0xC0
    // write, 0xC1 read) are not acknowledged; kAlways for all, 0 to cancel.
    void InjectAddressNack(uint8_t addressByte, int times) { m_bus.InjectAddressNack(addressByte, times); }
    // The next `reads` reads return `fewer` bytes fewer than they would; the
    // bytes held back stay queued, as late bytes on a real cable do.
    void ShortenReads(int fewer, int reads = 1);
    // The next `writes` writes to the I2C channel fail: nothing reaches the
    // engine and the status is an I/O error.
    void FailWrites(int writes);
    // The next `writes` writes to the I2C channel hand only all but the last
    // `fewer` bytes to the engine, report that shorter count and succeed.
    void ShortenWrites(int fewer, int writes = 1);
    // The cable is pulled out after `transfers` more writes and reads on the
    // I2C channel (so 1 unplugs it between the write and the read of an
    // exchange); a negative count cancels.
    void UnplugAfterTransfers(int transfers);

    // Real cable timing: every read on the I2C channel that waits for the
    // chip (asks for bytes) first sleeps for one USB round trip, as a read
    // behind a send-immediate does on a real cable. 0, the default, sleeps
    // never. The time spent asleep is counted in Counters().roundTripWaitUs.
    void SetRoundTrip(std::chrono::microseconds roundTrip) { m_roundTrip = roundTrip; }
    std::chrono::microseconds RoundTrip() const { return m_roundTrip; }

    // Observation.
    bool IsOpen(int index) const;
    int OpenCount(int index) const;       // successful opens
    int OpenAttempts(int index) const;    // every call, failed or not
    int CloseCount(int index) const;      // successful closes
    bool EnableLine() const;
    int EnableRisingEdges() const;
    int EnableFallingEdges() const;
    SimulatedDriverCounters Counters() const;
    // Zeroes every count: exchanges, bytes, SCL cycles, address bytes seen,
    // opens, closes and enable line edges. States and logs are kept.
    void ResetCounters();
    int AddressCount(uint8_t addressByte) const { return m_bus.AddressCount(addressByte); }
    // Opcodes a channel's engine did not know, in order (the I2C channel's
    // unless told otherwise).
    const std::vector<uint8_t>& UnknownOpcodes(int index = kI2CChannel) const;
    std::string EventLog() const { return m_bus.EventLog(); }
    void ClearEventLog() { m_bus.ClearEventLog(); }

    // Bus trace of SCL and SDA, off until started.
    void StartTrace() { m_bus.StartTrace(); }
    void StopTrace() { m_bus.StopTrace(); }
    void ClearTrace() { m_bus.ClearTrace(); }
    bool WriteVcd(const std::string& path) const { return m_bus.WriteVcd(path); }

    // The parts, for targets and for closer looks.
    CI2cBus& Bus() { return m_bus; }
    const CI2cBus& Bus() const { return m_bus; }
    // Null for an index that is not listed.
    CMpsseEngine* Engine(int index);
    const CMpsseEngine* Engine(int index) const;

private:
    struct Channel {
        std::unique_ptr<CMpsseEngine> engine;
        FtdiHandle handle = nullptr;  // the live handle, null when closed
        int opens = 0;
        int attempts = 0;
        int closes = 0;
        int failOpens = 0;
    };
    struct HandleInfo {
        int index;
        bool stale;  // the cable was unplugged under it
    };

    void RebuildChannels();
    // The channel a handle belongs to, or null (then *status says why).
    Channel* Lookup(FtdiHandle handle, FtdiStatus* status);
    const Channel* ChannelAt(int index) const;
    void CloseAll(bool stale);
    bool IsI2C(const Channel& channel) const { return &channel - m_channels.data() == kI2CChannel; }
    // Counts one transfer on the I2C channel towards a pending unplug.
    void CountTransfer(const Channel& channel);

    // The bus is declared first so that it outlives the engines wired to it.
    CI2cBus m_bus;
    std::vector<std::string> m_serials;
    std::vector<Channel> m_channels;
    std::map<FtdiHandle, HandleInfo> m_handles;
    uintptr_t m_nextToken = 0x5100;
    bool m_plugged = true;
    int m_shortBy = 0;
    int m_shortReads = 0;
    int m_failWrites = 0;
    int m_shortWriteBy = 0;
    int m_shortWrites = 0;
    int m_unplugAfter = -1;
    std::chrono::microseconds m_roundTrip{0};
    SimulatedDriverCounters m_counters;
};
