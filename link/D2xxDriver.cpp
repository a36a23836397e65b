#include "link/D2xxDriver.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "util/TextFormat.h"

namespace {

// The chips whose channels carry an MPSSE, in listing order (see kChips of
// the libftdi backend): a dual-channel cable keeps indexes 0 and 1 when a
// 4232H or 232H is also plugged in.
struct ChipIds {
    uint16_t vendor;
    uint16_t product;
};
constexpr ChipIds kChips[] = {
    {CD2xxDriver::kVendorId, 0x6010},  // FT2232H (and FT2232C/D)
    {CD2xxDriver::kVendorId, 0x6011},  // FT4232H
    {CD2xxDriver::kVendorId, 0x6014},  // FT232H
};

// Nodes the library may report at most; anything above is not a device list.
constexpr uint32_t kMaxNodes = 1024;

uint32_t Get32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

std::string Text(const uint8_t* bytes, size_t size)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, size));
}

// The set-up's calls on a D2XX handle.
class CD2xxChannelCalls : public CMpsseChannelCalls {
public:
    CD2xxChannelCalls(CD2xxApi& api, CD2xxApi::Handle handle) : m_api(api), m_handle(handle) {}

    bool SetBitMode(uint8_t mask, uint8_t mode) override { return Ok(m_api.SetBitMode(m_handle, mask, mode)); }
    void PurgeReceive() override { Ok(m_api.Purge(m_handle, d2xx::kPurgeRx | d2xx::kPurgeTx)); }
    bool Write(const uint8_t* data, uint32_t size) override
    {
        uint32_t written = 0;
        return Ok(m_api.Write(m_handle, data, size, &written)) && written == size;
    }
    int ReadWaiting(uint8_t* data, uint32_t size) override
    {
        uint32_t waiting = 0;
        if (!Ok(m_api.GetQueueStatus(m_handle, &waiting)))
            return -1;
        if (waiting == 0)
            return 0;
        uint32_t received = 0;
        if (!Ok(m_api.Read(m_handle, data, std::min(waiting, size), &received)))
            return -1;
        return int(std::min(received, size));
    }
    std::string LastError() override { return "D2XX: " + d2xx::StatusName(m_last); }
    uint64_t NowMicroseconds() override { return m_api.NowMicroseconds(); }
    void SleepMicroseconds(uint32_t microseconds) override { m_api.SleepMicroseconds(microseconds); }

private:
    bool Ok(d2xx::Status status)
    {
        if (status != d2xx::kOk)
            m_last = status;
        return status == d2xx::kOk;
    }

    CD2xxApi& m_api;
    CD2xxApi::Handle m_handle;
    d2xx::Status m_last = d2xx::kOk;
};

}  // namespace

std::string d2xx::StatusName(Status status)
{
    static const char* const kNames[] = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
        "FT_DEVICE_LIST_NOT_READY",
    };
    if (status < std::size(kNames))
        return kNames[status];
    return "FT_STATUS " + std::to_string(status);
}

std::string DescribeD2xxOpenFailure(d2xx::Status status)
{
    const std::string cause = "D2XX: " + d2xx::StatusName(status);
    // The library says "not opened" for a channel another program (or a
    // terminal on its COM port) has open, "not found" for one that went away.
    if (status == d2xx::kDeviceNotOpened)
        return DescribeChannelOpenFailure(ChannelOpenFailure::Busy, cause);
    if (status == d2xx::kDeviceNotFound)
        return DescribeChannelOpenFailure(ChannelOpenFailure::Gone, cause);
    return DescribeChannelOpenFailure(ChannelOpenFailure::Other, cause);
}

CD2xxDriver::CD2xxDriver(std::unique_ptr<CD2xxApi> api, std::string loadFailure)
    : m_api(std::move(api)), m_loadFailure(std::move(loadFailure))
{
}

CD2xxDriver::~CD2xxDriver()
{
    for (auto& [id, channel] : m_channels)
        m_api->Close(channel.handle);
}

void CD2xxDriver::SelectCable(const FtdiCableChoice& choice)
{
    m_choice = choice;
    m_listed = false;
}

char CD2xxDriver::ChannelLetter(const Entry& entry)
{
    // The library names the channels of a multi-channel chip by a letter at
    // the end of the description ("Dual RS232-HS B") and of the serial text.
    const std::string& d = entry.description;
    if (d.size() >= 2 && d[d.size() - 2] == ' ' && d.back() >= 'A' && d.back() <= 'D')
        return d.back();
    return entry.named ? 'A' : '?';
}

std::string CD2xxDriver::CableSerial(const Entry& entry)
{
    const std::string& d = entry.description;
    const bool lettered = d.size() >= 2 && d[d.size() - 2] == ' ' && d.back() >= 'A' && d.back() <= 'D';
    if (lettered && !entry.serial.empty() && entry.serial.back() == d.back())
        return entry.serial.substr(0, entry.serial.size() - 1);
    return entry.serial;
}

std::string CD2xxDriver::NotInstalled() const
{
    std::string text = kNotInstalled;
    if (!m_loadFailure.empty())
        text += " (" + m_loadFailure + ")";
    return text + ": install FTDI's D2XX driver (the CDM driver package from ftdichip.com) and plug the cable in again";
}

FtdiStatus CD2xxDriver::List()
{
    m_entries.clear();
    m_listed = true;
    m_listFailure.clear();
    if (!m_api) {
        m_listFailure = NotInstalled();
        return FTDI_DEVICE_NOT_FOUND;
    }
    uint32_t count = 0;
    const d2xx::Status listed = m_api->CreateDeviceInfoList(&count);
    if (listed != d2xx::kOk || count > kMaxNodes) {
        m_listFailure = "the FTDI D2XX driver could not list the devices (D2XX: " +
                        (listed != d2xx::kOk ? d2xx::StatusName(listed) : std::to_string(count) + " devices") + ")";
        return FTDI_IO_ERROR;
    }
    if (count == 0)
        return FTDI_OK;
    // Exactly the snapshot's size: the library fills as many nodes as
    // CreateDeviceInfoList counted.
    std::vector<uint8_t> nodes(size_t(count) * d2xx::node::kSize);
    uint32_t filled = count;
    if (const d2xx::Status status = m_api->GetDeviceInfoList(nodes.data(), &filled); status != d2xx::kOk) {
        m_listFailure = "the FTDI D2XX driver could not list the devices (D2XX: " + d2xx::StatusName(status) + ")";
        return FTDI_IO_ERROR;
    }
    filled = std::min(filled, count);

    std::vector<ChipIds> kinds(std::begin(kChips), std::end(kChips));
    const auto chosen = [&](const ChipIds& k) { return k.vendor == m_choice.vendor && k.product == m_choice.product; };
    if (m_choice.vendor != 0 && m_choice.product != 0) {
        if (std::none_of(kinds.begin(), kinds.end(), chosen))
            kinds.push_back({m_choice.vendor, m_choice.product});
        // A cable with ids of its own is the one the user means: it comes first.
        std::stable_partition(kinds.begin(), kinds.end(), chosen);
    }
    const auto kindOf = [&](uint16_t vendor, uint16_t product) {
        for (size_t k = 0; k < kinds.size(); ++k)
            if (kinds[k].vendor == vendor && kinds[k].product == product)
                return k;
        return kinds.size();
    };
    // A channel another program has open shows only its flags; it is kept
    // among the dual-channel chips, where the cable it may be is listed.
    const size_t unreadableKind = kindOf(kVendorId, 0x6010);

    struct Found {
        size_t kind;
        Entry entry;
    };
    std::vector<Found> found;
    for (uint32_t i = 0; i < filled; ++i) {
        const uint8_t* node = nodes.data() + size_t(i) * d2xx::node::kSize;
        Entry entry;
        entry.libraryIndex = i;
        entry.flags = Get32(node + d2xx::node::kFlags);
        entry.type = Get32(node + d2xx::node::kType);
        const uint32_t id = Get32(node + d2xx::node::kId);
        entry.vendor = uint16_t(id >> 16);
        entry.product = uint16_t(id & 0xFFFF);
        entry.locId = Get32(node + d2xx::node::kLocId);
        entry.serial = Text(node + d2xx::node::kSerial, d2xx::node::kSerialSize);
        entry.description = Text(node + d2xx::node::kDescription, d2xx::node::kDescriptionSize);
        entry.named = !((entry.flags & d2xx::kFlagOpened) && id == 0);
        size_t kind = entry.named ? kindOf(entry.vendor, entry.product) : unreadableKind;
        if (kind == kinds.size())
            continue;  // not a chip with an MPSSE, nor the one asked for
        if (!m_choice.serial.empty() && entry.named && CableSerial(entry) != m_choice.serial)
            continue;
        found.push_back({kind, std::move(entry)});
    }
    // Within a kind the library's order stays: it lists a chip's channels
    // together, A first.
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.kind < b.kind; });
    for (Found& f : found)
        m_entries.push_back(std::move(f.entry));
    return FTDI_OK;
}

CFtdiBackend::Record CD2xxDriver::RecordOf(size_t index) const
{
    const Entry& entry = m_entries[index];
    return {entry.flags, entry.type, entry.vendor, entry.product, entry.locId, entry.serial};
}

FtdiDeviceDetails CD2xxDriver::DeviceDetails(int index) const
{
    if (index < 0 || size_t(index) >= m_entries.size() || !m_entries[size_t(index)].named)
        return {};
    const Entry& entry = m_entries[size_t(index)];
    FtdiDeviceDetails details;
    details.cableSerial = CableSerial(entry);
    // The library's location id (FTDI's USBView shows the same number); it
    // gives none for a channel that is open.
    details.location = entry.locId != 0 ? FormatText("location ID 0x%X", entry.locId) : "an unknown location";
    details.channel = ChannelLetter(entry);
    details.vendor = entry.vendor;
    details.product = entry.product;
    return details;
}

CD2xxDriver::Channel* CD2xxDriver::Find(FtdiHandle handle)
{
    const auto it = m_channels.find(reinterpret_cast<uintptr_t>(handle));
    return it == m_channels.end() ? nullptr : &it->second;
}

bool CD2xxDriver::IsOpen(const Entry& entry) const
{
    if (entry.serial.empty())
        return false;
    return std::any_of(m_channels.begin(), m_channels.end(),
                       [&](const auto& item) { return item.second.serial == entry.serial; });
}

bool CD2xxDriver::SetUp(CD2xxApi::Handle handle, char letter, std::string* failure)
{
    const std::string name = std::string("channel ") + letter;
    d2xx::Status status = m_api->ResetDevice(handle);
    if (status != d2xx::kOk) {
        *failure = name + " did not reset (D2XX: " + d2xx::StatusName(status) + ")";
        return false;
    }
    // Larger transfers and a short latency only cost speed when refused.
    m_api->SetUsbParameters(handle, kTransferSize, kTransferSize);
    m_api->SetLatencyTimer(handle, first_contact::kLatencyMs);
    // Without its timeouts a read for replies that never come would wait for ever.
    status = m_api->SetTimeouts(handle, kReadTimeoutMs, kWriteTimeoutMs);
    if (status != d2xx::kOk) {
        *failure = name + " did not take its timeouts (D2XX: " + d2xx::StatusName(status) + ")";
        return false;
    }
    CD2xxChannelCalls calls(*m_api, handle);
    return RunMpsseFirstContact(calls, letter, failure);
}

FtdiStatus CD2xxDriver::Open(int index, FtdiHandle* handle)
{
    if (!handle)
        return FTDI_INVALID_PARAMETER;
    if (!m_api)
        return Fail(index, FTDI_DEVICE_NOT_FOUND, NotInstalled());
    if (!m_listed)
        List();
    if (index < 0 || size_t(index) >= m_entries.size())
        return Fail(index, FTDI_DEVICE_NOT_FOUND, UnlistedDeviceFailure(index, m_entries.size(), m_choice.serial));
    const Entry entry = m_entries[size_t(index)];
    // The channel is claimed already: the caller's first handle stays in use.
    if (IsOpen(entry))
        return FTDI_DEVICE_NOT_OPENED;
    // By serial number, so that a device plugged in since the listing cannot
    // move another channel under this index.
    CD2xxApi::Handle device = nullptr;
    const d2xx::Status opened = entry.serial.empty() ? m_api->OpenByIndex(int(entry.libraryIndex), &device)
                                                     : m_api->OpenBySerial(entry.serial, &device);
    if (opened != d2xx::kOk || device == nullptr) {
        const d2xx::Status why = opened != d2xx::kOk ? opened : d2xx::kInvalidHandle;
        return Fail(index, FTDI_DEVICE_NOT_OPENED, DescribeD2xxOpenFailure(why));
    }
    std::string failure;
    FtdiStatus status = FTDI_OK;
    if (!m_choice.serial.empty() && !entry.named) {
        failure = "the serial number of this device cannot be read, so it cannot be told from the cable " +
                  m_choice.serial + " that was asked for";
        status = FTDI_DEVICE_NOT_OPENED;
    } else if (!SetUp(device, ChannelLetter(entry), &failure)) {
        status = FTDI_IO_ERROR;
    }
    if (status != FTDI_OK) {
        m_api->Close(device);
        return Fail(index, status, std::move(failure));
    }
    Opened(index);
    const uintptr_t id = m_nextHandle++;
    m_channels.emplace(id, Channel{device, entry.serial, first_contact::kMpsseMode});
    *handle = reinterpret_cast<FtdiHandle>(id);
    return FTDI_OK;
}

FtdiStatus CD2xxDriver::SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode)
{
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    if (m_api->SetBitMode(channel->handle, mask, mode) != d2xx::kOk)
        return FTDI_IO_ERROR;
    channel->mode = mode;
    return FTDI_OK;
}

FtdiStatus CD2xxDriver::Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count, uint32_t* written)
{
    if (const FtdiStatus checked = CheckTransfer(buffer, count, written); checked != FTDI_OK)
        return checked;
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    if (count == 0)
        return FTDI_OK;
    if (count > uint32_t(INT_MAX) - 1)
        return FTDI_INVALID_PARAMETER;

    const uint8_t* data = buffer;
    uint32_t size = count;
    if (channel->mode == first_contact::kMpsseMode && MpsseWriteNeedsSendImmediate(buffer, count)) {
        m_sendBuffer.assign(buffer, buffer + count);
        m_sendBuffer.push_back(mpsse::kSendImmediate);
        data = m_sendBuffer.data();
        size = uint32_t(m_sendBuffer.size());
    }
    uint32_t sent = 0;
    if (m_api->Write(channel->handle, data, size, &sent) != d2xx::kOk)
        return FTDI_IO_ERROR;
    // The added send-immediate is not the caller's byte to count.
    *written = std::min(sent, count);
    return *written == count ? FTDI_OK : FTDI_IO_ERROR;
}

FtdiStatus CD2xxDriver::Read(FtdiHandle handle, uint8_t* buffer, uint32_t count, uint32_t* received)
{
    if (const FtdiStatus checked = CheckTransfer(buffer, count, received); checked != FTDI_OK)
        return checked;
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    if (count == 0)
        return FTDI_OK;
    // The library waits for the count itself, until the read timeout set at
    // the open; what came by then is what the caller gets.
    uint32_t got = 0;
    const d2xx::Status status = m_api->Read(channel->handle, buffer, count, &got);
    *received = std::min(got, count);
    return status == d2xx::kOk ? FTDI_OK : FTDI_IO_ERROR;
}

FtdiStatus CD2xxDriver::Purge(FtdiHandle handle)
{
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    return m_api->Purge(channel->handle, d2xx::kPurgeRx) == d2xx::kOk ? FTDI_OK : FTDI_IO_ERROR;
}

FtdiStatus CD2xxDriver::Close(FtdiHandle handle)
{
    const auto it = m_channels.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m_channels.end())
        return FTDI_INVALID_HANDLE;
    const d2xx::Status status = m_api->Close(it->second.handle);
    m_channels.erase(it);
    return status == d2xx::kOk ? FTDI_OK : FTDI_IO_ERROR;
}

FtdiStatus CD2xxDriver::GetDriverVersion(FtdiHandle handle, uint32_t* version)
{
    if (!version)
        return FTDI_INVALID_PARAMETER;
    *version = 0;
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    uint32_t value = 0;
    if (m_api->GetDriverVersion(channel->handle, &value) != d2xx::kOk)
        return FTDI_IO_ERROR;
    *version = value;
    return FTDI_OK;
}

FtdiStatus CD2xxDriver::GetLibraryVersion(uint32_t* version)
{
    if (!version)
        return FTDI_INVALID_PARAMETER;
    *version = 0;
    if (!m_api)
        return FTDI_DEVICE_NOT_FOUND;
    uint32_t value = 0;
    if (m_api->GetLibraryVersion(&value) != d2xx::kOk)
        return FTDI_IO_ERROR;
    *version = value;
    return FTDI_OK;
}
