#include "link/LibFtdiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/Tovin_I2C_Port.h"
#include "link/CableLock.h"
#include "link/I2C_FTDI.h"
#include "sim/SimulatedBoard.h"
#include "tests/link/ScriptedLibFtdi.h"

namespace {

using namespace scripted;

struct Rig {
    FakeCable cable;
    std::unique_ptr<CLibFtdiDriver> driver;

    explicit Rig(std::vector<FakeChip> chips)
    {
        cable.chips = std::move(chips);
        driver = std::make_unique<CLibFtdiDriver>(std::make_unique<FakeApi>(cable));
    }
    // Opens, then forgets the traffic of the open itself (its own test looks at that).
    FtdiHandle OpenOk(int index)
    {
        FtdiHandle handle = nullptr;
        EXPECT_EQ(driver->Open(index, &handle), FTDI_OK) << "index " << index << ": " << driver->OpenFailure(index);
        if (cable.Last()) cable.Last()->ForgetTraffic();
        return handle;
    }
};

const FakeChip k2232{0x6010, "FT11", 2};
const FakeChip k4232{0x6011, "FT22", 4};
const FakeChip k232H{0x6014, "FT33", 1};

TEST(LibFtdiDriver, ListsEveryChannelAsOneIndex)
{
    struct Case {
        const char* name;
        std::vector<FakeChip> chips;
        uint32_t count;
        std::vector<std::string> serials;  // of the filled records, in order
    };
    FakeChip unnamed2232 = k2232;
    unnamed2232.serialFails = true;
    FakeChip blank2232 = k2232;
    blank2232.serial = "";
    FakeChip unreadable4232 = k4232;
    unreadable4232.interfaces = 0;
    std::vector<FakeChip> five4232;
    std::vector<std::string> fiveSerials;
    for (int chip = 0; chip < 5; ++chip) {
        five4232.push_back({0x6011, "Q" + std::to_string(chip), 4});
        for (int i = 0; i < 4 && fiveSerials.size() < 16; ++i)
            fiveSerials.push_back("Q" + std::to_string(chip) + char('A' + i));
    }
    const std::vector<Case> cases = {
        {"nothing attached", {}, 0, {}},
        {"one 232H", {k232H}, 1, {"FT33"}},
        {"2232H, 4232H, 232H", {k2232, k4232, k232H}, 7,
         {"FT11A", "FT11B", "FT22A", "FT22B", "FT22C", "FT22D", "FT33"}},
        {"dual-channel chip first whatever the bus order", {k232H, k4232, k2232}, 7,
         {"FT11A", "FT11B", "FT22A", "FT22B", "FT22C", "FT22D", "FT33"}},
        {"unreadable serial keeps its indexes", {unnamed2232, k232H}, 3, {"", "", "FT33"}},
        {"blank serial still gets the letters", {blank2232}, 2, {"A", "B"}},
        {"unreadable configuration uses the chip's channels", {unreadable4232}, 4,
         {"FT22A", "FT22B", "FT22C", "FT22D"}},
        {"twenty channels: count all, fill sixteen", five4232, 20, fiveSerials},
        {"other FTDI products are not listed", {{0x6001, "R1", 1}, k2232}, 2, {"FT11A", "FT11B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.chips);
        uint32_t count = 99;
        rig.driver->CreateDeviceInfoList(&count);
        EXPECT_EQ(count, c.count);

        FtdiDeviceRecord records[CFtdiDriver::kMaxRecords + 1];
        for (FtdiDeviceRecord& record : records)
            record.SetSerial("untouched");
        uint32_t listed = 99;
        EXPECT_EQ(rig.driver->GetDeviceInfoList(records, &listed), FTDI_OK);
        EXPECT_EQ(listed, c.count);
        ASSERT_LE(c.serials.size(), size_t(CFtdiDriver::kMaxRecords));
        for (size_t i = 0; i < c.serials.size(); ++i)
            EXPECT_EQ(records[i].Serial(), c.serials[i]) << "record " << i;
        for (size_t i = c.serials.size(); i <= CFtdiDriver::kMaxRecords; ++i)
            EXPECT_EQ(records[i].Serial(), "untouched") << "record " << i;
        for (int vendor : rig.cable.searchedVendors)
            EXPECT_EQ(vendor, 0x0403);
    }
}

TEST(LibFtdiDriver, OpenMapsIndexToChipAndChannel)
{
    struct Case {
        int index;
        int chip;
        int interfaceIndex;
    };
    const std::vector<Case> cases = {
        {0, 0, 0}, {1, 0, 1}, {2, 1, 0}, {3, 1, 1}, {5, 1, 3}, {6, 2, 0},
    };
    for (bool listFirst : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE("index " + std::to_string(c.index) + (listFirst ? " listed" : " unlisted"));
            Rig rig({k2232, k4232, k232H});
            if (listFirst) {
                uint32_t count = 0;
                rig.driver->CreateDeviceInfoList(&count);
            }
            const FtdiHandle handle = rig.OpenOk(c.index);
            EXPECT_NE(handle, nullptr);
            FakeContext* ctx = rig.cable.Last();
            ASSERT_NE(ctx, nullptr);
            EXPECT_EQ(ctx->chip, c.chip);
            EXPECT_EQ(ctx->interfaceIndex, c.interfaceIndex);
            EXPECT_EQ(ctx->latency, 1);
        }
    }
}

TEST(LibFtdiDriver, FailedOpenLeavesTheHandleAlone)
{
    struct Case {
        const char* name;
        int index;
        bool openFails;
        int seamOpens;  // how often libftdi is asked to open
    };
    const std::vector<Case> cases = {
        {"index past the list", 2, false, 0},
        {"negative index", -1, false, 0},
        {"libftdi refuses", 1, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({k2232});
        rig.cable.openFails = c.openFails;
        int sentinel = 0;
        FtdiHandle handle = &sentinel;
        EXPECT_NE(rig.driver->Open(c.index, &handle), FTDI_OK);
        EXPECT_EQ(handle, &sentinel);
        EXPECT_EQ(rig.cable.openCalls, c.seamOpens);
    }
    Rig rig({k2232});
    EXPECT_NE(rig.driver->Open(0, nullptr), FTDI_OK);
    EXPECT_EQ(rig.cable.openCalls, 0);
}

TEST(LibFtdiDriver, ChannelOpensOnlyOnceUntilClosed)
{
    Rig rig({k2232});
    const FtdiHandle first = rig.OpenOk(1);
    FakeContext* firstCtx = rig.cable.Last();

    // Listing again hands out new device objects; the channel is still taken.
    uint32_t count = 0;
    rig.driver->CreateDeviceInfoList(&count);
    FtdiHandle second = nullptr;
    EXPECT_NE(rig.driver->Open(1, &second), FTDI_OK);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(rig.cable.openCalls, 1);

    // The first handle is untouched and still reaches its channel.
    const uint8_t stop[] = {0x80, 0x03, 0x83};
    uint32_t written = 0;
    EXPECT_EQ(rig.driver->Write(first, stop, sizeof stop, &written), FTDI_OK);
    ASSERT_EQ(firstCtx->writes.size(), 1u);
    EXPECT_FALSE(firstCtx->closed);

    // The other channel of the chip is free.
    const FtdiHandle other = rig.OpenOk(0);
    EXPECT_NE(other, first);

    EXPECT_EQ(rig.driver->Close(first), FTDI_OK);
    EXPECT_TRUE(firstCtx->closed);
    const FtdiHandle again = rig.OpenOk(1);
    EXPECT_NE(again, first);  // a stale handle never names the new channel
    EXPECT_EQ(rig.driver->Close(first), FTDI_INVALID_HANDLE);
}

TEST(LibFtdiDriver, DestructionClosesOpenChannels)
{
    Rig rig({k2232});
    rig.OpenOk(0);
    rig.OpenOk(1);
    rig.driver.reset();
    ASSERT_EQ(rig.cable.contexts.size(), 2u);
    for (const auto& ctx : rig.cable.contexts)
        EXPECT_TRUE(ctx->closed);
}

// Groups as the link queues them.
const Bytes kStart = {0x80, 0x03, 0x83, 0x80, 0x01, 0x83, 0x80, 0x00, 0x83};
const Bytes kStop = {0x80, 0x01, 0x83, 0x80, 0x03, 0x83};
const Bytes kWriteA5 = {0x11, 0x00, 0x00, 0xA5, 0x80, 0x00, 0x81, 0x22, 0x00, 0x80, 0x00, 0x83, 0x87};
const Bytes kReadNack = {0x80, 0x00, 0x81, 0x20, 0x00, 0x00, 0x80, 0x00, 0x83,
                         0x13, 0x00, 0x80, 0x80, 0x00, 0x83};

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(LibFtdiDriver, SendImmediateNeededOnlyAfterUnflushedReplies)
{
    struct Case {
        const char* name;
        Bytes bytes;
        bool needed;
    };
    const std::vector<Case> cases = {
        {"write transaction", Join({kStart, kWriteA5, kWriteA5, kStop}), false},
        {"read transaction", Join({kStart, kWriteA5, kReadNack, kStop}), true},
        {"read already flushed", Join({kReadNack, {0x87}}), false},
        {"flush before the last read", Join({kReadNack, {0x87}, {0x81}}), true},
        {"enable line", {0x82, 0x01, 0x01}, false},
        {"divisor and loopback", {0x86, 0x3B, 0x00, 0x85}, false},
        {"read opcode inside written data", {0x11, 0x01, 0x00, 0x20, 0x22}, false},
        {"several bytes read", {0x20, 0x03, 0x00}, true},
        {"bit written, then bit read", {0x13, 0x00, 0x80, 0x22, 0x00}, true},
        {"TMS with read", {0x6B, 0x00, 0x01}, true},
        // Host bus commands work only in MCU mode, not in MPSSE.
        {"host bus read", {0x91, 0x12, 0x34}, false},
        {"cut inside a set-pins command", {0x20, 0x00, 0x00, 0x80, 0x03}, false},
        {"cut inside written data", {0x20, 0x00, 0x00, 0x11, 0x02, 0x00, 0xAA}, false},
        {"unknown opcode", {0x20, 0x00, 0x00, 0xAA}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MpsseWriteNeedsSendImmediate(c.bytes.data(), c.bytes.size()), c.needed);
    }
}

TEST(LibFtdiDriver, WriteAddsSendImmediateWithoutCountingIt)
{
    struct Case {
        const char* name;
        uint8_t mode;
        Bytes bytes;
        bool added;
    };
    const Bytes read = Join({kStart, kWriteA5, kReadNack, kStop});
    const std::vector<Case> cases = {
        {"read transaction in MPSSE", 2, read, true},
        {"write transaction in MPSSE", 2, Join({kStart, kWriteA5, kStop}), false},
        {"same bytes outside MPSSE", 0, read, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({k2232});
        const FtdiHandle handle = rig.OpenOk(1);
        ASSERT_EQ(rig.driver->SetBitMode(handle, 0x83, c.mode), FTDI_OK);
        EXPECT_EQ(rig.cable.Last()->mask, 0x83);
        const Bytes caller = c.bytes;
        uint32_t written = 0;
        EXPECT_EQ(rig.driver->Write(handle, caller.data(), uint32_t(caller.size()), &written), FTDI_OK);
        EXPECT_EQ(written, caller.size());
        EXPECT_EQ(caller, c.bytes);
        Bytes expected = c.bytes;
        if (c.added)
            expected.push_back(0x87);
        ASSERT_EQ(rig.cable.Last()->writes.size(), 1u);
        EXPECT_EQ(rig.cable.Last()->writes[0], expected);
    }
}

TEST(LibFtdiDriver, WriteReportsFailureAndShortWrites)
{
    struct Case {
        int seamResult;
        uint32_t written;
        bool ok;
    };
    // Three caller bytes plus the added send-immediate: four go to libftdi.
    const std::vector<Case> cases = {
        {-4, 0, false}, {0, 0, false}, {2, 2, false}, {3, 3, true}, {4, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("libftdi wrote " + std::to_string(c.seamResult));
        Rig rig({k2232});
        const FtdiHandle handle = rig.OpenOk(1);
        rig.driver->SetBitMode(handle, 0x83, 2);
        rig.cable.writeResult = c.seamResult;
        const uint8_t bytes[] = {0x20, 0x00, 0x00};
        uint32_t written = 77;
        EXPECT_EQ(rig.driver->Write(handle, bytes, 3, &written) == FTDI_OK, c.ok);
        EXPECT_EQ(written, c.written);
    }
}

TEST(LibFtdiDriver, ReadWaitsForTheCountUntilTheDeadline)
{
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        uint32_t count;
        Bytes expected;
        bool timesOut;
        int failAfter = -1;
        FtdiStatus status = FTDI_OK;
    };
    const std::vector<Case> cases = {
        {"all at once", {{0, {1, 2, 3}}}, 3, {1, 2, 3}, false},
        {"in pieces", {{0, {1}}, {300, {2}}, {900000, {3}}}, 3, {1, 2, 3}, false},
        {"late piece missed", {{0, {1}}, {2000000, {2, 3}}}, 3, {1}, true},
        {"nothing comes", {}, 2, {}, true},
        {"more waiting than asked", {{0, {1, 2, 3, 4}}}, 2, {1, 2}, false},
        {"nothing asked", {{0, {1}}}, 0, {}, false},
        {"cable gone mid-read", {{0, {1}}, {500, {2}}}, 2, {1}, false, 1, FTDI_IO_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({k2232});
        const FtdiHandle handle = rig.OpenOk(1);
        FakeContext* ctx = rig.cable.Last();
        ctx->pieces.assign(c.pieces.begin(), c.pieces.end());
        ctx->failReadAfter = c.failAfter;
        Bytes buffer(8, 0xEE);
        uint32_t received = 77;
        const uint64_t start = rig.cable.nowUs;
        EXPECT_EQ(rig.driver->Read(handle, buffer.data(), c.count, &received), c.status);
        ASSERT_EQ(received, c.expected.size());
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + received), c.expected);
        EXPECT_EQ(buffer[c.count], 0xEE) << "wrote past the count";
        const uint64_t elapsed = rig.cable.nowUs - start;
        if (c.timesOut) {
            EXPECT_GE(elapsed, CLibFtdiDriver::kReadTimeoutUs);
            EXPECT_LT(elapsed, CLibFtdiDriver::kReadTimeoutUs + 10000);
        } else {
            EXPECT_LT(elapsed, CLibFtdiDriver::kReadTimeoutUs);
        }
    }
}

TEST(LibFtdiDriver, UnknownHandlesFailWithoutTouchingTheCable)
{
    Rig rig({k2232});
    const FtdiHandle closed = rig.OpenOk(0);
    rig.driver->Close(closed);
    int stranger = 0;
    const std::vector<std::pair<const char*, FtdiHandle>> handles = {
        {"null", nullptr}, {"foreign pointer", &stranger}, {"closed", closed}};
    for (const auto& [name, handle] : handles) {
        SCOPED_TRACE(name);
        uint8_t bytes[3] = {0x20, 0x00, 0x00};
        uint32_t count = 77;
        uint32_t version = 77;
        EXPECT_EQ(rig.driver->SetBitMode(handle, 0x83, 2), FTDI_INVALID_HANDLE);
        EXPECT_EQ(rig.driver->Write(handle, bytes, 3, &count), FTDI_INVALID_HANDLE);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(rig.driver->Read(handle, bytes, 3, &count), FTDI_INVALID_HANDLE);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(rig.driver->GetDriverVersion(handle, &version), FTDI_INVALID_HANDLE);
        EXPECT_EQ(version, 0u);
        EXPECT_EQ(rig.driver->Close(handle), FTDI_INVALID_HANDLE);
    }
    EXPECT_TRUE(rig.cable.Last()->writes.empty());
    EXPECT_EQ(rig.cable.Last()->readCalls, 0);
}

TEST(LibFtdiDriver, VersionsPackedAsTheVendorDoes)
{
    struct Case {
        LibFtdiVersion version;
        uint32_t packed;
    };
    const std::vector<Case> cases = {
        {{1, 5, 0}, 0x00010500},
        {{1, 0, 26}, 0x00010026},
        {{3, 1, 15}, 0x00030115},
        {{2, 12, 99}, 0x00021299},
        {{100, -1, 7}, 0x00990007},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packed);
        Rig rig({k2232});
        rig.cable.library = c.version;
        rig.cable.usb = c.version;
        uint32_t library = 0;
        EXPECT_EQ(rig.driver->GetLibraryVersion(&library), FTDI_OK);
        EXPECT_EQ(library, c.packed);
        uint32_t driver = 0;
        EXPECT_EQ(rig.driver->GetDriverVersion(rig.OpenOk(1), &driver), FTDI_OK);
        EXPECT_EQ(driver, c.packed);
    }
}

// Only where libftdi1 is the cable backend (on Windows its logic is tested, not the library).
#ifdef ZENT2_HAVE_LIBFTDI
TEST(LibFtdiDriver, InstalledLibraryListsAndReportsItsVersion)
{
    CLibFtdiDriver driver;
    uint32_t count = 99;
    driver.CreateDeviceInfoList(&count);
    FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
    uint32_t listed = 99;
    driver.GetDeviceInfoList(records, &listed);
    EXPECT_EQ(listed, count);
    uint32_t version = 0;
    EXPECT_EQ(driver.GetLibraryVersion(&version), FTDI_OK);
    EXPECT_GE(version, 0x00010000u);  // libftdi1 is 1.x or later
    FtdiHandle handle = nullptr;
    EXPECT_NE(driver.Open(int(count), &handle), FTDI_OK);
    EXPECT_EQ(handle, nullptr);
}
#endif

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(LibFtdiDriver, OpenResetsTheChannelIntoMpsseAndChecksItIsInStep)
{
    struct Case {
        const char* name;
        Bytes answer;
        uint64_t delayUs;
        bool opens;
        const char* said;  // part of the failure text
    };
    const std::vector<Case> cases = {
        {"answered at once", {0xFA, 0xAA}, 0, true, ""},
        {"answered within the deadline", {0xFA, 0xAA}, 200000, true, ""},
        {"a chip without the clock set-up commands", {0xFA, 0x8B, 0xFA, 0x97, 0xFA, 0x8D, 0xFA, 0xAA}, 0, true, ""},
        {"no answer", {}, 0, false, "answered nothing, not FA AA"},
        {"answer after the deadline", {0xFA, 0xAA}, 300000, false, "answered nothing"},
        {"out of step", {0x00, 0xFA, 0xAA}, 0, false, "answered 00, not FA AA"},
        {"another bad command", {0xFA, 0xAB}, 0, false, "answered FA AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({k2232});
        rig.cable.syncAnswer = c.answer;
        rig.cable.syncDelayUs = c.delayUs;
        int sentinel = 0;
        FtdiHandle handle = &sentinel;
        const FtdiStatus status = rig.driver->Open(1, &handle);
        std::vector<std::string> expected = {"B open",          "B timeouts 250", "B latency 1",
                                             "B bitmode 00 00", "B bitmode 00 02", "B purge",
                                             "B write 8B 97 8D AA"};
        if (c.opens) {
            EXPECT_EQ(status, FTDI_OK);
            EXPECT_NE(handle, &sentinel);
            EXPECT_EQ(rig.driver->OpenFailure(1), "");
        } else {
            EXPECT_EQ(status, FTDI_IO_ERROR);
            EXPECT_EQ(handle, &sentinel);
            expected.push_back("B close");
            const std::string failure = rig.driver->OpenFailure(1);
            EXPECT_TRUE(Contains(failure, "MPSSE engine of channel B did not answer in step")) << failure;
            EXPECT_TRUE(Contains(failure, c.said)) << failure;
            EXPECT_LT(rig.cable.nowUs, CLibFtdiDriver::kSyncTimeoutUs + 10000) << "gives up at its own deadline";
        }
        EXPECT_EQ(rig.cable.calls, expected);
    }

    // A failed check is forgotten once the channel opens.
    Rig rig({k2232});
    rig.cable.syncAnswer = {};
    FtdiHandle handle = nullptr;
    EXPECT_NE(rig.driver->Open(1, &handle), FTDI_OK);
    rig.cable.syncAnswer = {0xFA, 0xAA};
    EXPECT_EQ(rig.driver->Open(1, &handle), FTDI_OK);
    EXPECT_EQ(rig.driver->OpenFailure(1), "");
    EXPECT_EQ(rig.cable.ContextsMade(), 1);
}

TEST(LibFtdiDriver, OpenFailuresCarryLibftdisWordsAndWhatToDo)
{
    struct Case {
        const char* name;
        OpenError error;
        std::vector<std::string> said;
    };
    const std::vector<Case> cases = {
        {"no udev rule", kNoPermission,
         {"no permission to open the USB device", "libftdi: libusb_open() failed, code -4",
          "errno 13: Permission denied",
          "install the udev rule 60-zent2-ftdi.rules (the zent2-i2c package installs it; from the sources: "
          "scripts/setup, or copy dist/linux/60-zent2-ftdi.rules to /etc/udev/rules.d) and re-plug the cable; when "
          "logged in remotely, also join the plugdev group"}},
        {"libftdi's own permission code", {-8, 0, "inappropriate permissions on device!"},
         {"no permission", "inappropriate permissions on device!, code -8", "udev rule"}},
        {"claimed by another program", kClaimedElsewhere,
         {"another program holds this channel of the cable", "unable to claim usb device", "errno 16",
          "close it (another zent2-i2c or zent2-cli, OpenOCD, an FPGA or JTAG tool) and try again"}},
        {"unplugged meanwhile", {-4, ENODEV, "libusb_open() failed"}, {"the cable went away", "errno 19"}},
        {"anything else", {-12, 0, "libusb_get_configuration () failed"},
         {"the USB device did not open (libftdi: libusb_get_configuration () failed, code -12)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({k2232});
        rig.cable.chips[0].serialFails = true;  // as without permission
        rig.cable.openError = c.error;
        auto driver = std::shared_ptr<CLibFtdiDriver>(std::move(rig.driver));
        CI2C_FTDI link(driver);
        EXPECT_EQ(link.ListDevices(), 2) << "listing needs no permission";
        EXPECT_EQ(link.OpenI2CChannel(), FTDI_DEVICE_NOT_OPENED);
        EXPECT_FALSE(link.IsI2CChannelOpen());
        EXPECT_EQ(link.StatusText(), "Open Status = 3; Device = 1; ; Devices Found = 2");
        const std::string failure = driver->OpenFailure(CI2C_FTDI::kI2CChannelIndex);
        for (const std::string& part : c.said) EXPECT_TRUE(Contains(failure, part)) << failure;
        EXPECT_EQ(failure.find('\n'), std::string::npos) << "one line";
        EXPECT_EQ(rig.cable.calls, (std::vector<std::string>{"B open", "B close"}));

        // The cause goes away: the same context opens the channel.
        rig.cable.openError.reset();
        EXPECT_EQ(link.OpenI2CChannel(), FTDI_OK);
        EXPECT_EQ(driver->OpenFailure(CI2C_FTDI::kI2CChannelIndex), "");
        EXPECT_EQ(rig.cable.ContextsMade(), 1);
    }
}

TEST(LibFtdiDriver, PurgeDropsLateBytesSoTheNextReplyIsInStep)
{
    struct Case {
        bool purge;
        Bytes next;  // what the next two-byte read gets
    };
    for (const Case& c : {Case{true, {0x0A, 0x0B}}, Case{false, {0x02, 0x0A}}}) {
        SCOPED_TRACE(c.purge ? "purged" : "not purged");
        Rig rig({k2232});
        const FtdiHandle handle = rig.OpenOk(1);
        FakeContext& ctx = *rig.cable.Last();
        EXPECT_EQ(ctx.timeoutMs, CLibFtdiDriver::kUsbTimeoutMs) << "no transfer waits libftdi's 5 s";
        const uint64_t t0 = rig.cable.nowUs;
        ctx.pieces = {{t0, {0x01}}, {t0 + 1500000, {0x02}}};  // the second byte comes after the deadline
        uint8_t reply[2] = {};
        uint32_t received = 0;
        rig.driver->Read(handle, reply, 2, &received);
        EXPECT_EQ(received, 1u);
        rig.cable.nowUs += 1000000;  // the late byte arrives in the chip
        if (c.purge) {
            EXPECT_EQ(rig.driver->Purge(handle), FTDI_OK);
        }
        ctx.pieces.push_back({rig.cable.nowUs, {0x0A, 0x0B}});  // the next exchange's reply
        EXPECT_EQ(rig.driver->Read(handle, reply, 2, &received), FTDI_OK);
        ASSERT_EQ(received, 2u);
        EXPECT_EQ(Bytes(reply, reply + 2), c.next);
    }
}

TEST(LibFtdiDriver, OneContextPerChannelForTheWholeSession)
{
    Rig rig({k2232});
    FtdiHandle i2c = nullptr;
    ASSERT_EQ(rig.driver->Open(1, &i2c), FTDI_OK);
    for (int lock = 0; lock < 20; ++lock) {
        uint32_t count = 0;
        rig.driver->CreateDeviceInfoList(&count);  // the connection check lists again
        FtdiHandle enable = nullptr;
        ASSERT_EQ(rig.driver->Open(0, &enable), FTDI_OK);
        EXPECT_EQ(rig.driver->Close(enable), FTDI_OK);
    }
    rig.cable.openError = kClaimedElsewhere;
    FtdiHandle refused = nullptr;
    EXPECT_NE(rig.driver->Open(0, &refused), FTDI_OK);
    EXPECT_EQ(rig.cable.ContextsMade(), 2) << "one for A, one for B";
    EXPECT_EQ(rig.cable.openCalls, 22);
    for (const auto& ctx : rig.cable.contexts) EXPECT_FALSE(ctx->freed);
    rig.driver.reset();
    for (const auto& ctx : rig.cable.contexts) {
        EXPECT_TRUE(ctx->closed);
        EXPECT_TRUE(ctx->freed);
    }
}

std::vector<std::string> ListedSerials(CLibFtdiDriver& driver)
{
    uint32_t count = 0;
    driver.CreateDeviceInfoList(&count);
    FtdiDeviceRecord records[CFtdiDriver::kMaxRecords];
    driver.GetDeviceInfoList(records, &count);
    std::vector<std::string> serials;
    for (uint32_t i = 0; i < count && i < CFtdiDriver::kMaxRecords; ++i) serials.push_back(records[i].Serial());
    return serials;
}

TEST(LibFtdiDriver, DevicesKeepTheirIndexesInUsbTreeOrderWhateverOrderLibusbGives)
{
    // Three dual-channel boards: indexes 0 and 1 must not depend on the order
    // in which libusb happens to list them.
    std::vector<FakeChip> chips = {FakeChip(0x6010, "JTAG1", 2).At(1, {4}), FakeChip(0x6010, "CABLE", 2).At(1, {2, 3}),
                                   FakeChip(0x6010, "FPGA", 2).At(2, {1}), FakeChip(0x6014, "SOLO", 1).At(1, {1})};
    const std::vector<std::string> expected = {"CABLEA", "CABLEB", "JTAG1A", "JTAG1B", "FPGAA", "FPGAB", "SOLO"};
    std::vector<int> order = {0, 1, 2, 3};
    do {
        std::vector<FakeChip> shuffled;
        for (int i : order) shuffled.push_back(chips[size_t(i)]);
        Rig rig(shuffled);
        EXPECT_EQ(ListedSerials(*rig.driver), expected);
        const FtdiDeviceDetails details = rig.driver->DeviceDetails(1);
        EXPECT_EQ(details.cableSerial, "CABLE");
        EXPECT_EQ(details.location, "usb 1-2.3");
        EXPECT_EQ(details.channel, 'B');
        EXPECT_EQ(details.vendor, 0x0403);
        EXPECT_EQ(details.product, 0x6010);
    } while (std::next_permutation(order.begin(), order.end()));

    Rig rig(chips);
    ListedSerials(*rig.driver);
    EXPECT_EQ(rig.driver->DeviceDetails(4).location, "usb 2-1");
    EXPECT_EQ(rig.driver->DeviceDetails(6).channel, 'A');
    EXPECT_EQ(rig.driver->DeviceDetails(7).location, "");
    EXPECT_EQ(UsbLocationText(0x0305, {}), "usb bus 3 device 5");
}

TEST(LibFtdiDriver, CableChosenBySerialOrByItsOwnUsbIds)
{
    FakeChip custom(0x5678, "OWN", 2);
    custom.vendor = 0x1234;
    FakeChip unnamed = FakeChip(0x6010, "", 2).At(1, {9});
    unnamed.serialFails = true;
    const FakeChip jtag = FakeChip(0x6010, "JTAG1", 2).At(1, {1});
    const FakeChip cable = FakeChip(0x6010, "CABLE", 2).At(1, {5});
    struct Case {
        const char* name;
        std::vector<FakeChip> chips;
        FtdiCableChoice choice;
        std::vector<std::string> serials;
        FtdiStatus openB;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"any cable: the first in the tree", {cable, jtag}, {}, {"JTAG1A", "JTAG1B", "CABLEA", "CABLEB"}, FTDI_OK, ""},
        {"the chosen one only", {cable, jtag}, {"CABLE", 0, 0}, {"CABLEA", "CABLEB"}, FTDI_OK, ""},
        {"chosen but absent", {jtag}, {"CABLE", 0, 0}, {}, FTDI_DEVICE_NOT_FOUND,
         "no cable with the serial number CABLE is attached"},
        {"unreadable serial may be the one, but is not opened blindly", {jtag, unnamed}, {"CABLE", 0, 0}, {"", ""},
         FTDI_DEVICE_NOT_OPENED, "cannot be told from the cable CABLE"},
        {"own USB ids come first", {jtag, custom}, {"", 0x1234, 0x5678}, {"OWNA", "OWNB", "JTAG1A", "JTAG1B"}, FTDI_OK,
         ""},
        {"own USB ids and a serial", {jtag, custom}, {"OWN", 0x1234, 0x5678}, {"OWNA", "OWNB"}, FTDI_OK, ""},
        {"own USB ids are not listed unless asked for", {custom, jtag}, {}, {"JTAG1A", "JTAG1B"}, FTDI_OK, ""},
        {"FTDI's own ids change nothing", {cable, jtag}, {"", 0x0403, 0x6010}, {"JTAG1A", "JTAG1B", "CABLEA", "CABLEB"},
         FTDI_OK, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.chips);
        rig.driver->SelectCable(c.choice);
        EXPECT_EQ(ListedSerials(*rig.driver), c.serials);
        FtdiHandle handle = nullptr;
        EXPECT_EQ(rig.driver->Open(1, &handle), c.openB);
        EXPECT_TRUE(Contains(rig.driver->OpenFailure(1), c.said)) << rig.driver->OpenFailure(1);
        if (c.openB == FTDI_OK) {
            EXPECT_EQ(rig.cable.Last()->interfaceIndex, 1);
            EXPECT_EQ(rig.cable.chips[size_t(rig.cable.Last()->chip)].serial + "B", c.serials[1]);
        }
    }

    // Without permission the unnamed device says so, not that it is the wrong one.
    Rig rig({unnamed});
    rig.cable.openError = kNoPermission;
    rig.driver->SelectCable({"CABLE", 0, 0});
    FtdiHandle handle = nullptr;
    EXPECT_EQ(rig.driver->Open(1, &handle), FTDI_DEVICE_NOT_OPENED);
    EXPECT_TRUE(Contains(rig.driver->OpenFailure(1), "no permission")) << rig.driver->OpenFailure(1);
}

TEST(LibFtdiDriver, UsbIdsParse)
{
    struct Case {
        const char* text;
        bool ok;
        uint16_t vendor, product;
    };
    const std::vector<Case> cases = {
        {"0403:6010", true, 0x0403, 0x6010}, {"0x1234:0xabcd", true, 0x1234, 0xABCD}, {"403:6015", true, 0x403, 0x6015},
        {"0403", false, 0, 0},               {"0403:", false, 0, 0},                  {":6010", false, 0, 0},
        {"0000:6010", false, 0, 0},          {"10403:6010", false, 0, 0},             {"04g3:6010", false, 0, 0},
        {"0403:6010:1", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        uint16_t vendor = 7, product = 7;
        EXPECT_EQ(ParseUsbIds(c.text, &vendor, &product), c.ok);
        EXPECT_EQ(vendor, c.ok ? c.vendor : 7);
        EXPECT_EQ(product, c.ok ? c.product : 7);
    }
}

// SCL rise-to-rise times on the simulated bus while the port reads a register.
std::vector<uint64_t> SclPeriods(const CBusTrace& trace)
{
    std::vector<uint64_t> periods;
    uint64_t lastRise = 0;
    for (const BusTraceEvent& e : trace.Events()) {
        if (e.line != BusLine::Scl || !e.level) continue;
        if (lastRise != 0) periods.push_back(e.timeNs - lastRise);
        lastRise = e.timeNs;
    }
    return periods;
}

TEST(LibFtdiDriverOnSimulatedCable, BusRunsAtTheTableRatesWhateverAnotherProgramLeft)
{
    struct Case {
        const char* leftover;  // what another MPSSE program left in channel B
        int rateKhz;
        uint64_t bitNs;        // one SCL period at the table's divisor
    };
    const std::vector<Case> cases = {
        {"", 100, 10000},    {"", 400, 2500},          {"8A", 100, 10000},    {"8A", 400, 2500},
        {"8C", 400, 2500},   {"96", 400, 2500},        {"8A 8C 96", 100, 10000},
        {"80 03 83 11 05 00 01 02", 400, 2500},  // and half a command
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.leftover) + " at " + std::to_string(c.rateKhz) + " kHz");
        auto board = CSimulatedBoard::CreateDefault();
        CSimulatedFtdiDriver& cable = *board->Driver();
        CMpsseEngine& engine = *cable.Engine(CSimulatedFtdiDriver::kI2CChannel);
        engine.SetBitMode(0x83, 2);
        Bytes leftover;
        std::istringstream in(c.leftover);
        for (std::string hex; in >> hex;) leftover.push_back(uint8_t(std::stoul(hex, nullptr, 16)));
        engine.Write(leftover.data(), leftover.size());

        auto api = std::make_unique<EngineApi>(cable);
        auto driver = std::make_shared<CLibFtdiDriver>(std::move(api));
        CTovin_I2C_Port port(driver);
        port.SetDemoMode(false);
        port.GetLink().SetRate(c.rateKhz);
        ASSERT_EQ(port.OpenCable(), FTDI_OK) << driver->OpenFailure(1);
        EXPECT_FALSE(engine.Adaptive());
        EXPECT_FALSE(engine.ThreePhase());
        EXPECT_TRUE(engine.DivideByFive());

        board->Hmu(0)->SetConfiguration(0x34, 0x5C);
        cable.ClearTrace();
        cable.StartTrace();
        EXPECT_EQ(port.ReadRegister(hmu::kCmdReadConfig, 0x34), 0x5C);
        EXPECT_TRUE(port.ProbeHmu(1));
        EXPECT_FALSE(port.ProbeHmu(2));
        // Within each byte the clock runs at the table's rate: that is the
        // period of most pulses (a START or an acknowledge adds pin commands).
        std::map<uint64_t, int> periods;
        for (uint64_t p : SclPeriods(cable.Bus().Trace())) ++periods[p];
        ASSERT_FALSE(periods.empty());
        const auto most = std::max_element(periods.begin(), periods.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        EXPECT_EQ(most->first, c.bitNs);
        EXPECT_GT(most->second, 40);
        EXPECT_TRUE(engine.UnknownOpcodes().empty() || engine.UnknownOpcodes() == Bytes{0xAA})
            << "only the synchronisation check is a bad command";
    }
}

}  // namespace
