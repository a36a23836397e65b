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
    using Context = void*;  // a libftdi context bound to one interface (channel)

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
    // Port numbers from the root hub down to the device (its place in the USB
    // tree, stable across re-plugging into the same socket); empty when unknown.
    virtual std::vector<uint8_t> GetPortPath(Device device) = 0;

    // A context for interface 0 (A), 1 (B), ..., with its own USB session;
    // null when none can be made. It outlives any number of opens and closes.
    virtual Context NewContext(int interfaceIndex) = 0;
    // Frees a context whose device is closed.
    virtual void FreeContext(Context context) = 0;
    // Opens the device on the context's interface. 0 on success; on failure a
    // negative libftdi error, with *osError the errno the failing call left.
    virtual int Open(Context context, Device device, int* osError) = 0;
    // Closes the device; the context stays ready for the next Open.
    virtual int Close(Context context) = 0;
    // libftdi's text for the context's last error.
    virtual std::string ErrorString(Context context) = 0;
    // USB read and write timeouts of every later transfer on the context.
    virtual void SetUsbTimeouts(Context context, int milliseconds) = 0;

    virtual int SetBitMode(Context context, uint8_t mask, uint8_t mode) = 0;
    virtual int SetLatencyTimer(Context context, uint8_t milliseconds) = 0;
    // Bytes handed to the chip, or a negative error.
    virtual int Write(Context context, const uint8_t* data, int size) = 0;
    // Bytes waiting from the chip, at most size, 0 when none; does not wait for more.
    virtual int Read(Context context, uint8_t* data, int size) = 0;
    // Drops the bytes the chip and the USB layer hold for the host. 0 or a negative error.
    virtual int PurgeReceive(Context context) = 0;

    virtual LibFtdiVersion GetLibraryVersion() = 0;
    virtual LibFtdiVersion GetUsbLibraryVersion() = 0;

    // Monotonic time and a pause, so that read deadlines can be tested without waiting.
    virtual uint64_t NowMicroseconds() = 0;
    virtual void SleepMicroseconds(uint32_t microseconds) = 0;
};
