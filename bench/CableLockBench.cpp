// What an outermost cable lock costs the libftdi1 backend: the library calls
// it makes (each one a USB transfer or more on a real cable), the contexts it
// creates (each one a USB session of its own that rescans the bus), and the
// time the backend's own logic takes around them.

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <ftdi.h>

#include "bench/Bench.h"
#include "link/CableLock.h"
#include "link/I2C_FTDI.h"
#include "link/LibFtdiDriver.h"

namespace {

// One dual-channel chip that answers at once and counts every call.
class CCountingApi : public CLibFtdiApi {
public:
    std::map<std::string, long> calls;

    int FindDevices(int vendor, int product, std::vector<Device>* devices) override
    {
        ++calls["find devices"];
        if (vendor == 0x0403 && product == 0x6010) devices->push_back(&m_device);
        return vendor == 0x0403 && product == 0x6010 ? 1 : 0;
    }
    void ReleaseDevices() override {}
    int GetSerial(Device, std::string* serial) override
    {
        ++calls["read serial"];
        *serial = "BENCH";
        return 0;
    }
    int GetInterfaceCount(Device) override { return 2; }
    uint32_t GetLocation(Device) override { return 0x0102; }
    std::vector<uint8_t> GetPortPath(Device) override { return {1}; }
    Context NewContext(int interfaceIndex) override
    {
        ++calls["new context (USB session)"];
        m_contexts.push_back(std::make_unique<Channel>());
        m_contexts.back()->interfaceIndex = interfaceIndex;
        return m_contexts.back().get();
    }
    void FreeContext(Context) override {}
    int Open(Context, Device, int* osError) override
    {
        ++calls["open device"];
        *osError = 0;
        return 0;
    }
    int Close(Context) override { return ++calls["close device"], 0; }
    std::string ErrorString(Context) override { return {}; }
    void SetUsbTimeouts(Context, int) override {}
    int SetBitMode(Context, uint8_t, uint8_t) override { return ++calls["control: set bit mode"], 0; }
    int SetLatencyTimer(Context, uint8_t) override { return ++calls["control: latency timer"], 0; }
    int Write(Context context, const uint8_t* data, int size) override
    {
        ++calls["bulk write"];
        if (size == int(sizeof CLibFtdiDriver::kFirstContact) && data[size - 1] == CLibFtdiDriver::kSyncOpcode)
            static_cast<Channel*>(context)->pending = 2;  // FA AA
        return size;
    }
    int Read(Context context, uint8_t* data, int size) override
    {
        ++calls["bulk read"];
        Channel& channel = *static_cast<Channel*>(context);
        int n = 0;
        for (; n < size && channel.pending > 0; ++n, --channel.pending)
            data[n] = channel.pending == 2 ? CLibFtdiDriver::kBadCommand : CLibFtdiDriver::kSyncOpcode;
        return n;
    }
    int PurgeReceive(Context) override { return ++calls["control: purge"], 0; }
    LibFtdiVersion GetLibraryVersion() override { return {1, 5, 0}; }
    LibFtdiVersion GetUsbLibraryVersion() override { return {1, 0, 26}; }
    uint64_t NowMicroseconds() override { return 0; }
    void SleepMicroseconds(uint32_t) override {}

private:
    struct Channel {
        int interfaceIndex = 0;
        int pending = 0;
    };
    int m_device = 0;
    std::vector<std::unique_ptr<Channel>> m_contexts;
};

class CBenchContext : public CCableContext {
public:
    explicit CBenchContext(CI2C_FTDI& link) : m_link(link) {}
    bool CableDemoMode() const override { return false; }
    CI2C_FTDI* CableLink() override { return &m_link; }

private:
    CI2C_FTDI& m_link;
};

}  // namespace

int main()
{
    auto api = std::make_unique<CCountingApi>();
    CCountingApi& counts = *api;
    auto driver = std::make_shared<CLibFtdiDriver>(std::move(api));
    CI2C_FTDI link(driver);
    link.ListDevices();
    link.OpenI2CChannel();
    CBenchContext context(link);
    CCableContext* previous = SetCableContext(&context);

    { CCableLock first; }  // makes the enable channel's context
    counts.calls.clear();
    const long locks = 1000;
    for (long i = 0; i < locks; ++i) {
        CCableLock lock;
        CCableLock inner;  // nested locks only count
    }
    std::printf("One outermost cable lock (enable channel opened, line raised and lowered, closed), per lock:\n");
    for (const auto& [what, count] : counts.calls)
        std::printf("  %-30s %6.2f\n", what.c_str(), double(count) / double(locks));
    if (counts.calls.count("new context (USB session)") == 0)
        std::printf("  %-30s %6.2f\n", "new context (USB session)", 0.0);

    bench::Measure("outermost lock, backend logic plus the lock's two 1 ms waits", [] { CCableLock lock; }, 0.5, 100);
    SetCableContext(previous);

    // What every outermost lock paid before contexts were kept: a libftdi
    // context and with it a libusb session, which scans the USB devices.
    bench::Measure("a new libftdi context and its USB session (ftdi_new, ftdi_free)", [] {
        ftdi_context* ftdi = ftdi_new();
        if (ftdi) ftdi_free(ftdi);
    }, 0.5, 20);
    return 0;
}
