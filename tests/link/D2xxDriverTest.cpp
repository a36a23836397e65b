// The D2XX backend's logic on a scripted library: how it reads the 64-bit
// list nodes, opens and sets up a channel, says why an open failed, and keeps
// replies in step after a short read.

#include "link/D2xxDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/I2C_FTDI.h"
#include "tests/link/ScriptedD2xx.h"

namespace {

using namespace scripted_d2xx;

struct Rig {
    FakeLibrary library;
    std::unique_ptr<CD2xxDriver> driver;

    explicit Rig(std::vector<Node> nodes)
    {
        library.nodes = std::move(nodes);
        driver = std::make_unique<CD2xxDriver>(std::make_unique<FakeD2xx>(library));
    }
    std::vector<std::string> Serials(FtdiCableChoice choice = {})
    {
        driver->SelectCable(choice);
        uint32_t count = 0;
        driver->CreateDeviceInfoList(&count);
        FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
        uint32_t listed = 0;
        EXPECT_EQ(driver->GetDeviceInfoList(records, &listed), FTDI_OK);
        EXPECT_EQ(listed, count);
        std::vector<std::string> serials;
        for (uint32_t i = 0; i < listed && i < CFtdiDriver::kMaxRecords; ++i) serials.push_back(records[i].Serial());
        return serials;
    }
    // Opens, then forgets the calls of the open itself.
    FtdiHandle OpenOk(int index)
    {
        FtdiHandle handle = nullptr;
        EXPECT_EQ(driver->Open(index, &handle), FTDI_OK) << driver->OpenFailure(index);
        library.calls.clear();
        if (library.last) library.last->writes.clear();
        return handle;
    }
};

uint32_t Get32(const FtdiDeviceRecord& record, int at)
{
    return uint32_t(record.bytes[at]) | uint32_t(record.bytes[at + 1]) << 8 | uint32_t(record.bytes[at + 2]) << 16 |
           uint32_t(record.bytes[at + 3]) << 24;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(D2xxDriver, ListsTheMpsseChannelsOfThe64BitNodes)
{
    std::vector<Node> fourChannels;
    for (char c : std::string("ABCD"))
        fourChannels.push_back({std::string("Q4") + c, std::string("Quad RS232-HS ") + c, 0x04036011,
                                d2xx::kType4232H, 0x2400, d2xx::kFlagHighSpeed, 0});
    const Node serialAdapter{"R1", "FT232R USB UART", 0x04036001, 5, 0x2200, 0, 0};
    const Node single{"SOLO", "Single RS232-HS", 0x04036014, d2xx::kType232H, 0x2300, d2xx::kFlagHighSpeed, 0};
    std::vector<Node> custom = DualChannel("OWN");
    for (Node& node : custom) node.id = 0x12345678;
    // Nodes of channels this process has open carry their 64-bit handle.
    std::vector<Node> cable = DualChannel("ZB01");
    cable[1].flags |= d2xx::kFlagOpened;
    cable[1].handle = 0x00007FF812345678;

    const auto join = [](std::initializer_list<std::vector<Node>> parts) {
        std::vector<Node> all;
        for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    struct Case {
        const char* name;
        std::vector<Node> nodes;
        FtdiCableChoice choice;
        std::vector<std::string> serials;
    };
    const std::vector<Case> cases = {
        {"nothing attached", {}, {}, {}},
        {"dual-channel chip first, serial adapters left out", join({{single, serialAdapter}, fourChannels, cable}), {},
         {"ZB01A", "ZB01B", "Q4A", "Q4B", "Q4C", "Q4D", "SOLO"}},
        {"a channel held elsewhere keeps its place among the dual-channel chips",
         join({{single}, {Node::HeldElsewhere()}, DualChannel("ZB01")}), {}, {"", "ZB01A", "ZB01B", "SOLO"}},
        {"the chosen cable only; an unreadable channel may be it",
         join({DualChannel("JTAG"), {Node::HeldElsewhere()}, cable}), {"ZB01", 0, 0}, {"", "ZB01A", "ZB01B"}},
        {"own USB ids first when asked for", join({cable, custom}), {"", 0x1234, 0x5678},
         {"OWNA", "OWNB", "ZB01A", "ZB01B"}},
        {"own USB ids not listed unless asked for", join({custom, cable}), {}, {"ZB01A", "ZB01B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.nodes);
        EXPECT_EQ(rig.Serials(c.choice), c.serials);
    }

    // The record is the 32-bit node: each field where FtdiDeviceRecord says.
    Rig rig(join({fourChannels, cable}));
    rig.Serials();
    FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
    uint32_t listed = 0;
    rig.driver->GetDeviceInfoList(records, &listed);
    ASSERT_EQ(listed, 6u);
    EXPECT_EQ(Get32(records[1], 0), d2xx::kFlagHighSpeed | d2xx::kFlagOpened);
    EXPECT_EQ(Get32(records[1], 4), d2xx::kType2232H);
    EXPECT_EQ(Get32(records[1], 8), 0x04036010u);
    EXPECT_EQ(Get32(records[1], 12), 0x2132u);
    EXPECT_EQ(Get32(records[5], 8), 0x04036011u);
    EXPECT_EQ(records[5].Serial(), "Q4D");

    struct Detail {
        int index;
        std::string cableSerial;
        char channel;
        uint16_t product;
        std::string location;
    };
    for (const Detail& d : {Detail{1, "ZB01", 'B', 0x6010, "location ID 0x2132"},
                            Detail{4, "Q4", 'C', 0x6011, "location ID 0x2400"}}) {
        const FtdiDeviceDetails details = rig.driver->DeviceDetails(d.index);
        EXPECT_EQ(details.cableSerial, d.cableSerial);
        EXPECT_EQ(details.channel, d.channel);
        EXPECT_EQ(details.vendor, 0x0403);
        EXPECT_EQ(details.product, d.product);
        EXPECT_EQ(details.location, d.location);
    }
    EXPECT_EQ(rig.driver->DeviceDetails(6).location, "");
}

TEST(D2xxDriver, OpenSetsTheChannelUpAndChecksItIsInStep)
{
    struct Case {
        const char* name;
        Bytes answer;
        uint64_t delayUs;
        bool opens;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"answered at once", {0xFA, 0xAA}, 0, true, ""},
        {"answered within the deadline", {0xFA, 0xAA}, 200000, true, ""},
        {"a chip without the clock set-up commands", {0xFA, 0x8B, 0xFA, 0x97, 0xFA, 0x8D, 0xFA, 0xAA}, 0, true, ""},
        {"no answer", {}, 0, false, "answered nothing, not FA AA"},
        {"answer after the deadline", {0xFA, 0xAA}, 300000, false, "answered nothing"},
        {"out of step", {0x00, 0xFA, 0xAA}, 0, false, "answered 00, not FA AA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(DualChannel("ZB01"));
        rig.library.syncAnswer = c.answer;
        rig.library.syncDelayUs = c.delayUs;
        int sentinel = 0;
        FtdiHandle handle = &sentinel;
        const FtdiStatus status = rig.driver->Open(1, &handle);
        std::vector<std::string> expected = {"open ZB01B",         "reset",          "usb 65536 65536",
                                             "latency 1",          "timeouts 1000 1000", "bitmode 00 00",
                                             "bitmode 00 02",      "purge 3",        "write 8B 97 8D AA"};
        if (c.opens) {
            EXPECT_EQ(status, FTDI_OK);
            EXPECT_NE(handle, &sentinel);
            EXPECT_EQ(rig.driver->OpenFailure(1), "");
        } else {
            EXPECT_EQ(status, FTDI_IO_ERROR);
            EXPECT_EQ(handle, &sentinel);
            expected.push_back("close");
            const std::string failure = rig.driver->OpenFailure(1);
            EXPECT_TRUE(Contains(failure, "MPSSE engine of channel B did not answer in step")) << failure;
            EXPECT_TRUE(Contains(failure, c.said)) << failure;
            EXPECT_LT(rig.library.nowUs, first_contact::kTimeoutUs + 10000) << "gives up at its own deadline";
        }
        EXPECT_EQ(rig.library.calls, expected);
    }
}

TEST(D2xxDriver, OpenFailuresSayWhatToDo)
{
    struct Case {
        const char* name;
        std::vector<Node> nodes;
        const char* failingCall;  // nullptr: none
        d2xx::Status status;
        FtdiCableChoice choice;
        FtdiStatus result;
        std::vector<std::string> said;
        std::vector<std::string> calls;  // after the open
    };
    const std::vector<Case> cases = {
        {"nothing attached", {}, nullptr, 0, {}, FTDI_DEVICE_NOT_FOUND, {"no FTDI device found"}, {}},
        {"a single-channel chip", {DualChannel("ZB01")[0]}, nullptr, 0, {}, FTDI_DEVICE_NOT_FOUND,
         {"device 1 is not listed: only 1 FTDI channel is attached"}, {}},
        {"another program holds it", DualChannel("ZB01"), "open", d2xx::kDeviceNotOpened, {}, FTDI_DEVICE_NOT_OPENED,
         {"another program holds this channel of the cable (D2XX: FT_DEVICE_NOT_OPENED): close it"}, {"open ZB01B"}},
        {"unplugged meanwhile", DualChannel("ZB01"), "open", d2xx::kDeviceNotFound, {}, FTDI_DEVICE_NOT_OPENED,
         {"the cable went away while it was being opened (D2XX: FT_DEVICE_NOT_FOUND): plug it in again"},
         {"open ZB01B"}},
        {"anything else", DualChannel("ZB01"), "open", d2xx::kIoError, {}, FTDI_DEVICE_NOT_OPENED,
         {"the USB device did not open (D2XX: FT_IO_ERROR)"}, {"open ZB01B"}},
        {"reset refused", DualChannel("ZB01"), "reset", d2xx::kIoError, {}, FTDI_IO_ERROR,
         {"channel B did not reset (D2XX: FT_IO_ERROR)"}, {"open ZB01B", "reset", "close"}},
        {"timeouts refused", DualChannel("ZB01"), "timeouts", d2xx::kInvalidParameter, {}, FTDI_IO_ERROR,
         {"channel B did not take its timeouts (D2XX: FT_INVALID_PARAMETER)"},
         {"open ZB01B", "reset", "usb 65536 65536", "latency 1", "timeouts 1000 1000", "close"}},
        {"no MPSSE", DualChannel("ZB01"), "bitmode", d2xx::kOtherError, {}, FTDI_IO_ERROR,
         {"channel B did not enter MPSSE mode (D2XX: FT_OTHER_ERROR)"}, {}},
        {"an unreadable channel is not opened blindly for a chosen cable",
         {Node::HeldElsewhere(), Node::HeldElsewhere()}, nullptr, 0, {"ZB01", 0, 0}, FTDI_DEVICE_NOT_OPENED,
         {"cannot be told from the cable ZB01"}, {"open #1", "close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.nodes);
        if (c.failingCall) rig.library.fails[c.failingCall] = c.status;
        rig.driver->SelectCable(c.choice);
        int sentinel = 0;
        FtdiHandle handle = &sentinel;
        EXPECT_EQ(rig.driver->Open(1, &handle), c.result);
        EXPECT_EQ(handle, &sentinel);
        const std::string failure = rig.driver->OpenFailure(1);
        for (const std::string& part : c.said) EXPECT_TRUE(Contains(failure, part)) << failure;
        EXPECT_EQ(failure.find('\n'), std::string::npos) << "one line";
        if (!c.calls.empty()) {
            EXPECT_EQ(rig.library.calls, c.calls);
        }
        // The cause goes away: the channel opens and the failure is forgotten.
        if (c.failingCall && c.nodes.size() > 1) {
            rig.library.fails.clear();
            EXPECT_EQ(rig.driver->Open(1, &handle), FTDI_OK);
            EXPECT_EQ(rig.driver->OpenFailure(1), "");
        }
    }

    // Without the library nothing is listed, and the open says what to install.
    auto driver = std::make_shared<CD2xxDriver>(nullptr, "it is not in the Windows system folder");
    CI2C_FTDI link(driver);
    EXPECT_EQ(link.ListDevices(), 0);
    EXPECT_EQ(driver->ListFailure(),
              "the FTDI D2XX driver (ftd2xx.dll) is not installed (it is not in the Windows system folder): install "
              "FTDI's D2XX driver (the CDM driver package from ftdichip.com) and plug the cable in again");
    EXPECT_NE(link.OpenI2CChannel(), FTDI_OK);
    EXPECT_EQ(driver->OpenFailure(CI2C_FTDI::kI2CChannelIndex),
              "the FTDI D2XX driver (ftd2xx.dll) is not installed (it is not in the Windows system folder): install "
              "FTDI's D2XX driver (the CDM driver package from ftdichip.com) and plug the cable in again");
    uint32_t version = 7;
    EXPECT_NE(driver->GetLibraryVersion(&version), FTDI_OK);
    EXPECT_EQ(version, 0u) << "no version that the library did not give";
}

TEST(D2xxDriver, ShortReadThenPurgeKeepsTheNextReplyInStep)
{
    struct Case {
        bool purge;
        Bytes next;  // what the next two-byte read gets
    };
    for (const Case& c : {Case{true, {0x0A, 0x0B}}, Case{false, {0x02, 0x0A}}}) {
        SCOPED_TRACE(c.purge ? "purged" : "not purged");
        Rig rig(DualChannel("ZB01"));
        const FtdiHandle handle = rig.OpenOk(1);
        FakeChannel& channel = *rig.library.last;
        EXPECT_EQ(channel.readTimeoutMs, CD2xxDriver::kReadTimeoutMs) << "the library's read has a deadline";
        const uint64_t t0 = rig.library.nowUs;
        channel.pieces = {{t0, {0x01}}, {t0 + 1500000, {0x02}}};  // the second byte comes after the deadline
        uint8_t reply[2] = {};
        uint32_t received = 0;
        EXPECT_EQ(rig.driver->Read(handle, reply, 2, &received), FTDI_OK);
        EXPECT_EQ(received, 1u);
        EXPECT_EQ(rig.library.nowUs - t0, uint64_t(CD2xxDriver::kReadTimeoutMs) * 1000);
        rig.library.nowUs += 1000000;  // the late byte arrives
        if (c.purge) {
            EXPECT_EQ(rig.driver->Purge(handle), FTDI_OK);
            EXPECT_EQ(channel.purgeMasks.back(), d2xx::kPurgeRx);
        }
        channel.pieces.push_back({rig.library.nowUs, {0x0A, 0x0B}});  // the next exchange's reply
        EXPECT_EQ(rig.driver->Read(handle, reply, 2, &received), FTDI_OK);
        ASSERT_EQ(received, 2u);
        EXPECT_EQ(Bytes(reply, reply + 2), c.next);
    }
}

TEST(D2xxDriver, WritesCarryTheSendImmediateAndHandlesStayTheirOwn)
{
    // A read transaction's reply waits in the chip without 0x87; a write's needs none.
    struct Case {
        Bytes bytes;
        bool added;
    };
    const std::vector<Case> cases = {
        {{0x80, 0x00, 0x81, 0x20, 0x00, 0x00, 0x80, 0x01, 0x83}, true},
        {{0x80, 0x03, 0x83, 0x11, 0x00, 0x00, 0xA5}, false},
    };
    Rig rig(DualChannel("ZB01"));
    const FtdiHandle i2c = rig.OpenOk(1);
    for (const Case& c : cases) {
        uint32_t written = 0;
        EXPECT_EQ(rig.driver->Write(i2c, c.bytes.data(), uint32_t(c.bytes.size()), &written), FTDI_OK);
        EXPECT_EQ(written, c.bytes.size());
        Bytes expected = c.bytes;
        if (c.added) expected.push_back(0x87);
        EXPECT_EQ(rig.library.last->writes.back(), expected);
    }

    // The channel is taken: a second open does not reach the library.
    rig.library.calls.clear();
    FtdiHandle second = nullptr;
    EXPECT_EQ(rig.driver->Open(1, &second), FTDI_DEVICE_NOT_OPENED);
    EXPECT_TRUE(rig.library.calls.empty());
    EXPECT_EQ(rig.driver->Close(i2c), FTDI_OK);
    const FtdiHandle again = rig.OpenOk(1);
    EXPECT_NE(again, i2c) << "a stale handle never names the new channel";
    uint8_t byte = 0;
    uint32_t count = 7;
    EXPECT_EQ(rig.driver->Write(i2c, &byte, 1, &count), FTDI_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(rig.driver->Read(i2c, &byte, 1, &count), FTDI_INVALID_HANDLE);
    EXPECT_TRUE(rig.library.calls.empty());
    uint32_t version = 0;
    EXPECT_EQ(rig.driver->GetDriverVersion(again, &version), FTDI_OK);
    EXPECT_EQ(version, 0x00021236u);

    // Destruction closes what is open.
    rig.driver.reset();
    EXPECT_FALSE(rig.library.last->open);
}

}  // namespace
