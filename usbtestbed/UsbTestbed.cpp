#include "usbtestbed/UsbTestbed.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include <link.h>
#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <unistd.h>
#include <umockdev.h>

#include "util/TextFormat.h"
#include "sim/SimulatedBoard.h"
#include "usbtestbed/Ft2232hChip.h"

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr int kUsbDeviceMajor = 189;
// Stands for "another program" as the holder of a claimed interface.
const int kElsewhere = 0;
const void* const kOtherProgram = &kElsewhere;

// Places of cables 1, 2, 3, ...: not in the order of the USB tree, so that a
// program's listing shows whether it sorts by place (bus, then ports).
const CUsbTestbed::Place kPlaces[CUsbTestbed::kMaxCables] = {
    {2, {1}}, {1, {3, 2}}, {1, {3, 1}}, {1, {1}}, {3, {1}}, {3, {2}}, {3, {3}}, {3, {4}},
};

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char pair[3];
    for (const uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

std::string HexWord(uint16_t value)
{
    return FormatText("%04x", value);
}

std::string Number3(int n)
{
    char text[8];
    std::snprintf(text, sizeof text, "%03d", n);
    return text;
}

// A hub's descriptors: device, then a configuration with one interface and
// its interrupt endpoint.
std::vector<uint8_t> HubDescriptors(uint16_t vendor, uint16_t product)
{
    return {18, 1, 0x00, 0x02, 0x09, 0x00, 0x01, 64, static_cast<uint8_t>(vendor & 0xFF),
            static_cast<uint8_t>(vendor >> 8), static_cast<uint8_t>(product & 0xFF),
            static_cast<uint8_t>(product >> 8), 0x00, 0x01, 0, 0, 0, 1,
            9, 2, 25, 0, 1, 1, 0, 0xE0, 0,
            9, 4, 0, 0, 1, 0x09, 0, 0, 0,
            7, 5, 0x81, 0x03, 4, 0, 12};
}

struct DeviceRecord {
    std::string syspath;  // under /sys, without it
    int bus = 0;
    int devnum = 0;
    std::vector<uint8_t> descriptors;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string product;  // the PRODUCT property: vvvv/pppp/rrrr in hex without leading zeros
};

std::string RecordText(const DeviceRecord& d)
{
    const std::string node = "bus/usb/" + Number3(d.bus) + "/" + Number3(d.devnum);
    const int minor = (d.bus - 1) * 128 + d.devnum - 1;
    std::string text = "P: " + d.syspath + "\nN: " + node + "\n";
    text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    text += "E: DEVNAME=/dev/" + node + "\n";
    text += "E: BUSNUM=" + Number3(d.bus) + "\nE: DEVNUM=" + Number3(d.devnum) + "\n";
    text += "E: MAJOR=" + std::to_string(kUsbDeviceMajor) + "\nE: MINOR=" + std::to_string(minor) + "\n";
    text += "E: PRODUCT=" + d.product + "\n";
    text += "A: busnum=" + std::to_string(d.bus) + "\\n\nA: devnum=" + std::to_string(d.devnum) + "\\n\n";
    text += "A: dev=" + std::to_string(kUsbDeviceMajor) + ":" + std::to_string(minor) + "\\n\n";
    text += "A: bConfigurationValue=1\\n\nA: speed=480\\n\n";
    for (const auto& [name, value] : d.attributes) text += "A: " + name + "=" + value + "\\n\n";
    text += "H: descriptors=" + Hex(d.descriptors) + "\n";
    return text;
}

std::string PortsText(const std::vector<uint8_t>& ports, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) text += (i ? "." : "") + std::to_string(ports[i]);
    return text;
}

std::string HostSyspath(int bus)
{
    return "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus);
}

// The sysfs path of the device at ports[0..count) on the bus.
std::string Syspath(int bus, const std::vector<uint8_t>& ports, size_t count)
{
    std::string path = HostSyspath(bus);
    for (size_t depth = 1; depth <= count; ++depth)
        path += "/" + std::to_string(bus) + "-" + PortsText(ports, depth);
    return path;
}

// A URB the handler has taken, until it is reaped.
struct Urb {
    UMockdevIoctlData* data = nullptr;  // one reference held
    unsigned long clientAddress = 0;
    uint8_t type = 0;
    uint8_t endpoint = 0;
    int bufferLength = 0;
    int status = 0;
    int actualLength = 0;
    std::vector<uint8_t> in;  // bytes for the client's buffer (after the setup packet of a control URB)
};

void Release(Urb& urb)
{
    if (urb.data) g_object_unref(urb.data);
    urb.data = nullptr;
}

// One open file descriptor of the node: its URBs, kept apart from the others'.
struct Client {
    std::deque<Urb> done;     // complete, reaped in this order
    std::deque<Urb> waiting;  // bulk IN transfers the chip has not ended yet
};

}  // namespace

bool ParseUsbFault(const std::string& text, UsbFaultPlan* plan)
{
    if (text == "busy") {
        *plan = {UsbFault::Busy, 0};
        return true;
    }
    if (text == "permission") {
        *plan = {UsbFault::Permission, 0};
        return true;
    }
    const struct {
        const char* prefix;
        UsbFault kind;
    } counted[] = {{"unplug-after:", UsbFault::UnplugAfter},
                   {"mute-after:", UsbFault::MuteAfter},
                   {"late-reply:", UsbFault::LateReply}};
    for (const auto& c : counted) {
        const std::string prefix = c.prefix;
        if (text.rfind(prefix, 0) != 0) continue;
        const std::string number = text.substr(prefix.size());
        if (number.empty() || number.size() > 9 ||
            !std::all_of(number.begin(), number.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
            return false;
        *plan = {c.kind, std::stoi(number)};
        return true;
    }
    return false;
}

struct CUsbTestbed::Impl {
    UMockdevTestbed* testbed = nullptr;
    std::mutex mutex;
    std::set<std::string> made;  // sysfs paths of the hubs added so far
    std::map<int, int> lastDevnum;
    bool root = geteuid() == 0;

    int NextDevnum(int bus) { return ++lastDevnum[bus]; }
    bool Add(const DeviceRecord& record, std::string* error)
    {
        GError* failure = nullptr;
        if (!umockdev_testbed_add_from_string(testbed, RecordText(record).c_str(), &failure)) {
            if (error) *error = failure ? failure->message : "umockdev did not take the device";
            if (failure) g_error_free(failure);
            return false;
        }
        made.insert(record.syspath);
        return true;
    }
    // The root hub of the bus and the hubs above ports[0..depth), as needed.
    bool AddHubs(int bus, const std::vector<uint8_t>& ports, std::string* error)
    {
        if (!made.count(HostSyspath(bus))) {
            DeviceRecord hub{HostSyspath(bus), bus, NextDevnum(bus), HubDescriptors(0x1D6B, 0x0002),
                             {{"idVendor", "1d6b"}, {"idProduct", "0002"}, {"bNumInterfaces", " 1"}}, "1d6b/2/100"};
            if (!Add(hub, error)) return false;
        }
        for (size_t depth = 1; depth < ports.size(); ++depth) {
            const std::string path = Syspath(bus, ports, depth);
            if (made.count(path)) continue;
            DeviceRecord hub{path, bus, NextDevnum(bus), HubDescriptors(0x05E3, 0x0610),
                             {{"idVendor", "05e3"}, {"idProduct", "0610"}, {"bNumInterfaces", " 1"},
                              {"devpath", PortsText(ports, depth)}},
                             "5e3/610/100"};
            if (!Add(hub, error)) return false;
        }
        return true;
    }
};

struct CUsbTestbed::Cable {
    CUsbTestbed::Impl* bed = nullptr;
    std::string serial;
    Place place;
    int devnum = 0;
    std::string syspath;  // with /sys in front, as umockdev removes it
    std::string devnode;
    std::unique_ptr<CSimulatedBoard> board;
    std::unique_ptr<CFt2232hChip> chip;
    UMockdevIoctlBase* handler = nullptr;
    gulong handlerId = 0;
    UsbFaultPlan fault;
    bool unplugged = false;
    bool removed = false;
    bool muted = false;
    bool lateArmed = false;
    std::vector<uint8_t> lateBytes;
    const void* holder[CFt2232hChip::kChannels] = {};
    std::map<UMockdevIoctlClient*, Client> clients;
    UsbCableStats stats;

    void DropClients();
    gboolean Handle(UMockdevIoctlClient* client);
    Client& ClientOf(UMockdevIoctlClient* client);
    void Sweep();
    void CountWrite(int channel);
    void LateBytesArrive(int channel);
    bool Submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    void Reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    bool TryEnd(Urb& urb);
    int ControlTransfer(const UsbSetup& setup, const uint8_t* out, std::vector<uint8_t>* in);
};

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    return static_cast<CUsbTestbed::Cable*>(data)->Handle(client);
}

}  // namespace

void CUsbTestbed::Cable::DropClients()
{
    for (auto& [client, state] : clients) {
        for (Urb& urb : state.done) Release(urb);
        for (Urb& urb : state.waiting) Release(urb);
        g_object_unref(client);
    }
    clients.clear();
}

Client& CUsbTestbed::Cable::ClientOf(UMockdevIoctlClient* client)
{
    auto it = clients.find(client);
    if (it != clients.end()) return it->second;
    g_object_ref(client);
    return clients[client];
}

void CUsbTestbed::Cable::Sweep()
{
    // umockdev notes a closed file descriptor in its client, without a word
    // to the handler: look before each call.
    for (auto it = clients.begin(); it != clients.end();) {
        UMockdevIoctlClient* client = it->first;
        if (umockdev_ioctl_client_get_connected(client)) {
            ++it;
            continue;
        }
        // Closing the file descriptor releases its interfaces and its URBs.
        for (const void*& h : holder)
            if (h == client) h = nullptr;
        for (Urb& urb : it->second.done) Release(urb);
        for (Urb& urb : it->second.waiting) Release(urb);
        it = clients.erase(it);
        g_object_unref(client);
    }
}

void CUsbTestbed::Cable::CountWrite(int channel)
{
    if (channel != 1) return;
    const uint64_t writes = stats.bulkOut[1];
    if (fault.count <= 0 || writes != static_cast<uint64_t>(fault.count)) return;
    switch (fault.kind) {
    case UsbFault::UnplugAfter: unplugged = true; break;
    case UsbFault::MuteAfter: muted = true; break;
    case UsbFault::LateReply: lateArmed = true; break;
    default: break;
    }
}

void CUsbTestbed::Cable::LateBytesArrive(int channel)
{
    if (channel != 1 || lateBytes.empty()) return;
    chip->Deliver(1, lateBytes);
    lateBytes.clear();
}

int CUsbTestbed::Cable::ControlTransfer(const UsbSetup& setup, const uint8_t* out, std::vector<uint8_t>* in)
{
    ++stats.controlTransfers;
    // A vendor request for channel B comes after the late byte.
    if ((setup.requestType & 0x60) == 0x40 && (setup.index & 0xFF) == 2) LateBytesArrive(1);
    if (!chip->Control(setup, out, in)) return -EPIPE;
    return setup.DeviceToHost() ? static_cast<int>(in->size()) : setup.length;
}

bool CUsbTestbed::Cable::TryEnd(Urb& urb)
{
    const int channel = CFt2232hChip::ChannelOfEndpoint(urb.endpoint);
    if (muted || channel < 0) return false;
    if (!chip->BulkIn(channel, static_cast<size_t>(urb.bufferLength), &urb.in)) return false;
    if (channel == 1 && lateArmed && urb.in.size() % CFt2232hChip::kPacketSize > 2) {
        lateBytes.push_back(urb.in.back());
        urb.in.pop_back();
        lateArmed = false;
    }
    urb.actualLength = static_cast<int>(urb.in.size());
    urb.status = 0;
    const size_t packets = (urb.in.size() + CFt2232hChip::kPacketSize - 1) / CFt2232hChip::kPacketSize;
    ++stats.bulkIn[channel];
    const size_t data = urb.in.size() - 2 * packets;
    if (data > 0) ++stats.bulkInWithData[channel];
    stats.bytesIn[channel] += data;
    return true;
}

bool CUsbTestbed::Cable::Submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg)
{
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!data) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return true;
    }
    auto* raw = reinterpret_cast<usbdevfs_urb*>(data->data);
    Urb urb;
    urb.data = data;
    urb.clientAddress = data->client_addr;
    urb.type = raw->type;
    urb.endpoint = raw->endpoint;
    urb.bufferLength = raw->buffer_length;
    UMockdevIoctlData* buffer = nullptr;
    if (raw->buffer_length > 0)
        buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                             static_cast<gsize>(raw->buffer_length), nullptr);
    const uint8_t* bytes = buffer ? buffer->data : nullptr;
    int error = 0;
    if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
        if (!bytes || urb.bufferLength < 8) {
            error = EINVAL;
        } else {
            const UsbSetup setup = UsbSetup::Parse(bytes);
            const int result = ControlTransfer(setup, bytes + 8, &urb.in);
            urb.status = result < 0 ? result : 0;
            // The setup packet is not counted in the length the kernel reports.
            urb.actualLength = result < 0 ? 0 : result;
            state.done.push_back(urb);
        }
    } else if (urb.type == USBDEVFS_URB_TYPE_BULK) {
        const int channel = CFt2232hChip::ChannelOfEndpoint(urb.endpoint);
        if (urb.bufferLength < 0 || (urb.bufferLength > 0 && !bytes)) {
            error = EFAULT;
        } else if (channel < 0) {
            error = ENOENT;
        } else if (holder[channel] != nullptr && holder[channel] != client) {
            error = EBUSY;
        } else if ((urb.endpoint & 0x80) != 0) {
            state.waiting.push_back(urb);
        } else {
            LateBytesArrive(channel);
            chip->BulkOut(channel, bytes, static_cast<size_t>(urb.bufferLength));
            ++stats.bulkOut[channel];
            stats.bytesOut[channel] += static_cast<uint64_t>(urb.bufferLength);
            urb.actualLength = urb.bufferLength;
            state.done.push_back(urb);
            CountWrite(channel);
        }
    } else {
        error = EINVAL;  // no interrupt or isochronous endpoints on this chip
    }
    if (buffer) g_object_unref(buffer);
    if (error != 0) {
        Release(urb);
        umockdev_ioctl_client_complete(client, -1, error);
    } else {
        umockdev_ioctl_client_complete(client, 0, 0);
    }
    return true;
}

void CUsbTestbed::Cable::Reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg)
{
    if (state.done.empty()) {
        for (auto it = state.waiting.begin(); it != state.waiting.end(); ++it) {
            if (!TryEnd(*it)) continue;
            state.done.push_back(*it);
            state.waiting.erase(it);
            break;
        }
    }
    if (state.done.empty()) {
        ++stats.reapPolls;
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return;
    }
    Urb urb = state.done.front();
    state.done.pop_front();
    auto* raw = reinterpret_cast<usbdevfs_urb*>(urb.data->data);
    raw->status = urb.status;
    raw->actual_length = urb.actualLength;
    const size_t offset = urb.type == USBDEVFS_URB_TYPE_CONTROL ? 8 : 0;
    if (!urb.in.empty() && raw->buffer &&
        offset + urb.in.size() <= static_cast<size_t>(std::max(urb.bufferLength, 0)))
        std::memcpy(static_cast<uint8_t*>(raw->buffer) + offset, urb.in.data(), urb.in.size());
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (pointer) {
        umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(pointer);
    } else {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
    }
    Release(urb);
}

gboolean CUsbTestbed::Cable::Handle(UMockdevIoctlClient* client)
{
    std::lock_guard<std::mutex> lock(bed->mutex);
    ++stats.ioctls;
    Sweep();
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    Client& state = ClientOf(client);
    if (unplugged) {
        // The URBs taken before come back as the kernel hands them back at a
        // disconnect (libusb ends their transfers as "no device": it cannot
        // see the disconnect otherwise, polling the node never reports an
        // error here); after them, and for every other call, ENODEV.
        const bool reap = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB;
        if (reap) {
            for (Urb& urb : state.waiting) {
                urb.status = -ESHUTDOWN;
                urb.actualLength = 0;
                urb.in.clear();
                state.done.push_back(urb);
            }
            state.waiting.clear();
        }
        if (reap && !state.done.empty()) {
            Reap(client, state, arg);
        } else {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
        }
        return TRUE;
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
        if (!caps) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        const uint32_t value = USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        std::memcpy(caps->data, &value, sizeof value);
        g_object_unref(caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        UMockdevIoctlData* number = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
        unsigned int interface = 0;
        if (number) {
            std::memcpy(&interface, number->data, sizeof interface);
            g_object_unref(number);
        }
        int error = 0;
        if (!number) {
            error = EFAULT;
        } else if (interface >= static_cast<unsigned>(chip->Channels())) {
            error = ENOENT;
        } else if (request == USBDEVFS_CLAIMINTERFACE && fault.kind == UsbFault::Permission && bed->root) {
            // Root opens any node, so the handler says no in the node's place.
            error = EACCES;
            ++stats.refusedClaims;
        } else if (request == USBDEVFS_CLAIMINTERFACE) {
            if (holder[interface] != nullptr && holder[interface] != client) {
                error = EBUSY;
                ++stats.refusedClaims;
            } else {
                if (holder[interface] == nullptr) ++stats.claims[interface];
                holder[interface] = client;
            }
        } else if (holder[interface] == client) {
            holder[interface] = nullptr;
        } else {
            error = EINVAL;
        }
        umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        return TRUE;
    }
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData* query = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
        if (!query) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        auto* driver = reinterpret_cast<usbdevfs_getdriver*>(query->data);
        int error = ENODATA;  // no kernel driver on either interface
        if (driver->interface < static_cast<unsigned>(CFt2232hChip::kChannels) && holder[driver->interface] &&
            holder[driver->interface] != client) {
            // Another program's claim shows as the usbfs driver.
            std::snprintf(driver->driver, sizeof driver->driver, "usbfs");
            error = 0;
        }
        g_object_unref(query);
        umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        return TRUE;
    }
    case USBDEVFS_IOCTL: {
        UMockdevIoctlData* command = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
        int code = 0;
        if (command) {
            code = reinterpret_cast<usbdevfs_ioctl*>(command->data)->ioctl_code;
            g_object_unref(command);
        }
        // Detaching a kernel driver: there is none to detach.
        const int error = !command ? EFAULT : code == static_cast<int>(USBDEVFS_DISCONNECT) ? ENODATA : 0;
        umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        return TRUE;
    }
    case USBDEVFS_SUBMITURB: return Submit(client, state, arg);
    case USBDEVFS_REAPURB:  // never waits here: the caller polls
    case USBDEVFS_REAPURBNDELAY: Reap(client, state, arg); return TRUE;
    case USBDEVFS_DISCARDURB: {
        unsigned long address = 0;
        std::memcpy(&address, arg->data, sizeof address);
        const auto it = std::find_if(state.waiting.begin(), state.waiting.end(),
                                     [&](const Urb& urb) { return urb.clientAddress == address; });
        if (it == state.waiting.end()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        Urb urb = *it;
        state.waiting.erase(it);
        urb.status = -ENOENT;
        urb.actualLength = 0;
        urb.in.clear();
        state.done.push_back(urb);
        ++stats.discards;
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_CONTROL: {
        UMockdevIoctlData* transfer = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr);
        if (!transfer) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        auto* ctrl = reinterpret_cast<usbdevfs_ctrltransfer*>(transfer->data);
        const uint8_t header[8] = {ctrl->bRequestType, ctrl->bRequest,
                                   static_cast<uint8_t>(ctrl->wValue & 0xFF), static_cast<uint8_t>(ctrl->wValue >> 8),
                                   static_cast<uint8_t>(ctrl->wIndex & 0xFF), static_cast<uint8_t>(ctrl->wIndex >> 8),
                                   static_cast<uint8_t>(ctrl->wLength & 0xFF), static_cast<uint8_t>(ctrl->wLength >> 8)};
        const UsbSetup setup = UsbSetup::Parse(header);
        UMockdevIoctlData* buffer =
            setup.length ? umockdev_ioctl_data_resolve(transfer, offsetof(usbdevfs_ctrltransfer, data), setup.length,
                                                       nullptr)
                         : nullptr;
        std::vector<uint8_t> in;
        const int result = ControlTransfer(setup, buffer ? buffer->data : nullptr, &in);
        if (result >= 0 && buffer && setup.DeviceToHost()) std::memcpy(buffer->data, in.data(), in.size());
        if (buffer) g_object_unref(buffer);
        g_object_unref(transfer);
        umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? -result : 0);
        return TRUE;
    }
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
    case USBDEVFS_CLEAR_HALT:
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
}

CUsbTestbed::CUsbTestbed() : m_impl(std::make_unique<Impl>())
{
    m_impl->testbed = umockdev_testbed_new();
}

CUsbTestbed::~CUsbTestbed()
{
    // umockdev's worker thread outlives the test bed object and tells of a
    // closed file descriptor a little after the process that held it ended:
    // wait for that, so no callback can come for a cable that is gone.
    for (int waited = 0; waited < 400; ++waited) {
        {
            std::lock_guard<std::mutex> lock(m_impl->mutex);
            bool open = false;
            for (auto& cable : m_cables) {
                cable->Sweep();
                open = open || !cable->clients.empty();
            }
            if (!open) break;
        }
        usleep(5000);
    }
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        for (auto& cable : m_cables) {
            if (cable->handlerId) g_signal_handler_disconnect(cable->handler, cable->handlerId);
            cable->handlerId = 0;
            cable->DropClients();
        }
    }
    g_object_unref(m_impl->testbed);
    for (auto& cable : m_cables)
        if (cable->handler) g_object_unref(cable->handler);
    m_cables.clear();
}

CUsbTestbed::Place CUsbTestbed::PlaceOf(int cable)
{
    return kPlaces[std::clamp(cable, 0, kMaxCables - 1)];
}

std::string CUsbTestbed::PlaceText(const Place& place)
{
    return "usb " + std::to_string(place.bus) + "-" + PortsText(place.ports, place.ports.size());
}

int CUsbTestbed::AddCable(const std::string& serial, std::unique_ptr<CSimulatedBoard> board, std::string* error,
                          uint16_t vendor, uint16_t product, bool singleChannel)
{
    if (CableCount() >= kMaxCables) {
        if (error) *error = "at most " + std::to_string(kMaxCables) + " cables";
        return -1;
    }
    auto cable = std::make_unique<Cable>();
    cable->bed = m_impl.get();
    cable->serial = serial;
    cable->place = PlaceOf(CableCount());
    cable->board = std::move(board);
    auto driver = cable->board->Driver();
    cable->chip = std::make_unique<CFt2232hChip>(serial, driver->Engine(0), driver->Engine(1));
    cable->chip->SetUsbIds(vendor, product);
    if (singleChannel) cable->chip->MakeSingleChannel();
    cable->chip->PowerUp();
    if (!m_impl->AddHubs(cable->place.bus, cable->place.ports, error)) return -1;

    const int bus = cable->place.bus;
    cable->devnum = m_impl->NextDevnum(bus);
    const std::string syspath = Syspath(bus, cable->place.ports, cable->place.ports.size());
    cable->syspath = "/sys" + syspath;
    cable->devnode = "/dev/bus/usb/" + Number3(bus) + "/" + Number3(cable->devnum);

    // The handler is in place before the device shows, so that a program
    // that sees it appear can open it at once.
    cable->handler = umockdev_ioctl_base_new();
    cable->handlerId = g_signal_connect(cable->handler, "handle-ioctl", G_CALLBACK(OnIoctl), cable.get());
    GError* failure = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_impl->testbed, cable->devnode.c_str(), cable->handler, &failure)) {
        if (error) *error = failure ? failure->message : "umockdev did not take the device node";
        if (failure) g_error_free(failure);
        return -1;
    }
    const CFt2232hChip& chip = *cable->chip;
    DeviceRecord record{syspath, bus, cable->devnum, chip.SysfsDescriptors(),
                        {{"idVendor", HexWord(chip.VendorId())}, {"idProduct", HexWord(chip.ProductId())},
                         {"bcdDevice", HexWord(chip.Release())}, {"bNumInterfaces", FormatText("%2d", chip.Channels())},
                         {"manufacturer", CFt2232hChip::kManufacturer}, {"product", chip.ProductName()},
                         {"serial", serial}, {"devpath", PortsText(cable->place.ports, cable->place.ports.size())}},
                        FormatText("%x/%x/%x", chip.VendorId(), chip.ProductId(), chip.Release())};
    if (!m_impl->Add(record, error)) return -1;
    m_cables.push_back(std::move(cable));
    return CableCount() - 1;
}

void CUsbTestbed::SetFault(int cable, const UsbFaultPlan& plan)
{
    if (cable < 0 || cable >= CableCount()) return;
    Cable& c = *m_cables[static_cast<size_t>(cable)];
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    c.fault = plan;
    if (plan.kind == UsbFault::Busy) {
        for (const void*& h : c.holder) h = kOtherProgram;
    }
    if (plan.kind == UsbFault::Permission && !m_impl->root) {
        // Without the udev rule the node belongs to root and nobody else may open it.
        const std::string node = RootDir() + c.devnode;
        chmod(node.c_str(), 0);
    }
    if ((plan.kind == UsbFault::UnplugAfter || plan.kind == UsbFault::MuteAfter) && plan.count == 0) {
        c.unplugged = plan.kind == UsbFault::UnplugAfter;
        c.muted = plan.kind == UsbFault::MuteAfter;
    }
}

const std::string& CUsbTestbed::Serial(int cable) const
{
    static const std::string kNone;
    return cable >= 0 && cable < CableCount() ? m_cables[static_cast<size_t>(cable)]->serial : kNone;
}

UsbCableStats CUsbTestbed::Stats(int cable) const
{
    if (cable < 0 || cable >= CableCount()) return {};
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_cables[static_cast<size_t>(cable)]->stats;
}

void CUsbTestbed::ResetStats(int cable)
{
    if (cable < 0 || cable >= CableCount()) return;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_cables[static_cast<size_t>(cable)]->stats = {};
}

void CUsbTestbed::WithBoards(const std::function<void(int, CSimulatedBoard&)>& f)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (size_t i = 0; i < m_cables.size(); ++i) f(static_cast<int>(i), *m_cables[i]->board);
}

void CUsbTestbed::AdvanceBoards(std::chrono::microseconds elapsed)
{
    WithBoards([&](int, CSimulatedBoard& board) { board.Advance(elapsed); });
}

void CUsbTestbed::Unplug(int cable)
{
    if (cable < 0 || cable >= CableCount()) return;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_cables[static_cast<size_t>(cable)]->unplugged = true;
}

bool CUsbTestbed::ProcessUnplugs()
{
    bool any = false;
    for (auto& cable : m_cables) {
        {
            std::lock_guard<std::mutex> lock(m_impl->mutex);
            if (!cable->unplugged || cable->removed) continue;
            cable->removed = true;
            // A chip without power: its engines let go of the lines.
            cable->chip->PowerUp();
        }
        umockdev_testbed_remove_device(m_impl->testbed, cable->syspath.c_str());
        any = true;
    }
    return any;
}

std::string CUsbTestbed::RootDir() const
{
    gchar* root = umockdev_testbed_get_root_dir(m_impl->testbed);
    std::string text = root ? root : "";
    g_free(root);
    return text;
}

bool CUsbTestbed::UnderPreload()
{
    // Whether the library is loaded, not whether a test bed is in use yet.
    return dl_iterate_phdr(
               [](dl_phdr_info* info, size_t, void*) {
                   return info->dlpi_name && std::strstr(info->dlpi_name, "libumockdev-preload") ? 1 : 0;
               },
               nullptr) != 0;
}

void CUsbTestbed::PreparePreloadEnvironment()
{
    const char* preload = std::getenv("LD_PRELOAD");
    std::string value = preload ? preload : "";
    if (value.find("libumockdev-preload") == std::string::npos)
        value = value.empty() ? kPreload : value + ":" + kPreload;
    setenv("LD_PRELOAD", value.c_str(), 1);
    // The preload comes before a sanitized program's runtime; that is meant.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan ? asan : "";
    if (options.find("verify_asan_link_order") == std::string::npos)
        options = options.empty() ? "verify_asan_link_order=0" : options + ":verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

bool CUsbTestbed::ReexecUnderPreload(char** argv)
{
    if (UnderPreload()) return true;
    PreparePreloadEnvironment();
    execv("/proc/self/exe", argv);
    return false;
}
