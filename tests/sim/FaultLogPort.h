#pragma once
// Fault-log command transactions one by one through the register port, and
// the fault log block's sequences for what the page does as a whole.

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
    // What the page does as a whole, through the fault log block itself.
    bool SetReadEnable(bool on) { return faultlog::SetReadEnable(port, on); }
    // The records the status announces; none when the log would not open or
    // a read was not answered.
    std::vector<faultlog::Record> Records()
    {
        faultlog::Records records{};
        const faultlog::LogRead read = faultlog::ReadLog(port, records);
        if (read.enableFailed || !read.Answered()) return {};
        return {records.begin(), records.begin() + read.count};
    }
    // The erase sequence on the current device; true when it got to the erase.
    bool EraseAll() { return faultlog::EraseLog(port).enabled; }
};
