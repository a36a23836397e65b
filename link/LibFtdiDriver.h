#pragma once
// The FTDI driver roles on Linux (and anywhere libftdi1 runs), made to behave
// as the link expects of the vendor's driver: every channel of a multi-channel
// chip is a device index of its own, an open is exclusive, and a read waits
// for the count it asked for.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/FtdiBackend.h"
#include "link/LibFtdiApi.h"
#include "link/MpsseChannel.h"

// The reason a libftdi open failed, in words for the user: libftdi's own code
// and text, the errno behind it, and what to do about a missing permission or
// a channel that another program holds.
std::string DescribeLibFtdiOpenFailure(int code, const std::string& text, int osError);

// Where a device sits in the USB tree, as Linux names it: "usb 1-2.3".
std::string UsbLocationText(uint32_t location, const std::vector<uint8_t>& ports);

// Packs a version the vendor's way: 0x00MMmmuu, each field two decimal digits.
uint32_t PackFtdiVersion(const LibFtdiVersion& version);

class CLibFtdiDriver : public CFtdiBackend {
public:
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint8_t kResetMode = first_contact::kResetMode;
    static constexpr uint8_t kMpsseMode = first_contact::kMpsseMode;
    static constexpr uint8_t kSendImmediate = mpsse::kSendImmediate;
    static constexpr uint8_t kLatencyMs = first_contact::kLatencyMs;
    // Every USB transfer gives up after this long, so a stuck chip cannot hold
    // a call for libftdi's default of 5 s.
    static constexpr int kUsbTimeoutMs = 250;
    static constexpr uint64_t kReadTimeoutUs = first_contact::kReadTimeoutUs;
    static constexpr uint64_t kSyncTimeoutUs = first_contact::kTimeoutUs;
    static constexpr uint32_t kReadPollUs = first_contact::kPollUs;
    // The channel set-up of MpsseChannel.h.
    static constexpr const auto& kFirstContact = first_contact::kBytes;
    static constexpr uint8_t kBadCommand = first_contact::kBadCommand;
    static constexpr uint8_t kSyncOpcode = first_contact::kSyncOpcode;
    // The permission advice names the rule the package and scripts/setup install.
    static constexpr const char* kUdevRule = "60-zent2-ftdi.rules";

    // Uses the installed libftdi1 (defined with the native table, so a build
    // without libftdi1 still has the backend's logic for its tests).
    CLibFtdiDriver();
    explicit CLibFtdiDriver(std::unique_ptr<CLibFtdiApi> api);
    ~CLibFtdiDriver() override;
    CLibFtdiDriver(const CLibFtdiDriver&) = delete;
    CLibFtdiDriver& operator=(const CLibFtdiDriver&) = delete;

    // Opens the channel ready for MPSSE commands (see kFirstContact); an engine
    // that does not answer in step makes the open fail.
    FtdiStatus Open(int index, FtdiHandle* handle) override;
    FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) override;
    FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count,
                     uint32_t* written) override;
    FtdiStatus Read(FtdiHandle handle, uint8_t* buffer, uint32_t count,
                    uint32_t* received) override;
    FtdiStatus Close(FtdiHandle handle) override;
    FtdiStatus Purge(FtdiHandle handle) override;
    FtdiStatus GetDriverVersion(FtdiHandle handle, uint32_t* version) override;
    FtdiStatus GetLibraryVersion(uint32_t* version) override;

    // With a serial number only that cable's channels are listed; a device
    // whose serial cannot be read stays listed (it may be the one), but opening
    // it is refused unless it fails for its own reason first.
    void SelectCable(const FtdiCableChoice& choice) override;
    FtdiDeviceDetails DeviceDetails(int index) const override;

private:
    // One device index: a channel of a chip found by the last listing.
    struct Entry {
        CLibFtdiApi::Device device = nullptr;
        uint32_t location = 0;
        std::vector<uint8_t> ports;
        int interfaceIndex = 0;
        uint16_t vendor = 0;
        uint16_t product = 0;
        uint32_t type = 0;
        std::string serial;      // as the record shows it, with the channel letter
        std::string usbSerial;   // the chip's own
        bool named = false;      // its serial could be read
    };
    struct Channel {
        CLibFtdiApi::Context context = nullptr;
        uint32_t location = 0;
        int interfaceIndex = 0;
        uint8_t mode = 0;
    };

    FtdiStatus List() override;
    size_t ListedCount() const override { return m_entries.size(); }
    Record RecordOf(size_t index) const override;
    bool IsOpen(uint32_t location, int interfaceIndex) const;
    Channel* Find(FtdiHandle handle);
    // Timeouts, latency and the MPSSE set-up of a freshly opened channel; the
    // words for the user when the engine does not answer in step.
    bool FirstContact(CLibFtdiApi::Context context, char channel, std::string* failure);
    // Contexts are made once per channel and kept for the whole session: a new
    // one costs a fresh USB session, which rescans the bus.
    CLibFtdiApi::Context TakeContext(int interfaceIndex);
    void KeepContext(int interfaceIndex, CLibFtdiApi::Context context);

    std::unique_ptr<CLibFtdiApi> m_api;
    FtdiCableChoice m_choice;
    std::vector<Entry> m_entries;
    // Handles are serial numbers, never reused, so a stale handle cannot reach
    // a channel opened later.
    std::map<uintptr_t, Channel> m_channels;
    uintptr_t m_nextHandle = 1;
    std::map<int, std::vector<CLibFtdiApi::Context>> m_idleContexts;
    std::vector<uint8_t> m_sendBuffer;
};
