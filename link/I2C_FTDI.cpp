#include "link/I2C_FTDI.h"

#include <cstdio>

#include "link/Mpsse.h"

namespace {

using namespace mpsse;
constexpr uint8_t kModeMpsse = kBitModeMpsse;

// Low-byte pin values and directions (bit 0 SCL, bit 1 SDA out, bit 7 spare).
constexpr uint8_t kBothHigh = 0x03;
constexpr uint8_t kSclHighSdaLow = 0x01;
constexpr uint8_t kBothLow = 0x00;
constexpr uint8_t kDriveSda = 0x83;
constexpr uint8_t kReleaseSda = 0x81;

constexpr int kStartSize = 9;
constexpr int kStopSize = 6;
constexpr int kWriteByteSize = 13;
constexpr int kReadByteSize = 15;

}  // namespace

CI2C_FTDI::CI2C_FTDI(std::shared_ptr<CFtdiDriver> driver) : m_driver(std::move(driver)) {}

CI2C_FTDI::~CI2C_FTDI()
{
    CloseEnableChannel();
    CloseI2CChannel();
}

void CI2C_FTDI::Append(std::initializer_list<uint8_t> bytes)
{
    // The checked appends never get here without room; the few unchecked ones
    // (divisor, enable line) follow a flush. Never write past the buffer anyway.
    for (uint8_t b : bytes) {
        if (m_commandLength >= kBufferSize) return;
        m_command[m_commandLength++] = b;
    }
}

void CI2C_FTDI::RecordReply(ReplyKind kind)
{
    // The headroom test keeps a transaction far below this; never write past it.
    if (m_expectedReplies >= kBufferSize) return;
    m_replyKinds[m_expectedReplies++] = kind;
}

int CI2C_FTDI::AddStart()
{
    if (!HasRoom(kStartSize)) return 1;
    Append({kSetLow, kBothHigh, kDriveSda,
            kSetLow, kSclHighSdaLow, kDriveSda,
            kSetLow, kBothLow, kDriveSda});
    return 0;
}

int CI2C_FTDI::AddStop()
{
    if (!HasRoom(kStopSize)) return 1;
    Append({kSetLow, kSclHighSdaLow, kDriveSda,
            kSetLow, kBothHigh, kDriveSda});
    return 0;
}

int CI2C_FTDI::AddWriteByte(uint8_t byte)
{
    if (!HasRoom(kWriteByteSize)) return 1;
    Append({kBytesOutFalling, 0x00, 0x00, byte,
            kSetLow, kBothLow, kReleaseSda,
            kBitsInRising, 0x00,
            kSetLow, kBothLow, kDriveSda,
            kSendImmediate});
    RecordReply(kAckReply);
    return 0;
}

int CI2C_FTDI::AddReadByte(int nack)
{
    if (!HasRoom(kReadByteSize)) return 1;
    Append({kSetLow, kBothLow, kReleaseSda,
            kBytesInRising, 0x00, 0x00});
    RecordReply(kDataReply);
    Append({kSetLow, kBothLow, kDriveSda,
            kBitsOutFalling, 0x00, static_cast<uint8_t>(nack ? 0x80 : 0x00),
            kSetLow, kBothLow, kDriveSda});
    return 0;
}

FtdiStatus CI2C_FTDI::Flush(FtdiHandle handle)
{
    const uint32_t count = static_cast<uint32_t>(m_commandLength);
    m_commandLength = 0;
    m_flushRefused = false;
    if (handle == nullptr) return FTDI_INVALID_HANDLE;
    uint32_t written = 0;
    const FtdiStatus status = m_driver->Write(handle, m_command.data(), count, &written);
    m_flushRefused = status != FTDI_OK;
    // Part of a transaction reached the cable at most: as good as none.
    if (status == FTDI_OK && written != count) return FTDI_IO_ERROR;
    return status;
}

FtdiStatus CI2C_FTDI::FlushI2C()
{
    // Replies of an earlier exchange that came too late (or of a write that
    // went out in part) would be read as this exchange's: drop them first.
    if (m_outOfStep && m_i2cHandle != nullptr) {
        m_driver->Purge(m_i2cHandle);
        m_outOfStep = false;
    }
    const FtdiStatus status = Flush(m_i2cHandle);
    m_transfersFailing = m_flushRefused;
    m_writeFailed = status != FTDI_OK;
    if (m_writeFailed) m_outOfStep = true;
    return status;
}

FtdiStatus CI2C_FTDI::FlushEnable()
{
    return Flush(m_enableHandle);
}

int CI2C_FTDI::CollectReplies()
{
    const uint32_t expected = static_cast<uint32_t>(m_expectedReplies);
    m_expectedReplies = 0;
    uint32_t received = 0;
    // After a failed write nothing is on its way: do not wait for it.
    if (expected > 0 && m_i2cHandle != nullptr && !m_writeFailed) {
        m_transfersFailing = m_driver->Read(m_i2cHandle, m_reply.data(), expected, &received) != FTDI_OK;
        if (received > expected) received = expected;  // never trust a driver past the buffer
        if (received < expected) m_outOfStep = true;  // the rest may still come
    }
    m_writeFailed = false;
    int nacks = 0;
    for (uint32_t i = 0; i < received; ++i) {
        if (m_replyKinds[i] == kAckReply) nacks += m_reply[i] & 1;
    }
    m_nackCount = nacks;
    return static_cast<int>(received);
}

uint8_t CI2C_FTDI::ReplyByte(int index) const
{
    if (index < 0 || index >= kBufferSize) return 0;
    return m_reply[index];
}

int CI2C_FTDI::ReplyKindAt(int index) const
{
    if (index < 0 || index >= kBufferSize) return kDataReply;
    return m_replyKinds[index];
}

int CI2C_FTDI::DivisorForRate(int kHz)
{
    // divisor = ceil(6 MHz / rate) - 1, so the bus never runs faster than asked.
    switch (kHz) {
    case 100: return 59;
    case 200: return 29;
    case 400: return 14;
    case 800: return 7;
    case 1000: return 5;
    case 2000: return 2;
    default: return 59;
    }
}

void CI2C_FTDI::SetRate(int kHz)
{
    m_rate = kHz;
    m_divisor = DivisorForRate(kHz);
}

FtdiStatus CI2C_FTDI::SendClockDivisor()
{
    Append({kSetDivisor, static_cast<uint8_t>(m_divisor), 0x00});
    return FlushI2C();
}

int CI2C_FTDI::ListDevices()
{
    uint32_t count = 0;
    m_driver->CreateDeviceInfoList(&count);
    m_devicesFound = static_cast<int32_t>(count);
    if (m_devicesFound >= 1 && m_devicesFound <= CFtdiDriver::kMaxRecords - 1) {
        uint32_t fetched = count;
        m_driver->GetDeviceInfoList(m_records.data(), &fetched);
    }
    return m_devicesFound;
}

std::string CI2C_FTDI::DeviceSerial(int index) const
{
    if (index < 0 || index >= CFtdiDriver::kMaxRecords) return {};
    return m_records[index].Serial();
}

FtdiStatus CI2C_FTDI::OpenChannel(int index, FtdiHandle& handle)
{
    FtdiHandle opened = nullptr;
    const FtdiStatus status = m_driver->Open(index, &opened);
    if (status != FTDI_OK || opened == nullptr) return status != FTDI_OK ? status : FTDI_OTHER_ERROR;
    // The driver refuses to open a channel twice, so a handle we still hold
    // when an open succeeds belongs to a cable that was unplugged: let it go.
    if (handle != nullptr && handle != opened) m_driver->Close(handle);
    handle = opened;
    return FTDI_OK;
}

void CI2C_FTDI::FormatStatus(FtdiStatus status, int index)
{
    char text[160];
    std::snprintf(text, sizeof text, "Open Status = %d; Device = %d; %s; Devices Found = %d",
                  static_cast<int>(status), index, DeviceSerial(index).c_str(), m_devicesFound);
    m_statusText = text;
}

FtdiStatus CI2C_FTDI::OpenI2CChannel()
{
    const FtdiStatus status = OpenChannel(kI2CChannelIndex, m_i2cHandle);
    m_nackCount = 0;
    if (status == FTDI_OK) {
        m_driver->SetBitMode(m_i2cHandle, 0x83, kModeMpsse);
        m_commandLength = 0;
        m_expectedReplies = 0;
        m_outOfStep = false;  // a fresh session holds no old replies
        m_writeFailed = false;
        Append({kSetLow, kBothHigh, kDriveSda, kLoopbackOff});
        FlushI2C();
        SendClockDivisor();
    }
    FormatStatus(status, kI2CChannelIndex);
    return status;
}

FtdiStatus CI2C_FTDI::OpenEnableChannel()
{
    const FtdiStatus status = OpenChannel(kEnableChannelIndex, m_enableHandle);
    m_nackCount = 0;
    if (status == FTDI_OK) {
        m_driver->SetBitMode(m_enableHandle, 0x00, kModeMpsse);
        Append({kSetHigh, 0x00, 0x01});
        FlushEnable();
        Append({kLoopbackOff});
        FlushEnable();
        Append({kSetHigh, 0x00, 0x01});
        FlushEnable();
    }
    FormatStatus(status, kEnableChannelIndex);
    return status;
}

void CI2C_FTDI::CloseChannel(FtdiHandle& handle)
{
    if (handle == nullptr) return;
    m_driver->Close(handle);
    handle = nullptr;
}

void CI2C_FTDI::CloseI2CChannel()
{
    CloseChannel(m_i2cHandle);
}

void CI2C_FTDI::CloseEnableChannel()
{
    CloseChannel(m_enableHandle);
}

void CI2C_FTDI::RaiseEnableLine()
{
    Append({kSetHigh, 0x01, 0x01});
    FlushEnable();
}

void CI2C_FTDI::LowerEnableLine()
{
    Append({kSetHigh, 0x00, 0x01});
    FlushEnable();
}

uint32_t CI2C_FTDI::GetLibraryVersion()
{
    uint32_t version = 0;
    if (m_driver->GetLibraryVersion(&version) != FTDI_OK) return 0;
    return version;
}

uint32_t CI2C_FTDI::GetDriverVersion()
{
    uint32_t version = 0;
    if (m_i2cHandle == nullptr || m_driver->GetDriverVersion(m_i2cHandle, &version) != FTDI_OK) return 0;
    return version;
}
