// What one register read costs the link: composing and evaluating its two
// transactions, and running them through the simulated cable.

#include <cstdio>
#include <cstring>
#include <memory>

#include "bench/Bench.h"
#include "link/I2C_FTDI.h"
#include "sim/SimulatedFtdiDriver.h"
#include "sim/TestTarget.h"

namespace {

// Answers every read at once with acknowledges, so only the queue is measured.
class CInstantDriver : public CFtdiDriver {
public:
    FtdiStatus CreateDeviceInfoList(uint32_t* count) override { *count = 2; return FTDI_OK; }
    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord*, uint32_t*) override { return FTDI_OK; }
    FtdiStatus Open(int, FtdiHandle* handle) override { *handle = this; return FTDI_OK; }
    FtdiStatus SetBitMode(FtdiHandle, uint8_t, uint8_t) override { return FTDI_OK; }
    FtdiStatus Write(FtdiHandle, const uint8_t*, uint32_t count, uint32_t* written) override
    {
        *written = count;
        return FTDI_OK;
    }
    FtdiStatus Read(FtdiHandle, uint8_t* buffer, uint32_t count, uint32_t* received) override
    {
        std::memset(buffer, 0, count);
        *received = count;
        return FTDI_OK;
    }
    FtdiStatus Close(FtdiHandle) override { return FTDI_OK; }
    FtdiStatus Purge(FtdiHandle) override { return FTDI_OK; }
    FtdiStatus GetDriverVersion(FtdiHandle, uint32_t* v) override { *v = 0; return FTDI_OK; }
    FtdiStatus GetLibraryVersion(uint32_t* v) override { *v = 0; return FTDI_OK; }
};

// The two transactions of a configuration register read, as the port sends them.
uint8_t RegisterRead(CI2C_FTDI& link, uint8_t address, uint8_t command, uint8_t reg)
{
    link.AddStart();
    link.AddWriteByte(address);
    link.AddWriteByte(command);
    link.AddWriteByte(reg);
    link.FlushI2C();
    link.CollectReplies();
    if (link.AckFailed()) return 0;
    link.AddStart();
    link.AddWriteByte(static_cast<uint8_t>(address + 1));
    link.AddReadByte(1);
    link.AddStop();
    link.FlushI2C();
    link.CollectReplies();
    return link.AckFailed() ? 0 : link.ReplyByte(1);
}

}  // namespace

int main()
{
    std::printf("One register read (command phase + read phase)\n");
    {
        CI2C_FTDI link(std::make_shared<CInstantDriver>());
        link.OpenI2CChannel();
        bench::Measure("queue only: compose, flush, collect, evaluate", [&] { RegisterRead(link, 0xC0, 0x33, 0x34); });
    }
    auto driver = std::make_shared<CSimulatedFtdiDriver>();
    auto target = std::make_shared<CTestTarget>();
    driver->Bus().Attach(0xC0, target);
    CI2C_FTDI link(driver);
    link.ListDevices();
    link.OpenI2CChannel();
    for (int rate : {100, 400}) {
        link.SetRate(rate);
        link.SendClockDivisor();
        bench::Measure("through the simulated cable at " + std::to_string(rate) + " kHz",
                       [&] { RegisterRead(link, 0xC0, 0x33, 0x34); });
    }
    driver->ResetCounters();
    const int reads = 1000;
    for (int i = 0; i < reads; ++i) RegisterRead(link, 0xC0, 0x33, 0x34);
    const SimulatedDriverCounters c = driver->Counters();
    std::printf("per register read: %.1f driver writes, %.1f driver reads, %.1f bytes written, %.1f bytes read, "
                "%.1f SCL cycles\n",
                double(c.writeCalls) / reads, double(c.readCalls) / reads, double(c.bytesWritten) / reads,
                double(c.bytesRead) / reads, double(c.sclCycles) / reads);
    return 0;
}
