// The emulated chip's timing of replies, on a virtual clock: what the
// end-to-end runs cannot show, since the link ends every exchange that
// expects an answer with a send-immediate.

#include <gtest/gtest.h>

#include "sim/MpsseEngine.h"
#include "usbtestbed/Ft2232hChip.h"

namespace {

using namespace std::chrono_literals;

struct Bench {
    std::chrono::steady_clock::time_point now{std::chrono::seconds(100)};
    CMpsseEngine engine;
    CFt2232hChip chip{"T1", nullptr, &engine, [this] { return now; }};

    Bench()
    {
        chip.PowerUp();
        Vendor(0x0B, 0x0200, 2);  // MPSSE on channel B
    }
    bool Vendor(uint8_t request, uint16_t value, uint16_t index, std::vector<uint8_t>* in = nullptr)
    {
        std::vector<uint8_t> ignored;
        UsbSetup setup;
        setup.requestType = in ? 0xC0 : 0x40;
        setup.request = request;
        setup.value = value;
        setup.index = index;
        setup.length = in ? 2 : 0;
        return chip.Control(setup, nullptr, in ? in : &ignored);
    }
    void Write(const std::vector<uint8_t>& bytes) { chip.BulkOut(1, bytes.data(), bytes.size()); }
    // A bulk IN; what it carried packet by packet (a long one's data as its
    // length), or "NAK" while the chip holds back.
    std::string Read(size_t size)
    {
        std::vector<uint8_t> data;
        if (!chip.BulkIn(1, size, &data)) return "NAK";
        std::string text;
        char byte[4];
        for (size_t start = 0; start < data.size(); start += CFt2232hChip::kPacketSize) {
            const size_t end = std::min(data.size(), start + CFt2232hChip::kPacketSize);
            text += text.empty() ? "|" : " |";
            for (size_t i = start; i < end; ++i) {
                if (i == start + 2 && end - start > 8) {
                    text += " ..." + std::to_string(end - start - 2);
                    break;
                }
                std::snprintf(byte, sizeof byte, " %02X", data[i]);
                text += byte;
            }
        }
        return text;
    }
};

// Clock n bytes in (each reads the idle SDA line as FF).
std::vector<uint8_t> ReadBytes(int n)
{
    return {0x20, static_cast<uint8_t>((n - 1) & 0xFF), static_cast<uint8_t>((n - 1) >> 8)};
}

TEST(Ft2232hChip, RepliesWaitForSendImmediateAFullPacketOrTheLatencyTimer)
{
    using Step = std::pair<std::chrono::microseconds, std::string>;  // wait, then what a read gets
    const struct {
        const char* name;
        uint8_t latencyMs;
        std::vector<uint8_t> written;
        std::vector<Step> reads;
        size_t size = 4096;  // libftdi's
    } cases[] = {
        {"nothing to send: a status packet once the timer runs out", 16, {},
         {{0us, "NAK"}, {15ms, "NAK"}, {1ms, "| 32 60"}, {0us, "NAK"}}},
        {"a reply waits for the latency timer", 16, {0xAA}, {{0us, "NAK"}, {15900us, "NAK"}, {100us, "| 32 60 FA AA"}}},
        {"at 1 ms it waits 1 ms", 1, {0xAA}, {{0us, "NAK"}, {1ms, "| 32 60 FA AA"}}},
        {"send-immediate sends it at once", 16, {0xAA, 0x87}, {{0us, "| 32 60 FA AA"}, {0us, "NAK"}}},
        {"only what comes before the send-immediate goes", 16, {0xAA, 0x87, 0xAB},
         {{0us, "| 32 60 FA AA"}, {16ms, "| 32 60 FA AB"}}},
        {"a full packet does not end a transfer: the timer does", 16, ReadBytes(600),
         {{0us, "NAK"}, {16ms, "| 32 60 ...510 | 32 60 ...90"}}},
        {"packets of 512 with their status bytes, up to the transfer's size", 16,
         [] {
             std::vector<uint8_t> w = ReadBytes(1100);
             w.push_back(0x87);
             return w;
         }(),
         {{0us, "| 32 60 ...510 | 32 60 ...510 | 32 60 ...80"}}},
        {"a transfer smaller than what is held", 16,
         [] {
             std::vector<uint8_t> w = ReadBytes(600);
             w.push_back(0x87);
             return w;
         }(),
         {{0us, "| 32 60 ...510"}, {0us, "| 32 60 ...90"}},
         512},
    };
    for (const auto& c : cases) {
        Bench bench;
        ASSERT_TRUE(bench.Vendor(0x09, c.latencyMs, 2));
        EXPECT_EQ(bench.Read(c.size), "| 32 60") << c.name << ": the timer ran out long ago";
        bench.Write(c.written);
        int n = 0;
        for (const auto& [wait, expected] : c.reads) {
            bench.now += wait;
            EXPECT_EQ(bench.Read(c.size), expected) << c.name << ", read " << ++n;
        }
    }
}

TEST(Ft2232hChip, PurgesDropOneDirectionEachAndResetDropsTheSession)
{
    const struct {
        const char* name;
        uint16_t value;
        std::string read;  // after the reset request, with the timer run out
        bool mpsse;
    } cases[] = {
        {"flush to the host drops the held replies", 2, "| 32 60", true},
        {"flush from the host drops the unfinished command only", 1, "| 32 60 FA AA", true},
        {"reset drops replies and leaves MPSSE", 0, "| 32 60", false},
    };
    for (const auto& c : cases) {
        Bench bench;
        bench.Write({0xAA, 0x80, 0x03});  // a reply, and a set-pins command missing its last byte
        ASSERT_EQ(bench.engine.PendingCommandBytes(), 2u);
        EXPECT_TRUE(bench.Vendor(0x00, c.value, 2)) << c.name;
        bench.now += 20ms;
        EXPECT_EQ(bench.Read(4096), c.read) << c.name;
        EXPECT_EQ(bench.engine.PendingCommandBytes(), c.value == 2 ? 2u : 0u) << c.name;
        EXPECT_EQ(bench.engine.InMpsseMode(), c.mpsse) << c.name;
    }
}

}  // namespace
