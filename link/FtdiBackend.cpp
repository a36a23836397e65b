#include "link/FtdiBackend.h"

#include <algorithm>

namespace {

// The record's fields besides the serial text (the 32-bit node's layout, as
// FtdiDeviceRecord says), little-endian.
constexpr int kFlagsOffset = 0;
constexpr int kTypeOffset = 4;
constexpr int kIdOffset = 8;
constexpr int kLocationOffset = 12;

void Put32(FtdiDeviceRecord& record, int offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        record.bytes[offset + i] = uint8_t(value >> (8 * i));
}

}  // namespace

FtdiStatus CFtdiBackend::CreateDeviceInfoList(uint32_t* count)
{
    if (!count)
        return FTDI_INVALID_PARAMETER;
    const FtdiStatus status = List();
    *count = uint32_t(ListedCount());
    return status;
}

FtdiStatus CFtdiBackend::GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count)
{
    if (!records || !count)
        return FTDI_INVALID_PARAMETER;
    FtdiStatus status = FTDI_OK;
    if (!m_listed)
        status = List();
    const size_t filled = std::min(ListedCount(), size_t(kMaxRecords));
    for (size_t i = 0; i < filled; ++i) {
        const Record fields = RecordOf(i);
        FtdiDeviceRecord& record = records[i];
        record = FtdiDeviceRecord{};
        Put32(record, kFlagsOffset, fields.flags);
        Put32(record, kTypeOffset, fields.type);
        Put32(record, kIdOffset, uint32_t(fields.vendor) << 16 | fields.product);
        Put32(record, kLocationOffset, fields.location);
        record.SetSerial(fields.serial);
    }
    *count = uint32_t(ListedCount());
    return status;
}

std::string CFtdiBackend::OpenFailure(int index) const
{
    const auto it = m_openFailures.find(index);
    return it == m_openFailures.end() ? std::string() : it->second;
}

FtdiStatus CFtdiBackend::Fail(int index, FtdiStatus status, std::string failure)
{
    m_openFailures[index] = std::move(failure);
    return status;
}

FtdiStatus CFtdiBackend::CheckTransfer(const void* buffer, uint32_t count, uint32_t* done)
{
    if (done)
        *done = 0;
    if (!done || (!buffer && count > 0))
        return FTDI_INVALID_PARAMETER;
    return FTDI_OK;
}
