#pragma once
// The FTDI driver roles on Windows, over FTDI's D2XX driver (ftd2xx.dll, which
// FTDI's standard Windows driver installs). The library is loaded at run time
// from the system folder only, so the program starts without it and says what
// is missing when a cable is needed.
//
// Behaves as the libftdi backend does: every channel is a device index, the
// chips whose channels carry an MPSSE are listed dual-channel chips first,
// --serial keeps one cable's channels, a channel opens once and goes through
// the same first contact (MpsseChannel.h), a read waits for its count until
// the deadline (here the library's read timeout), and a write that leaves
// replies in the chip gets its send-immediate.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/D2xxApi.h"
#include "link/FtdiBackend.h"
#include "link/MpsseChannel.h"

// The library's part of a failed open, for the user: "D2XX: FT_DEVICE_NOT_OPENED".
std::string DescribeD2xxOpenFailure(d2xx::Status status);

class CD2xxDriver : public CFtdiBackend {
public:
    static constexpr uint16_t kVendorId = 0x0403;
    // The USB transfer sizes FTDI's MPSSE application notes use.
    static constexpr uint32_t kTransferSize = 65536;
    // The counted read's deadline, and the write's.
    static constexpr uint32_t kReadTimeoutMs = uint32_t(first_contact::kReadTimeoutUs / 1000);
    static constexpr uint32_t kWriteTimeoutMs = 1000;
    static constexpr const char* kNotInstalled = "the FTDI D2XX driver (ftd2xx.dll) is not installed";

    // api null: the library could not be loaded, loadFailure says why (the
    // words after kNotInstalled, may be empty).
    CD2xxDriver(std::unique_ptr<CD2xxApi> api, std::string loadFailure = {});
    ~CD2xxDriver() override;
    CD2xxDriver(const CD2xxDriver&) = delete;
    CD2xxDriver& operator=(const CD2xxDriver&) = delete;

    // Opens the channel by its serial number (by the library's index when it
    // has none) and readies it for MPSSE commands; an engine that does not
    // answer in step makes the open fail.
    FtdiStatus Open(int index, FtdiHandle* handle) override;
    FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) override;
    FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count, uint32_t* written) override;
    FtdiStatus Read(FtdiHandle handle, uint8_t* buffer, uint32_t count, uint32_t* received) override;
    FtdiStatus Close(FtdiHandle handle) override;
    FtdiStatus Purge(FtdiHandle handle) override;
    FtdiStatus GetDriverVersion(FtdiHandle handle, uint32_t* version) override;
    FtdiStatus GetLibraryVersion(uint32_t* version) override;

    // A serial number keeps that cable's channels; a cable with USB ids of its
    // own is listed first, but only when the D2XX driver is bound to it.
    void SelectCable(const FtdiCableChoice& choice) override;
    std::string ListFailure() const override { return m_listFailure; }
    FtdiDeviceDetails DeviceDetails(int index) const override;

private:
    // One listed channel, as the library's node described it.
    struct Entry {
        uint32_t libraryIndex = 0;  // in the library's own list
        uint32_t flags = 0;
        uint32_t type = 0;
        uint16_t vendor = 0;
        uint16_t product = 0;
        uint32_t locId = 0;
        std::string serial;       // as the library gives it, with the channel letter
        std::string description;
        bool named = false;       // the library could read it (not open elsewhere)
    };
    struct Channel {
        CD2xxApi::Handle handle = nullptr;
        std::string serial;
        uint8_t mode = 0;
    };

    FtdiStatus List() override;
    size_t ListedCount() const override { return m_entries.size(); }
    Record RecordOf(size_t index) const override;
    Channel* Find(FtdiHandle handle);
    bool IsOpen(const Entry& entry) const;
    bool SetUp(CD2xxApi::Handle handle, char letter, std::string* failure);
    static char ChannelLetter(const Entry& entry);
    static std::string CableSerial(const Entry& entry);
    std::string NotInstalled() const;

    std::unique_ptr<CD2xxApi> m_api;
    std::string m_loadFailure;
    FtdiCableChoice m_choice;
    std::vector<Entry> m_entries;
    std::string m_listFailure;
    // Handles are serial numbers, never reused, so a stale handle cannot reach
    // a channel opened later.
    std::map<uintptr_t, Channel> m_channels;
    uintptr_t m_nextHandle = 1;
    std::vector<uint8_t> m_sendBuffer;
};
