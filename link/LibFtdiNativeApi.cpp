#include "link/LibFtdiNativeApi.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "link/LibFtdiDriver.h"

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

// Here rather than with the backend's logic, which builds without libftdi1.
CLibFtdiDriver::CLibFtdiDriver() : CLibFtdiDriver(std::make_unique<CLibFtdiNativeApi>()) {}

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

std::vector<uint8_t> CLibFtdiNativeApi::GetPortPath(Device device)
{
    uint8_t ports[8] = {};  // the USB tree is at most seven hubs deep
    const int depth = libusb_get_port_numbers(AsUsb(device), ports, int(sizeof ports));
    if (depth < 0)
        return {};
    return std::vector<uint8_t>(ports, ports + depth);
}

CLibFtdiApi::Context CLibFtdiNativeApi::NewContext(int interfaceIndex)
{
    ftdi_context* ftdi = ftdi_new();
    if (!ftdi)
        return nullptr;
    // The interface must be chosen before the device is opened; it stays.
    if (ftdi_set_interface(ftdi, static_cast<ftdi_interface>(INTERFACE_A + interfaceIndex)) < 0) {
        ftdi_free(ftdi);
        return nullptr;
    }
    return ftdi;
}

void CLibFtdiNativeApi::FreeContext(Context context)
{
    ftdi_free(AsFtdi(context));
}

int CLibFtdiNativeApi::Open(Context context, Device device, int* osError)
{
    errno = 0;
    const int result = ftdi_usb_open_dev(AsFtdi(context), AsUsb(device));
    // libftdi keeps only its own code; errno still tells a missing permission
    // (EACCES) from a channel another program has claimed (EBUSY).
    *osError = result < 0 ? errno : 0;
    return result;
}

int CLibFtdiNativeApi::Close(Context context)
{
    // Also after a failed open, some of whose paths leave the USB handle open.
    return ftdi_usb_close(AsFtdi(context));
}

std::string CLibFtdiNativeApi::ErrorString(Context context)
{
    const char* text = ftdi_get_error_string(AsFtdi(context));
    return text ? text : "";
}

void CLibFtdiNativeApi::SetUsbTimeouts(Context context, int milliseconds)
{
    AsFtdi(context)->usb_read_timeout = milliseconds;
    AsFtdi(context)->usb_write_timeout = milliseconds;
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
