#pragma once
// Two stand-ins for libftdi1 behind the backend's seam:
//
// - FakeApi: a scripted USB bus with FTDI chips on it. The test owns the
//   FakeCable and the api points at it, so what happened stays visible after
//   the driver is gone. Opens can fail as libftdi fails them (code, text,
//   errno), bytes can arrive late, devices come in any order.
// - EngineApi: one dual-channel chip whose channels are the MPSSE engines of
//   a simulated cable, so the backend's own bytes drive the simulated bus.

#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/LibFtdiApi.h"
#include "link/LibFtdiDriver.h"
#include "sim/SimulatedFtdiDriver.h"

namespace scripted {

using Bytes = std::vector<uint8_t>;

struct FakeChip {
    FakeChip() = default;
    FakeChip(uint16_t productId, std::string serialText, int interfaceCount)
        : product(productId), serial(std::move(serialText)), interfaces(interfaceCount)
    {
    }
    // The same chip plugged in elsewhere.
    FakeChip At(uint8_t busNumber, std::vector<uint8_t> portPath) const
    {
        FakeChip chip = *this;
        chip.bus = busNumber;
        chip.ports = std::move(portPath);
        return chip;
    }

    uint16_t product = 0x6010;
    std::string serial;
    int interfaces = 2;  // what the configuration says; < 1 when unreadable
    bool serialFails = false;
    uint8_t bus = 1;
    std::vector<uint8_t> ports;  // place in the USB tree
    uint16_t vendor = 0x0403;
};

struct Piece {
    uint64_t atUs;  // when the bytes reach the host
    Bytes bytes;
};

// How libftdi fails an open: its code and text, and the errno behind them.
struct OpenError {
    int code;
    int osError;
    std::string text;
};

inline const OpenError kNoPermission{-4, EACCES, "libusb_open() failed"};
inline const OpenError kClaimedElsewhere{
    -5, EBUSY, "unable to claim usb device. Make sure the default FTDI driver is not in use"};

struct FakeContext {
    int chip = -1;
    int interfaceIndex = 0;
    int latency = -1;
    int timeoutMs = -1;
    int mask = -1;
    int mode = -1;
    bool closed = true;  // no device open on it
    bool freed = false;
    std::vector<Bytes> writes;
    std::deque<Piece> pieces;
    int readCalls = 0;
    int failReadAfter = -1;  // reads fail once this many were served
    int purges = 0;
    std::string error;

    // What a test of the traffic after the open looks at.
    void ForgetTraffic()
    {
        writes.clear();
        readCalls = 0;
        purges = 0;
    }
};

struct FakeCable {
    std::vector<FakeChip> chips;
    std::vector<std::unique_ptr<int>> devices;  // the chip index, one object per search
    std::vector<std::unique_ptr<FakeContext>> contexts;
    FakeContext* lastOpened = nullptr;
    std::vector<int> searchedVendors;
    std::vector<std::string> calls;  // every seam call that reaches a channel, in order
    int openCalls = 0;
    bool openFails = false;
    std::optional<OpenError> openError;  // the next opens fail so
    int writeResult = -2;                // -2: accept everything
    Bytes syncAnswer = {0xFA, 0xAA};     // what the first-contact write is answered with
    uint64_t syncDelayUs = 0;
    uint64_t nowUs = 0;
    LibFtdiVersion library{1, 5, 0};
    LibFtdiVersion usb{1, 0, 26};

    FakeContext* Last() { return lastOpened; }
    int ContextsMade() const { return static_cast<int>(contexts.size()); }
};

inline std::string HexText(const uint8_t* data, int size)
{
    std::string text;
    static const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < size; ++i) {
        if (i > 0) text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

class FakeApi : public CLibFtdiApi {
public:
    explicit FakeApi(FakeCable& cable) : m_cable(cable) {}

    int FindDevices(int vendor, int product, std::vector<Device>* devices) override
    {
        m_cable.searchedVendors.push_back(vendor);
        const size_t before = devices->size();
        for (size_t i = 0; i < m_cable.chips.size(); ++i) {
            if (m_cable.chips[i].vendor == vendor && m_cable.chips[i].product == product) {
                m_cable.devices.push_back(std::make_unique<int>(int(i)));
                devices->push_back(m_cable.devices.back().get());
            }
        }
        return int(devices->size() - before);
    }
    void ReleaseDevices() override {}
    int GetSerial(Device device, std::string* serial) override
    {
        if (Chip(device).serialFails) return -4;
        *serial = Chip(device).serial;
        return 0;
    }
    int GetInterfaceCount(Device device) override
    {
        return Chip(device).interfaces < 1 ? -1 : Chip(device).interfaces;
    }
    uint32_t GetLocation(Device device) override { return uint32_t(Chip(device).bus) << 8 | uint32_t(Index(device)); }
    std::vector<uint8_t> GetPortPath(Device device) override { return Chip(device).ports; }

    Context NewContext(int interfaceIndex) override
    {
        m_cable.contexts.push_back(std::make_unique<FakeContext>());
        m_cable.contexts.back()->interfaceIndex = interfaceIndex;
        return m_cable.contexts.back().get();
    }
    void FreeContext(Context context) override { Ctx(context).freed = true; }
    int Open(Context context, Device device, int* osError) override
    {
        ++m_cable.openCalls;
        FakeContext& ctx = Ctx(context);
        Log(ctx, "open");
        std::optional<OpenError> error = m_cable.openError;
        if (m_cable.openFails && !error) error = kClaimedElsewhere;
        if (error) {
            ctx.error = error->text;
            *osError = error->osError;
            return error->code;
        }
        ctx.chip = Index(device);
        ctx.closed = false;
        ctx.pieces.clear();  // libftdi's open resets the chip
        m_cable.lastOpened = &ctx;
        *osError = 0;
        return 0;
    }
    int Close(Context context) override
    {
        Log(Ctx(context), "close");
        Ctx(context).closed = true;
        return 0;
    }
    std::string ErrorString(Context context) override { return Ctx(context).error; }
    void SetUsbTimeouts(Context context, int milliseconds) override
    {
        Log(Ctx(context), "timeouts " + std::to_string(milliseconds));
        Ctx(context).timeoutMs = milliseconds;
    }
    int SetBitMode(Context context, uint8_t mask, uint8_t mode) override
    {
        Log(Ctx(context), "bitmode " + HexText(&mask, 1) + " " + HexText(&mode, 1));
        Ctx(context).mask = mask;
        Ctx(context).mode = mode;
        return 0;
    }
    int SetLatencyTimer(Context context, uint8_t ms) override
    {
        Log(Ctx(context), "latency " + std::to_string(ms));
        Ctx(context).latency = ms;
        return 0;
    }
    int Write(Context context, const uint8_t* data, int size) override
    {
        FakeContext& ctx = Ctx(context);
        Log(ctx, "write " + HexText(data, size));
        ctx.writes.emplace_back(data, data + size);
        const Bytes firstContact(std::begin(CLibFtdiDriver::kFirstContact), std::end(CLibFtdiDriver::kFirstContact));
        if (ctx.mode == CLibFtdiDriver::kMpsseMode && ctx.writes.back() == firstContact)
            ctx.pieces.push_back({m_cable.nowUs + m_cable.syncDelayUs, m_cable.syncAnswer});
        return m_cable.writeResult == -2 ? size : m_cable.writeResult;
    }
    int Read(Context context, uint8_t* data, int size) override
    {
        FakeContext& ctx = Ctx(context);
        m_cable.nowUs += 100;  // a USB round trip
        if (ctx.failReadAfter >= 0 && ctx.readCalls >= ctx.failReadAfter) return -1;
        ++ctx.readCalls;
        int n = 0;
        while (n < size && !ctx.pieces.empty() && ctx.pieces.front().atUs <= m_cable.nowUs) {
            Bytes& bytes = ctx.pieces.front().bytes;
            for (; n < size && !bytes.empty(); bytes.erase(bytes.begin())) data[n++] = bytes.front();
            if (bytes.empty()) ctx.pieces.pop_front();
        }
        return n;
    }
    int PurgeReceive(Context context) override
    {
        FakeContext& ctx = Ctx(context);
        Log(ctx, "purge");
        ++ctx.purges;
        ctx.pieces.clear();
        return 0;
    }
    LibFtdiVersion GetLibraryVersion() override { return m_cable.library; }
    LibFtdiVersion GetUsbLibraryVersion() override { return m_cable.usb; }
    uint64_t NowMicroseconds() override { return m_cable.nowUs; }
    void SleepMicroseconds(uint32_t us) override { m_cable.nowUs += us; }

private:
    static int Index(Device device) { return *static_cast<int*>(device); }
    const FakeChip& Chip(Device device) { return m_cable.chips[size_t(Index(device))]; }
    static FakeContext& Ctx(Context context) { return *static_cast<FakeContext*>(context); }
    void Log(const FakeContext& ctx, const std::string& what)
    {
        m_cable.calls.push_back(std::string(1, char('A' + ctx.interfaceIndex)) + " " + what);
    }

    FakeCable& m_cable;
};

// One FT2232H whose channels A and B are the engines of a simulated cable:
// channel B drives the simulated bus. Reads take what the engine has queued.
class EngineApi : public CLibFtdiApi {
public:
    explicit EngineApi(CSimulatedFtdiDriver& cable) : m_cable(cable) {}

    int FindDevices(int vendor, int product, std::vector<Device>* devices) override
    {
        if (vendor != 0x0403 || product != 0x6010) return 0;
        devices->push_back(&m_device);
        return 1;
    }
    void ReleaseDevices() override {}
    int GetSerial(Device, std::string* serial) override
    {
        *serial = "ZSIM2232";
        return 0;
    }
    int GetInterfaceCount(Device) override { return 2; }
    uint32_t GetLocation(Device) override { return 0x0105; }
    std::vector<uint8_t> GetPortPath(Device) override { return {2}; }

    Context NewContext(int interfaceIndex) override
    {
        ++contextsMade;
        m_contexts.push_back(std::make_unique<int>(interfaceIndex));
        return m_contexts.back().get();
    }
    void FreeContext(Context) override {}
    int Open(Context context, Device, int* osError) override
    {
        *osError = 0;
        Engine(context).ResetSession();
        return 0;
    }
    int Close(Context) override { return 0; }
    std::string ErrorString(Context) override { return {}; }
    void SetUsbTimeouts(Context, int) override {}
    int SetBitMode(Context context, uint8_t mask, uint8_t mode) override
    {
        Engine(context).SetBitMode(mask, mode);
        return 0;
    }
    int SetLatencyTimer(Context, uint8_t) override { return 0; }
    int Write(Context context, const uint8_t* data, int size) override
    {
        Engine(context).Write(data, size_t(size));
        return size;
    }
    int Read(Context context, uint8_t* data, int size) override
    {
        m_nowUs += 100;
        return int(Engine(context).Read(data, size_t(size)));
    }
    int PurgeReceive(Context context) override
    {
        Engine(context).Purge();
        return 0;
    }
    LibFtdiVersion GetLibraryVersion() override { return {1, 5, 0}; }
    LibFtdiVersion GetUsbLibraryVersion() override { return {1, 0, 26}; }
    uint64_t NowMicroseconds() override { return m_nowUs; }
    void SleepMicroseconds(uint32_t us) override { m_nowUs += us; }

    int contextsMade = 0;

private:
    CMpsseEngine& Engine(Context context) { return *m_cable.Engine(*static_cast<int*>(context)); }

    CSimulatedFtdiDriver& m_cable;
    int m_device = 0;
    std::vector<std::unique_ptr<int>> m_contexts;
    uint64_t m_nowUs = 0;
};

}  // namespace scripted
