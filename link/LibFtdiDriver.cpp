#include "link/LibFtdiDriver.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "link/Mpsse.h"

namespace {

// Chips whose channels carry an MPSSE, listed in this order so that a
// dual-channel cable keeps indexes 0 and 1 when a 4232H or 232H is also
// plugged in. The interface count is the fallback when the device's
// configuration cannot be read; the type is the vendor driver's device type.
struct ChipKind {
    uint16_t product;
    int interfaces;
    uint32_t type;
    uint16_t vendor = CLibFtdiDriver::kVendorId;
};
constexpr ChipKind kChips[] = {
    {0x6010, 2, 6},  // FT2232H (and FT2232C/D)
    {0x6011, 4, 7},  // FT4232H
    {0x6014, 1, 8},  // FT232H
};
constexpr int kMaxInterfaces = 4;  // libftdi names A to D

}  // namespace

uint32_t PackFtdiVersion(const LibFtdiVersion& version)
{
    const auto bcd = [](int value) {
        value = std::clamp(value, 0, 99);
        return uint32_t((value / 10) << 4 | value % 10);
    };
    return bcd(version.major) << 16 | bcd(version.minor) << 8 | bcd(version.micro);
}

std::string DescribeLibFtdiOpenFailure(int code, const std::string& text, int osError)
{
    std::string cause = "libftdi: " + (text.empty() ? std::string("no text") : text) + ", code " +
                        std::to_string(code);
    if (osError != 0)
        cause += "; errno " + std::to_string(osError) + ": " + std::strerror(osError);
    if (code == -8 || osError == EACCES || osError == EPERM) {
        // The rule grants access to the user at the seat; one logged in from
        // elsewhere gets it through the rule's group.
        return "no permission to open the USB device (" + cause + "): install the udev rule " +
               CLibFtdiDriver::kUdevRule +
               " (the zent2-i2c package installs it; from the sources: scripts/setup, or copy dist/linux/" +
               CLibFtdiDriver::kUdevRule +
               " to /etc/udev/rules.d) and re-plug the cable; when logged in remotely, also join the plugdev group";
    }
    if (osError == EBUSY || code == -5)
        return DescribeChannelOpenFailure(ChannelOpenFailure::Busy, cause);
    if (osError == ENODEV || osError == ENOENT)
        return DescribeChannelOpenFailure(ChannelOpenFailure::Gone, cause);
    return DescribeChannelOpenFailure(ChannelOpenFailure::Other, cause);
}

std::string UsbLocationText(uint32_t location, const std::vector<uint8_t>& ports)
{
    const unsigned bus = location >> 8;
    if (ports.empty())
        return "usb bus " + std::to_string(bus) + " device " + std::to_string(location & 0xFF);
    std::string text = "usb " + std::to_string(bus) + "-";
    for (size_t i = 0; i < ports.size(); ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(ports[i]);
    }
    return text;
}

CLibFtdiDriver::CLibFtdiDriver(std::unique_ptr<CLibFtdiApi> api) : m_api(std::move(api)) {}

CLibFtdiDriver::~CLibFtdiDriver()
{
    // Contexts go before the api: their devices belong to its listing.
    for (auto& [id, channel] : m_channels) {
        m_api->Close(channel.context);
        m_api->FreeContext(channel.context);
    }
    m_channels.clear();
    for (auto& [interfaceIndex, contexts] : m_idleContexts)
        for (CLibFtdiApi::Context context : contexts)
            m_api->FreeContext(context);
    m_idleContexts.clear();
    m_api->ReleaseDevices();
}

void CLibFtdiDriver::SelectCable(const FtdiCableChoice& choice)
{
    m_choice = choice;
    m_listed = false;
}

FtdiStatus CLibFtdiDriver::List()
{
    m_api->ReleaseDevices();
    m_entries.clear();
    m_listed = true;

    std::vector<ChipKind> kinds(std::begin(kChips), std::end(kChips));
    if (m_choice.vendor != 0 && m_choice.product != 0) {
        const auto chosen = [&](const ChipKind& k) {
            return k.vendor == m_choice.vendor && k.product == m_choice.product;
        };
        if (std::none_of(kinds.begin(), kinds.end(), chosen))
            kinds.push_back({m_choice.product, 2, 0, m_choice.vendor});
        // A cable with ids of its own is the one the user means: it comes first.
        std::stable_partition(kinds.begin(), kinds.end(), chosen);
    }

    // libusb lists devices in no stable order, so within each kind of chip
    // they are put in the order of their place in the USB tree: the same cable
    // in the same socket keeps its indexes.
    struct Found {
        size_t kind;
        Entry entry;
        int interfaces;
    };
    std::vector<Found> found;
    FtdiStatus status = FTDI_OK;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const ChipKind& chip = kinds[k];
        std::vector<CLibFtdiApi::Device> devices;
        if (m_api->FindDevices(chip.vendor, chip.product, &devices) < 0) {
            status = FTDI_IO_ERROR;
            continue;
        }
        for (CLibFtdiApi::Device device : devices) {
            Entry entry;
            entry.device = device;
            entry.vendor = chip.vendor;
            entry.product = chip.product;
            entry.type = chip.type;
            // A device another program holds, or one this user may not open,
            // may refuse its strings; it still takes its indexes so that the
            // ones after it do not move.
            entry.named = m_api->GetSerial(device, &entry.usbSerial) >= 0;
            if (!entry.named)
                entry.usbSerial.clear();
            if (!m_choice.serial.empty() && entry.named && entry.usbSerial != m_choice.serial)
                continue;
            entry.location = m_api->GetLocation(device);
            entry.ports = m_api->GetPortPath(device);
            int interfaces = m_api->GetInterfaceCount(device);
            if (interfaces < 1 || interfaces > kMaxInterfaces)
                interfaces = chip.interfaces;
            found.push_back({k, std::move(entry), interfaces});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        const uint32_t busA = a.entry.location >> 8;
        const uint32_t busB = b.entry.location >> 8;
        return std::tie(a.kind, busA, a.entry.ports, a.entry.location) <
               std::tie(b.kind, busB, b.entry.ports, b.entry.location);
    });
    for (const Found& f : found) {
        for (int i = 0; i < f.interfaces; ++i) {
            Entry entry = f.entry;
            entry.interfaceIndex = i;
            entry.serial = entry.usbSerial;
            if (f.interfaces > 1 && entry.named)
                entry.serial += char('A' + i);
            m_entries.push_back(std::move(entry));
        }
    }
    return status;
}

CFtdiBackend::Record CLibFtdiDriver::RecordOf(size_t index) const
{
    const Entry& entry = m_entries[index];
    return {IsOpen(entry.location, entry.interfaceIndex) ? kFlagOpened : 0, entry.type, entry.vendor, entry.product,
            entry.location << 4 | uint32_t(entry.interfaceIndex + 1), entry.serial};
}

FtdiDeviceDetails CLibFtdiDriver::DeviceDetails(int index) const
{
    if (index < 0 || size_t(index) >= m_entries.size())
        return {};
    const Entry& entry = m_entries[size_t(index)];
    FtdiDeviceDetails details;
    details.cableSerial = entry.usbSerial;
    details.location = UsbLocationText(entry.location, entry.ports);
    details.channel = char('A' + entry.interfaceIndex);
    details.vendor = entry.vendor;
    details.product = entry.product;
    return details;
}

bool CLibFtdiDriver::IsOpen(uint32_t location, int interfaceIndex) const
{
    return std::any_of(m_channels.begin(), m_channels.end(), [&](const auto& item) {
        return item.second.location == location && item.second.interfaceIndex == interfaceIndex;
    });
}

CLibFtdiDriver::Channel* CLibFtdiDriver::Find(FtdiHandle handle)
{
    const auto it = m_channels.find(reinterpret_cast<uintptr_t>(handle));
    return it == m_channels.end() ? nullptr : &it->second;
}

CLibFtdiApi::Context CLibFtdiDriver::TakeContext(int interfaceIndex)
{
    std::vector<CLibFtdiApi::Context>& idle = m_idleContexts[interfaceIndex];
    if (idle.empty())
        return m_api->NewContext(interfaceIndex);
    CLibFtdiApi::Context context = idle.back();
    idle.pop_back();
    return context;
}

void CLibFtdiDriver::KeepContext(int interfaceIndex, CLibFtdiApi::Context context)
{
    m_idleContexts[interfaceIndex].push_back(context);
}

FtdiStatus CLibFtdiDriver::Open(int index, FtdiHandle* handle)
{
    if (!handle)
        return FTDI_INVALID_PARAMETER;
    if (!m_listed)
        List();
    if (index < 0 || size_t(index) >= m_entries.size())
        return Fail(index, FTDI_DEVICE_NOT_FOUND, UnlistedDeviceFailure(index, m_entries.size(), m_choice.serial));
    const Entry& entry = m_entries[size_t(index)];
    // The channel is claimed already: the caller's first handle stays in use,
    // and libftdi is not asked, since its open resets the chip's buffers.
    if (IsOpen(entry.location, entry.interfaceIndex))
        return FTDI_DEVICE_NOT_OPENED;
    CLibFtdiApi::Context context = TakeContext(entry.interfaceIndex);
    if (!context)
        return Fail(index, FTDI_DEVICE_NOT_OPENED, "libftdi could not set up a USB session");
    int osError = 0;
    const int result = m_api->Open(context, entry.device, &osError);
    if (result < 0) {
        std::string failure = DescribeLibFtdiOpenFailure(result, m_api->ErrorString(context), osError);
        m_api->Close(context);
        KeepContext(entry.interfaceIndex, context);
        return Fail(index, FTDI_DEVICE_NOT_OPENED, std::move(failure));
    }
    const char channelLetter = char('A' + entry.interfaceIndex);
    std::string failure;
    FtdiStatus status = FTDI_OK;
    if (!m_choice.serial.empty() && !entry.named) {
        failure = "the serial number of this device cannot be read, so it cannot be told from the cable " +
                  m_choice.serial + " that was asked for";
        status = FTDI_DEVICE_NOT_OPENED;
    } else if (!FirstContact(context, channelLetter, &failure)) {
        status = FTDI_IO_ERROR;
    }
    if (status != FTDI_OK) {
        m_api->Close(context);
        KeepContext(entry.interfaceIndex, context);
        return Fail(index, status, std::move(failure));
    }
    Opened(index);
    const uintptr_t id = m_nextHandle++;
    m_channels.emplace(id, Channel{context, entry.location, entry.interfaceIndex, kMpsseMode});
    *handle = reinterpret_cast<FtdiHandle>(id);
    return FTDI_OK;
}

namespace {

// The set-up's calls on a libftdi context.
class CLibFtdiChannelCalls : public CMpsseChannelCalls {
public:
    CLibFtdiChannelCalls(CLibFtdiApi& api, CLibFtdiApi::Context context) : m_api(api), m_context(context) {}

    bool SetBitMode(uint8_t mask, uint8_t mode) override { return m_api.SetBitMode(m_context, mask, mode) >= 0; }
    void PurgeReceive() override { m_api.PurgeReceive(m_context); }
    bool Write(const uint8_t* data, uint32_t size) override
    {
        return m_api.Write(m_context, data, int(size)) == int(size);
    }
    int ReadWaiting(uint8_t* data, uint32_t size) override { return m_api.Read(m_context, data, int(size)); }
    std::string LastError() override { return "libftdi: " + m_api.ErrorString(m_context); }
    uint64_t NowMicroseconds() override { return m_api.NowMicroseconds(); }
    void SleepMicroseconds(uint32_t microseconds) override { m_api.SleepMicroseconds(microseconds); }

private:
    CLibFtdiApi& m_api;
    CLibFtdiApi::Context m_context;
};

}  // namespace

bool CLibFtdiDriver::FirstContact(CLibFtdiApi::Context context, char channel, std::string* failure)
{
    m_api->SetUsbTimeouts(context, kUsbTimeoutMs);
    // A failure here only costs speed.
    m_api->SetLatencyTimer(context, kLatencyMs);
    CLibFtdiChannelCalls calls(*m_api, context);
    return RunMpsseFirstContact(calls, channel, failure);
}

FtdiStatus CLibFtdiDriver::SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode)
{
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    if (m_api->SetBitMode(channel->context, mask, mode) < 0)
        return FTDI_IO_ERROR;
    channel->mode = mode;
    return FTDI_OK;
}

FtdiStatus CLibFtdiDriver::Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count,
                                 uint32_t* written)
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
    int size = int(count);
    if (channel->mode == kMpsseMode && MpsseWriteNeedsSendImmediate(buffer, count)) {
        m_sendBuffer.assign(buffer, buffer + count);
        m_sendBuffer.push_back(kSendImmediate);
        data = m_sendBuffer.data();
        size = int(m_sendBuffer.size());
    }
    const int sent = m_api->Write(channel->context, data, size);
    if (sent < 0)
        return FTDI_IO_ERROR;
    // The added send-immediate is not the caller's byte to count.
    *written = std::min(uint32_t(sent), count);
    return *written == count ? FTDI_OK : FTDI_IO_ERROR;
}

FtdiStatus CLibFtdiDriver::Read(FtdiHandle handle, uint8_t* buffer, uint32_t count,
                                uint32_t* received)
{
    if (const FtdiStatus checked = CheckTransfer(buffer, count, received); checked != FTDI_OK)
        return checked;
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    if (count > uint32_t(INT_MAX))
        return FTDI_INVALID_PARAMETER;

    // libftdi returns what has arrived so far; the link expects the vendor's
    // blocking read, so collect until the count is complete or time is up.
    const uint64_t start = m_api->NowMicroseconds();
    uint32_t got = 0;
    while (got < count) {
        const int n = m_api->Read(channel->context, buffer + got, int(count - got));
        if (n < 0) {
            *received = got;
            return FTDI_IO_ERROR;
        }
        got += std::min(uint32_t(n), count - got);
        if (got == count || m_api->NowMicroseconds() - start >= kReadTimeoutUs)
            break;
        if (n == 0)
            m_api->SleepMicroseconds(kReadPollUs);
    }
    *received = got;
    return FTDI_OK;
}

FtdiStatus CLibFtdiDriver::Purge(FtdiHandle handle)
{
    Channel* channel = Find(handle);
    if (!channel)
        return FTDI_INVALID_HANDLE;
    return m_api->PurgeReceive(channel->context) < 0 ? FTDI_IO_ERROR : FTDI_OK;
}

FtdiStatus CLibFtdiDriver::Close(FtdiHandle handle)
{
    const auto it = m_channels.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m_channels.end())
        return FTDI_INVALID_HANDLE;
    const int result = m_api->Close(it->second.context);
    KeepContext(it->second.interfaceIndex, it->second.context);
    m_channels.erase(it);
    return result < 0 ? FTDI_IO_ERROR : FTDI_OK;
}

FtdiStatus CLibFtdiDriver::GetDriverVersion(FtdiHandle handle, uint32_t* version)
{
    if (!version)
        return FTDI_INVALID_PARAMETER;
    *version = 0;
    if (!Find(handle))
        return FTDI_INVALID_HANDLE;
    *version = PackFtdiVersion(m_api->GetUsbLibraryVersion());
    return FTDI_OK;
}

FtdiStatus CLibFtdiDriver::GetLibraryVersion(uint32_t* version)
{
    if (!version)
        return FTDI_INVALID_PARAMETER;
    *version = PackFtdiVersion(m_api->GetLibraryVersion());
    return FTDI_OK;
}
