#include "sim/SimulatedFtdiDriver.h"

#include <algorithm>
#include <thread>

namespace {
void PutLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The rest of a vendor list node, for readers that look past the serial.
constexpr int kFlagsOffset = 0;
constexpr int kTypeOffset = 4;
constexpr int kIdOffset = 8;
constexpr int kLocationOffset = 12;
constexpr int kDescriptionOffset = 32;
constexpr int kDescriptionSize = 64;
constexpr uint32_t kFlagOpened = 1;
constexpr uint32_t kTypeDualChannel = 4;
constexpr uint32_t kVendorProductId = 0x04036010;
}  // namespace

CSimulatedFtdiDriver::CSimulatedFtdiDriver()
{
    SetDeviceCount(2);
}

CSimulatedFtdiDriver::~CSimulatedFtdiDriver() = default;

void CSimulatedFtdiDriver::SetDeviceSerials(const std::vector<std::string>& serials)
{
    CloseAll(true);
    m_serials = serials;
    RebuildChannels();
}

void CSimulatedFtdiDriver::SetDeviceCount(int count)
{
    count = std::clamp(count, 0, 26);
    std::vector<std::string> serials;
    for (int i = 0; i < count; ++i)
        serials.push_back(std::string("ZSIM2232") + static_cast<char>('A' + i));
    SetDeviceSerials(serials);
}

void CSimulatedFtdiDriver::RebuildChannels()
{
    const size_t count = m_serials.size();
    while (m_channels.size() < count) {
        Channel channel;
        const bool onBus = static_cast<int>(m_channels.size()) == kI2CChannel;
        channel.engine = std::make_unique<CMpsseEngine>(onBus ? &m_bus : nullptr);
        m_channels.push_back(std::move(channel));
    }
    for (size_t i = count; i < m_channels.size(); ++i)
        m_channels[i].engine->PowerUp();  // releases its pins before it goes
    m_channels.resize(count);
}

void CSimulatedFtdiDriver::CloseAll(bool stale)
{
    for (auto& [token, info] : m_handles)
        info.stale = stale;
    for (Channel& channel : m_channels) {
        channel.handle = nullptr;
        channel.engine->PowerUp();
    }
}

void CSimulatedFtdiDriver::SetPlugged(bool plugged)
{
    if (plugged == m_plugged)
        return;
    m_plugged = plugged;
    // Either way the channels lose power or come up fresh.
    CloseAll(true);
}

void CSimulatedFtdiDriver::FailOpens(int index, int times)
{
    if (index < 0 || index >= static_cast<int>(m_channels.size()))
        return;
    m_channels[index].failOpens = times < 0 ? kAlways : times;
}

void CSimulatedFtdiDriver::ShortenReads(int fewer, int reads)
{
    m_shortBy = std::max(fewer, 0);
    m_shortReads = std::max(reads, 0);
}

void CSimulatedFtdiDriver::FailWrites(int writes)
{
    m_failWrites = std::max(writes, 0);
}

void CSimulatedFtdiDriver::ShortenWrites(int fewer, int writes)
{
    m_shortWriteBy = std::max(fewer, 0);
    m_shortWrites = std::max(writes, 0);
}

void CSimulatedFtdiDriver::UnplugAfterTransfers(int transfers)
{
    m_unplugAfter = transfers;
    if (m_unplugAfter == 0) {
        m_unplugAfter = -1;
        SetPlugged(false);
    }
}

void CSimulatedFtdiDriver::CountTransfer(const Channel& channel)
{
    if (m_unplugAfter <= 0 || !IsI2C(channel)) return;
    if (--m_unplugAfter == 0) {
        m_unplugAfter = -1;
        SetPlugged(false);
    }
}

CSimulatedFtdiDriver::Channel* CSimulatedFtdiDriver::Lookup(FtdiHandle handle, FtdiStatus* status)
{
    const auto it = m_handles.find(handle);
    if (handle == nullptr || it == m_handles.end()) {
        *status = FTDI_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second.stale) {
        *status = FTDI_IO_ERROR;
        return nullptr;
    }
    *status = FTDI_OK;
    return &m_channels[it->second.index];
}

const CSimulatedFtdiDriver::Channel* CSimulatedFtdiDriver::ChannelAt(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_channels.size()))
        return nullptr;
    return &m_channels[index];
}

FtdiStatus CSimulatedFtdiDriver::CreateDeviceInfoList(uint32_t* count)
{
    if (count == nullptr)
        return FTDI_INVALID_PARAMETER;
    *count = m_plugged ? static_cast<uint32_t>(m_serials.size()) : 0;
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count)
{
    if (records == nullptr || count == nullptr)
        return FTDI_INVALID_PARAMETER;
    const size_t listed = m_plugged ? m_serials.size() : 0;
    // The store holds kMaxRecords; a longer list is cut, never overrun.
    const size_t filled = std::min(listed, static_cast<size_t>(kMaxRecords));
    for (size_t i = 0; i < filled; ++i) {
        FtdiDeviceRecord& r = records[i];
        r = FtdiDeviceRecord{};
        PutLe32(r.bytes + kFlagsOffset, m_channels[i].handle ? kFlagOpened : 0);
        PutLe32(r.bytes + kTypeOffset, kTypeDualChannel);
        PutLe32(r.bytes + kIdOffset, kVendorProductId);
        PutLe32(r.bytes + kLocationOffset, 0x0211 + static_cast<uint32_t>(i));
        r.SetSerial(m_serials[i]);
        const std::string description = std::string("ZSIM2232 Cable ") + static_cast<char>('A' + i % 26);
        std::copy_n(description.begin(), std::min<size_t>(description.size(), kDescriptionSize - 1),
                    r.bytes + kDescriptionOffset);
    }
    *count = static_cast<uint32_t>(listed);
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::Open(int index, FtdiHandle* handle)
{
    if (handle == nullptr)
        return FTDI_INVALID_PARAMETER;
    if (index < 0 || index >= static_cast<int>(m_channels.size()))
        return FTDI_DEVICE_NOT_FOUND;
    Channel& channel = m_channels[index];
    ++channel.attempts;
    if (!m_plugged)
        return FTDI_DEVICE_NOT_FOUND;
    if (channel.failOpens != 0) {
        if (channel.failOpens > 0)
            --channel.failOpens;
        return FTDI_DEVICE_NOT_OPENED;
    }
    // The vendor's driver refuses a second open of a channel.
    if (channel.handle != nullptr)
        return FTDI_DEVICE_NOT_OPENED;

    FtdiHandle token = reinterpret_cast<FtdiHandle>(m_nextToken);
    m_nextToken += 0x10;
    m_handles[token] = HandleInfo{index, false};
    channel.handle = token;
    ++channel.opens;
    channel.engine->ResetSession();
    *handle = token;
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode)
{
    FtdiStatus status;
    Channel* channel = Lookup(handle, &status);
    if (channel != nullptr)
        channel->engine->SetBitMode(mask, mode);
    return status;
}

FtdiStatus CSimulatedFtdiDriver::Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count,
                                       uint32_t* written)
{
    ++m_counters.writeCalls;
    if (written != nullptr)
        *written = 0;
    if (buffer == nullptr && count != 0)
        return FTDI_INVALID_PARAMETER;
    FtdiStatus status;
    Channel* channel = Lookup(handle, &status);
    if (channel == nullptr)
        return status;
    const bool i2c = IsI2C(*channel);
    if (i2c && m_failWrites > 0) {
        --m_failWrites;
        CountTransfer(*channel);
        return FTDI_IO_ERROR;
    }
    if (i2c && m_shortWrites > 0) {
        --m_shortWrites;
        count -= std::min(count, static_cast<uint32_t>(m_shortWriteBy));
    }
    const uint64_t transactions = m_bus.Transactions();
    channel->engine->Write(buffer, count);
    if (!EnableLine())
        m_counters.transactionsWithEnableLow += m_bus.Transactions() - transactions;
    m_counters.bytesWritten += count;
    if (written != nullptr)
        *written = count;
    CountTransfer(*channel);
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::Read(FtdiHandle handle, uint8_t* buffer, uint32_t count,
                                      uint32_t* received)
{
    ++m_counters.readCalls;
    if (received != nullptr)
        *received = 0;
    if (received == nullptr || (buffer == nullptr && count != 0))
        return FTDI_INVALID_PARAMETER;
    FtdiStatus status;
    Channel* channel = Lookup(handle, &status);
    if (channel == nullptr)
        return status;
    if (count > 0 && IsI2C(*channel) && m_roundTrip.count() > 0) {
        // The bytes reach the program one USB round trip after it asked.
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(m_roundTrip);
        ++m_counters.roundTripWaits;
        m_counters.roundTripWaitUs += static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    }
    size_t available = channel->engine->Available();
    if (m_shortReads > 0) {
        --m_shortReads;
        available -= std::min(available, static_cast<size_t>(m_shortBy));
    }
    const size_t n = channel->engine->Read(buffer, std::min<size_t>(count, available));
    m_counters.bytesRead += n;
    *received = static_cast<uint32_t>(n);
    CountTransfer(*channel);
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::Purge(FtdiHandle handle)
{
    FtdiStatus status;
    Channel* channel = Lookup(handle, &status);
    if (channel == nullptr)
        return status;
    channel->engine->Purge();
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::Close(FtdiHandle handle)
{
    const auto it = m_handles.find(handle);
    if (handle == nullptr || it == m_handles.end())
        return FTDI_INVALID_HANDLE;
    const HandleInfo info = it->second;
    m_handles.erase(it);
    if (info.index < static_cast<int>(m_channels.size())) {
        Channel& channel = m_channels[info.index];
        if (!info.stale)
            channel.handle = nullptr;
        ++channel.closes;
    }
    return FTDI_OK;
}

FtdiStatus CSimulatedFtdiDriver::GetDriverVersion(FtdiHandle handle, uint32_t* version)
{
    if (version == nullptr)
        return FTDI_INVALID_PARAMETER;
    FtdiStatus status;
    if (Lookup(handle, &status) != nullptr)
        *version = kDriverVersion;
    return status;
}

FtdiStatus CSimulatedFtdiDriver::GetLibraryVersion(uint32_t* version)
{
    if (version == nullptr)
        return FTDI_INVALID_PARAMETER;
    *version = kLibraryVersion;
    return FTDI_OK;
}

bool CSimulatedFtdiDriver::IsOpen(int index) const
{
    const Channel* channel = ChannelAt(index);
    return channel != nullptr && channel->handle != nullptr;
}

int CSimulatedFtdiDriver::OpenCount(int index) const
{
    const Channel* channel = ChannelAt(index);
    return channel ? channel->opens : 0;
}

int CSimulatedFtdiDriver::OpenAttempts(int index) const
{
    const Channel* channel = ChannelAt(index);
    return channel ? channel->attempts : 0;
}

int CSimulatedFtdiDriver::CloseCount(int index) const
{
    const Channel* channel = ChannelAt(index);
    return channel ? channel->closes : 0;
}

bool CSimulatedFtdiDriver::EnableLine() const
{
    const CMpsseEngine* engine = Engine(kEnableChannel);
    return m_plugged && engine != nullptr && engine->HighPin(0);
}

int CSimulatedFtdiDriver::EnableRisingEdges() const
{
    const CMpsseEngine* engine = Engine(kEnableChannel);
    return engine ? engine->HighPinRisingEdges(0) : 0;
}

int CSimulatedFtdiDriver::EnableFallingEdges() const
{
    const CMpsseEngine* engine = Engine(kEnableChannel);
    return engine ? engine->HighPinFallingEdges(0) : 0;
}

SimulatedDriverCounters CSimulatedFtdiDriver::Counters() const
{
    SimulatedDriverCounters counters = m_counters;
    counters.sclCycles = m_bus.SclCycles();
    return counters;
}

void CSimulatedFtdiDriver::ResetCounters()
{
    m_counters = {};
    m_bus.ResetCounters();
    for (Channel& channel : m_channels) {
        channel.opens = channel.attempts = channel.closes = 0;
        channel.engine->ResetEdgeCounts();
    }
}

const std::vector<uint8_t>& CSimulatedFtdiDriver::UnknownOpcodes(int index) const
{
    static const std::vector<uint8_t> kNone;
    const CMpsseEngine* engine = Engine(index);
    return engine ? engine->UnknownOpcodes() : kNone;
}

CMpsseEngine* CSimulatedFtdiDriver::Engine(int index)
{
    if (index < 0 || index >= static_cast<int>(m_channels.size()))
        return nullptr;
    return m_channels[index].engine.get();
}

const CMpsseEngine* CSimulatedFtdiDriver::Engine(int index) const
{
    const Channel* channel = ChannelAt(index);
    return channel ? channel->engine.get() : nullptr;
}
