#include "link/LibFtdiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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
        {"host bus read", {0x91, 0x12, 0x34}, true},
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

}  // namespace
