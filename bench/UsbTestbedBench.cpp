// What the real USB path costs, counted where a cable would see it: the
// libftdi1 backend, libftdi1 and libusb run against an emulated FT2232H (the
// USB test bed), and every URB and control transfer that reaches the chip is
// counted per register read, register write, outermost cable lock and log
// record of eight devices. Beside them, the simulated cable's exchanges
// (driver writes and reads) for the same work, and the wall time the test bed
// takes (umockdev's socket round trips, not a cable's timing).
//
// A USB round trip is a bulk OUT to channel B followed by the bulk IN that
// brings its answer. With send-immediate every IN that waits for an answer
// ends with it; without, the chip would hold it until its latency timer, and
// libftdi's polling would show IN transfers that bring only status bytes.
//
// Runs itself again under umockdev's preload when started without it.

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "device/HmuCommands.h"
#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "link/LibFtdiDriver.h"
#include "link/LibFtdiNativeApi.h"
#include "logging/LogSession.h"
#include "sim/SimulatedBoard.h"
#include "usbtestbed/UsbTestbed.h"
#include "bench/BenchCableContext.h"

namespace {

std::unique_ptr<CSimulatedBoard> EightDeviceBoard()
{
    auto board = CSimulatedBoard::CreateDefault();
    for (int d = 2; d < CSimulatedBoard::kMaxHmus; ++d) board->AddHmu(d);
    return board;
}

struct Work {
    const char* name;
    int runs;
    bool inLock;  // run inside one outer lock, so that the lock is not counted
    std::function<void(CTovin_I2C_Port&)> body;
};

struct Counted {
    UsbCableStats usb;
    SimulatedDriverCounters simulated;
    double wallMs = 0;
};

Counted Measure(const Work& work, CUsbTestbed& bed, CTovin_I2C_Port& real, CSimulatedFtdiDriver& simulatedDriver,
                CTovin_I2C_Port& simulated)
{
    Counted c;
    {
        CBenchContext context(simulated);  // outlives the lock, which closes through it
        std::unique_ptr<CCableLock> outer;
        if (work.inLock) outer = std::make_unique<CCableLock>();
        simulatedDriver.ResetCounters();
        for (int i = 0; i < work.runs; ++i) work.body(simulated);
        c.simulated = simulatedDriver.Counters();
    }
    CBenchContext context(real);
    std::unique_ptr<CCableLock> outer;
    if (work.inLock) outer = std::make_unique<CCableLock>();
    bed.ResetStats(0);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < work.runs; ++i) work.body(real);
    c.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    c.usb = bed.Stats(0);
    return c;
}

}  // namespace

int main(int, char** argv)
{
    if (!CUsbTestbed::ReexecUnderPreload(argv)) {
        std::fprintf(stderr, "zent2-usb-bench: cannot run under umockdev's preload (libumockdev-preload.so.0)\n");
        return 1;
    }
    // The test bed comes before the first libusb context of this process.
    CUsbTestbed bed;
    std::string error;
    if (bed.AddCable("BENCH1", EightDeviceBoard(), &error) < 0) {
        std::fprintf(stderr, "zent2-usb-bench: %s\n", error.c_str());
        return 1;
    }
    CTovin_I2C_Port real(std::make_shared<CLibFtdiDriver>());
    real.SetDemoMode(false);
    const FtdiStatus opened = real.OpenCable();
    if (opened != FTDI_OK) {
        std::fprintf(stderr, "zent2-usb-bench: the emulated cable did not open: %s\n",
                     real.GetLink().StatusText().c_str());
        return 1;
    }
    auto simulatedBoard = EightDeviceBoard();
    CTovin_I2C_Port simulated(simulatedBoard->Driver());
    simulated.SetDemoMode(false);
    simulated.OpenCable();

    logsel::LogSelection all{};
    all.fill(1);
    const auto record = [&all](CTovin_I2C_Port& port) {
        CLogSession session(port, all, [](int, int) { return 0.1f; });
        if (session.Start("/dev/null", 1, 0, 0) == CLogSession::StartResult::Started) session.WriteRecord();
    };
    const Work work[] = {
        {"register read", 200, true, [](CTovin_I2C_Port& p) { p.ReadRegister(hmu::kCmdReadConfig, 0x34); }},
        {"register write", 200, true, [](CTovin_I2C_Port& p) { p.WriteRegister(hmu::kCmdWriteConfig, 0x34, 0x10); }},
        {"outermost cable lock", 50, false, [](CTovin_I2C_Port&) { CCableLock lock; }},
        {"log record, 8 devices, all channels", 3, false, record},
    };

    CLibFtdiNativeApi api;
    const LibFtdiVersion ftdi = api.GetLibraryVersion(), usb = api.GetUsbLibraryVersion();
    std::printf("The real USB path on an emulated FT2232H (libftdi %d.%d.%d, libusb %d.%d.%d, umockdev), per "
                "operation\n\n",
                ftdi.major, ftdi.minor, ftdi.micro, usb.major, usb.minor, usb.micro);
    std::printf("%-36s %7s %6s %6s %6s %6s %8s %7s %7s | %8s %8s | %8s %9s\n", "", "control", "OUT A", "IN A", "OUT B",
                "IN B", "IN B+d", "URBs", "trips", "sim wr", "sim rd", "ioctls", "testbed");
    for (const Work& w : work) {
        const Counted c = Measure(w, bed, real, *simulatedBoard->Driver(), simulated);
        const double n = w.runs;
        const auto per = [n](uint64_t v) { return static_cast<double>(v) / n; };
        // A round trip: an OUT to channel B whose answer an IN brought.
        const double trips = std::min(per(c.usb.bulkOut[1]), per(c.usb.bulkInWithData[1]));
        std::printf("%-36s %7.2f %6.2f %6.2f %6.2f %6.2f %8.2f %7.2f %7.2f | %8.2f %8.2f | %8.1f %6.2f ms\n", w.name,
                    per(c.usb.controlTransfers), per(c.usb.bulkOut[0]), per(c.usb.bulkIn[0]), per(c.usb.bulkOut[1]),
                    per(c.usb.bulkIn[1]), per(c.usb.bulkInWithData[1]), per(c.usb.Urbs()), trips,
                    per(c.simulated.writeCalls), per(c.simulated.readCalls), per(c.usb.ioctls), c.wallMs / n);
        if (c.usb.bulkIn[1] != c.usb.bulkInWithData[1] || c.usb.discards != 0)
            std::printf("%-36s   (IN B without data: %.2f, discarded: %.2f)\n", "", per(c.usb.bulkIn[1] -
                        c.usb.bulkInWithData[1]), per(c.usb.discards));
    }
    std::printf("\ncontrol: control transfers (vendor and standard requests); OUT/IN: bulk transfers per channel;\n"
                "IN B+d: IN transfers of channel B that brought data; trips: USB round trips on channel B;\n"
                "sim wr/rd: the simulated cable's driver writes and reads for the same work; ioctls: usbdevfs calls\n"
                "on the node, most of them libusb polling for a finished URB (the test bed cannot signal one);\n"
                "testbed: wall time on the test bed, made of umockdev's socket round trips, not a cable's timing.\n");
    return 0;
}
