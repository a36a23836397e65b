#pragma once
// Two stand-ins for FTDI's D2XX library behind the backend's table:
//
// - FakeD2xx: a scripted library with a list of nodes, laid out byte by byte
//   as the 64-bit ftd2xx.dll fills them. The test owns the FakeLibrary, so
//   what happened stays visible after the driver is gone. Opens and set-up
//   calls can fail with any status; bytes can arrive late; a read waits until
//   its count or the read timeout, as the library's does.
// - SimulatedD2xx: the library as it would drive the simulated cable and
//   board: the calls land on CSimulatedFtdiDriver. The stand-in ftd2xx.dll of
//   the Windows tests exports exactly this.

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/D2xxApi.h"
#include "link/MpsseChannel.h"
#include "sim/SimulatedBoard.h"
#include "sim/SimulatedFtdiDriver.h"

namespace scripted_d2xx {

using Bytes = std::vector<uint8_t>;

// One node of the library's list.
struct Node {
    std::string serial;
    std::string description;
    uint32_t id = 0x04036010;
    uint32_t type = d2xx::kType2232H;
    uint32_t locId = 0x2131;
    uint32_t flags = d2xx::kFlagHighSpeed;
    uint64_t handle = 0;

    // A channel another program has open: the library shows only its flags.
    static Node HeldElsewhere()
    {
        Node node;
        node.id = 0;
        node.type = 0;
        node.locId = 0;
        node.flags = d2xx::kFlagOpened;
        return node;
    }
};

// The two channels of a dual-channel chip, as the library lists them.
inline std::vector<Node> DualChannel(const std::string& serial, uint32_t locId = 0x2131)
{
    return {{serial + "A", "Dual RS232-HS A", 0x04036010, d2xx::kType2232H, locId, d2xx::kFlagHighSpeed, 0},
            {serial + "B", "Dual RS232-HS B", 0x04036010, d2xx::kType2232H, locId + 1, d2xx::kFlagHighSpeed, 0}};
}

// The node's 104 bytes: four 32-bit fields, serial text at 16, description
// at 32, the 64-bit handle at 96.
inline Bytes NodeBytes(const Node& node)
{
    Bytes bytes(d2xx::node::kSize, 0);
    const auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    put32(d2xx::node::kFlags, node.flags);
    put32(d2xx::node::kType, node.type);
    put32(d2xx::node::kId, node.id);
    put32(d2xx::node::kLocId, node.locId);
    std::copy_n(node.serial.begin(), std::min(node.serial.size(), d2xx::node::kSerialSize - 1),
                bytes.begin() + d2xx::node::kSerial);
    std::copy_n(node.description.begin(), std::min(node.description.size(), d2xx::node::kDescriptionSize - 1),
                bytes.begin() + d2xx::node::kDescription);
    for (int i = 0; i < 8; ++i) bytes[d2xx::node::kHandle + size_t(i)] = uint8_t(node.handle >> (8 * i));
    return bytes;
}

struct Piece {
    uint64_t atUs;  // when the bytes reach the host
    Bytes bytes;
};

struct FakeChannel {
    std::string serial;
    bool open = false;
    uint8_t mode = 0;
    uint32_t readTimeoutMs = 0;  // 0: never set (the library would wait for ever)
    std::vector<Bytes> writes;
    std::deque<Piece> pieces;
    std::vector<uint32_t> purgeMasks;
};

struct FakeLibrary {
    std::vector<Node> nodes;
    std::vector<std::string> calls;  // every call that reaches a channel, in order
    std::map<std::string, d2xx::Status> fails;  // call name ("open", "reset", "timeouts", ...) -> status
    Bytes syncAnswer = {0xFA, 0xAA};
    uint64_t syncDelayUs = 0;
    uint64_t nowUs = 0;
    int listings = 0;
    std::vector<std::unique_ptr<FakeChannel>> channels;
    FakeChannel* last = nullptr;  // the channel opened last

    d2xx::Status Fails(const std::string& call) const
    {
        const auto it = fails.find(call);
        return it == fails.end() ? d2xx::kOk : it->second;
    }
};

class FakeD2xx : public CD2xxApi {
public:
    explicit FakeD2xx(FakeLibrary& library) : m_lib(library) {}

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override
    {
        ++m_lib.listings;
        m_snapshot = m_lib.nodes;
        *count = uint32_t(m_snapshot.size());
        return m_lib.Fails("list");
    }
    d2xx::Status GetDeviceInfoList(uint8_t* nodes, uint32_t* count) override
    {
        for (size_t i = 0; i < m_snapshot.size(); ++i) {
            const Bytes bytes = NodeBytes(m_snapshot[i]);
            std::copy(bytes.begin(), bytes.end(), nodes + i * d2xx::node::kSize);
        }
        *count = uint32_t(m_snapshot.size());
        return d2xx::kOk;
    }
    d2xx::Status OpenBySerial(const std::string& serial, Handle* handle) override
    {
        m_lib.calls.push_back("open " + serial);
        return OpenChannel(serial, handle);
    }
    d2xx::Status OpenByIndex(int index, Handle* handle) override
    {
        m_lib.calls.push_back("open #" + std::to_string(index));
        return OpenChannel("#" + std::to_string(index), handle);
    }
    d2xx::Status Close(Handle handle) override { return Call(handle, "close", [](FakeChannel& c) { c.open = false; }); }
    d2xx::Status ResetDevice(Handle handle) override { return Call(handle, "reset", [](FakeChannel&) {}); }
    d2xx::Status SetUsbParameters(Handle handle, uint32_t in, uint32_t out) override
    {
        return Call(handle, "usb " + std::to_string(in) + " " + std::to_string(out), [](FakeChannel&) {}, "usb");
    }
    d2xx::Status SetTimeouts(Handle handle, uint32_t readMs, uint32_t writeMs) override
    {
        return Call(handle, "timeouts " + std::to_string(readMs) + " " + std::to_string(writeMs),
                    [&](FakeChannel& c) { c.readTimeoutMs = readMs; }, "timeouts");
    }
    d2xx::Status SetLatencyTimer(Handle handle, uint8_t ms) override
    {
        return Call(handle, "latency " + std::to_string(ms), [](FakeChannel&) {}, "latency");
    }
    d2xx::Status Purge(Handle handle, uint32_t mask) override
    {
        return Call(handle, "purge " + std::to_string(mask), [&](FakeChannel& c) {
            c.purgeMasks.push_back(mask);
            // What has reached the host is dropped; what is still on its way is not.
            if (mask & d2xx::kPurgeRx)
                std::erase_if(c.pieces, [&](const Piece& p) { return p.atUs <= m_lib.nowUs; });
        }, "purge");
    }
    d2xx::Status SetBitMode(Handle handle, uint8_t mask, uint8_t mode) override
    {
        const std::string text = "bitmode " + Hex(mask) + " " + Hex(mode);
        return Call(handle, text, [&](FakeChannel& c) { c.mode = mode; }, "bitmode");
    }
    d2xx::Status Write(Handle handle, const uint8_t* data, uint32_t size, uint32_t* written) override
    {
        *written = 0;
        std::string text = "write";
        for (uint32_t i = 0; i < size; ++i) text += " " + Hex(data[i]);
        return Call(handle, text, [&](FakeChannel& c) {
            c.writes.emplace_back(data, data + size);
            const Bytes firstContact(std::begin(first_contact::kBytes), std::end(first_contact::kBytes));
            if (c.mode == first_contact::kMpsseMode && c.writes.back() == firstContact)
                c.pieces.push_back({m_lib.nowUs + m_lib.syncDelayUs, m_lib.syncAnswer});
            *written = size;
        }, "write");
    }
    // Waits, as the library does, until the count has arrived or the read
    // timeout has passed.
    d2xx::Status Read(Handle handle, uint8_t* data, uint32_t size, uint32_t* received) override
    {
        *received = 0;
        FakeChannel* c = Find(handle);
        if (!c) return d2xx::kInvalidHandle;
        const uint64_t deadline = m_lib.nowUs + uint64_t(c->readTimeoutMs) * 1000;
        uint32_t n = 0;
        while (n < size && !c->pieces.empty() && c->pieces.front().atUs <= deadline) {
            m_lib.nowUs = std::max(m_lib.nowUs, c->pieces.front().atUs);
            Bytes& bytes = c->pieces.front().bytes;
            for (; n < size && !bytes.empty(); bytes.erase(bytes.begin())) data[n++] = bytes.front();
            if (bytes.empty()) c->pieces.pop_front();
        }
        if (n < size) m_lib.nowUs = std::max(m_lib.nowUs, deadline);
        *received = n;
        return m_lib.Fails("read");
    }
    d2xx::Status GetQueueStatus(Handle handle, uint32_t* waiting) override
    {
        *waiting = 0;
        FakeChannel* c = Find(handle);
        if (!c) return d2xx::kInvalidHandle;
        m_lib.nowUs += 100;  // a USB round trip
        for (const Piece& p : c->pieces)
            if (p.atUs <= m_lib.nowUs) *waiting += uint32_t(p.bytes.size());
        return d2xx::kOk;
    }
    d2xx::Status GetDriverVersion(Handle handle, uint32_t* version) override
    {
        *version = 0x00021236;
        return Find(handle) ? d2xx::kOk : d2xx::kInvalidHandle;
    }
    d2xx::Status GetLibraryVersion(uint32_t* version) override
    {
        *version = 0x00030218;
        return d2xx::kOk;
    }
    uint64_t NowMicroseconds() override { return m_lib.nowUs; }
    void SleepMicroseconds(uint32_t us) override { m_lib.nowUs += us; }

private:
    static std::string Hex(uint8_t value)
    {
        static const char* digits = "0123456789ABCDEF";
        return {digits[value >> 4], digits[value & 15]};
    }
    d2xx::Status OpenChannel(const std::string& serial, Handle* handle)
    {
        if (const d2xx::Status status = m_lib.Fails("open"); status != d2xx::kOk) return status;
        m_lib.channels.push_back(std::make_unique<FakeChannel>());
        FakeChannel* c = m_lib.channels.back().get();
        c->serial = serial;
        c->open = true;
        m_lib.last = c;
        *handle = c;
        return d2xx::kOk;
    }
    FakeChannel* Find(Handle handle)
    {
        for (const auto& c : m_lib.channels)
            if (c.get() == handle && c->open) return c.get();
        return nullptr;
    }
    template <typename F>
    d2xx::Status Call(Handle handle, const std::string& text, F&& effect, const std::string& name = {})
    {
        FakeChannel* c = Find(handle);
        if (!c) return d2xx::kInvalidHandle;
        m_lib.calls.push_back(text);
        const d2xx::Status status = m_lib.Fails(name.empty() ? text : name);
        if (status == d2xx::kOk) effect(*c);
        return status;
    }

    FakeLibrary& m_lib;
    std::vector<Node> m_snapshot;
};

// The D2XX calls answered by the simulated cable of a board it owns. Its
// FtdiStatus values are the library's FT_STATUS values.
class SimulatedD2xx : public CD2xxApi {
public:
    explicit SimulatedD2xx(std::unique_ptr<CSimulatedBoard> board) : m_board(std::move(board)) {}

    CSimulatedBoard& Board() { return *m_board; }

    d2xx::Status CreateDeviceInfoList(uint32_t* count) override
    {
        const FtdiStatus status = Cable().CreateDeviceInfoList(count);
        m_snapshot.assign(std::min<uint32_t>(*count, CFtdiDriver::kMaxRecords), FtdiDeviceRecord{});
        uint32_t listed = 0;
        FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
        Cable().GetDeviceInfoList(records, &listed);
        std::copy_n(records, m_snapshot.size(), m_snapshot.begin());
        return status;
    }
    // The simulated cable keeps the 32-bit record; the library hands out the
    // 64-bit node.
    d2xx::Status GetDeviceInfoList(uint8_t* nodes, uint32_t* count) override
    {
        const uint32_t n = std::min<uint32_t>(*count, uint32_t(m_snapshot.size()));
        for (uint32_t i = 0; i < n; ++i) {
            const FtdiDeviceRecord& record = m_snapshot[i];
            uint8_t* node = nodes + size_t(i) * d2xx::node::kSize;
            std::fill_n(node, d2xx::node::kSize, 0);
            std::copy_n(record.bytes, 16, node);  // flags, type, id, location: the same in both
            std::copy_n(record.bytes + FtdiDeviceRecord::kSerialOffset, d2xx::node::kSerialSize,
                        node + d2xx::node::kSerial);
            std::copy_n(record.bytes + 32, d2xx::node::kDescriptionSize, node + d2xx::node::kDescription);
        }
        *count = n;
        return d2xx::kOk;
    }
    d2xx::Status OpenBySerial(const std::string& serial, Handle* handle) override
    {
        const std::vector<std::string>& serials = Cable().DeviceSerials();
        const auto it = std::find(serials.begin(), serials.end(), serial);
        if (it == serials.end() || !Cable().IsPlugged()) return d2xx::kDeviceNotFound;
        return OpenByIndex(int(it - serials.begin()), handle);
    }
    d2xx::Status OpenByIndex(int index, Handle* handle) override
    {
        const FtdiStatus status = Cable().Open(index, handle);
        if (status == FTDI_OK) m_indexes[*handle] = index;
        return status;
    }
    d2xx::Status Close(Handle handle) override
    {
        m_indexes.erase(handle);
        return Cable().Close(handle);
    }
    d2xx::Status ResetDevice(Handle handle) override { return Cable().Purge(handle); }
    d2xx::Status SetUsbParameters(Handle handle, uint32_t, uint32_t) override { return Known(handle); }
    d2xx::Status SetTimeouts(Handle handle, uint32_t, uint32_t) override { return Known(handle); }
    d2xx::Status SetLatencyTimer(Handle handle, uint8_t) override { return Known(handle); }
    d2xx::Status Purge(Handle handle, uint32_t mask) override
    {
        return (mask & d2xx::kPurgeRx) ? Cable().Purge(handle) : Known(handle);
    }
    d2xx::Status SetBitMode(Handle handle, uint8_t mask, uint8_t mode) override
    {
        return Cable().SetBitMode(handle, mask, mode);
    }
    d2xx::Status Write(Handle handle, const uint8_t* data, uint32_t size, uint32_t* written) override
    {
        return Cable().Write(handle, data, size, written);
    }
    // The engine answers as the bytes are written: what is queued is all that
    // would come by the read timeout.
    d2xx::Status Read(Handle handle, uint8_t* data, uint32_t size, uint32_t* received) override
    {
        return Cable().Read(handle, data, size, received);
    }
    d2xx::Status GetQueueStatus(Handle handle, uint32_t* waiting) override
    {
        *waiting = 0;
        const auto it = m_indexes.find(handle);
        if (it == m_indexes.end()) return d2xx::kInvalidHandle;
        const CMpsseEngine* engine = Cable().Engine(it->second);
        if (engine == nullptr || !Cable().IsPlugged()) return d2xx::kIoError;
        *waiting = uint32_t(engine->Available());
        return d2xx::kOk;
    }
    d2xx::Status GetDriverVersion(Handle handle, uint32_t* version) override
    {
        return Cable().GetDriverVersion(handle, version);
    }
    d2xx::Status GetLibraryVersion(uint32_t* version) override { return Cable().GetLibraryVersion(version); }
    // The board clock stands still, as it does for --simulated-board between
    // sleeps; the backend's own waits pass at once.
    uint64_t NowMicroseconds() override { return m_nowUs; }
    void SleepMicroseconds(uint32_t us) override { m_nowUs += us; }

private:
    CSimulatedFtdiDriver& Cable() { return *m_board->Driver(); }
    d2xx::Status Known(Handle handle) const
    {
        return m_indexes.count(handle) ? d2xx::kOk : d2xx::kInvalidHandle;
    }

    std::unique_ptr<CSimulatedBoard> m_board;
    std::vector<FtdiDeviceRecord> m_snapshot;
    std::map<Handle, int> m_indexes;
    uint64_t m_nowUs = 0;
};

}  // namespace scripted_d2xx
