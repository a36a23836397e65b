// The command queue, the cable session and the cable lock, against a driver
// that records the bytes and answers from a script.

#include <gtest/gtest.h>

#include <functional>

#include "link/CableLock.h"
#include "link/I2C_FTDI.h"
#include "tests/link/ScriptedDriver.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct QueueFixture : ::testing::Test {
    std::shared_ptr<CScriptedDriver> driver = std::make_shared<CScriptedDriver>();
    CI2C_FTDI link{driver};

    Bytes Queued() const { return Bytes(link.CommandBuffer(), link.CommandBuffer() + link.CommandLength()); }
};

// Queues exactly `length` bytes of real conditions: 13-byte writes topped up
// with 9-byte starts and 6-byte stops.
void FillTo(CI2C_FTDI& l, int length)
{
    for (int starts = 0; starts < 13; ++starts) {
        for (int stops = 0; stops < 13; ++stops) {
            const int rest = length - 9 * starts - 6 * stops;
            if (rest < 0 || rest % 13 != 0) continue;
            for (int i = 0; i < rest / 13; ++i) ASSERT_EQ(l.AddWriteByte(0x55), 0);
            for (int i = 0; i < starts; ++i) ASSERT_EQ(l.AddStart(), 0);
            for (int i = 0; i < stops; ++i) ASSERT_EQ(l.AddStop(), 0);
            ASSERT_EQ(l.CommandLength(), length);
            return;
        }
    }
    FAIL() << "cannot queue exactly " << length << " bytes";
}

struct AppendCase {
    const char* name;
    std::function<int(CI2C_FTDI&)> append;
    Bytes bytes;
    std::vector<int> kinds;
};

const std::vector<AppendCase>& AppendCases()
{
    static const std::vector<AppendCase> cases = {
        {"start", [](CI2C_FTDI& l) { return l.AddStart(); },
         {0x80, 0x03, 0x83, 0x80, 0x01, 0x83, 0x80, 0x00, 0x83}, {}},
        {"stop", [](CI2C_FTDI& l) { return l.AddStop(); },
         {0x80, 0x01, 0x83, 0x80, 0x03, 0x83}, {}},
        {"write A5", [](CI2C_FTDI& l) { return l.AddWriteByte(0xA5); },
         {0x11, 0x00, 0x00, 0xA5, 0x80, 0x00, 0x81, 0x22, 0x00, 0x80, 0x00, 0x83, 0x87}, {1}},
        {"read nack", [](CI2C_FTDI& l) { return l.AddReadByte(1); },
         {0x80, 0x00, 0x81, 0x20, 0x00, 0x00, 0x80, 0x00, 0x83, 0x13, 0x00, 0x80, 0x80, 0x00, 0x83}, {0}},
        {"read ack", [](CI2C_FTDI& l) { return l.AddReadByte(0); },
         {0x80, 0x00, 0x81, 0x20, 0x00, 0x00, 0x80, 0x00, 0x83, 0x13, 0x00, 0x00, 0x80, 0x00, 0x83}, {0}},
    };
    return cases;
}

TEST_F(QueueFixture, EachConditionAppendsItsExactBytesAndReplyKinds)
{
    for (const auto& c : AppendCases()) {
        CI2C_FTDI fresh{driver};
        ASSERT_EQ(c.append(fresh), 0) << c.name;
        EXPECT_EQ(Bytes(fresh.CommandBuffer(), fresh.CommandBuffer() + fresh.CommandLength()), c.bytes) << c.name;
        ASSERT_EQ(fresh.ExpectedReplies(), static_cast<int>(c.kinds.size())) << c.name;
        for (size_t i = 0; i < c.kinds.size(); ++i) EXPECT_EQ(fresh.ReplyKindAt(static_cast<int>(i)), c.kinds[i]) << c.name;
    }
}

TEST_F(QueueFixture, HeadroomKeepsTheBufferAt2047BytesAtMost)
{
    // An append of N bytes succeeds with 2047 - N queued and fails with 2048 - N.
    for (const auto& c : AppendCases()) {
        const int n = static_cast<int>(c.bytes.size());
        for (int queued : {2047 - n, 2048 - n}) {
            CI2C_FTDI fresh{driver};
            FillTo(fresh, queued);
            ASSERT_EQ(fresh.CommandLength(), queued);
            const Bytes before(fresh.CommandBuffer(), fresh.CommandBuffer() + fresh.CommandLength());
            const int repliesBefore = fresh.ExpectedReplies();
            const int result = c.append(fresh);
            if (queued + n <= 2047) {
                EXPECT_EQ(result, 0) << c.name << " with " << queued << " queued";
                EXPECT_EQ(fresh.CommandLength(), queued + n);
            } else {
                EXPECT_EQ(result, 1) << c.name << " with " << queued << " queued";
                EXPECT_EQ(Bytes(fresh.CommandBuffer(), fresh.CommandBuffer() + fresh.CommandLength()), before);
                EXPECT_EQ(fresh.ExpectedReplies(), repliesBefore);
            }
        }
    }
}

TEST_F(QueueFixture, StartFitsWith2038QueuedButNot2039)
{
    for (auto [queued, expected] : {std::pair{2038, 0}, std::pair{2039, 1}}) {
        CI2C_FTDI fresh{driver};
        FillTo(fresh, queued);
        ASSERT_EQ(fresh.CommandLength(), queued);
        EXPECT_EQ(fresh.AddStart(), expected);
        EXPECT_EQ(fresh.CommandLength(), expected == 0 ? 2047 : queued);
    }
}

TEST_F(QueueFixture, FlushSendsEverythingInOneWriteAndEmptiesTheQueue)
{
    ASSERT_EQ(link.ListDevices(), 2);
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    driver->writes.clear();
    link.AddStart();
    link.AddWriteByte(0xC0);
    link.AddStop();
    const Bytes queued = Queued();
    link.FlushI2C();
    ASSERT_EQ(driver->writes.size(), 1u);
    EXPECT_EQ(driver->writes[0].channel, 1);
    EXPECT_EQ(driver->writes[0].bytes, queued);
    EXPECT_EQ(link.CommandLength(), 0);
    // A flush without an open channel still empties the queue.
    CI2C_FTDI closed{driver};
    closed.AddStart();
    EXPECT_NE(closed.FlushI2C(), FTDI_OK);
    EXPECT_EQ(closed.CommandLength(), 0);
}

struct CollectCase {
    std::vector<int> kinds;     // 1 = acknowledge, 0 = data
    Bytes answer;               // what the driver returns
    int expectedReturn;
    int expectedNacks;
};

TEST_F(QueueFixture, CollectCountsOnlyAcknowledgeBytesThatArrived)
{
    const std::vector<CollectCase> cases = {
        {{1, 0}, {0x01, 0xFF}, 2, 1},
        {{1, 0}, {0x00, 0xFF}, 2, 0},
        {{1, 1, 1}, {}, 0, 0},               // nothing arrived: nothing counts
        {{1, 1, 1}, {0x01, 0x01}, 2, 2},     // the third never arrived
        {{1, 1, 1}, {0xFE, 0x03, 0x01}, 3, 2},  // only bit 0 counts
        {{1, 0, 0}, {0x00, 0x01, 0x01}, 3, 0},  // data bytes never count
    };
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    for (const auto& c : cases) {
        for (int kind : c.kinds) {
            if (kind == 1) link.AddWriteByte(0);
            else link.AddReadByte(1);
        }
        link.FlushI2C();
        driver->readScript.push_back(c.answer);
        EXPECT_EQ(link.CollectReplies(), c.expectedReturn);
        EXPECT_EQ(link.NackCount(), c.expectedNacks);
        EXPECT_EQ(link.AckFailed(), c.expectedNacks != 0);
        EXPECT_EQ(link.ExpectedReplies(), 0);
        for (size_t i = 0; i < c.answer.size(); ++i) EXPECT_EQ(link.ReplyByte(static_cast<int>(i)), c.answer[i]);
    }
}

TEST_F(QueueFixture, AnExchangeThatWentWrongIsPurgedBeforeTheNextWrite)
{
    const struct {
        const char* what;
        int writeOutcome;  // as CScriptedDriver::writeScript
        Bytes answer;      // to a read of two expected bytes
        bool flushOk;
        bool readAsked;
        int received;
        bool purged;  // before the next write
    } cases[] = {
        {"in step", 0, {0, 0}, true, true, 2, false},
        {"short read", 0, {0}, true, true, 1, true},
        {"nothing read", 0, {}, true, true, 0, true},
        {"failed write: no reply is waited for", -1, {}, false, false, 0, true},
        {"short write", 4, {0}, false, false, 0, true},
    };
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    for (const auto& c : cases) {
        driver->purges[1] = 0;
        driver->reads = 0;
        driver->readScript.clear();
        link.AddWriteByte(0xC0);
        link.AddWriteByte(0x33);
        driver->writeScript.push_back(c.writeOutcome);
        EXPECT_EQ(link.FlushI2C() == FTDI_OK, c.flushOk) << c.what;
        driver->readScript.push_back(c.answer);
        EXPECT_EQ(link.CollectReplies(), c.received) << c.what;
        EXPECT_EQ(driver->reads, c.readAsked ? 1 : 0) << c.what;
        EXPECT_EQ(link.IsOutOfStep(), c.purged) << c.what;
        EXPECT_EQ(driver->purges[1], 0) << c.what << ": purged only when the next exchange starts";
        link.AddStart();
        link.FlushI2C();
        EXPECT_EQ(driver->purges[1], c.purged ? 1 : 0) << c.what;
        EXPECT_FALSE(link.IsOutOfStep()) << c.what;
    }
}

TEST_F(QueueFixture, RateSelectsTheDivisorAndTheDivisorCommand)
{
    const std::vector<std::pair<int, int>> cases = {
        {100, 59}, {200, 29}, {300, 59}, {400, 14}, {800, 7}, {1000, 5}, {2000, 2}, {0, 59}, {-5, 59}};
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    EXPECT_EQ(link.GetRate(), 400);
    EXPECT_EQ(link.ClockDivisor(), 14);
    for (auto [rate, divisor] : cases) {
        driver->writes.clear();
        link.SetRate(rate);
        EXPECT_EQ(link.GetRate(), rate);
        EXPECT_EQ(link.ClockDivisor(), divisor);
        EXPECT_TRUE(driver->writes.empty()) << "SetRate must not send";
        link.SendClockDivisor();
        ASSERT_EQ(driver->writes.size(), 1u);
        EXPECT_EQ(driver->writes[0].bytes, (Bytes{0x86, static_cast<uint8_t>(divisor), 0x00})) << rate;
        // The bit clock never runs faster than the rate asked for.
        EXPECT_LE(6000.0 / (1 + divisor), rate > 100 ? rate : 100.0) << rate;
    }
}

TEST_F(QueueFixture, ListingFetchesRecordsOnlyForOneToFifteenDevices)
{
    struct Case { int attached; int fetches; };
    for (auto c : {Case{0, 0}, Case{1, 1}, Case{2, 1}, Case{15, 1}, Case{16, 0}, Case{20, 0}}) {
        auto d = std::make_shared<CScriptedDriver>();
        d->serials.clear();
        for (int i = 0; i < c.attached; ++i) d->serials.push_back("SER" + std::to_string(i));
        CI2C_FTDI l{d};
        EXPECT_EQ(l.ListDevices(), c.attached);
        EXPECT_EQ(l.DevicesFound(), c.attached);
        EXPECT_EQ(d->fetchCalls, c.fetches) << c.attached << " devices";
        const std::string lastSerial = c.fetches ? "SER" + std::to_string(c.attached - 1) : "";
        EXPECT_EQ(l.DeviceSerial(c.fetches ? c.attached - 1 : 0), lastSerial);
    }
}

TEST_F(QueueFixture, OpeningTheI2CChannelInitialisesMpsseAndRecordsTheStatus)
{
    link.SetRate(100);
    link.ListDevices();
    link.AddStart();  // left over: the open discards it
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    EXPECT_TRUE(link.IsI2CChannelOpen());
    ASSERT_EQ(driver->bitModes.size(), 1u);
    EXPECT_EQ(driver->bitModes[0], (std::pair<int, std::pair<uint8_t, uint8_t>>{1, {0x83, 0x02}}));
    ASSERT_EQ(driver->writes.size(), 2u);
    EXPECT_EQ(driver->writes[0].bytes, (Bytes{0x80, 0x03, 0x83, 0x85}));
    EXPECT_EQ(driver->writes[1].bytes, (Bytes{0x86, 59, 0x00}));
    EXPECT_EQ(link.StatusText(), "Open Status = 0; Device = 1; FT1A2B3CB; Devices Found = 2");
}

TEST_F(QueueFixture, AFailedOpenKeepsTheChannelAlreadyOpen)
{
    link.ListDevices();
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    driver->writes.clear();
    driver->openFailures[1] = {FTDI_DEVICE_NOT_OPENED};
    EXPECT_EQ(link.OpenI2CChannel(), FTDI_DEVICE_NOT_OPENED);
    EXPECT_TRUE(link.IsI2CChannelOpen());
    EXPECT_TRUE(driver->writes.empty()) << "a failed open initialises nothing";
    EXPECT_EQ(driver->closes[1], 0);
    EXPECT_EQ(link.StatusText(), "Open Status = 3; Device = 1; FT1A2B3CB; Devices Found = 2");
    // The open channel still carries traffic.
    link.AddStart();
    link.FlushI2C();
    EXPECT_EQ(driver->writes.size(), 1u);
}

TEST_F(QueueFixture, EnableChannelOpensLowAndTheLineFollowsRaiseAndLower)
{
    link.ListDevices();
    ASSERT_EQ(link.OpenEnableChannel(), FTDI_OK);
    ASSERT_EQ(driver->bitModes.size(), 1u);
    EXPECT_EQ(driver->bitModes[0], (std::pair<int, std::pair<uint8_t, uint8_t>>{0, {0x00, 0x02}}));
    ASSERT_EQ(driver->writes.size(), 3u);
    EXPECT_EQ(driver->writes[0].bytes, (Bytes{0x82, 0x00, 0x01}));
    EXPECT_EQ(driver->writes[1].bytes, (Bytes{0x85}));
    EXPECT_EQ(driver->writes[2].bytes, (Bytes{0x82, 0x00, 0x01}));
    EXPECT_EQ(link.StatusText(), "Open Status = 0; Device = 0; FT1A2B3CA; Devices Found = 2");
    driver->writes.clear();
    link.RaiseEnableLine();
    link.LowerEnableLine();
    EXPECT_EQ(driver->WrittenTo(0), (Bytes{0x82, 0x01, 0x01, 0x82, 0x00, 0x01}));
    link.CloseEnableChannel();
    link.CloseEnableChannel();
    EXPECT_EQ(driver->closes[0], 1);
    EXPECT_FALSE(link.IsEnableChannelOpen());
}

TEST_F(QueueFixture, VersionsComeFromTheDriver)
{
    EXPECT_EQ(link.GetLibraryVersion(), 0x00030115u);
    EXPECT_EQ(link.GetDriverVersion(), 0u) << "no driver version without an open I2C channel";
    link.OpenI2CChannel();
    EXPECT_EQ(link.GetDriverVersion(), 0x00020812u);
}

// The cable lock, with a context the test owns.
struct LockFixture : QueueFixture, CCableContext {
    bool demo = false;
    CCableContext* previous = nullptr;

    void SetUp() override
    {
        previous = SetCableContext(this);
        link.ListDevices();
    }
    void TearDown() override { SetCableContext(previous); }
    bool CableDemoMode() const override { return demo; }
    CI2C_FTDI* CableLink() override { return &link; }

    // Enable-line levels written to the enable channel after its initialisation.
    int LineCommands(uint8_t level) const
    {
        int n = 0;
        const Bytes all = driver->WrittenTo(0);
        for (size_t i = 0; i + 2 < all.size(); ++i)
            if (all[i] == 0x82 && all[i + 1] == level && all[i + 2] == 0x01) ++n;
        return n;
    }
};

TEST_F(LockFixture, NestedLocksOpenRaiseLowerAndCloseOnce)
{
    {
        CCableLock outer;
        EXPECT_EQ(CCableLock::Depth(), 1);
        EXPECT_TRUE(link.IsEnableChannelOpen());
        {
            CCableLock middle;
            CCableLock inner;
            EXPECT_EQ(CCableLock::Depth(), 3);
            EXPECT_EQ(inner.OpenStatus(), 0);
        }
        EXPECT_TRUE(link.IsEnableChannelOpen()) << "inner locks must not close the channel";
        EXPECT_EQ(driver->closes[0], 0);
    }
    EXPECT_EQ(CCableLock::Depth(), 0);
    EXPECT_EQ(driver->opens[0], 1);
    EXPECT_EQ(LineCommands(0x01), 1);
    EXPECT_EQ(LineCommands(0x00), 3) << "two during the open, one when released";
    EXPECT_EQ(driver->closes[0], 1);
    EXPECT_FALSE(link.IsEnableChannelOpen());
    // The line is lowered before the channel closes.
    const Bytes all = driver->WrittenTo(0);
    EXPECT_EQ(Bytes(all.end() - 3, all.end()), (Bytes{0x82, 0x00, 0x01}));
}

TEST_F(LockFixture, InDemoModeALockOnlyCounts)
{
    demo = true;
    {
        CCableLock a;
        CCableLock b;
        EXPECT_EQ(CCableLock::Depth(), 2);
    }
    EXPECT_EQ(CCableLock::Depth(), 0);
    EXPECT_EQ(driver->opens[0], 0);
    EXPECT_TRUE(driver->writes.empty());
    EXPECT_EQ(driver->closes[0], 0);
}

TEST_F(LockFixture, AFailedEnableOpenLeavesTheLineAlone)
{
    driver->openFailures[0] = {FTDI_DEVICE_NOT_FOUND};
    {
        CCableLock lock;
        EXPECT_EQ(lock.OpenStatus(), static_cast<int>(FTDI_DEVICE_NOT_FOUND));
        EXPECT_FALSE(link.IsEnableChannelOpen());
    }
    EXPECT_EQ(LineCommands(0x01), 0);
    EXPECT_TRUE(driver->WrittenTo(0).empty());
    EXPECT_FALSE(link.IsEnableChannelOpen());
    EXPECT_EQ(driver->closes[0], 0);
}

}  // namespace
