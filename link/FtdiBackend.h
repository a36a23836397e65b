#pragma once
// What the two USB backends (libftdi1, D2XX) share above their libraries:
// the listing handed out as the vendor's device records, the words of each
// index's last open failure, and the argument checks of a transfer.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "link/FtdiDriver.h"

class CFtdiBackend : public CFtdiDriver {
public:
    // Lists the devices again.
    FtdiStatus CreateDeviceInfoList(uint32_t* count) final;
    // Lists them first when not listed since the cable was chosen.
    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) final;
    std::string OpenFailure(int index) const final;

protected:
    // One listed device as its record shows it.
    struct Record {
        uint32_t flags = 0;
        uint32_t type = 0;
        uint16_t vendor = 0;
        uint16_t product = 0;
        uint32_t location = 0;
        std::string serial;
    };
    static constexpr uint32_t kFlagOpened = 1;

    // Lists the devices and sets m_listed.
    virtual FtdiStatus List() = 0;
    virtual size_t ListedCount() const = 0;
    virtual Record RecordOf(size_t index) const = 0;

    // Keeps the words of an open that failed, for OpenFailure.
    FtdiStatus Fail(int index, FtdiStatus status, std::string failure);
    void Opened(int index) { m_openFailures.erase(index); }
    // The checks every Write and Read starts with: *done is 0, and
    // FTDI_OK when the arguments can be used.
    static FtdiStatus CheckTransfer(const void* buffer, uint32_t count, uint32_t* done);

    bool m_listed = false;  // false again once another cable is chosen

private:
    std::map<int, std::string> m_openFailures;
};
