#include "link/LibFtdiNativeApi.h"

#include <chrono>
#include <memory>
#include <thread>

#include <ftdi.h>
#include <libusb.h>

namespace {

ftdi_context* AsFtdi(CLibFtdiApi::Context context)
{
    return static_cast<ftdi_context*>(context);
}

libusb_device* AsUsb(CLibFtdiApi::Device device)
{
    return static_cast<libusb_device*>(device);
}

}  // namespace

CLibFtdiNativeApi::~CLibFtdiNativeApi()
{
    ReleaseDevices();
    if (m_listing)
        ftdi_free(m_listing);
}

ftdi_context* CLibFtdiNativeApi::ListingContext()
{
    if (!m_listing)
        m_listing = ftdi_new();
    return m_listing;
}

int CLibFtdiNativeApi::FindDevices(int vendor, int product, std::vector<Device>* devices)
{
    ftdi_context* ftdi = ListingContext();
    if (!ftdi)
        return -3;
    ftdi_device_list* list = nullptr;
    const int found = ftdi_usb_find_all(ftdi, &list, vendor, product);
    if (found < 0) {
        // Its error paths may leave a partial list behind.
        if (list)
            ftdi_list_free(&list);
        return found;
    }
    if (!list)
        return 0;
    m_lists.push_back(list);
    int appended = 0;
    for (ftdi_device_list* node = list; node; node = node->next) {
        devices->push_back(node->dev);
        ++appended;
    }
    return appended;
}

void CLibFtdiNativeApi::ReleaseDevices()
{
    for (ftdi_device_list*& list : m_lists)
        ftdi_list_free(&list);
    m_lists.clear();
}

int CLibFtdiNativeApi::GetSerial(Device device, std::string* serial)
{
    ftdi_context* ftdi = ListingContext();
    if (!ftdi)
        return -3;
    char text[128] = {};
    const int result = ftdi_usb_get_strings(ftdi, AsUsb(device), nullptr, 0, nullptr, 0,
                                            text, sizeof text - 1);
    if (result < 0)
        return result;
    *serial = text;
    return 0;
}

int CLibFtdiNativeApi::GetInterfaceCount(Device device)
{
    libusb_config_descriptor* config = nullptr;
    const int result = libusb_get_config_descriptor(AsUsb(device), 0, &config);
    if (result < 0)
        return result;
    const int count = config->bNumInterfaces;
    libusb_free_config_descriptor(config);
    return count;
}

uint32_t CLibFtdiNativeApi::GetLocation(Device device)
{
    return uint32_t(libusb_get_bus_number(AsUsb(device))) << 8 |
           libusb_get_device_address(AsUsb(device));
}

int CLibFtdiNativeApi::Open(Device device, int interfaceIndex, Context* context)
{
    std::unique_ptr<ftdi_context, decltype(&ftdi_free)> ftdi(ftdi_new(), &ftdi_free);
    if (!ftdi)
        return -3;
    // The interface must be chosen before the device is opened.
    int result = ftdi_set_interface(ftdi.get(), static_cast<ftdi_interface>(INTERFACE_A + interfaceIndex));
    if (result < 0)
        return result;
    result = ftdi_usb_open_dev(ftdi.get(), AsUsb(device));
    if (result < 0)
        return result;
    *context = ftdi.release();
    return 0;
}

int CLibFtdiNativeApi::SetBitMode(Context context, uint8_t mask, uint8_t mode)
{
    return ftdi_set_bitmode(AsFtdi(context), mask, mode);
}

int CLibFtdiNativeApi::SetLatencyTimer(Context context, uint8_t milliseconds)
{
    return ftdi_set_latency_timer(AsFtdi(context), milliseconds);
}

int CLibFtdiNativeApi::Write(Context context, const uint8_t* data, int size)
{
    return ftdi_write_data(AsFtdi(context), data, size);
}

int CLibFtdiNativeApi::Read(Context context, uint8_t* data, int size)
{
    return ftdi_read_data(AsFtdi(context), data, size);
}

int CLibFtdiNativeApi::PurgeReceive(Context context)
{
    return ftdi_tciflush(AsFtdi(context));
}

int CLibFtdiNativeApi::Close(Context context)
{
    const int result = ftdi_usb_close(AsFtdi(context));
    ftdi_free(AsFtdi(context));
    return result;
}

LibFtdiVersion CLibFtdiNativeApi::GetLibraryVersion()
{
    const ftdi_version_info info = ftdi_get_library_version();
    return {info.major, info.minor, info.micro};
}

LibFtdiVersion CLibFtdiNativeApi::GetUsbLibraryVersion()
{
    const libusb_version* info = libusb_get_version();
    if (!info)
        return {};
    return {info->major, info->minor, info->micro};
}

uint64_t CLibFtdiNativeApi::NowMicroseconds()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

void CLibFtdiNativeApi::SleepMicroseconds(uint32_t microseconds)
{
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
