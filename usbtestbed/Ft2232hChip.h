#pragma once
// An FTDI FT2232H as its USB side shows it, for the USB test bed: the
// descriptors of the real chip (0403:6010, two vendor-specific interfaces
// with bulk endpoints 0x81/0x02 for channel A and 0x83/0x04 for channel B,
// 512-byte packets), the FTDI vendor requests libftdi sends, and per channel
// the way data moves: bytes written to a bulk OUT endpoint go to the
// channel's MPSSE engine, its replies come back on the bulk IN endpoint in
// 512-byte packets that each begin with the two modem-status bytes.
//
// As on the chip, replies are held until a send-immediate (0x87) pushes them
// out, a packet's worth (510 bytes) has gathered, or the latency timer runs
// out since the last packet went to the host; a bulk IN with nothing to send
// gets a status-only packet once the timer has run out, and until then waits
// (the chip answers NAK).
//
// The engines are the ones the simulated cable wires (CSimulatedFtdiDriver::
// Engine(0), the enable line, and Engine(1), on the I2C bus), so the board
// behind the chip is the simulated board. Purges follow libftdi 1.5's reading
// of the reset request: value 1 drops what the host sent and the engine has
// not run yet (an unfinished command, a stall), value 2 what the chip holds
// for the host.
//
// Not thread-safe: the USB binding serialises every call. Not modelled: real
// timing of the chip and the bus, its 4 KB buffers filling up, bit-bang and
// the other non-MPSSE modes (their data is dropped), EEPROM content beyond
// the ids and strings, writing the EEPROM.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class CMpsseEngine;

// The eight bytes that lead a control transfer.
struct UsbSetup {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;

    static UsbSetup Parse(const uint8_t* bytes);
    bool DeviceToHost() const { return (requestType & 0x80) != 0; }
};

class CFt2232hChip {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductId = 0x6010;
    static constexpr uint16_t kRelease = 0x0700;  // bcdDevice: libftdi tells an FT2232H by it
    static constexpr int kChannels = 2;
    static constexpr size_t kPacketSize = 512;
    static constexpr size_t kPacketData = kPacketSize - 2;
    static constexpr uint8_t kModemStatus0 = 0x32;  // CTS, DSR idle levels as an idle chip reports
    static constexpr uint8_t kModemStatus1 = 0x60;  // transmitter empty
    static constexpr uint8_t kDefaultLatencyMs = 16;
    static constexpr const char* kManufacturer = "FTDI";
    static constexpr const char* kProduct = "Dual RS232-HS";

    // The engines are not owned and must outlive the chip; null for a
    // channel whose engine is missing (its data is dropped).
    CFt2232hChip(std::string serial, CMpsseEngine* channelA, CMpsseEngine* channelB, Clock clock = {});

    const std::string& Serial() const { return m_serial; }
    // A cable with USB ids of its own (its EEPROM programmed so); the chip
    // stays an FT2232H. Set before the cable is plugged in.
    void SetUsbIds(uint16_t vendor, uint16_t product);
    uint16_t VendorId() const { return m_vendor; }
    uint16_t ProductId() const { return m_product; }
    // A single-channel FT232H in the cable's place (a common mix-up): one
    // interface (channel A), its USB ids, release and name. Set before the
    // cable is plugged in.
    void MakeSingleChannel();
    int Channels() const { return m_channelCount; }
    uint16_t Release() const { return m_release; }
    const char* ProductName() const { return m_productName; }
    // Device descriptor followed by the configuration descriptor, as the
    // kernel shows them in sysfs ("descriptors").
    std::vector<uint8_t> SysfsDescriptors() const;
    std::vector<uint8_t> DeviceDescriptor() const;
    std::vector<uint8_t> ConfigurationDescriptor() const;
    // The 93C56 EEPROM's 128 words: ids, power, string descriptors, checksum.
    std::array<uint16_t, 128> EepromImage() const;

    // 0 for endpoints 0x81 and 0x02, 1 for 0x83 and 0x04, -1 for any other.
    static int ChannelOfEndpoint(uint8_t endpoint);

    // A control transfer on endpoint 0: OUT data in `out`, IN data returned in
    // *in (at most setup.length bytes). False when the chip stalls it.
    bool Control(const UsbSetup& setup, const uint8_t* out, std::vector<uint8_t>* in);
    // The data of a bulk OUT transfer, taken whole.
    void BulkOut(int channel, const uint8_t* data, size_t size);
    // A bulk IN transfer of at most maxLength bytes asks the chip: true when
    // it ends now, with its packets (status bytes included) in *data; false
    // while the chip still answers NAK.
    bool BulkIn(int channel, size_t maxLength, std::vector<uint8_t>* data);

    // Bytes that reach the chip for the host late (after a read gave up):
    // queued behind what it holds, to go out at once.
    void Deliver(int channel, const std::vector<uint8_t>& bytes);

    // A freshly powered chip: latency timers at their default, buffers empty,
    // engines powered up.
    void PowerUp();

    // Inspection.
    uint8_t LatencyMs(int channel) const;
    size_t HeldBytes(int channel) const;  // replies waiting for the host
    uint8_t BitMode(int channel) const;

private:
    struct Channel {
        CMpsseEngine* engine = nullptr;
        uint8_t latencyMs = kDefaultLatencyMs;
        uint8_t bitMode = 0;
        std::deque<uint8_t> held;   // replies taken from the engine, oldest first
        size_t released = 0;        // of those, pushed out by a send-immediate
        std::chrono::steady_clock::time_point lastPacket{};
    };

    Channel* ChannelOf(uint16_t index);
    void Collect(Channel& channel);
    bool Vendor(const UsbSetup& setup, std::vector<uint8_t>* in);
    bool Standard(const UsbSetup& setup, std::vector<uint8_t>* in);
    std::vector<uint8_t> StringDescriptor(int index) const;

    std::string m_serial;
    uint16_t m_vendor = kVendorId;
    uint16_t m_product = kProductId;
    uint16_t m_release = kRelease;
    int m_channelCount = kChannels;
    const char* m_productName = kProduct;
    Clock m_clock;
    std::array<Channel, kChannels> m_channels;
};
