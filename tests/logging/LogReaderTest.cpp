// The log reader on what the logger writes (on the simulated board, and in
// its formats) and on damaged files: line ends, files cut short, lines that
// do not belong, files that are no log at all.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "link/CableLock.h"
#include "logging/LogReader.h"
#include "logging/LogSession.h"
#include "tests/logging/LogTestFile.h"
#include "tests/logging/LogTestSupport.h"
#include "tests/sim/BoardFixture.h"

namespace {

using logread::LogReadResult;

// Channels of the small log: VMON1, HVOUT2, TMON3 (internal), IMON2 (HIMON).
const std::vector<int> kChannels = {0, 11, 26, 28};

std::string SmallLog()
{
    std::string text = logtest::Header(2, 3);  // lines 1..7, the 7th empty
    for (int r = 1; r <= 3; ++r) {
        std::vector<logtest::Value> values;
        for (int d = 0; d < 2; ++d)
            for (const int c : kChannels) values.push_back({d, c, logtest::SampleValue(r, d, c)});
        text += logtest::Record(r, {0, 1}, values);  // record r: lines 8 + 10 (r - 1) ..
    }
    return text;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Line n (from 1) replaced, or removed with an empty replacement list.
std::string ReplaceLine(const std::string& text, int n, const std::vector<std::string>& with)
{
    std::vector<std::string> lines = Lines(text);
    lines.erase(lines.begin() + (n - 1));
    lines.insert(lines.begin() + (n - 1), with.begin(), with.end());
    return Join(lines);
}

// The text up to `column` characters into line n, without a line end.
std::string CutInLine(const std::string& text, int n, size_t column)
{
    std::vector<std::string> lines = Lines(text);
    std::string cut;
    for (int i = 0; i < n - 1; ++i) cut += lines[static_cast<size_t>(i)] + "\n";
    return cut + lines[static_cast<size_t>(n - 1)].substr(0, column);
}

using Flat = std::vector<std::tuple<int, int, int, double>>;
Flat Values(const LogReadResult& result)
{
    Flat flat;
    for (const logread::LogSeries& s : result.data.Series())
        for (const logread::LogPoint& p : result.data.Points(s)) flat.emplace_back(p.record, s.device, s.channel, p.value);
    return flat;
}

// The logger on the simulated demonstration board: HMU0, and HMU1, whose
// identification (0x88) leaves GPIO7 out.
class RealLog : public BoardTest, public CCableContext {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        previousContext = SetCableContext(this);
        path = LogTestFolder() / "real.log";
    }
    void TearDown() override { SetCableContext(previousContext); }
    bool CableDemoMode() const override { return port->GetDemoMode(); }
    CI2C_FTDI* CableLink() override { return &port->GetLink(); }

    CCableContext* previousContext = nullptr;
    std::filesystem::path path;
};

TEST_F(RealLog, ReadsBackEveryValueTheLoggerWrote)
{
    logsel::DeviceChannels all{};
    all.fill(true);
    const logsel::LogSelection selection = logsel::SelectionForAllDevices(all);
    CLogSession session(*port, selection, [](int, int) { return 0.1f; });
    std::vector<LogRecord> written;
    session.SetRecordObserver([&](const LogRecord& r) { written.push_back(r); });
    const std::time_t now = std::time(nullptr);
    ASSERT_EQ(session.Start(path.string(), 2, 4, now), CLogSession::StartResult::Started);
    for (int r = 1; r <= 4; ++r) {
        board->SetVmon(0, 0, 1.0 + 0.125 * r);
        board->SetTemperature(1, 2, 20.0 + 0.25 * r);
        board->SetGpioInput(0, 3, r % 2 == 0);
        if (r == 3) board->RemoveHmu(1);  // HMU1 stops answering: left out of records 3 and 4
        ASSERT_TRUE(session.WriteRecord());
    }
    ASSERT_TRUE(session.Close());
    ASSERT_EQ(written.size(), 4u);

    const LogReadResult result = logread::ReadLogFile(path.string());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.problemCount, 0) << result.Messages().front();
    EXPECT_FALSE(result.cutLine);
    EXPECT_EQ(result.data.info.intervalSeconds, 2);
    EXPECT_EQ(result.data.info.totalRecords, 4);
    char started[32];
    std::strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    EXPECT_EQ(result.data.RecordTimeText(1), started);
    EXPECT_EQ(result.data.Records(), (std::vector<int>{1, 2, 3, 4}));

    // Every value the logger wrote, as written (three decimals; states exact).
    size_t values = 0;
    for (const LogRecord& record : written) {
        for (const LogDeviceBlock& block : record.devices) {
            for (const LogValue& v : block.values) {
                ++values;
                const logread::LogSeries* series = result.data.Find(v.device, v.channel);
                ASSERT_NE(series, nullptr) << LogValueName(v.device, v.channel);
                const std::vector<logread::LogPoint> points = result.data.Points(*series);
                const auto point = std::find_if(points.begin(), points.end(),
                                                [&](const logread::LogPoint& p) { return p.record == record.number; });
                ASSERT_NE(point, points.end()) << series->Name() << " record " << record.number;
                EXPECT_NEAR(point->value, v.value, 5e-4) << series->Name() << " record " << record.number;
            }
        }
    }
    EXPECT_EQ(result.data.ValueCount(), values);
    EXPECT_EQ(values, 2u * (29 + 28) + 2u * 29);
    EXPECT_EQ(result.data.Find(1, logsel::kGpio7Channel), nullptr);
    EXPECT_EQ(result.data.Find(1, 0)->Count(), 2u);
    EXPECT_NEAR(result.data.Points(*result.data.Find(0, 0))[3].value, 1.5, 5e-4);

    // The same file with CR LF line ends, and cut by a crash in its last line.
    const std::string text = FileText(path);
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(Values(logread::ReadLogText(crlf)), Values(result));
    const LogReadResult cut = logread::ReadLogText(text.substr(0, text.size() - 8));
    EXPECT_EQ(cut.data.ValueCount(), values - 1);
    EXPECT_EQ(cut.cutLine, static_cast<int>(Lines(text).size()));
}

TEST(LogReader, ReadsTheHeaderAndEveryValueOfTheLog)
{
    const LogReadResult result = logread::ReadLogText(SmallLog());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.problemCount, 0);
    EXPECT_FALSE(result.cutLine);
    const logread::LogInfo& info = result.data.info;
    EXPECT_EQ(info.programVersion, "1.0.17.297");
    EXPECT_EQ(info.driverVersion, 0u);
    EXPECT_EQ(info.libraryVersion, 0x00010500u);
    EXPECT_EQ(info.osText, "Linux 6.1.0 (build 0), 64-bit");
    EXPECT_EQ(info.intervalSeconds, 2);
    EXPECT_EQ(info.totalRecords, 3);
    ASSERT_TRUE(info.start);
    EXPECT_EQ(logread::FormatIsoTime(*info.start), "2024-12-31 23:59:58");

    ASSERT_EQ(result.data.Series().size(), 8u);
    EXPECT_EQ(result.data.Records(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(result.data.ValueCount(), 24u);
    // Every value, with the decimals the logger wrote.
    for (const logread::LogSeries& s : result.data.Series()) {
        SCOPED_TRACE(s.Name());
        EXPECT_EQ(s.decimals, s.GetQuantity() == logread::Quantity::State ? 0 : 3);
        const std::vector<logread::LogPoint> points = result.data.Points(s);
        ASSERT_EQ(points.size(), 3u);
        for (int r = 1; r <= 3; ++r)
            EXPECT_NEAR(points[static_cast<size_t>(r - 1)].value, logtest::SampleValue(r, s.device, s.channel), 5e-4);
    }
    EXPECT_EQ(result.data.Series()[3].Name(), "HMU0_IMON2");
    EXPECT_EQ(result.data.Series()[4].Name(), "HMU1_VMON1");
    EXPECT_EQ(result.data.RecordTimeText(3), "2025-01-01 00:00:02");
}

struct Damage {
    const char* name;
    std::function<std::string(const std::string&)> damage;
    size_t values;                        // values read
    std::vector<int> problemLines;        // lines reported as skipped
    const char* problemText;              // in the first report
    std::optional<int> cutLine;
};

// Line numbers of the small log: record 1 is lines 8..17 (device 0: 8..12,
// device 1: 13..17), record 2 18..27, record 3 28..37.
const Damage kDamages[] = {
    {"CR LF line ends",
     [](const std::string& t) {
         std::string crlf;
         for (const char c : t) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return crlf;
     },
     24, {}, "", std::nullopt},
    {"cut in a value line", [](const std::string& t) { return CutInLine(t, 36, 3); }, 22, {}, "", 36},
    {"cut in a record line", [](const std::string& t) { return CutInLine(t, 33, 4); }, 20, {}, "", 33},
    {"cut right after a number", [](const std::string& t) { return CutInLine(t, 37, 5); }, 23, {}, "", 37},
    {"a garbage line", [](const std::string& t) { return ReplaceLine(t, 21, {"@@@ \x01\xff garbage", Lines(t)[20]}); },
     24, {21}, "not a value line: '@@@ \\x01\\xFF garbage'", std::nullopt},
    {"channels that do not exist",
     [](const std::string& t) {
         return ReplaceLine(t, 9, {"1.000, HMU8_VMON1", "1.000, HMU0_VMON11", "1, HMU0_GPIO11", "1.000, HMU0_VMON01",
                                   "1.000, HMU0_IMON", "1.000, hmu0_vmon1"});
     },
     23, {9, 10, 11, 12, 13, 14}, "not a channel of a log: 'HMU8_VMON1'", std::nullopt},
    {"values that are no numbers",
     [](const std::string& t) { return ReplaceLine(t, 9, {"1.2.3, HMU0_VMON1", "nan, HMU0_VMON1", ", HMU0_VMON1"}); },
     23, {9, 10, 11}, "not a number: '1.2.3' for HMU0_VMON1", std::nullopt},
    {"a pin state that is not 0 or 1", [](const std::string& t) { return ReplaceLine(t, 10, {"2, HMU0_HVOUT2"}); }, 23,
     {10}, "HMU0_HVOUT2 is a state, 0 or 1, not '2'", std::nullopt},
    {"a record out of order", [](const std::string& t) { return ReplaceLine(t, 28, {"Record 1 Value, Name"}); }, 20,
     {28}, "record 1 comes after record 2, its lines are skipped", std::nullopt},
    {"a bad record line", [](const std::string& t) { return ReplaceLine(t, 18, {"Record two Value, Name"}); }, 20, {18},
     "not a record line, its lines are skipped", std::nullopt},
    {"a value given twice", [](const std::string& t) { return ReplaceLine(t, 9, {Lines(t)[8], Lines(t)[8]}); }, 24,
     {10}, "HMU0_VMON1 has a value in record 1 already", std::nullopt},
    {"a value before the first record", [](const std::string& t) { return ReplaceLine(t, 3, {"1.000, HMU0_VMON1", Lines(t)[2]}); },
     24, {3}, "a value before the first record line", std::nullopt},
    {"a line too long for a log", [](const std::string& t) { return ReplaceLine(t, 20, {std::string(10000, '7'), Lines(t)[19]}); },
     24, {20}, "the line is too long", std::nullopt},
    {"a header line that is not one", [](const std::string& t) { return ReplaceLine(t, 5, {"Logging interval: soon"}); },
     24, {5}, "not a header line", std::nullopt},
    {"an interval longer than a day",
     [](const std::string& t) { return ReplaceLine(t, 5, {"Logging interval: 999999999 sec, Total logs: 3 (0 - unlimited)"}); },
     24, {5}, "not a header line", std::nullopt},
    {"no header at all",
     [](const std::string& t) {
         const std::vector<std::string> lines = Lines(t);
         return Join(std::vector<std::string>(lines.begin() + 7, lines.end()));
     },
     24, {}, "", std::nullopt},
};

TEST(LogReader, KeepsWhatCanBeReadOfADamagedLogAndSaysWhatItSkipped)
{
    const std::string log = SmallLog();
    const Flat clean = Values(logread::ReadLogText(log));
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.name);
        const std::string text = d.damage(log);
        const LogReadResult result = logread::ReadLogText(text);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.data.ValueCount(), d.values);
        std::vector<int> lines;
        for (const logread::LogProblem& p : result.problems) lines.push_back(p.line);
        EXPECT_EQ(lines, d.problemLines);
        EXPECT_EQ(result.problemCount, static_cast<int>(d.problemLines.size()));
        if (!result.problems.empty()) {
            EXPECT_NE(result.problems[0].text.find(d.problemText), std::string::npos) << result.problems[0].text;
        }
        EXPECT_EQ(result.cutLine, d.cutLine);
        if (d.cutLine) {
            // Said so, with the record it ends in.
            ASSERT_FALSE(result.Messages().empty());
            EXPECT_EQ(result.Messages().back(), "line " + std::to_string(*d.cutLine) +
                                                    ": cut short (no line end), left out; the log ends with record 3 "
                                                    "up to its last whole line");
        }
        // What was read is what the clean log holds.
        for (const auto& value : Values(result))
            EXPECT_NE(std::find(clean.begin(), clean.end(), value), clean.end());
        // The same through a stream as from memory.
        std::istringstream in(text);
        EXPECT_EQ(Values(logread::ReadLog(in)), Values(result));
    }
}

TEST(LogReader, RefusesWhatIsNoLog)
{
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } cases[] = {
        {"empty", "", "the file is empty"},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\n\xff\xfe\n", 14), "not a log file"},
        {"text", "Dear diary,\ntoday 1.5, HMU0_VMON1\n", "not a log file"},
        {"a header line cut short", "Norvane Semiconductor Sentrix II I2C Utility version: 1.0", "not a log file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LogReadResult result = logread::ReadLogText(c.text);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        EXPECT_EQ(result.data.ValueCount(), 0u);
    }
    // A header with no record yet is a log, of nothing.
    const LogReadResult header = logread::ReadLogText(logtest::Header());
    EXPECT_TRUE(header.ok);
    EXPECT_TRUE(header.data.Series().empty());
}

// An endless stream of one pattern, as /dev/zero or a pipe that never ends;
// it ends after 64 MiB so that a reader that reads on fails rather than hangs.
class CEndlessStream : public std::streambuf {
public:
    explicit CEndlessStream(std::string pattern)
    {
        while (m_block.size() < 4096) m_block += pattern;
    }
    size_t Served() const { return m_served; }

protected:
    int_type underflow() override
    {
        if (m_served >= (size_t{64} << 20)) return traits_type::eof();
        setg(m_block.data(), m_block.data(), m_block.data() + m_block.size());
        m_served += m_block.size();
        return traits_type::to_int_type(m_block[0]);
    }

private:
    std::string m_block;
    size_t m_served = 0;
};

TEST(LogReader, StopsAtTheFirstMegabyteOfAnEndlessStreamThatIsNoLog)
{
    for (const std::string& pattern : {std::string(1, '\0'), std::string("junk 1.5, HMU0_VMON1\n")}) {
        CEndlessStream endless(pattern);
        std::istream in(&endless);
        const LogReadResult result = logread::ReadLog(in);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "not a log file: its first MiB has no log header and no record line");
        EXPECT_LE(endless.Served(), size_t{2} << 20);
    }
    // A log goes on past it.
    const std::string log = logtest::FullLog(300, 8);
    ASSERT_GT(log.size(), size_t{1} << 20);
    std::istringstream in(log);
    EXPECT_EQ(logread::ReadLog(in).data.ValueCount(), 300u * 8 * 29);
}

TEST(LogReader, ReadsLargeFilesAcrossItsReadBlocksAsFromMemory)
{
    // 300 records of eight devices (about 1.3 MB) cross the reader's 64 KiB
    // blocks twenty times, in every kind of line; cut in the middle of a line
    // near the end.
    const std::string log = logtest::FullLog(300, 8);
    const std::string cut = log.substr(0, log.size() - 7);
    for (const std::string& text : {log, cut}) {
        logtest::TempFile file("large.log", text);
        const LogReadResult fromFile = logread::ReadLogFile(file.Path());
        const LogReadResult fromMemory = logread::ReadLogText(text);
        ASSERT_TRUE(fromFile.ok) << fromFile.error;
        EXPECT_EQ(fromFile.problemCount, 0);
        EXPECT_EQ(fromFile.cutLine, fromMemory.cutLine);
        EXPECT_EQ(fromFile.lines, fromMemory.lines);
        EXPECT_EQ(Values(fromFile), Values(fromMemory));
    }
    EXPECT_EQ(logread::ReadLogText(log).data.ValueCount(), 300u * 8 * 29);
}

// Inserts `what` at the start of the line that holds offset `near`.
std::string InsertAtLine(const std::string& text, size_t near, const std::string& what)
{
    const size_t at = text.rfind('\n', near) + 1;
    return text.substr(0, at) + what + text.substr(at);
}

// A value line in the logger's usual form is read where it starts, any other
// line the slow way: both ways give the same values, decimals and messages,
// wherever an edge of the file reader's blocks (256 KiB) falls in a line. The
// same log with CR LF line ends is read the slow way throughout.
TEST(LogReader, ReadsUsualLinesAsAnyOtherWhereverItsBlocksEnd)
{
    constexpr size_t kBlock = size_t{1} << 18;
    const std::string log = logtest::FullLog(300, 8);
    const auto withoutVmon5 = [](const std::string& text) {
        // HMU3's VMON5 not logged in records 100 to 199: the channel after HMU3_VMON4 changes twice.
        std::string out;
        int record = 0;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = text.substr(start, end - start + 1);
            if (line.rfind("Record ", 0) == 0) record = std::stoi(line.substr(7));
            if (record >= 100 && record < 200 && line.find(", HMU3_VMON5\n") != std::string::npos) continue;
            out += line;
        }
        return out;
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"as the logger writes it", log},
        {"a channel left out of a hundred records", withoutVmon5(log)},
        {"a line too long across the first block edge", InsertAtLine(log, kBlock - 2000, std::string(5000, 'x') + "\n")},
        {"numbers of other forms and a second value at the second block edge",
         InsertAtLine(log, 2 * kBlock, "1.5e-3, HMU0_VMON1\n  1.250, HMU0_VMON2\n1.25, HMU0_VMON2\n-, HMU0_VMON3\n")},
        {"cut inside a value line", log.substr(0, log.size() - 7)},
    };
    const auto decimals = [](const LogReadResult& result) {
        std::vector<int> all;
        for (const logread::LogSeries& s : result.data.Series()) all.push_back(s.decimals);
        return all;
    };
    for (const auto& c : cases) {
        // Empty lines before the first edge move every edge along a value line, a character at a time.
        for (size_t shift = 0; shift < 18; ++shift) {
            SCOPED_TRACE(std::string(c.name) + ", block edges moved by " + std::to_string(shift));
            const std::string text = InsertAtLine(c.text, kBlock - 100, std::string(shift, '\n'));
            std::string crlf;
            for (const char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
            logtest::TempFile file("blocks.log", text);
            const LogReadResult fromFile = logread::ReadLogFile(file.Path());
            const LogReadResult fromMemory = logread::ReadLogText(text);
            const LogReadResult slowly = logread::ReadLogText(crlf);
            ASSERT_TRUE(fromFile.ok) << fromFile.error;
            EXPECT_EQ(Values(fromFile), Values(slowly));
            EXPECT_EQ(Values(fromMemory), Values(slowly));
            EXPECT_EQ(decimals(fromFile), decimals(slowly));
            EXPECT_EQ(fromFile.Messages(), slowly.Messages());
            EXPECT_EQ(fromMemory.Messages(), slowly.Messages());
            EXPECT_EQ(fromFile.lines, slowly.lines);
        }
    }
}

TEST(LogReader, TellsWhyAFileCannotBeRead)
{
    logtest::TempFile missing("missing.log");
    const LogReadResult absent = logread::ReadLogFile(missing.Path());
    EXPECT_FALSE(absent.ok);
    EXPECT_EQ(absent.error, "cannot open " + missing.Path() + ": " + std::strerror(ENOENT));
    const LogReadResult folder = logread::ReadLogFile(std::filesystem::temp_directory_path().string());
    EXPECT_FALSE(folder.ok);
    EXPECT_NE(folder.error.find(std::strerror(EISDIR)), std::string::npos) << folder.error;
    EXPECT_EQ(logread::LogFileProblem(missing.Path()), std::nullopt) << "the open says why";
#ifndef _WIN32
    // Opening a FIFO waits for a writer, and a device may never end: refused
    // before anything opens them.
    const std::string fifo = missing.Path() + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    for (const auto& [path, kind] : {std::pair<std::string, std::string>{fifo, "a FIFO"}, {"/dev/null", "a character device"}}) {
        const std::string message = "cannot open " + path + ": " + kind + ", not a regular file: only a log file on disk can be read";
        EXPECT_EQ(logread::LogFileProblem(path), message);
        const LogReadResult result = logread::ReadLogFile(path);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, message);
    }
    std::filesystem::remove(fifo);
#endif
}

TEST(LogReader, KeepsOnlyTheFirstReportsOfAFileFullOfBadLines)
{
    std::string text = logtest::Header() + "Record 1 Value, Name\n";
    for (int i = 0; i < 500; ++i) text += "x\n";
    const LogReadResult result = logread::ReadLogText(text);
    EXPECT_EQ(result.problemCount, 500);
    EXPECT_EQ(result.problems.size(), LogReadResult::kMaxProblems);
    EXPECT_EQ(result.Messages().back(), "and 400 more lines skipped");
}

TEST(LogReader, NamesChannelsAsTheLoggerDoes)
{
    const struct {
        const char* name;
        int device;
        int channel;
    } names[] = {{"HMU0_VMON1", 0, 0},  {"HMU3_VMON10", 3, 9},  {"HMU7_HVOUT4", 7, 13}, {"HMU1_GPIO1", 1, 14},
                 {"HMU1_GPIO10", 1, 23}, {"HMU0_TMON3", 0, 26}, {"HMU1_IMON2", 1, 28}};
    for (const auto& n : names) {
        EXPECT_EQ(LogValueName(n.device, n.channel), n.name);
        const auto id = logread::ParseChannelName(n.name);
        ASSERT_TRUE(id) << n.name;
        EXPECT_EQ(id->device, n.device);
        EXPECT_EQ(id->channel, n.channel);
    }
    for (const char* bad : {"HMU8_VMON1", "HMU0_VMON0", "HMU0_VMON11", "HMU0_HVOUT5", "HMU0_TMON4", "HMU0_IMON3",
                            "HMU0_VMON1 ", "HMU00_VMON1", "HMU0-VMON1", "HMU0_", ""})
        EXPECT_FALSE(logread::ParseChannelName(bad)) << bad;
}

TEST(LogReader, ReadsTheHeaderTimeAndCountsRecordTimesOverTheCalendar)
{
    const struct {
        const char* line;
        const char* iso;  // nullptr: not a date line
    } lines[] = {
        {"Monday, May 06, 2024 14:03:07", "2024-05-06 14:03:07"},
        {"Thursday, February 29, 2024 00:00:00", "2024-02-29 00:00:00"},
        {"Friday, February 29, 2023 00:00:00", nullptr},
        {"Monday, May 6, 2024 14:03:07", nullptr},
        {"Monday, May 06, 2024 24:00:00", nullptr},
        {"Someday, May 06, 2024 14:03:07", nullptr},
        {"Monday, Mai 06, 2024 14:03:07", nullptr},
        {"Monday, May 06, 2024 14:03:07 ", nullptr},
    };
    for (const auto& l : lines) {
        const auto time = logread::ParseHeaderTime(l.line);
        EXPECT_EQ(time.has_value(), l.iso != nullptr) << l.line;
        if (time && l.iso) {
            EXPECT_EQ(logread::FormatIsoTime(*time), l.iso);
        }
    }
    const logread::LogDateTime start{2024, 12, 31, 23, 59, 58};
    const struct {
        long long seconds;
        const char* iso;
    } sums[] = {{0, "2024-12-31 23:59:58"},
                {2, "2025-01-01 00:00:00"},
                {60LL * 86400, "2025-03-01 23:59:58"},
                {-366LL * 86400, "2023-12-31 23:59:58"}};
    for (const auto& s : sums) EXPECT_EQ(logread::FormatIsoTime(logread::AddSeconds(start, s.seconds)), s.iso);
}

}  // namespace
