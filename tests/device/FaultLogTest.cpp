// The fault-log block: record decoding, the demo pattern, the unlock code
// text, and the READ_FAULT_ENABLE handshake on the simulated board. The read
// and erase sequences are checked end to end by the fault log window's tests
// and by the command line's traces; here, what an erase result says.

#include <gtest/gtest.h>

#include "device/blocks/FaultLog.h"
#include "tests/sim/BoardFixture.h"

namespace {

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

TEST(FaultRecord, DecodesEveryFlagFromItsBit)
{
    const struct {
        faultlog::Record bytes;
        bool hasGpio7;
        const char* names;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0x02, 0}, true, "VMON1 A"},
        {{0, 0x7F, 0, 0, 0, 0, 0}, true, "GPIO4, GPIO5, GPIO6, GPIO7, GPIO8, GPIO9, GPIO10"},
        {{0, 0x7F, 0, 0, 0, 0, 0}, false, "GPIO4, GPIO5, GPIO6, GPIO8, GPIO9, GPIO10"},
        {{0, 0, 0, 0, 0, 0, 0x08}, true, "TMON int A"},
        {{0, 0, 0, 0, 0, 0, 0x10}, true, "TMON int B"},
        {{0, 0, 0, 0, 0, 0, 0x60}, true, "TMON1 A, TMON1 B"},
        {{0, 0, 0, 0, 0, 0x01, 0x80}, true, "TMON2 A, TMON2 B"},
        {{0, 0, 0, 0x04, 0, 0, 0}, true, "VMON9 B"},
        {{0, 0, 0, 0x18, 0, 0, 0}, true, "HVMON A, HVMON B"},
        {{0, 0, 0x01, 0xE0, 0, 0, 0}, true, "IMON1 A, IMON1 B, HIMON A, HIMON B"},
        {{0, 0, 0x1E, 0, 0, 0, 0}, true, "HVOUT1, HVOUT2, HVOUT3, HVOUT4"},
        {{0, 0, 0xE0, 0, 0, 0, 0}, true, "GPIO1, GPIO2, GPIO3"},
        // Bits 0..2 and 47..55 carry nothing.
        {{0xFF, 0x80, 0, 0, 0, 0, 0x07}, true, ""},
        // Listed in the page's order: voltages, then the other monitors, then pins.
        {{0, 0x01, 0x01, 0, 0, 0x02, 0x40}, true, "VMON1 A, TMON1 B, IMON1 B, GPIO4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Joined(faultlog::SetFlagNames(faultlog::DecodeRecord(c.bytes), c.hasGpio7)), c.names) << c.names;
    }
}

TEST(FaultRecord, DemoPatternHasOneFlagPerRecordAndKeepsOtherBits)
{
    faultlog::Records records{};
    records[3][0] = 0x80;  // a bit no flag uses: ORed, not replaced
    const faultlog::LogRead read = faultlog::ReadDemoLog(records);
    EXPECT_EQ(read.count, 16);
    const char* const expected[16] = {"VMON1 A", "VMON2 A", "VMON3 A", "VMON4 A", "VMON5 A", "VMON6 A",
                                      "VMON7 A", "VMON8 A", "VMON9 A", "HVMON A", "TMON1 A", "TMON1 B",
                                      "TMON2 A", "TMON2 B", "TMON int A", "TMON int B"};
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(Joined(faultlog::SetFlagNames(faultlog::DecodeRecord(records[k]), true)), expected[k]) << k;
    EXPECT_EQ(records[3][0], 0x80);
}

TEST(FaultLogUnlockCode, FourHexDigitsOnly)
{
    const struct {
        const char* text;
        std::optional<uint16_t> code;
    } cases[] = {
        {"3CA5", 0x3CA5}, {"3ca5", 0x3CA5}, {"0000", 0x0000}, {"FFFF", 0xFFFF}, {"1234", 0x1234},
        {"", std::nullopt}, {"3CA", std::nullopt}, {"3CA55", std::nullopt}, {"0x3C", std::nullopt},
        {"3CG5", std::nullopt}, {" 3CA", std::nullopt}, {"3C A", std::nullopt}, {"-3CA", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(faultlog::ParseUnlockCode(c.text), c.code) << '"' << c.text << '"';
    EXPECT_EQ(faultlog::UnlockCodeOf(faultlog::kUnlockFirst, faultlog::kUnlockSecond), faultlog::kUnlockCode);
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST_F(BoardTest, FaultLogReadEnableHasThreeAttempts)
{
    const struct {
        int wrongAnswers;  // READ_FAULT_ENABLE answered wrongly this often
        bool enabled;
        size_t attempts;
    } cases[] = {{0, true, 1}, {1, true, 2}, {2, true, 3}, {3, false, 3}, {CHmuDevice::kAlways, false, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wrongAnswers);
        Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, c.wrongAnswers);
        Driver().ClearEventLog();
        EXPECT_EQ(faultlog::SetReadEnable(*port, true), c.enabled);
        EXPECT_EQ(Occurrences(Driver().EventLog(), "S C0 A 74 A B7 A Sr C1 A"), c.attempts);
        EXPECT_EQ(Hmu(0).FaultReadEnabled(), c.enabled);
        Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, 0);
        EXPECT_TRUE(faultlog::SetReadEnable(*port, false));
    }
    // An attempt whose command is not acknowledged is one of the three.
    Hmu(0).InjectFault(HmuFault::CommandNack, 2, faultlog::kCmdReadEnable);
    EXPECT_TRUE(faultlog::SetReadEnable(*port, true));
    Hmu(0).InjectFault(HmuFault::CommandNack, CHmuDevice::kAlways, faultlog::kCmdReadEnable);
    EXPECT_FALSE(faultlog::SetReadEnable(*port, true));
}

// Whatever the status shows afterwards, an erase with a command the device
// refused is not an erase, and the result names the first such command.
TEST_F(BoardTest, EraseResultNamesTheCommandTheDeviceRefused)
{
    using faultlog::EraseOutcome;
    using faultlog::EraseStep;
    const struct {
        const char* name;
        HmuFault fault;
        int command;  // the one the fault hits
        EraseOutcome outcome;
        EraseStep refused;
        size_t recordsAfter;
    } cases[] = {
        {"nothing refused", HmuFault::CommandNack, 0x7F, EraseOutcome::Erased, EraseStep::None, 0},
        {"unlock", HmuFault::CommandNack, faultlog::kCmdUnlock, EraseOutcome::NotAcknowledged, EraseStep::Unlock, 2},
        {"unlock code's data", HmuFault::DataNack, faultlog::kCmdUnlock, EraseOutcome::NotAcknowledged,
         EraseStep::Unlock, 2},
        {"READ_FAULT_ENABLE", HmuFault::CommandNack, faultlog::kCmdReadEnable, EraseOutcome::NotAcknowledged,
         EraseStep::ReadEnable, 2},
        {"erase", HmuFault::CommandNack, faultlog::kCmdErase, EraseOutcome::NotAcknowledged, EraseStep::Erase, 2},
        // The log is empty by then: the status alone would call it erased.
        {"end of erase", HmuFault::CommandNack, faultlog::kCmdEndErase, EraseOutcome::NotAcknowledged,
         EraseStep::EndErase, 0},
        {"READ_FAULT_ENABLE answers wrongly", HmuFault::WrongEnableAnswer, CHmuDevice::kAnyCommand,
         EraseOutcome::ReadEnableFailed, EraseStep::None, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ASSERT_EQ(Hmu(0).FaultRecords().size(), 2u);
        Hmu(0).InjectFault(c.fault, CHmuDevice::kAlways, c.command);
        const faultlog::EraseResult result = faultlog::EraseLog(*port);
        EXPECT_EQ(result.Outcome(), c.outcome);
        EXPECT_EQ(result.Erased(), c.outcome == EraseOutcome::Erased);
        EXPECT_EQ(result.notAcknowledged, c.refused);
        EXPECT_TRUE(result.after.answered);
        EXPECT_EQ(Hmu(0).FaultRecords().size(), c.recordsAfter);
    }
    // A wrong unlock code: all acknowledged, nothing erased.
    SetUp();
    Hmu(0).SetUnlockCode(0x1234);
    EXPECT_EQ(faultlog::EraseLog(*port).Outcome(), EraseOutcome::NotErased);
}

}  // namespace
