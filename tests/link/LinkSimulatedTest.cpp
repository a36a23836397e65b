// The link's transactions run on the simulated cable: the simulated target
// must receive exactly the bytes queued and answer with the right bits.

#include <gtest/gtest.h>

#include <filesystem>

#include "link/I2C_FTDI.h"
#include "sim/SimulatedFtdiDriver.h"
#include "sim/TestTarget.h"
#include "tests/SigrokDecode.h"

namespace {

struct LinkOnSimulatedCable : ::testing::Test {
    std::shared_ptr<CSimulatedFtdiDriver> driver = std::make_shared<CSimulatedFtdiDriver>();
    std::shared_ptr<CTestTarget> target = std::make_shared<CTestTarget>();
    CI2C_FTDI link{driver};

    void SetUp() override
    {
        driver->Bus().Attach(0xC0, target);
        link.ListDevices();
        ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
        driver->ClearEventLog();
    }

    // One exchange: a write of `bytes` after the address, then optionally a
    // read of `reads` bytes behind a repeated START.
    int Transact(uint8_t address, std::vector<uint8_t> bytes, bool stop)
    {
        link.AddStart();
        link.AddWriteByte(address);
        for (uint8_t b : bytes) link.AddWriteByte(b);
        if (stop) link.AddStop();
        link.FlushI2C();
        return link.CollectReplies();
    }
    int Read(uint8_t address, int count)
    {
        link.AddStart();
        link.AddWriteByte(address);
        for (int i = 0; i < count; ++i) link.AddReadByte(i == count - 1);
        link.AddStop();
        link.FlushI2C();
        return link.CollectReplies();
    }
};

TEST_F(LinkOnSimulatedCable, TransactionsDeliverTheQueuedBytesAndReturnTheTargetsData)
{
    struct Case {
        const char* name;
        std::function<void(LinkOnSimulatedCable&)> run;
        std::string log;
        std::vector<uint8_t> replies;
        bool ackFailed;
    };
    const std::vector<Case> cases = {
        {"write", [](auto& f) { EXPECT_EQ(f.Transact(0xC0, {0x10, 0xAA, 0xBB}, true), 4); },
         "S C0 A 10 A AA A BB A P", {0, 0, 0, 0}, false},
        {"write then read",
         [](auto& f) {
             f.Transact(0xC0, {0x10}, false);
             EXPECT_EQ(f.Read(0xC1, 2), 3);
         },
         "S C0 A 10 A Sr C1 A AA A BB N P", {0, 0xAA, 0xBB}, false},
        {"absent address", [](auto& f) { EXPECT_EQ(f.Transact(0xC4, {0x10}, true), 2); },
         "S C4 N 10 N P", {1, 1}, true},
    };
    for (const auto& c : cases) {
        driver->ClearEventLog();
        c.run(*this);
        EXPECT_EQ(driver->EventLog(), c.log) << c.name;
        EXPECT_EQ(link.AckFailed(), c.ackFailed) << c.name;
        for (int i = 0; i < static_cast<int>(c.replies.size()); ++i) {
            // Acknowledge replies carry their bit in bit 0; data replies are whole bytes.
            const int mask = link.ReplyKindAt(i) == CI2C_FTDI::kAckReply ? 1 : 0xFF;
            EXPECT_EQ(link.ReplyByte(i) & mask, c.replies[i]) << c.name << " reply " << i;
        }
    }
    EXPECT_EQ(target->Byte(0x10), 0xAA);
    EXPECT_EQ(target->Byte(0x11), 0xBB);
    EXPECT_TRUE(driver->UnknownOpcodes().empty());
}

TEST_F(LinkOnSimulatedCable, AnUnpluggedCableFailsTheOpenAndTheLinkRecoversWhenPluggedBack)
{
    driver->SetPlugged(false);
    EXPECT_EQ(link.ListDevices(), 0);
    EXPECT_NE(link.OpenI2CChannel(), FTDI_OK);
    EXPECT_EQ(Transact(0xC0, {0x10}, true), 0) << "nothing answers";
    EXPECT_FALSE(link.AckFailed()) << "missing acknowledge bits count as acknowledged";

    driver->SetPlugged(true);
    EXPECT_EQ(link.ListDevices(), 2);
    ASSERT_EQ(link.OpenI2CChannel(), FTDI_OK);
    Transact(0xC0, {0x20, 0x42}, true);
    EXPECT_FALSE(link.AckFailed());
    EXPECT_EQ(target->Byte(0x20), 0x42);
    // Opening again while open is refused, and the open channel stays in use.
    EXPECT_NE(link.OpenI2CChannel(), FTDI_OK);
    Transact(0xC0, {0x21, 0x43}, true);
    EXPECT_EQ(target->Byte(0x21), 0x43);
}

TEST_F(LinkOnSimulatedCable, TheBusTraceDecodesWithSigrokAsTheBusSawIt)
{
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli is run through a POSIX shell";
#endif
    ASSERT_TRUE(sigrok::Available()) << "sigrok-cli is missing: scripts/setup installs it";
    target->SetByte(0x30, 0x5A);
    for (int rate : {100, 400}) {
        link.SetRate(rate);
        link.SendClockDivisor();
        driver->ClearTrace();
        driver->ClearEventLog();
        driver->StartTrace();
        Transact(0xC0, {0x30}, false);
        Read(0xC1, 1);
        Transact(0xC2, {}, true);  // nobody there
        driver->StopTrace();
        const auto path = std::filesystem::temp_directory_path() /
                          ("zent2-link-" + std::to_string(rate) + "-" + std::to_string(::getpid()) + ".vcd");
        ASSERT_TRUE(driver->WriteVcd(path.string()));
        std::string tokens, output;
        const bool ok = sigrok::Decode(path.string(), &tokens, &output);
        std::filesystem::remove(path);
        ASSERT_TRUE(ok) << output;
        EXPECT_EQ(tokens, "S C0 A 30 A Sr C1 A 5A N P S C2 N P") << rate << " kHz\n" << output;
        EXPECT_EQ(tokens, driver->EventLog());
    }
}

}  // namespace
