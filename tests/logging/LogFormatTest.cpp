// The log file's lines as people and scripts read them, whatever locale the
// user runs, and the system line of the header.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "logging/LogFailures.h"
#include "logging/LogWriter.h"
#include "util/OsVersion.h"
#include "tests/CommaLocale.h"

namespace {

using logsel::Channel;
using logsel::Group;

// A comma as the decimal separator and German day and month names for the
// whole test: the file must not follow them.
class CommaLocaleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = std::setlocale(LC_ALL, nullptr);
        if (UseCommaLocale(LC_ALL) == nullptr) GTEST_SKIP() << "no comma locale";
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        ASSERT_STREQ(text, "1,5") << "the locale must change printf for the test to mean anything";
    }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

TEST_F(CommaLocaleTest, EveryLineKindHasItsFormat)
{
    struct Case {
        LogValue value;
        const char* line;
    };
    const Case cases[] = {
        {{0, Channel(Group::Vmon, 1), 1.2019999f}, "1.202, HMU0_VMON1\n"},
        {{3, Channel(Group::Vmon, 10), 12.5}, "12.500, HMU3_VMON10\n"},  // HVMON
        {{7, Channel(Group::Vmon, 9), 0.0}, "0.000, HMU7_VMON9\n"},
        {{1, Channel(Group::Hvout, 2), 1.0}, "1, HMU1_HVOUT2\n"},
        {{1, Channel(Group::Hvout, 4), 0.0}, "0, HMU1_HVOUT4\n"},
        {{2, Channel(Group::Gpio, 10), 1.0}, "1, HMU2_GPIO10\n"},
        {{0, Channel(Group::Tmon, 3), 31.25}, "31.250, HMU0_TMON3\n"},  // internal
        {{0, Channel(Group::Tmon, 1), -0.25}, "-0.250, HMU0_TMON1\n"},
        {{1, Channel(Group::Imon, 2), 0.2f}, "0.200, HMU1_IMON2\n"},  // HIMON
        {{5, Channel(Group::Imon, 1), 12.3456}, "12.346, HMU5_IMON1\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatLogLine(c.value), c.line);

    // A record: a block per device, each opened by its line, even an empty one.
    LogRecord record{2, {{0, {{0, Channel(Group::Vmon, 1), 1.202}, {0, Channel(Group::Tmon, 3), 31.25}}},
                         {1, {{1, Channel(Group::Hvout, 2), 1.0}}},
                         {4, {}}}};
    EXPECT_EQ(FormatLogRecord(record),
              "Record 2 Value, Name\n1.202, HMU0_VMON1\n31.250, HMU0_TMON3\n"
              "Record 2 Value, Name\n1, HMU1_HVOUT2\n"
              "Record 2 Value, Name\n");
    EXPECT_EQ(FormatLogRecord(LogRecord{9, {}}), "");
}

TEST_F(CommaLocaleTest, HeaderLinesInOrderWithAnEnglishDate)
{
    LogHeader header;
    header.programVersion = "1.0.17.297";
    header.driverVersion = 0x00021236;
    header.libraryVersion = 0xAB;
    header.osText = "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64";
    header.delaySeconds = 5;
    header.totalRecords = 0;
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_wday = 2;
    when.tm_hour = 7;
    when.tm_min = 3;
    when.tm_sec = 9;
    header.localTime = when;
    const std::string expected =
        "Norvane Semiconductor Sentrix II I2C Utility version: 1.0.17.297\n"
        "FTDI driver version: 0x00021236\n"
        "FTDI library version: 0x000000AB\n"
        "OS Version: Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64\n"
        "Logging interval: 5 sec, Total logs: 0 (0 - unlimited)\n"
        "Tuesday, December 08, 2026 07:03:09\n\n";
    EXPECT_EQ(FormatLogHeader(header), expected);

    // A time that cannot be converted leaves the date line and its empty line out.
    header.localTime.reset();
    EXPECT_EQ(FormatLogHeader(header), expected.substr(0, expected.find("Tuesday")));
}

TEST(OsVersion, WindowsDecisionTable)
{
    struct Case {
        const char* what;
        WindowsVersionFacts facts;
        int result;
        const char* text;
    };
    const auto nt = [](uint32_t major, uint32_t minor, uint32_t build, const char* sp, uint32_t suite,
                       uint32_t type, uint32_t arch, uint32_t info) {
        return WindowsVersionFacts{true, 2, major, minor, build, sp, suite, type, arch, info};
    };
    const Case cases[] = {
        {"7 Ultimate SP1 x64", nt(6, 1, 7601, "Service Pack 1", 0, 1, 9, 1), 1,
         "Microsoft Windows 7 Ultimate Edition Service Pack 1 (build 7601), 64-bit"},
        {"XP Home SP3", nt(5, 1, 2600, "Service Pack 3", 0x200, 1, 0, 0), 1,
         "Microsoft Windows XP Home Edition Service Pack 3 (build 2600)"},
        {"XP Professional", nt(5, 1, 2600, "", 0, 1, 0, 0), 1, "Microsoft Windows XP Professional (build 2600)"},
        {"Vista Home Premium x86", nt(6, 0, 6002, "Service Pack 2", 0, 1, 0, 3), 1,
         "Microsoft Windows Vista Home Premium Edition Service Pack 2 (build 6002), 32-bit"},
        {"Server 2008 Datacenter core, Itanium", nt(6, 0, 6001, "", 0, 3, 6, 12), 1,
         "Microsoft Windows Server 2008 Datacenter Edition (core installation) (build 6001)"},
        {"8, a code without a name", nt(6, 2, 9200, "", 0, 1, 9, 48), 1, "Microsoft Windows 8 (build 9200), 64-bit"},
        {"6.2 server", nt(6, 2, 9200, "", 0, 3, 9, 7), 1,
         "Microsoft Windows Server 2008 R2 Standard Edition (build 9200), 64-bit"},
        {"Server 2003 x64 Datacenter", nt(5, 2, 3790, "Service Pack 2", 0x80, 3, 9, 0), 1,
         "Microsoft Windows Server 2003, Datacenter x64 Edition Service Pack 2 (build 3790)"},
        {"Server 2003 x64 Standard", nt(5, 2, 3790, "", 0, 3, 9, 0), 1,
         "Microsoft Windows Server 2003, Standard x64 Edition (build 3790)"},
        {"Server 2003 Itanium Enterprise", nt(5, 2, 3790, "", 0x2, 3, 6, 0), 1,
         "Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems (build 3790)"},
        {"Server 2003 cluster before datacenter", nt(5, 2, 3790, "", 0x4080, 3, 0, 0), 1,
         "Microsoft Windows Server 2003, Compute Cluster Edition (build 3790)"},
        {"Server 2003 Web", nt(5, 2, 3790, "", 0x400, 3, 0, 0), 1,
         "Microsoft Windows Server 2003, Web Edition (build 3790)"},
        {"XP x64", nt(5, 2, 3790, "", 0, 1, 9, 0), 1, "Microsoft Windows XP Professional x64 Edition (build 3790)"},
        {"Storage Server 2003", nt(5, 2, 3790, "", 0x2000, 3, 0, 0), 1,
         "Microsoft Windows Storage Server 2003Standard Edition (build 3790)"},
        {"2000 Advanced Server", nt(5, 0, 2195, "", 0x2, 3, 0, 0), 1,
         "Microsoft Windows 2000 Advanced Server (build 2195)"},
        {"2000 Professional", nt(5, 0, 2195, "", 0x80, 1, 0, 0), 1, "Microsoft Windows 2000 Professional (build 2195)"},
        {"NT 4", nt(4, 0, 1381, "", 0, 1, 0, 0), 0, "Udefined Windows version"},
        {"not the NT platform", WindowsVersionFacts{true, 1, 4, 10, 2222, "", 0, 1, 0, 0}, 0,
         "Udefined Windows version"},
        // Newer than the table: named, instead of "Microsoft (build ...)".
        {"10 Pro", nt(10, 0, 19045, "", 0x100, 1, 9, 48), 1, "Microsoft Windows 10 (build 19045), 64-bit"},
        {"11 Enterprise", nt(10, 0, 22631, "", 0, 1, 9, 4), 1,
         "Microsoft Windows 11 Enterprise Edition (build 22631), 64-bit"},
        {"Server 2022", nt(10, 0, 20348, "", 0, 3, 9, 8), 1,
         "Microsoft Windows Server 2022 Datacenter Edition (build 20348), 64-bit"},
    };
    for (const Case& c : cases) {
        std::string text = "left over";
        EXPECT_EQ(WindowsOsVersionText(c.facts, text), c.result) << c.what;
        EXPECT_EQ(text, c.text) << c.what;
    }
    // No version record: a text was "built", and left as it was.
    std::string text;
    EXPECT_EQ(WindowsOsVersionText(WindowsVersionFacts{}, text), 1);
    EXPECT_EQ(text, "");
}

TEST(OsVersion, UnixTextFromOsReleaseAndKernel)
{
    struct Case {
        const char* osRelease;
        const char* expected;
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION_ID=\"12\"\n",
         "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64"},
        {"PRETTY_NAME='Alpine Linux v3.19'\n", "Alpine Linux v3.19, Linux 6.1.0-18-amd64 x86_64"},
        {"PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "Say \"hi\", Linux 6.1.0-18-amd64 x86_64"},
        {"NAME=Fedora\nVERSION=\"39 (Workstation Edition)\"\n",
         "Fedora 39 (Workstation Edition), Linux 6.1.0-18-amd64 x86_64"},
        {"PRETTY_NAME_X=\"no\"\nID=arch\n", "Linux 6.1.0-18-amd64 x86_64"},
        {"", "Linux 6.1.0-18-amd64 x86_64"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnixOsVersionText(c.osRelease, "Linux", "6.1.0-18-amd64", "x86_64"), c.expected) << c.osRelease;
    EXPECT_EQ(UnixOsVersionText("PRETTY_NAME=\"Debian\"\n", "", "", ""), "Debian");
}

#ifndef _WIN32
std::string ShellLine(const char* command)
{
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr) return {};
    char line[512] = {};
    if (std::fgets(line, sizeof line, pipe) == nullptr) line[0] = '\0';
    pclose(pipe);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

TEST(OsVersion, HeaderNamesThisSystemAsItsToolsDo)
{
    std::string text;
    EXPECT_EQ(GetOsVersionText(text), 1);
    // The distribution's own name for itself, then what uname tells.
    const std::string pretty = ShellLine(
        "sh -c '. /etc/os-release 2>/dev/null || . /usr/lib/os-release 2>/dev/null; printf \"%s\\n\" \"$PRETTY_NAME\"'");
    const std::string kernel = ShellLine("uname -s -r -m");
    ASSERT_FALSE(kernel.empty());
    EXPECT_EQ(text, pretty.empty() ? kernel : pretty + ", " + kernel);
}
#endif

TEST(LogSelection, ChannelListOfTheCommandLine)
{
    struct Case {
        const char* list;
        std::vector<int> channels;  // empty: refused
    };
    const Case cases[] = {
        {"vmon1,vmon2,hvmon,tmon3,imon1", {0, 1, 9, 26, 27}},
        {"VMON10, TmonInt ,HIMON", {9, 26, 28}},
        {"imon2,gpio10,hvout4", {23, 13, 28}},
        {"hvout", {10, 11, 12, 13}},
        {"tmon,imon", {24, 25, 26, 27, 28}},
        {"gpio7,gpio7", {20}},
        {"vmon11", {}},
        {"hvout5", {}},
        {"gpio0", {}},
        {"gpio01", {}},
        {"vmon1,,vmon2", {}},
        {"", {}},
        {"temp1", {}},
        {"vmon1x", {}},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<logsel::DeviceChannels> parsed = logsel::ParseChannelList(c.list, error);
        if (c.channels.empty()) {
            EXPECT_FALSE(parsed) << c.list;
            EXPECT_FALSE(error.empty()) << c.list;
            continue;
        }
        ASSERT_TRUE(parsed) << c.list << ": " << error;
        logsel::DeviceChannels expected{};
        for (const int channel : c.channels) expected[channel] = true;
        EXPECT_EQ(*parsed, expected) << c.list;
    }
}

// The summary a logging run ends with: each device's channels that failed
// in the same records named together, the records as a range or a count.
TEST(LogFailures, SummaryNamesChannelsAndRecordsInFewWords)
{
    const int vmon1 = Channel(Group::Vmon, 1), hvmon = Channel(Group::Vmon, 10), gpio7 = Channel(Group::Gpio, 7);
    const int tmon3 = Channel(Group::Tmon, 3), imon1 = Channel(Group::Imon, 1), imon2 = Channel(Group::Imon, 2);
    std::vector<int> vmons;
    for (int c = vmon1; c <= hvmon; ++c) vmons.push_back(c);
    const auto record = [](int number, std::vector<std::pair<int, std::vector<int>>> failed) {
        LogRecord r{number, {}};
        for (auto& [device, channels] : failed) {
            LogDeviceBlock block;
            block.device = device;
            block.failedChannels = channels;
            r.devices.push_back(block);
        }
        return r;
    };
    struct Case {
        std::vector<LogRecord> records;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {{record(1, {{0, {}}, {1, {}}})}, ""},
        {{record(3, {{0, vmons}}), record(4, {{0, vmons}, {1, {}}})}, "20 readings failed: HMU0 VMON1-10 in records 3-4"},
        {{record(2, {{1, {imon1}}})}, "1 reading failed: HMU1 IMON1 in record 2"},
        {{record(1, {{0, {vmon1, tmon3, imon1, imon2}}}), record(2, {}), record(3, {{0, {imon1, imon2}}, {5, {gpio7}}})},
         "7 readings failed: HMU0 VMON1, TMON3 in record 1; HMU0 IMON1-2 in 2 records from 1 to 3; HMU5 GPIO7 in "
         "record 3"},
        {{record(1, {{0, {hvmon, Channel(Group::Hvout, 1)}}})},
         "2 readings failed: HMU0 VMON10, HVOUT1 in record 1"},
    };
    for (const Case& c : cases) {
        CLogFailures failures;
        for (const LogRecord& r : c.records) failures.Add(r);
        EXPECT_EQ(failures.Summary(), c.summary);
        EXPECT_EQ(failures.Any(), !c.summary.empty());
    }
}

}  // namespace
