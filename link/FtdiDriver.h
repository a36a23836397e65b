#pragma once
// The FTDI driver as the link needs it: ten roles, whatever library is behind
// them (libftdi1 on a real cable, the simulated cable in tests and without
// hardware, the vendor's D2XX library on Windows).

#include <cstdint>
#include <cstring>
#include <string>

using FtdiHandle = void*;     // opaque; null means "not open"
using FtdiStatus = uint32_t;  // 0 is success, anything else a failure

// Status values the backends report. Only 0 is ever tested by the link.
enum : FtdiStatus {
    FTDI_OK = 0,
    FTDI_INVALID_HANDLE = 1,
    FTDI_DEVICE_NOT_FOUND = 2,
    FTDI_DEVICE_NOT_OPENED = 3,
    FTDI_IO_ERROR = 4,
    FTDI_INVALID_PARAMETER = 6,
    FTDI_OTHER_ERROR = 18,
};

// One entry of the device list, laid out as the vendor's list node on a 32-bit
// build: 100 bytes, with the NUL-terminated serial text at byte 16.
struct FtdiDeviceRecord {
    static constexpr int kSize = 100;
    static constexpr int kSerialOffset = 16;
    static constexpr int kSerialSize = 16;
    uint8_t bytes[kSize] = {};

    std::string Serial() const;
    void SetSerial(const std::string& serial);  // truncated to 15 characters
};

class CFtdiDriver {
public:
    static constexpr int kMaxRecords = 16;

    virtual ~CFtdiDriver() = default;

    // Counts the attached devices (channels). The status is not relied on.
    virtual FtdiStatus CreateDeviceInfoList(uint32_t* count) = 0;
    // Fills one record per device into a store of kMaxRecords records.
    virtual FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) = 0;
    // Opens a device by index. On failure *handle is left untouched.
    virtual FtdiStatus Open(int index, FtdiHandle* handle) = 0;
    virtual FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) = 0;
    // Hands the whole buffer to the device in one call.
    virtual FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count,
                             uint32_t* written) = 0;
    // Blocking counted read: returns when count bytes arrived or the device gave up.
    virtual FtdiStatus Read(FtdiHandle handle, uint8_t* buffer, uint32_t count,
                            uint32_t* received) = 0;
    virtual FtdiStatus Close(FtdiHandle handle) = 0;
    // Drops whatever the device has received and not yet handed over (late
    // replies of an exchange whose read gave up), so the next read starts in step.
    virtual FtdiStatus Purge(FtdiHandle handle) = 0;
    virtual FtdiStatus GetDriverVersion(FtdiHandle handle, uint32_t* version) = 0;
    virtual FtdiStatus GetLibraryVersion(uint32_t* version) = 0;
};
