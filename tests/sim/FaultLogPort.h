#pragma once
// Fault-log command transactions as the fault log page sends them, through
// the register port.

#include <cstdint>
#include <vector>

#include "device/Tovin_I2C_Port.h"
#include "device/blocks/FaultLog.h"

struct FaultLogPort {
    CTovin_I2C_Port& port;

    std::vector<uint8_t> Read(int command, int operand, int count)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(count), 0xEE);
        if (!port.BeginCommand(command, operand)) return {};
        port.ReadBytes(bytes.data(), count);
        return bytes;
    }
    bool Send(int command, std::vector<uint8_t> data = {})
    {
        return port.BeginCommand(command, -1) &&
               port.WriteBytes(data.data(), static_cast<int>(data.size()));
    }
    std::vector<uint8_t> Status() { return Read(faultlog::kCmdStatus, -1, 2); }
    int Count()
    {
        const std::vector<uint8_t> status = Status();
        return status.size() == 2 ? faultlog::CountFromStatus(status[0], status[1]) : -1;
    }
    // The page's handshake: three attempts, each must answer the expected byte.
    bool SetReadEnable(bool on)
    {
        const int operand = on ? faultlog::kEnableOperand : faultlog::kDisableOperand;
        const uint8_t expected = on ? faultlog::kEnabledAnswer : faultlog::kDisabledAnswer;
        for (int attempt = 0; attempt < 3; ++attempt)
            if (Read(faultlog::kCmdReadEnable, operand, 1) == std::vector<uint8_t>{expected}) return true;
        return false;
    }
    // The records the status announces, read as the page reads them.
    std::vector<faultlog::Record> Records()
    {
        const int count = Count();
        std::vector<faultlog::Record> records;
        if (count <= 0 || !SetReadEnable(true)) return records;
        const std::vector<uint8_t> bytes = Read(faultlog::kCmdReadRecords, -1, faultlog::kRecordBytes * count);
        SetReadEnable(false);
        for (int r = 0; r < count && bytes.size() >= static_cast<size_t>(faultlog::kRecordBytes * count); ++r) {
            faultlog::Record record{};
            for (int i = 0; i < faultlog::kRecordBytes; ++i) record[i] = bytes[faultlog::kRecordBytes * r + i];
            records.push_back(record);
        }
        return records;
    }
    // The page's erase sequence on the current device; true when it got to the erase.
    bool EraseAll()
    {
        Send(faultlog::kCmdUnlock, {faultlog::kUnlockFirst, faultlog::kUnlockSecond});
        bool erased = false;
        if (SetReadEnable(true)) {
            Send(faultlog::kCmdErase);
            SetReadEnable(false);
            erased = true;
        }
        Send(faultlog::kCmdEndErase);
        return erased;
    }
};
