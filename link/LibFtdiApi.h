#pragma once
// The raw libftdi1 / libusb calls the libftdi driver backend needs, behind one
// interface so that the backend's logic can run against a scripted cable. The
// real implementation forwards each call to the library and adds nothing.

#include <cstdint>
#include <string>
#include <vector>

struct LibFtdiVersion {
    int major = 0;
    int minor = 0;
    int micro = 0;
};

class CLibFtdiApi {
public:
    using Device = void*;   // a USB device found by FindDevices; valid until ReleaseDevices
    using Context = void*;  // one opened interface of a device

    virtual ~CLibFtdiApi() = default;

    // Appends the attached devices with these ids to *devices (USB bus order).
    // Returns how many were appended, or a negative libftdi error.
    virtual int FindDevices(int vendor, int product, std::vector<Device>* devices) = 0;
    // Frees every device found since the last call; open contexts stay usable.
    virtual void ReleaseDevices() = 0;
    // The device's USB serial number string. 0 or a negative libftdi error.
    virtual int GetSerial(Device device, std::string* serial) = 0;
    // Interfaces (channels) of the device's first configuration, or a negative error.
    virtual int GetInterfaceCount(Device device) = 0;
    // Bus number and address (bus << 8 | address): stable while the device stays plugged in.
    virtual uint32_t GetLocation(Device device) = 0;

    // Opens interface 0 (A), 1 (B), ... of the device. On success returns 0 and
    // sets *context; on failure returns a negative error and leaves *context alone.
    virtual int Open(Device device, int interfaceIndex, Context* context) = 0;
    virtual int SetBitMode(Context context, uint8_t mask, uint8_t mode) = 0;
    virtual int SetLatencyTimer(Context context, uint8_t milliseconds) = 0;
    // Bytes handed to the chip, or a negative error.
    virtual int Write(Context context, const uint8_t* data, int size) = 0;
    // Bytes waiting from the chip, at most size, 0 when none; does not wait for more.
    virtual int Read(Context context, uint8_t* data, int size) = 0;
    // Drops the bytes the chip and the USB layer hold for the host. 0 or a negative error.
    virtual int PurgeReceive(Context context) = 0;
    // Closes the interface and frees the context, whatever the result.
    virtual int Close(Context context) = 0;

    virtual LibFtdiVersion GetLibraryVersion() = 0;
    virtual LibFtdiVersion GetUsbLibraryVersion() = 0;

    // Monotonic time and a pause, so that read deadlines can be tested without waiting.
    virtual uint64_t NowMicroseconds() = 0;
    virtual void SleepMicroseconds(uint32_t microseconds) = 0;
};
