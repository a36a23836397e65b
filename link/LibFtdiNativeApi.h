#pragma once
// CLibFtdiApi over the installed libftdi1 and libusb-1.0.

#include "link/LibFtdiApi.h"

struct ftdi_context;
struct ftdi_device_list;

class CLibFtdiNativeApi : public CLibFtdiApi {
public:
    CLibFtdiNativeApi() = default;
    // Every context made through this object must be closed and freed before
    // it goes: the devices they were opened on belong to its listing context.
    ~CLibFtdiNativeApi() override;
    CLibFtdiNativeApi(const CLibFtdiNativeApi&) = delete;
    CLibFtdiNativeApi& operator=(const CLibFtdiNativeApi&) = delete;

    int FindDevices(int vendor, int product, std::vector<Device>* devices) override;
    void ReleaseDevices() override;
    int GetSerial(Device device, std::string* serial) override;
    int GetInterfaceCount(Device device) override;
    uint32_t GetLocation(Device device) override;
    std::vector<uint8_t> GetPortPath(Device device) override;

    Context NewContext(int interfaceIndex) override;
    void FreeContext(Context context) override;
    int Open(Context context, Device device, int* osError) override;
    int Close(Context context) override;
    std::string ErrorString(Context context) override;
    void SetUsbTimeouts(Context context, int milliseconds) override;

    int SetBitMode(Context context, uint8_t mask, uint8_t mode) override;
    int SetLatencyTimer(Context context, uint8_t milliseconds) override;
    int Write(Context context, const uint8_t* data, int size) override;
    int Read(Context context, uint8_t* data, int size) override;
    int PurgeReceive(Context context) override;

    LibFtdiVersion GetLibraryVersion() override;
    LibFtdiVersion GetUsbLibraryVersion() override;

    uint64_t NowMicroseconds() override;
    void SleepMicroseconds(uint32_t microseconds) override;

private:
    // Made on first use, so that constructing the backend touches no USB.
    ftdi_context* ListingContext();

    ftdi_context* m_listing = nullptr;
    std::vector<ftdi_device_list*> m_lists;  // owned; freed with ftdi_list_free
};
