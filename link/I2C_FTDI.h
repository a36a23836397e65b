#pragma once
// The I2C bus master made of one FTDI channel's MPSSE engine, and the cable
// session around it (the I2C channel, the enable channel and its line).
//
// A transaction is queued as MPSSE command bytes, written in one driver write
// and answered by one driver read that returns the sampled acknowledge bits
// and data bytes: one USB exchange per transaction, not one per bit.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "link/FtdiDriver.h"

class CI2C_FTDI {
public:
    static constexpr int kBufferSize = 2048;
    static constexpr int kI2CChannelIndex = 1;
    static constexpr int kEnableChannelIndex = 0;

    // Reply kinds: what one expected reply byte holds.
    enum ReplyKind : int32_t { kDataReply = 0, kAckReply = 1 };

    explicit CI2C_FTDI(std::shared_ptr<CFtdiDriver> driver);
    virtual ~CI2C_FTDI();

    CI2C_FTDI(const CI2C_FTDI&) = delete;
    CI2C_FTDI& operator=(const CI2C_FTDI&) = delete;

    // Queue. Appends return 0 on success, 1 when the buffer lacks room (then
    // nothing is appended).
    int AddStart();
    int AddStop();
    int AddWriteByte(uint8_t byte);
    int AddReadByte(int nack);
    // A write that hands over fewer bytes than queued counts as failed.
    FtdiStatus FlushI2C();
    FtdiStatus FlushEnable();
    // A read that brings fewer bytes than expected leaves the channel to be
    // purged before the next I2C write, so late bytes never pass for replies.
    int CollectReplies();
    bool AckFailed() const { return m_nackCount != 0; }
    uint8_t ReplyByte(int index) const;

    void SetRate(int kHz);
    int GetRate() const { return m_rate; }
    FtdiStatus SendClockDivisor();
    static int DivisorForRate(int kHz);

    // Session.
    int ListDevices();
    FtdiStatus OpenI2CChannel();
    FtdiStatus OpenEnableChannel();
    void CloseI2CChannel();
    void CloseEnableChannel();
    void RaiseEnableLine();
    void LowerEnableLine();
    uint32_t GetLibraryVersion();
    uint32_t GetDriverVersion();

    // Diagnostics and inspection.
    const std::string& StatusText() const { return m_statusText; }
    int DevicesFound() const { return m_devicesFound; }
    std::string DeviceSerial(int index) const;
    int CommandLength() const { return m_commandLength; }
    const uint8_t* CommandBuffer() const { return m_command.data(); }
    int ExpectedReplies() const { return m_expectedReplies; }
    int ReplyKindAt(int index) const;
    int NackCount() const { return m_nackCount; }
    int ClockDivisor() const { return m_divisor; }
    bool IsI2CChannelOpen() const { return m_i2cHandle != nullptr; }
    bool IsEnableChannelOpen() const { return m_enableHandle != nullptr; }
    bool IsOutOfStep() const { return m_outOfStep; }
    // The last write or read on the I2C channel failed in the driver (not
    // merely came up short): while it holds, the cable itself is gone or not
    // answering, rather than a device on the bus.
    bool TransfersFailing() const { return m_transfersFailing; }
    CFtdiDriver& Driver() { return *m_driver; }

private:
    bool HasRoom(int needed) const { return m_commandLength + needed < kBufferSize; }
    void Append(std::initializer_list<uint8_t> bytes);
    void RecordReply(ReplyKind kind);
    FtdiStatus Flush(FtdiHandle handle);
    FtdiStatus OpenChannel(int index, FtdiHandle& handle);
    void CloseChannel(FtdiHandle& handle);
    void FormatStatus(FtdiStatus status, int index);

    std::shared_ptr<CFtdiDriver> m_driver;

    std::array<uint8_t, kBufferSize> m_command{};
    int32_t m_commandLength = 0;
    std::array<uint8_t, kBufferSize> m_reply{};
    std::array<int32_t, kBufferSize> m_replyKinds{};
    int32_t m_expectedReplies = 0;
    int32_t m_nackCount = 0;
    int32_t m_rate = 400;
    int32_t m_divisor = 14;
    // The I2C channel may hold replies no read has taken (a read that gave up
    // early, a write that failed): purged before the next write.
    bool m_outOfStep = false;
    // The last I2C flush failed, so its replies are not waited for.
    bool m_writeFailed = false;
    bool m_transfersFailing = false;
    bool m_flushRefused = false;  // the driver refused the last flush's write

    std::array<FtdiDeviceRecord, CFtdiDriver::kMaxRecords> m_records{};
    int32_t m_devicesFound = 0;
    FtdiHandle m_i2cHandle = nullptr;
    FtdiHandle m_enableHandle = nullptr;
    std::string m_statusText;
};
