#pragma once
// MPSSE byte sequences of the I2C bus conditions as the link sends them, and
// small helpers to drive the simulated driver in tests.

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "sim/SimulatedFtdiDriver.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// "80 03 83" -> {0x80, 0x03, 0x83}
inline Bytes Hex(const std::string& text)
{
    Bytes bytes;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    return bytes;
}

inline Bytes Start() { return Hex("80 03 83 80 01 83 80 00 83"); }
inline Bytes Stop() { return Hex("80 01 83 80 03 83"); }
// One reply byte: the acknowledge in bit 0 (0 = ACK).
inline Bytes WriteByte(uint8_t b) { return {0x11, 0x00, 0x00, b, 0x80, 0x00, 0x81, 0x22, 0x00, 0x80, 0x00, 0x83, 0x87}; }
// One reply byte: the data; nack answers the byte with NACK.
inline Bytes ReadByte(bool nack)
{
    return {0x80, 0x00, 0x81, 0x20, 0x00, 0x00, 0x80, 0x00, 0x83,
            0x13, 0x00, static_cast<uint8_t>(nack ? 0x80 : 0x00), 0x80, 0x00, 0x83};
}

// Opens the I2C channel as the link does: MPSSE mode, lines high, loopback
// off, clock divisor.
inline FtdiHandle OpenI2C(CSimulatedFtdiDriver& driver, uint16_t divisor = 14)
{
    FtdiHandle handle = nullptr;
    if (driver.Open(CSimulatedFtdiDriver::kI2CChannel, &handle) != FTDI_OK)
        return nullptr;
    driver.SetBitMode(handle, 0x83, 2);
    const Bytes init{0x80, 0x03, 0x83, 0x85, 0x86, static_cast<uint8_t>(divisor & 0xFF),
                     static_cast<uint8_t>(divisor >> 8)};
    uint32_t written = 0;
    driver.Write(handle, init.data(), static_cast<uint32_t>(init.size()), &written);
    return handle;
}

// One exchange: the whole sequence in one write, then one read of `expected`
// bytes. Returns the bytes that came back.
inline Bytes Exchange(CSimulatedFtdiDriver& driver, FtdiHandle handle, const Bytes& commands,
                      uint32_t expected)
{
    uint32_t written = 0;
    driver.Write(handle, commands.data(), static_cast<uint32_t>(commands.size()), &written);
    Bytes reply(expected + 1);
    uint32_t received = 0;
    driver.Read(handle, reply.data(), expected, &received);
    reply.resize(received);
    return reply;
}

}  // namespace simtest
