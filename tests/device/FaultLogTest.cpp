// The fault-log block: record decoding, the unlock code text, and its device
// sequences on the simulated board (status, READ_FAULT_ENABLE, records, erase).

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

class FaultLogOnBoard : public BoardTest {
protected:
    // HMU0 with `count` records, record r having only VMON(r % 9 + 1) B set.
    void Fill(int count)
    {
        Hmu(0).ClearFaultRecords();
        for (int r = 0; r < count; ++r) {
            faultlog::Record record{};
            faultlog::SetRecordBit(record, faultlog::VmonBit(r % 9, 1), true);
            ASSERT_TRUE(Hmu(0).AddFaultRecord(record));
        }
    }
};

TEST_F(FaultLogOnBoard, ReadsTheRecordsTheStatusAnnounces)
{
    const struct {
        const char* name;
        int records;
        uint8_t flags0, flags1;
        int count;
        bool unusable;
    } cases[] = {
        {"empty", 0, 0, 0, 0, false},
        {"five", 5, 0, 0, 5, false},
        {"fifteen", 15, 0, 0, 15, false},
        {"sixteen: the full bit", 16, 0, 0, 16, false},
        {"not valid", 5, 0, faultlog::kStatus1Invalid, 0, true},
        {"busy", 16, faultlog::kStatus0Busy, 0, 0, true},
        {"not valid and empty: no handshake", 0, 0, faultlog::kStatus1Invalid, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fill(c.records);
        Hmu(0).SetFaultStatusFlags(c.flags0, c.flags1);
        faultlog::Records records{};
        Driver().ClearEventLog();
        const faultlog::LogRead read = faultlog::ReadLog(*port, records);
        EXPECT_TRUE(read.Answered());
        EXPECT_FALSE(read.enableFailed);
        EXPECT_EQ(read.count, c.count);
        EXPECT_EQ(read.unusable, c.unusable);
        EXPECT_EQ(faultlog::IsMemoryFull(*port), c.records == 16);
        for (int r = 0; r < c.count; ++r) EXPECT_EQ(records[r], Hmu(0).FaultRecords()[r]) << r;
        // Records are fetched in one read of 7 bytes each, and the log is closed again.
        const std::string log = Driver().EventLog();
        const bool fetched = c.count > 0;
        EXPECT_EQ(log.find("76 A Sr C1") != std::string::npos, fetched);
        EXPECT_EQ(log.find("74 A B7 A") != std::string::npos, c.records > 0);
        EXPECT_EQ(log.find("74 A 00 A Sr C1 A 00 N P") != std::string::npos, c.records > 0);
        EXPECT_FALSE(Hmu(0).FaultReadEnabled());
    }
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST_F(FaultLogOnBoard, ReadEnableHasThreeAttempts)
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

TEST_F(FaultLogOnBoard, ALogThatWillNotOpenKeepsItsCountAndTheRecordsAsTheyWere)
{
    faultlog::Records records{};
    records[0][6] = 0x5A;
    Hmu(0).InjectFault(HmuFault::WrongEnableAnswer, CHmuDevice::kAlways);
    Driver().ClearEventLog();
    const faultlog::LogRead read = faultlog::ReadLog(*port, records);
    EXPECT_TRUE(read.enableFailed);
    EXPECT_TRUE(read.Answered());
    EXPECT_EQ(read.count, 2);
    EXPECT_EQ(records[0][6], 0x5A);
    EXPECT_EQ(records[1], faultlog::Record{});
    EXPECT_EQ(Driver().EventLog().find(" 76 A"), std::string::npos) << "no record read";
    EXPECT_EQ(Driver().EventLog().find("74 A 00"), std::string::npos) << "nothing to close";

    // While erasing: the erase is never sent, the sequence still ends.
    Driver().ClearEventLog();
    const faultlog::EraseResult erase = faultlog::EraseLog(*port);
    EXPECT_FALSE(erase.enabled);
    EXPECT_FALSE(erase.Erased());
    EXPECT_EQ(Hmu(0).FaultRecords().size(), 2u);
    EXPECT_EQ(Driver().EventLog().find(" 71 A"), std::string::npos);
    EXPECT_NE(Driver().EventLog().find("S C0 A 05 A P"), std::string::npos);
}

TEST_F(FaultLogOnBoard, AnUnansweredReadIsNotAnEmptyLog)
{
    Driver().InjectAddressNack(0xC0, CSimulatedFtdiDriver::kAlways);
    faultlog::Records records{};
    const faultlog::LogRead read = faultlog::ReadLog(*port, records);
    EXPECT_FALSE(read.Answered());
    EXPECT_EQ(read.count, 0);
    EXPECT_FALSE(faultlog::IsMemoryFull(*port));
    EXPECT_FALSE(faultlog::SetReadEnable(*port, true));
}

TEST_F(FaultLogOnBoard, EraseOnlyWithTheCodeTheDeviceExpects)
{
    const struct {
        const char* name;
        uint16_t deviceCode;
        uint16_t sentCode;
        bool erased;
    } cases[] = {
        {"built-in code", faultlog::kUnlockCode, faultlog::kUnlockCode, true},
        {"wrong code: not taken for an erase", faultlog::kUnlockCode, 0x1234, false},
        {"a board with its own code", 0x1234, 0x1234, true},
        {"that board with the built-in code", 0x1234, faultlog::kUnlockCode, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fill(3);
        Hmu(0).SetUnlockCode(c.deviceCode);
        const faultlog::EraseResult result = faultlog::EraseLog(*port, c.sentCode);
        EXPECT_TRUE(result.enabled);
        EXPECT_TRUE(result.after.answered);
        EXPECT_EQ(result.Erased(), c.erased);
        EXPECT_EQ(Hmu(0).FaultRecords().size(), c.erased ? 0u : 3u);
        EXPECT_FALSE(Hmu(0).EraseUnlocked()) << "the sequence ends locked";
        EXPECT_FALSE(Hmu(0).FaultReadEnabled());
    }
}

}  // namespace
