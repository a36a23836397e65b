#pragma once
// The calls of FTDI's D2XX driver library (ftd2xx.dll) that the D2XX backend
// needs, behind one interface so that the backend's logic runs against a
// scripted table on any system. The declarations are this project's own, made
// from FTDI's D2XX Programmer's Guide; no vendor header is used. The native
// table (D2xxNativeApi, Windows) forwards each call and adds nothing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace d2xx {

// FT_STATUS: a ULONG, 32 bits on Windows whatever the build.
using Status = uint32_t;
enum : Status {
    kOk = 0,
    kInvalidHandle = 1,
    kDeviceNotFound = 2,
    kDeviceNotOpened = 3,
    kIoError = 4,
    kInsufficientResources = 5,
    kInvalidParameter = 6,
    kOtherError = 18,
    kDeviceListNotReady = 19,
};
// "FT_DEVICE_NOT_OPENED" and so on; "FT_STATUS 42" for a value the guide does not name.
std::string StatusName(Status status);

constexpr uint32_t kOpenBySerialNumber = 1;  // FT_OpenEx
constexpr uint32_t kPurgeRx = 1;             // FT_Purge
constexpr uint32_t kPurgeTx = 2;
constexpr uint32_t kFlagOpened = 1;          // list node flags
constexpr uint32_t kFlagHighSpeed = 2;

// Device types (FT_DEVICE) of the chips whose channels carry an MPSSE.
constexpr uint32_t kType2232C = 4;
constexpr uint32_t kType2232H = 6;
constexpr uint32_t kType4232H = 7;
constexpr uint32_t kType232H = 8;

// FT_DEVICE_LIST_INFO_NODE as the 64-bit library fills it: Flags, Type, ID
// (vendor << 16 | product) and LocId, 32 bits each, little-endian; the serial
// number text (16 bytes) and the description (64 bytes), NUL-terminated; the
// handle of a device this process has open (8 bytes). 104 bytes in all; the
// 32-bit library's node is 100 bytes (a 4-byte handle), so the layout is
// spelled out here rather than taken from a struct of this build.
namespace node {
constexpr size_t kSize = 104;
constexpr size_t kFlags = 0;
constexpr size_t kType = 4;
constexpr size_t kId = 8;
constexpr size_t kLocId = 12;
constexpr size_t kSerial = 16;
constexpr size_t kSerialSize = 16;
constexpr size_t kDescription = 32;
constexpr size_t kDescriptionSize = 64;
constexpr size_t kHandle = 96;
}  // namespace node

}  // namespace d2xx

class CD2xxApi {
public:
    using Handle = void*;  // FT_HANDLE

    virtual ~CD2xxApi() = default;

    // FT_CreateDeviceInfoList: takes a new snapshot of the attached devices.
    virtual d2xx::Status CreateDeviceInfoList(uint32_t* count) = 0;
    // FT_GetDeviceInfoList: fills the snapshot's nodes, d2xx::node::kSize bytes
    // each, into nodes; *count is their number (nodes has room for the count
    // CreateDeviceInfoList gave).
    virtual d2xx::Status GetDeviceInfoList(uint8_t* nodes, uint32_t* count) = 0;
    // FT_OpenEx with FT_OPEN_BY_SERIAL_NUMBER.
    virtual d2xx::Status OpenBySerial(const std::string& serial, Handle* handle) = 0;
    // FT_Open: by the index in the library's own list.
    virtual d2xx::Status OpenByIndex(int index, Handle* handle) = 0;
    virtual d2xx::Status Close(Handle handle) = 0;
    virtual d2xx::Status ResetDevice(Handle handle) = 0;
    virtual d2xx::Status SetUsbParameters(Handle handle, uint32_t inTransferSize, uint32_t outTransferSize) = 0;
    // Milliseconds after which FT_Read and FT_Write return with what they have.
    virtual d2xx::Status SetTimeouts(Handle handle, uint32_t readMs, uint32_t writeMs) = 0;
    virtual d2xx::Status SetLatencyTimer(Handle handle, uint8_t milliseconds) = 0;
    virtual d2xx::Status Purge(Handle handle, uint32_t mask) = 0;
    virtual d2xx::Status SetBitMode(Handle handle, uint8_t mask, uint8_t mode) = 0;
    virtual d2xx::Status Write(Handle handle, const uint8_t* data, uint32_t size, uint32_t* written) = 0;
    // Waits until size bytes arrived or the read timeout passed.
    virtual d2xx::Status Read(Handle handle, uint8_t* data, uint32_t size, uint32_t* received) = 0;
    // Bytes waiting to be read.
    virtual d2xx::Status GetQueueStatus(Handle handle, uint32_t* waiting) = 0;
    virtual d2xx::Status GetDriverVersion(Handle handle, uint32_t* version) = 0;
    virtual d2xx::Status GetLibraryVersion(uint32_t* version) = 0;

    // Monotonic time and a pause, so that the first-contact deadline can be
    // tested without waiting.
    virtual uint64_t NowMicroseconds() = 0;
    virtual void SleepMicroseconds(uint32_t microseconds) = 0;
};
