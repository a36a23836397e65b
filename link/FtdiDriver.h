#pragma once
// The FTDI driver as the link needs it: ten roles, whatever library is behind
// them (libftdi1 on a real cable, the simulated cable in tests and without
// hardware, the vendor's D2XX library on Windows).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

// Which cable to use when several are plugged in.
struct FtdiCableChoice {
    std::string serial;    // the cable's USB serial number; empty: any cable
    uint16_t vendor = 0;   // with product: a cable with USB ids of its own,
    uint16_t product = 0;  // listed before the FTDI chips; 0: none

    bool operator==(const FtdiCableChoice&) const = default;
};

// "VVVV:PPPP", two hexadecimal ids from 1 to FFFF (an optional 0x each).
bool ParseUsbIds(std::string_view text, uint16_t* vendor, uint16_t* product);

// What a backend knows of one listed device beyond its record.
struct FtdiDeviceDetails {
    std::string cableSerial;  // the chip's USB serial number, without a channel letter
    std::string location;     // where it is plugged in, e.g. "usb 1-2.3"
    char channel = 0;         // 'A', 'B', ...; 0 when unknown
    uint16_t vendor = 0;
    uint16_t product = 0;
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

    // Beyond the vendor's roles: the user's choice of cable, and words for the
    // user. A backend that has neither keeps these defaults.
    // Takes effect at the next listing.
    virtual void SelectCable(const FtdiCableChoice& choice) { (void)choice; }
    // Why the last open of this index failed, one line for the user; empty
    // when it succeeded or the backend cannot tell.
    virtual std::string OpenFailure(int index) const
    {
        (void)index;
        return {};
    }
    // Why the last listing could not look for devices at all (the driver's
    // library is missing, the listing failed), one line for the user; empty
    // when it could look, whatever it found, or the backend cannot tell.
    virtual std::string ListFailure() const { return {}; }
    // Details of a device of the last listing; empty for an unknown index.
    virtual FtdiDeviceDetails DeviceDetails(int index) const
    {
        (void)index;
        return {};
    }
};
