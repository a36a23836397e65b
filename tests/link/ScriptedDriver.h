#pragma once
// A driver that records what the link hands it and answers reads from a
// script, so the exact bytes of every exchange can be checked.

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "link/FtdiDriver.h"

class CScriptedDriver : public CFtdiDriver {
public:
    struct Write {
        int channel;
        std::vector<uint8_t> bytes;
    };

    std::vector<std::string> serials{"FT1A2B3CA", "FT1A2B3CB"};
    std::vector<FtdiStatus> openFailures[2];  // statuses given by the next opens, per index
    std::deque<std::vector<uint8_t>> readScript;  // one entry per read; bytes beyond the count are dropped
    // One entry per write, then every write takes all: -1 fails it (nothing
    // taken), n >= 0 takes all but n bytes and reports success.
    std::deque<int> writeScript;

    std::vector<Write> writes;
    std::vector<std::pair<int, std::pair<uint8_t, uint8_t>>> bitModes;  // channel, mask, mode
    int listCalls = 0;
    int fetchCalls = 0;
    int opens[2] = {0, 0};
    int closes[2] = {0, 0};
    int purges[2] = {0, 0};
    int reads = 0;

    FtdiStatus CreateDeviceInfoList(uint32_t* count) override
    {
        ++listCalls;
        *count = static_cast<uint32_t>(serials.size());
        return FTDI_OK;
    }

    FtdiStatus GetDeviceInfoList(FtdiDeviceRecord* records, uint32_t* count) override
    {
        ++fetchCalls;
        for (size_t i = 0; i < serials.size() && i < static_cast<size_t>(kMaxRecords); ++i)
            records[i].SetSerial(serials[i]);
        *count = static_cast<uint32_t>(serials.size());
        return FTDI_OK;
    }

    FtdiStatus Open(int index, FtdiHandle* handle) override
    {
        if (index < 0 || index > 1) return FTDI_DEVICE_NOT_FOUND;
        ++opens[index];
        auto& failures = openFailures[index];
        if (!failures.empty()) {
            FtdiStatus status = failures.front();
            failures.erase(failures.begin());
            if (status != FTDI_OK) return status;
        }
        *handle = &m_channels[index];
        return FTDI_OK;
    }

    FtdiStatus SetBitMode(FtdiHandle handle, uint8_t mask, uint8_t mode) override
    {
        bitModes.push_back({Channel(handle), {mask, mode}});
        return FTDI_OK;
    }

    FtdiStatus Write(FtdiHandle handle, const uint8_t* buffer, uint32_t count, uint32_t* written) override
    {
        int outcome = 0;
        if (!writeScript.empty()) {
            outcome = writeScript.front();
            writeScript.pop_front();
        }
        *written = 0;
        if (outcome < 0) return FTDI_IO_ERROR;
        count -= std::min(count, static_cast<uint32_t>(outcome));
        writes.push_back({Channel(handle), std::vector<uint8_t>(buffer, buffer + count)});
        *written = count;
        return FTDI_OK;
    }

    FtdiStatus Read(FtdiHandle, uint8_t* buffer, uint32_t count, uint32_t* received) override
    {
        ++reads;
        *received = 0;
        if (readScript.empty()) return FTDI_OK;
        std::vector<uint8_t> answer = readScript.front();
        readScript.pop_front();
        const uint32_t n = answer.size() < count ? static_cast<uint32_t>(answer.size()) : count;
        if (n > 0) std::memcpy(buffer, answer.data(), n);
        *received = n;
        return FTDI_OK;
    }

    FtdiStatus Purge(FtdiHandle handle) override
    {
        ++purges[Channel(handle)];
        return FTDI_OK;
    }

    FtdiStatus Close(FtdiHandle handle) override
    {
        ++closes[Channel(handle)];
        return FTDI_OK;
    }

    FtdiStatus GetDriverVersion(FtdiHandle, uint32_t* version) override
    {
        *version = 0x00020812;
        return FTDI_OK;
    }

    FtdiStatus GetLibraryVersion(uint32_t* version) override
    {
        *version = 0x00030115;
        return FTDI_OK;
    }

    // Every byte written to one channel, in order.
    std::vector<uint8_t> WrittenTo(int channel) const
    {
        std::vector<uint8_t> all;
        for (const auto& w : writes)
            if (w.channel == channel) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
        return all;
    }

private:
    int Channel(FtdiHandle handle) const { return handle == &m_channels[0] ? 0 : 1; }
    char m_channels[2] = {};
};
