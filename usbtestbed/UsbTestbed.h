#pragma once
// Emulated FT2232H cables under the real libusb, through umockdev: each cable
// is a USB device in umockdev's test sysfs (descriptors, bus, address, place
// in the USB tree, serial) whose device node is answered by an ioctl handler
// that serves the usbdevfs calls libusb makes (URBs, claims, capabilities,
// driver queries) from a CFt2232hChip. Behind each chip sits a simulated
// board of its own, reached through the engines the simulated cable wires:
// channel A drives the enable line, channel B the I2C bus.
//
// A process sees the cables through libusb when it runs under umockdev's
// preload library with UMOCKDEV_DIR pointing at this test bed (the launcher
// sets both for its child; a test program can re-execute itself, see
// ReexecUnderPreload). The test bed must exist before that process makes its
// first libusb context. The handler runs on umockdev's worker thread; it never
// blocks and completes every call. Every cable shares one lock, which
// WithBoards takes for other threads that touch a board.
//
// Faults a user meets, per cable:
//   busy         another program holds both interfaces: claims are refused
//                with EBUSY, and the driver query names usbfs, as the kernel does.
//   permission   the device node may not be opened. For a user other than root
//                the node's mode is 0, so the open itself fails with EACCES, as
//                without the udev rule (libftdi: libusb_open() failed, -4). Root
//                opens any node and libusb's open makes no call the handler
//                could refuse, so for root the handler refuses the claim of
//                either interface with EACCES instead (libftdi: unable to claim,
//                -5, with errno 13): the same words for the user, but the
//                serial stays readable, which without the rule it is not.
//   unplug-after N  the cable is pulled out once N writes (bulk OUT transfers)
//                have reached channel B: the URBs it holds come back as at a
//                disconnect, every other call on its node fails with ENODEV,
//                and the main thread's ProcessUnplugs takes the device out of
//                sysfs.
//   mute-after N  once N writes have reached channel B, the chip's IN endpoints
//                never answer again: every read waits until libusb gives up
//                (its timeout, through DISCARDURB). Writes are still taken.
//   late-reply N the reply to the N-th write to channel B misses its last
//                byte, so the read waiting for it gives up; the byte comes in
//                afterwards, just before the next thing the host sends the
//                channel (a purge, a write): a byte that arrives after the
//                read's deadline.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CSimulatedBoard;
class CFt2232hChip;

enum class UsbFault { None, Busy, Permission, UnplugAfter, MuteAfter, LateReply };

struct UsbFaultPlan {
    UsbFault kind = UsbFault::None;
    int count = 0;
};

// Parses "busy", "permission", "unplug-after:N", "mute-after:N", "late-reply:N".
bool ParseUsbFault(const std::string& text, UsbFaultPlan* plan);

// What one cable saw, counted by its handler.
struct UsbCableStats {
    uint64_t ioctls = 0;            // every call on the node
    uint64_t controlTransfers = 0;  // control URBs and USBDEVFS_CONTROL
    uint64_t bulkOut[2] = {};       // bulk OUT transfers per channel
    uint64_t bulkIn[2] = {};        // bulk IN transfers completed by the chip per channel
    uint64_t bulkInWithData[2] = {};
    uint64_t bytesOut[2] = {};
    uint64_t bytesIn[2] = {};       // data bytes, without the status bytes
    uint64_t reapPolls = 0;         // reaps that found nothing ready
    uint64_t discards = 0;
    uint64_t claims[2] = {};        // successful claims per interface
    uint64_t refusedClaims = 0;

    uint64_t Urbs() const
    {
        return controlTransfers + bulkOut[0] + bulkOut[1] + bulkIn[0] + bulkIn[1];
    }
};

class CUsbTestbed {
public:
    static constexpr int kMaxCables = 8;

    CUsbTestbed();
    ~CUsbTestbed();
    CUsbTestbed(const CUsbTestbed&) = delete;
    CUsbTestbed& operator=(const CUsbTestbed&) = delete;

    // Plugs in a cable with this serial and its board (ownership taken), at
    // the next place of PlaceOf, showing these USB ids. Returns its number
    // (0 first), or -1 with *error set. A single-channel cable is an FT232H
    // (0403:6014, its one channel driving the board's enable line) in the
    // place of the dual-channel chip.
    int AddCable(const std::string& serial, std::unique_ptr<CSimulatedBoard> board, std::string* error,
                 uint16_t vendor = 0x0403, uint16_t product = 0x6010, bool singleChannel = false);
    int CableCount() const { return static_cast<int>(m_cables.size()); }
    void SetFault(int cable, const UsbFaultPlan& plan);

    // Where cable n is plugged in: a bus and the ports from its root hub.
    struct Place {
        int bus;
        std::vector<uint8_t> ports;
    };
    static Place PlaceOf(int cable);
    static std::string PlaceText(const Place& place);  // "usb 1-3.2", as Linux names it

    const std::string& Serial(int cable) const;
    UsbCableStats Stats(int cable) const;
    void ResetStats(int cable);
    // Runs f with every board, under the handler's lock.
    void WithBoards(const std::function<void(int cable, CSimulatedBoard& board)>& f);
    // Moves every board's clock on.
    void AdvanceBoards(std::chrono::microseconds elapsed);

    // Pulls a cable out now (its node answers ENODEV); call ProcessUnplugs
    // from the thread that made the test bed to take it out of sysfs.
    void Unplug(int cable);
    // Takes unplugged cables out of sysfs; true when one went.
    bool ProcessUnplugs();

    // The test bed's folder (what UMOCKDEV_DIR names).
    std::string RootDir() const;

    // When the calling process is not under umockdev's preload, re-executes
    // it with the preload added to LD_PRELOAD (and AddressSanitizer told not
    // to mind the library order); returns only when that fails (false). True
    // when the process already runs under the preload.
    static bool ReexecUnderPreload(char** argv);
    // Puts the preload into LD_PRELOAD and tells AddressSanitizer not to mind
    // the library order, for this process's children.
    static void PreparePreloadEnvironment();
    static bool UnderPreload();

    // Defined where the handler is; public for its callbacks.
    struct Impl;
    struct Cable;

private:
    std::unique_ptr<Impl> m_impl;
    std::vector<std::unique_ptr<Cable>> m_cables;
};
