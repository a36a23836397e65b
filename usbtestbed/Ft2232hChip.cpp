#include "usbtestbed/Ft2232hChip.h"

#include <algorithm>

#include "sim/MpsseEngine.h"

namespace {

// Standard requests.
constexpr uint8_t kGetStatus = 0x00;
constexpr uint8_t kClearFeature = 0x01;
constexpr uint8_t kSetFeature = 0x03;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kGetConfiguration = 0x08;
constexpr uint8_t kSetConfiguration = 0x09;
constexpr uint8_t kSetInterface = 0x0B;
constexpr uint8_t kDeviceDescriptorType = 1;
constexpr uint8_t kConfigurationDescriptorType = 2;
constexpr uint8_t kStringDescriptorType = 3;

// FTDI vendor requests.
constexpr uint8_t kReset = 0x00;
constexpr uint8_t kModemControl = 0x01;
constexpr uint8_t kFlowControl = 0x02;
constexpr uint8_t kBaudRate = 0x03;
constexpr uint8_t kLineData = 0x04;
constexpr uint8_t kPollModemStatus = 0x05;
constexpr uint8_t kEventChar = 0x06;
constexpr uint8_t kErrorChar = 0x07;
constexpr uint8_t kSetLatency = 0x09;
constexpr uint8_t kGetLatency = 0x0A;
constexpr uint8_t kSetBitMode = 0x0B;
constexpr uint8_t kReadPins = 0x0C;
constexpr uint8_t kReadEeprom = 0x90;
// Values of the reset request.
constexpr uint16_t kResetChannel = 0;
constexpr uint16_t kFlushFromHost = 1;
constexpr uint16_t kFlushToHost = 2;

constexpr uint8_t kStringManufacturer = 1;
constexpr uint8_t kStringProduct = 2;
constexpr uint8_t kStringSerial = 3;
constexpr uint16_t kLanguageEnglishUs = 0x0409;

void PutLe16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

std::vector<uint8_t> StringOf(const std::string& text)
{
    // Plain ASCII as UTF-16LE; the chip's strings hold nothing else.
    std::vector<uint8_t> out{static_cast<uint8_t>(2 + 2 * text.size()), kStringDescriptorType};
    for (const char c : text) PutLe16(out, static_cast<uint8_t>(c));
    return out;
}

void AppendEndpoint(std::vector<uint8_t>& out, uint8_t address)
{
    out.insert(out.end(), {7, 5, address, 0x02 /* bulk */});
    PutLe16(out, CFt2232hChip::kPacketSize);
    out.push_back(0);
}

}  // namespace

UsbSetup UsbSetup::Parse(const uint8_t* bytes)
{
    UsbSetup s;
    s.requestType = bytes[0];
    s.request = bytes[1];
    s.value = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
    s.index = static_cast<uint16_t>(bytes[4] | bytes[5] << 8);
    s.length = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
    return s;
}

CFt2232hChip::CFt2232hChip(std::string serial, CMpsseEngine* channelA, CMpsseEngine* channelB, Clock clock)
    : m_serial(std::move(serial)), m_clock(std::move(clock))
{
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
    m_channels[0].engine = channelA;
    m_channels[1].engine = channelB;
}

void CFt2232hChip::SetUsbIds(uint16_t vendor, uint16_t product)
{
    m_vendor = vendor;
    m_product = product;
}

void CFt2232hChip::MakeSingleChannel()
{
    m_product = 0x6014;
    m_release = 0x0900;  // libftdi tells an FT232H by it
    m_channelCount = 1;
    m_productName = "Single RS232-HS";
}

std::vector<uint8_t> CFt2232hChip::DeviceDescriptor() const
{
    std::vector<uint8_t> d{18, kDeviceDescriptorType};
    PutLe16(d, 0x0200);  // USB 2.0
    d.insert(d.end(), {0x00, 0x00, 0x00, 64});  // class per interface, 64-byte control packets
    PutLe16(d, m_vendor);
    PutLe16(d, m_product);
    PutLe16(d, m_release);
    d.insert(d.end(), {kStringManufacturer, kStringProduct, kStringSerial, 1});
    return d;
}

std::vector<uint8_t> CFt2232hChip::ConfigurationDescriptor() const
{
    std::vector<uint8_t> c{9, kConfigurationDescriptorType, 0, 0, static_cast<uint8_t>(m_channelCount), 1, 0,
                           0x80 /* bus powered */, 0x32 /* 100 mA */};
    for (int i = 0; i < m_channelCount; ++i) {
        // Vendor-specific interface, two bulk endpoints, named by the product string.
        c.insert(c.end(), {9, 4, static_cast<uint8_t>(i), 0, 2, 0xFF, 0xFF, 0xFF, kStringProduct});
        AppendEndpoint(c, static_cast<uint8_t>(0x81 + 2 * i));
        AppendEndpoint(c, static_cast<uint8_t>(0x02 + 2 * i));
    }
    c[2] = static_cast<uint8_t>(c.size() & 0xFF);
    c[3] = static_cast<uint8_t>(c.size() >> 8);
    return c;
}

std::vector<uint8_t> CFt2232hChip::SysfsDescriptors() const
{
    std::vector<uint8_t> all = DeviceDescriptor();
    const std::vector<uint8_t> config = ConfigurationDescriptor();
    all.insert(all.end(), config.begin(), config.end());
    return all;
}

std::vector<uint8_t> CFt2232hChip::StringDescriptor(int index) const
{
    switch (index) {
    case 0: return {4, kStringDescriptorType, kLanguageEnglishUs & 0xFF, kLanguageEnglishUs >> 8};
    case kStringManufacturer: return StringOf(kManufacturer);
    case kStringProduct: return StringOf(m_productName);
    case kStringSerial: return StringOf(m_serial);
    default: return {};
    }
}

std::array<uint16_t, 128> CFt2232hChip::EepromImage() const
{
    std::array<uint8_t, 256> bytes{};
    bytes[0x00] = 0x08;  // both channels: virtual COM port driver
    bytes[0x01] = 0x08;
    bytes[0x02] = static_cast<uint8_t>(m_vendor & 0xFF);
    bytes[0x03] = static_cast<uint8_t>(m_vendor >> 8);
    bytes[0x04] = static_cast<uint8_t>(m_product & 0xFF);
    bytes[0x05] = static_cast<uint8_t>(m_product >> 8);
    bytes[0x06] = static_cast<uint8_t>(m_release & 0xFF);
    bytes[0x07] = static_cast<uint8_t>(m_release >> 8);
    bytes[0x08] = 0x80;  // bus powered
    bytes[0x09] = 0x32;  // 100 mA, in 2 mA units
    bytes[0x0A] = 0x08;  // the serial number string is used
    bytes[0x0C] = 0x00;
    bytes[0x0D] = 0x02;
    // String descriptors from 0x9A, each located by an offset and length byte pair.
    size_t at = 0x9A;
    const int strings[] = {kStringManufacturer, kStringProduct, kStringSerial};
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t> s = StringDescriptor(strings[i]);
        if (at + s.size() > 0xFE) break;  // the last word is the checksum
        bytes[0x0E + 2 * i] = static_cast<uint8_t>(at);
        bytes[0x0F + 2 * i] = static_cast<uint8_t>(s.size());
        std::copy(s.begin(), s.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        at += s.size();
    }
    std::array<uint16_t, 128> words{};
    uint16_t checksum = 0xAAAA;
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        if (i + 1 < words.size()) {
            checksum ^= words[i];
            checksum = static_cast<uint16_t>(checksum << 1 | checksum >> 15);
        }
    }
    words.back() = checksum;
    return words;
}

int CFt2232hChip::ChannelOfEndpoint(uint8_t endpoint)
{
    switch (endpoint) {
    case 0x81: case 0x02: return 0;
    case 0x83: case 0x04: return 1;
    default: return -1;
    }
}

CFt2232hChip::Channel* CFt2232hChip::ChannelOf(uint16_t index)
{
    // libftdi puts the channel (1 = A, 2 = B) in the low byte; 0 means A.
    const int channel = std::max(1, index & 0xFF) - 1;
    return channel < m_channelCount ? &m_channels[static_cast<size_t>(channel)] : nullptr;
}

void CFt2232hChip::Collect(Channel& channel)
{
    if (!channel.engine) return;
    const size_t queued = channel.engine->Available();
    if (queued == 0) return;
    const size_t pushed = channel.engine->ImmediateReplies();
    const size_t before = channel.held.size();
    std::vector<uint8_t> bytes(queued);
    channel.engine->Read(bytes.data(), bytes.size());
    channel.held.insert(channel.held.end(), bytes.begin(), bytes.end());
    if (pushed > 0) channel.released = before + pushed;
}

bool CFt2232hChip::Control(const UsbSetup& setup, const uint8_t* out, std::vector<uint8_t>* in)
{
    (void)out;  // no request this chip takes carries data from the host
    in->clear();
    bool accepted = false;
    switch (setup.requestType & 0x60) {
    case 0x00: accepted = Standard(setup, in); break;
    case 0x40: accepted = Vendor(setup, in); break;
    default: break;
    }
    if (in->size() > setup.length) in->resize(setup.length);
    return accepted;
}

bool CFt2232hChip::Standard(const UsbSetup& setup, std::vector<uint8_t>* in)
{
    switch (setup.request) {
    case kGetDescriptor: {
        const int type = setup.value >> 8;
        if (type == kDeviceDescriptorType) *in = DeviceDescriptor();
        else if (type == kConfigurationDescriptorType) *in = ConfigurationDescriptor();
        else if (type == kStringDescriptorType) *in = StringDescriptor(setup.value & 0xFF);
        return !in->empty();
    }
    case kGetStatus: *in = {0, 0}; return true;
    case kGetConfiguration: *in = {1}; return true;
    case kSetConfiguration:
    case kSetInterface:
    case kClearFeature:
    case kSetFeature: return true;
    default: return false;
    }
}

bool CFt2232hChip::Vendor(const UsbSetup& setup, std::vector<uint8_t>* in)
{
    Channel* channel = ChannelOf(setup.index);
    if (setup.request == kReadEeprom) {
        const uint16_t word = EepromImage()[setup.index & 0x7F];
        *in = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
        return true;
    }
    if (!channel) return false;
    switch (setup.request) {
    case kReset:
        Collect(*channel);
        if (setup.value == kResetChannel) {
            // A fresh session, as the simulated cable gives every open.
            if (channel->engine) channel->engine->ResetSession();
            channel->held.clear();
            channel->released = 0;
        } else if (setup.value == kFlushFromHost) {
            // Replies were moved out above, so only the unfinished command goes.
            if (channel->engine) channel->engine->Purge();
        } else if (setup.value == kFlushToHost) {
            channel->held.clear();
            channel->released = 0;
        } else {
            return false;
        }
        return true;
    case kModemControl:
    case kFlowControl:
    case kBaudRate:
    case kLineData:
    case kEventChar:
    case kErrorChar: return true;
    case kPollModemStatus: *in = {kModemStatus0, kModemStatus1}; return true;
    case kSetLatency: channel->latencyMs = static_cast<uint8_t>(setup.value & 0xFF); return true;
    case kGetLatency: *in = {channel->latencyMs}; return true;
    case kSetBitMode:
        Collect(*channel);
        channel->bitMode = static_cast<uint8_t>(setup.value >> 8);
        if (channel->engine) channel->engine->SetBitMode(static_cast<uint8_t>(setup.value & 0xFF), channel->bitMode);
        return true;
    case kReadPins: *in = {channel->engine ? channel->engine->LowValue() : uint8_t{0xFF}}; return true;
    default: return false;  // EEPROM writes and erases among them: not modelled
    }
}

void CFt2232hChip::BulkOut(int channelIndex, const uint8_t* data, size_t size)
{
    if (channelIndex < 0 || channelIndex >= m_channelCount) return;
    Channel& channel = m_channels[static_cast<size_t>(channelIndex)];
    if (!channel.engine) return;
    channel.engine->Write(data, size);
    Collect(channel);
}

bool CFt2232hChip::BulkIn(int channelIndex, size_t maxLength, std::vector<uint8_t>* data)
{
    data->clear();
    if (channelIndex < 0 || channelIndex >= m_channelCount || maxLength < 2) return false;
    Channel& channel = m_channels[static_cast<size_t>(channelIndex)];
    Collect(channel);
    const auto now = m_clock();
    const bool expired = now - channel.lastPacket >= std::chrono::milliseconds(channel.latencyMs);
    // What fits in the transfer: whole packets, then what is left of the last one.
    const size_t whole = maxLength / kPacketSize;
    const size_t rest = maxLength % kPacketSize;
    const size_t capacity = whole * kPacketData + (rest > 2 ? rest - 2 : 0);
    const size_t full = channel.held.size() - channel.held.size() % kPacketData;
    // Full packets go as they gather, but the transfer ends only at a short
    // packet or when it is full.
    if (!expired && channel.released == 0 && full < capacity) return false;
    size_t send = expired ? channel.held.size() : std::max(channel.released, full);
    send = std::min(send, capacity);
    size_t left = send;
    while (data->size() + 2 <= maxLength) {
        const size_t n = std::min({left, kPacketData, maxLength - data->size() - 2});
        data->push_back(kModemStatus0);
        data->push_back(kModemStatus1);
        data->insert(data->end(), channel.held.begin(), channel.held.begin() + static_cast<std::ptrdiff_t>(n));
        channel.held.erase(channel.held.begin(), channel.held.begin() + static_cast<std::ptrdiff_t>(n));
        left -= n;
        if (n < kPacketData) break;  // a short packet ends the transfer
        if (left == 0 && send == capacity) break;
    }
    channel.released -= std::min(channel.released, send);
    channel.lastPacket = now;
    return true;
}

void CFt2232hChip::Deliver(int channelIndex, const std::vector<uint8_t>& bytes)
{
    if (channelIndex < 0 || channelIndex >= m_channelCount) return;
    Channel& channel = m_channels[static_cast<size_t>(channelIndex)];
    Collect(channel);
    channel.held.insert(channel.held.end(), bytes.begin(), bytes.end());
    channel.released = channel.held.size();
}

void CFt2232hChip::PowerUp()
{
    for (Channel& channel : m_channels) {
        if (channel.engine) channel.engine->PowerUp();
        channel.latencyMs = kDefaultLatencyMs;
        channel.bitMode = 0;
        channel.held.clear();
        channel.released = 0;
        channel.lastPacket = {};
    }
}

uint8_t CFt2232hChip::LatencyMs(int channel) const
{
    return channel >= 0 && channel < m_channelCount ? m_channels[static_cast<size_t>(channel)].latencyMs : 0;
}

size_t CFt2232hChip::HeldBytes(int channel) const
{
    return channel >= 0 && channel < m_channelCount ? m_channels[static_cast<size_t>(channel)].held.size() : 0;
}

uint8_t CFt2232hChip::BitMode(int channel) const
{
    return channel >= 0 && channel < m_channelCount ? m_channels[static_cast<size_t>(channel)].bitMode : 0;
}
