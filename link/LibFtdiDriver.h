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

#include "link/FtdiDriver.h"
#include "link/LibFtdiApi.h"

// True when a write of these MPSSE command bytes makes the chip answer and no
// send-immediate (0x87) follows the last command that answers. False as well
// when the bytes are not a whole run of commands this backend knows (a command
// cut off at the end, an unknown opcode): an added byte could land inside it.
bool MpsseWriteNeedsSendImmediate(const uint8_t* data, size_t size);

// Packs a version the vendor's way: 0x00MMmmuu, each field two decimal digits.
uint32_t PackFtdiVersion(const LibFtdiVersion& version);

class CLibFtdiDriver : public CFtdiDriver {
public:
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint8_t kMpsseMode = 0x02;
    static constexpr uint8_t kSendImmediate = 0x87;
    static constexpr uint8_t kLatencyMs = 1;
    static constexpr uint64_t kReadTimeoutUs = 1000000;
    static constexpr uint32_t kReadPollUs = 250;

    // Uses the installed libftdi1.
    CLibFtdiDriver();
    explicit CLibFtdiDriver(std::unique_ptr<CLibFtdiApi> api);
    ~CLibFtdiDriver() override;
    CLibFtdiDriver(const CLibFtdiDriver&) = delete;
    CLibFtdiDriver& operator=(const CLibFtdiDriver&) = delete;

    FtdiStatus CreateDeviceInfoList(uint32_t* count) override;
    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) override;
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

private:
    // One device index: a channel of a chip found by the last listing.
    struct Entry {
        CLibFtdiApi::Device device = nullptr;
        uint32_t location = 0;
        int interfaceIndex = 0;
        uint16_t product = 0;
        std::string serial;
    };
    struct Channel {
        CLibFtdiApi::Context context = nullptr;
        uint32_t location = 0;
        int interfaceIndex = 0;
        uint8_t mode = 0;
    };

    FtdiStatus List();
    bool IsOpen(uint32_t location, int interfaceIndex) const;
    Channel* Find(FtdiHandle handle);

    std::unique_ptr<CLibFtdiApi> m_api;
    std::vector<Entry> m_entries;
    bool m_listed = false;
    // Handles are serial numbers, never reused, so a stale handle cannot reach
    // a channel opened later.
    std::map<uintptr_t, Channel> m_channels;
    uintptr_t m_nextHandle = 1;
    std::vector<uint8_t> m_sendBuffer;
};
