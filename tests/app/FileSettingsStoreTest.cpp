// The settings file: where it lives, its exact .reg text, round trips of every
// type, damaged files, atomic replacement and places that cannot be written.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "settings/FileSettingsStore.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kKeyLine =
    "[HKEY_CURRENT_USER\\Software\\Norvane Semiconductor Corporation\\ZENT2_I2C_Utility\\Settings]";
const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n" + kKeyLine + "\r\n";

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

std::set<std::string> Listing(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

Bytes Sequence(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
    return b;
}

#ifdef _WIN32
// A process of this program that exists while the object does: started
// suspended, so that it does nothing; ended when asked.
class CChildProcess {
public:
    CChildProcess()
    {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=None";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                           &m_process))
            CloseHandle(m_process.hThread);
    }
    ~CChildProcess()
    {
        End();
        if (m_process.hProcess) CloseHandle(m_process.hProcess);
    }
    unsigned long Id() const { return m_process.dwProcessId; }
    void End()
    {
        if (m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 0);
            WaitForSingleObject(m_process.hProcess, INFINITE);
        }
    }

private:
    PROCESS_INFORMATION m_process{};
};
#endif

struct FileFixture : ::testing::Test {
    fs::path dir;
    fs::path file;

    void SetUp() override
    {
#ifdef _WIN32
        static int made = 0;
        dir = fs::temp_directory_path() /
              ("zent2-settings-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
        fs::remove_all(dir);
        ASSERT_TRUE(fs::create_directory(dir));
#else
        std::string pattern = (fs::temp_directory_path() / "zent2-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
#endif
        file = dir / "Settings.reg";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST(SettingsFilePath, FollowsTheXdgConfigFolder)
{
#ifdef _WIN32
    GTEST_SKIP() << "the folder rules of a Unix home; on Windows the settings live in the registry";
#endif
    const fs::path tail = fs::path("Norvane Semiconductor Corporation") / "ZENT2_I2C_Utility" / "Settings.reg";
    struct Case {
        const char* xdg;
        const char* home;
        fs::path expected;
    };
    const std::vector<Case> cases = {
        {"/cfg", "/home/u", "/cfg" / tail},
        {nullptr, "/home/u", "/home/u/.config" / tail},
        {"", "/home/u", "/home/u/.config" / tail},
        {"relative/cfg", "/home/u", "/home/u/.config" / tail},
        {"/cfg", nullptr, "/cfg" / tail},
        {nullptr, nullptr, fs::path()},
        {"", "", fs::path()},
        {nullptr, "relative", fs::path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFilePath(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(unset)") << " / " << (c.home ? c.home : "(unset)");
}

TEST_F(FileFixture, TheFileIsRegeditText)
{
    CSettings settings(std::make_unique<CFileSettingsStore>(file));
    ASSERT_TRUE(settings.WriteNumber("Demo Mode", 1));
    ASSERT_TRUE(settings.WriteNumber("I2C Address", 0xC0));
    ASSERT_TRUE(settings.WriteReal("HMU0_IMON0_SenseResistor", 0.005f));
    ASSERT_TRUE(settings.WriteBinary("Nothing", nullptr, 0));
    const Bytes small = {0x00, 0x7f, 0x80, 0xff};
    ASSERT_TRUE(settings.WriteBinary("VMON0 Directions", small.data(), small.size()));
    CSettingsStore& store = *settings.Store();
    ASSERT_TRUE(store.Set("Back\\slash \"quoted\"", SettingValue::Text("C:\\dir\\\"x\"\\")));
    ASSERT_TRUE(store.Set("Path", SettingValue::ExpandText("%A%")));
    ASSERT_TRUE(store.Set("", SettingValue::Text("default")));
    ASSERT_TRUE(settings.WriteNumber("demo mode", 0));  // the same value: names ignore case

    EXPECT_EQ(ReadAll(file), kHead +
                                 "\"Demo Mode\"=dword:00000000\r\n"
                                 "\"I2C Address\"=dword:000000c0\r\n"
                                 "\"HMU0_IMON0_SenseResistor\"=\"0.005\"\r\n"
                                 "\"Nothing\"=hex:\r\n"
                                 "\"VMON0 Directions\"=hex:00,7f,80,ff\r\n"
                                 "\"Back\\\\slash \\\"quoted\\\"\"=\"C:\\\\dir\\\\\\\"x\\\"\\\\\"\r\n"
                                 "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                 "@=\"default\"\r\n"
                                 "\r\n");
}

TEST_F(FileFixture, LongBinaryWrapsAsRegeditDoes)
{
    CSettings settings(std::make_unique<CFileSettingsStore>(file));
    const Bytes log = Sequence(232);
    ASSERT_TRUE(settings.WriteBinary("Log Settings", log.data(), log.size()));
    const std::string text = ReadAll(file);
    ASSERT_EQ(text.rfind(kHead, 0), 0u);

    std::vector<std::string> lines;
    for (size_t start = kHead.size(), end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    ASSERT_GE(lines.size(), 3u);
    ASSERT_EQ(lines.back(), "");  // the blank line that ends the key
    lines.pop_back();

    std::string hex;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        EXPECT_LE(line.size(), 80u) << line;
        const bool last = i + 1 == lines.size();
        EXPECT_EQ(!line.empty() && line.back() == '\\', !last) << line;
        if (!last) line.pop_back();
        if (i == 0) {
            ASSERT_EQ(line.rfind("\"Log Settings\"=hex:", 0), 0u);
            line.erase(0, 19);
        } else {
            ASSERT_EQ(line.rfind("  ", 0), 0u);
            line.erase(0, 2);
            if (!last) {
                EXPECT_EQ(line.size(), 25u * 3) << "25 bytes per continuation line";
            }
        }
        hex += line;
    }
    std::string expected;
    char cell[4];
    for (uint8_t b : log) {
        std::snprintf(cell, sizeof cell, "%02x,", b);
        expected += cell;
    }
    expected.pop_back();
    EXPECT_EQ(hex, expected);
    Bytes back(232);
    EXPECT_TRUE(settings.ReadBinary("Log Settings", back.data(), back.size()));
    EXPECT_EQ(back, log);
}

TEST_F(FileFixture, EveryTypeRoundTripsInOrder)
{
    const std::vector<std::pair<std::string, SettingValue>> values = {
        {"Demo Mode", SettingValue::Number(1)},
        {"All Ones", SettingValue::Number(0xFFFFFFFF)},
        {"Log Settings", SettingValue::Binary(Sequence(232))},
        {"Empty", SettingValue::Binary({})},
        {"HMU3_IMON1_SenseResistor", SettingValue::Text("0.005")},
        {"Back\\slash \"quoted\" \\", SettingValue::Text("\\\"\\\\\"")},
        {"Empty Text", SettingValue::Text("")},
        {"Two Lines", SettingValue::Text("a\r\nb")},
        {"Unicode \xCE\xA9", SettingValue::Text("10 m\xCE\xA9")},
        {"Expand", SettingValue::ExpandText("%APPDATA%\\x")},
        {"", SettingValue::Text("the default value")},
        {"@", SettingValue::Number(2)},
        {"Multi", SettingValue::Other(7, {'a', 0, 0, 0, 0, 0})},
        {"QWord", SettingValue::Other(0xb, Sequence(8))},
        {"Short Number", SettingValue::FromRegistry(kRegNumber, Sequence(2).data(), 2)},
    };
    {
        CFileSettingsStore writer(file);
        for (const auto& [name, value] : values) ASSERT_TRUE(writer.Set(name, value)) << name;
        ASSERT_TRUE(writer.Set("LOG SETTINGS", SettingValue::Binary(Sequence(232))));  // keeps its place
    }
    CFileSettingsStore reader(file);
    std::vector<std::string> names;
    for (const auto& [name, value] : values) {
        names.push_back(name);
        EXPECT_EQ(reader.Get(name), value) << name;
    }
    EXPECT_EQ(reader.Names(), names);
    EXPECT_TRUE(ParseRegFile(ReadAll(file)).dropped.empty());
}

struct DamageCase {
    const char* what;
    std::string content;
    std::vector<std::pair<std::string, SettingValue>> kept;
    std::vector<std::string> lost;
    bool damaged;  // a rewrite drops something, so the file as found is kept aside
};

std::vector<DamageCase> DamageCases()
{
    const std::string good = "\"Good\"=dword:00000007\r\n";
    const auto seven = std::make_pair(std::string("Good"), SettingValue::Number(7));
    std::string utf16 = "\xFF\xFE";
    for (char c : "Windows Registry Editor Version 5.00\r\n\r\n" + kKeyLine + "\r\n\"Good\"=dword:00000007\r\n")
        utf16 += std::string{c, '\0'};
    return {
        {"intact", kHead + good, {seven}, {}, false},
        {"CR line ends, a value continued over them",
         "Windows Registry Editor Version 5.00\r\r" + kKeyLine + "\r\"Bin\"=hex:01,02,\\\r  03\r" +
             "\"Good\"=dword:00000007\r",
         {{"Bin", SettingValue::Binary({1, 2, 3})}, seven}, {}, false},
        {"CR, LF and CR LF mixed", kHead + "\"A\"=dword:00000001\r\"B\"=dword:00000002\n\r\n" + good,
         {{"A", SettingValue::Number(1)}, {"B", SettingValue::Number(2)}, seven}, {}, false},
        {"empty file", "", {}, {"Good"}, false},
        {"LF ends, no header, no last line end", kKeyLine + "\n\"Good\"=dword:00000007", {seven}, {}, false},
        {"exported by regedit as UTF-16", utf16, {seven}, {}, false},
        {"garbage line", kHead + "this is not a value\r\n" + good, {seven}, {}, true},
        {"bad hex digit", kHead + "\"Bad\"=hex:01,zz,03\r\n" + good, {seven}, {"Bad"}, true},
        {"one hex digit", kHead + "\"Bad\"=hex:1,02\r\n" + good, {seven}, {"Bad"}, true},
        {"trailing comma", kHead + "\"Bad\"=hex:01,02,\r\n" + good, {seven}, {"Bad"}, true},
        {"short dword", kHead + "\"Bad\"=dword:0007\r\n" + good, {seven}, {"Bad"}, true},
        {"dword not hex", kHead + "\"Bad\"=dword:0000000g\r\n" + good, {seven}, {"Bad"}, true},
        {"unknown type", kHead + "\"Bad\"=qword:1\r\n" + good, {seven}, {"Bad"}, true},
        {"missing closing quote", kHead + "\"Bad\"=\"0.005\r\n" + good, {seven}, {"Bad"}, true},
        {"missing name quote", kHead + "Bad\"=dword:00000001\r\n" + good, {seven}, {"Bad"}, true},
        {"unescaped backslash", kHead + "\"Bad\"=\"C:\\temp\"\r\n" + good, {seven}, {"Bad"}, true},
        {"text after the closing quote", kHead + "\"Bad\"=\"1\" x\r\n" + good, {seven}, {"Bad"}, true},
        {"no equals sign", kHead + "\"Bad\" dword:00000001\r\n" + good, {seven}, {"Bad"}, true},
        {"value cut at the end of the file", kHead + good + "\"Bad\"=hex:01,02,\\\r\n", {seven}, {"Bad"}, true},
        {"value cut in half", kHead + good + "\"Bad\"=hex:01,0", {seven}, {"Bad"}, true},
        {"text cut in half", kHead + good + "\"Bad\"=\"0.0", {seven}, {"Bad"}, true},
        {"continuation missing before the next value",
         kHead + "\"Bad\"=hex:01,\\\r\n\"Good2\"=dword:00000002\r\n" + good,
         {seven, {"Good2", SettingValue::Number(2)}}, {"Bad"}, true},
        {"values under another key",
         "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"
         "\"Bad\"=dword:00000001\r\n\r\n" + kKeyLine + "\r\n" + good,
         {seven}, {"Bad"}, true},
        {"key line without its bracket",
         kHead + good + kKeyLine.substr(0, kKeyLine.size() - 1) + "\r\n\"Bad\"=dword:00000001\r\n", {seven},
         {"Bad"}, true},
        {"no key line", "Windows Registry Editor Version 5.00\r\n\r\n\"Bad\"=dword:00000001\r\n", {}, {"Bad"},
         true},
        {"binary junk", kHead + "\0\x01\xFF\xFE junk\x7F\r\n"s + good, {seven}, {}, true},
        {"junk inside a value line", kHead + "\"Bad\"=dword:0000\0\x30\x30\r\n"s + good,
         {seven}, {"Bad"}, true},
        {"comment", kHead + "; kept aside\r\n" + good, {seven}, {}, true},
        {"later line wins", kHead + "\"Good\"=dword:00000001\r\n" + good, {seven}, {}, false},
        {"deleted value", kHead + "\"Gone\"=dword:00000001\r\n\"Gone\"=-\r\n" + good, {seven}, {"Gone"},
         false},
    };
}

TEST_F(FileFixture, DamagedFilesKeepWhatParsesAndSetTheRestAside)
{
    for (const auto& c : DamageCases()) {
        TearDown();
        SetUp();
        WriteAll(file, c.content);
        CFileSettingsStore store(file);
        for (const auto& [name, value] : c.kept) EXPECT_EQ(store.Get(name), value) << c.what << ": " << name;
        for (const auto& name : c.lost) EXPECT_EQ(store.Get(name), std::nullopt) << c.what << ": " << name;

        ASSERT_TRUE(store.Set("New", SettingValue::Number(9))) << c.what;
        for (const auto& [name, value] : c.kept) EXPECT_EQ(store.Get(name), value) << c.what << ": " << name;
        EXPECT_EQ(store.Get("New"), SettingValue::Number(9)) << c.what;
        const RegFileContents rewritten = ParseRegFile(ReadAll(file));
        EXPECT_TRUE(rewritten.dropped.empty()) << c.what << ": the new file is clean";
        EXPECT_EQ(rewritten.values.size(), c.kept.size() + 1) << c.what;

        std::set<std::string> expected = {"Settings.reg"};
        if (c.damaged) {
            expected.insert("Settings.reg.damaged");
            EXPECT_EQ(ReadAll(store.DamagedCopyPath()), c.content) << c.what;
        }
        EXPECT_EQ(Listing(dir), expected) << c.what;

        // Once clean, a further write sets nothing more aside.
        fs::remove(store.DamagedCopyPath());
        ASSERT_TRUE(store.Set("New", SettingValue::Number(10))) << c.what;
        EXPECT_EQ(Listing(dir), std::set<std::string>{"Settings.reg"}) << c.what;
    }
}

TEST_F(FileFixture, SeveralValuesGoInOneReplacementOrNotAtAll)
{
    CFileSettingsStore store(file);
    ASSERT_TRUE(store.Set("Kept", SettingValue::Number(1)));
    ASSERT_TRUE(store.SetValues({{"Demo Mode", SettingValue::Number(1)},
                                 {"Log Settings", SettingValue::Binary(Sequence(232))},
                                 {"kept", SettingValue::Number(2)}}));
    EXPECT_EQ(ReadAll(file), kHead + "\"Kept\"=dword:00000002\r\n\"Demo Mode\"=dword:00000001\r\n" +
                                 FormatRegValue("Log Settings", SettingValue::Binary(Sequence(232))) + "\r\n");
    // One value that cannot be written: none is, and the file is as it was.
    const std::string before = ReadAll(file);
    EXPECT_FALSE(store.SetValues({{"Demo Mode", SettingValue::Number(0)}, {"Bad\nName", SettingValue::Number(0)}}));
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(Listing(dir), std::set<std::string>{"Settings.reg"});
}

TEST_F(FileFixture, WritesOfAnotherInstanceAreSeenEvenAtTheSameSize)
{
    CFileSettingsStore first(file);
    CFileSettingsStore second(file);
    for (uint32_t value : {1u, 2u, 3u}) {
        ASSERT_TRUE(second.Set("Demo Mode", SettingValue::Number(value)));
        EXPECT_EQ(first.Get("Demo Mode"), SettingValue::Number(value)) << "the file was parsed again";
    }
    // Replaced behind both stores' backs by an editor, same size again.
    WriteAll(file, kHead + "\"Demo Mode\"=dword:00000009\r\n\r\n");
    EXPECT_EQ(first.Get("Demo Mode"), SettingValue::Number(9));
}

TEST_F(FileFixture, TemporaryFilesOfKilledSavesAreRemovedAtTheNextOpen)
{
    // A writer that has ended, and one that still runs.
#ifdef _WIN32
    CChildProcess ended, alive;
    ended.End();
    ASSERT_NE(ended.Id(), 0u);
    ASSERT_NE(alive.Id(), 0u);
    const unsigned long child = ended.Id();
    const unsigned long runningWriter = alive.Id();
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const pid_t runningWriter = getppid();  // this process's parent
#endif
    const std::string dead = ".Settings.reg.tmp" + std::to_string(child) + "-aB3xYz";
    const std::string deadCopy = ".Settings.reg.damaged.tmp" + std::to_string(child) + "-Q1w2e3";
    const std::string running = ".Settings.reg.tmp" + std::to_string(runningWriter) + "-r4T5y6";
    const std::vector<std::string> others = {".Settings.reg.tmpX-1", ".Other.reg.tmp" + std::to_string(child) + "-1",
                                             "Settings.reg.tmp" + std::to_string(child) + "-1"};
    WriteAll(file, kHead + "\"Demo Mode\"=dword:00000001\r\n\r\n");
    for (const std::string& name : others) WriteAll(dir / name, "x");
    for (const std::string& name : {dead, deadCopy, running}) WriteAll(dir / name, kHead + "\"Demo M");

    CFileSettingsStore store(file);
    std::set<std::string> expected(others.begin(), others.end());
    expected.insert({"Settings.reg", running});
    EXPECT_EQ(Listing(dir), expected);
    EXPECT_EQ(store.Get("Demo Mode"), SettingValue::Number(1)) << "the old file is whole";
}

TEST_F(FileFixture, MissingFoldersAreCreated)
{
    const fs::path deep = dir / "a" / "b c" / "Settings.reg";
    CFileSettingsStore store(deep);
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(fs::is_directory(deep.parent_path()));
    EXPECT_FALSE(fs::exists(deep)) << "nothing written before the first value";
    EXPECT_EQ(store.Get("Demo Mode"), std::nullopt);
    EXPECT_TRUE(store.Names().empty());

    fs::remove_all(dir / "a");  // gone while the program runs
    ASSERT_TRUE(store.Set("Demo Mode", SettingValue::Number(1)));
    EXPECT_EQ(CFileSettingsStore(deep).Get("Demo Mode"), SettingValue::Number(1));
    EXPECT_EQ(Listing(deep.parent_path()), std::set<std::string>{"Settings.reg"});
}

TEST_F(FileFixture, UnwritablePlacesFailWithoutHarm)
{
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> prepare;  // returns the settings file to use
        bool open;
    };
    const std::vector<Case> cases = {
        {"folder is a file",
         [](const fs::path& d) {
             WriteAll(d / "plain", "x");
             return d / "plain" / "Settings.reg";
         },
         false},
        {"file is a folder",
         [](const fs::path& d) {
             fs::create_directories(d / "Settings.reg");
             return d / "Settings.reg";
         },
         true},
        {"no file name", [](const fs::path&) { return fs::path(); }, false},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        const fs::path target = c.prepare(dir);
        const auto before = Listing(dir);
        CSettings settings(std::make_unique<CFileSettingsStore>(target));
        EXPECT_EQ(settings.IsOpen(), c.open) << c.what;
        EXPECT_EQ(settings.ReadNumber("Demo Mode", 4), 4u) << c.what;
        EXPECT_FALSE(settings.WriteNumber("Demo Mode", 1)) << c.what;
        EXPECT_FALSE(settings.WriteReal("R", 0.5f)) << c.what;
        EXPECT_EQ(Listing(dir), before) << c.what << ": no temporary file left";
    }
}

TEST_F(FileFixture, AtomicWriteReplacesTheWholeFileOrNothing)
{
    struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> prepare;  // returns the target
        bool ok;
        fs::perms perms;  // of the written file
    };
    const std::vector<Case> cases = {
        {"new file stays private", [](const fs::path& d) { return d / "Settings.reg"; }, true,
         fs::perms::owner_read | fs::perms::owner_write},
        {"replaced file keeps its permissions",
         [](const fs::path& d) {
             WriteAll(d / "Settings.reg", "old contents that are longer than the new ones");
             fs::permissions(d / "Settings.reg", fs::perms(0644));
             return d / "Settings.reg";
         },
         true, fs::perms(0644)},
        {"missing folders", [](const fs::path& d) { return d / "x" / "y" / "Settings.reg"; }, true,
         fs::perms::owner_read | fs::perms::owner_write},
        {"target is a folder",
         [](const fs::path& d) {
             fs::create_directories(d / "Settings.reg" / "inside");
             return d / "Settings.reg";
         },
         false, fs::perms::none},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        const fs::path target = c.prepare(dir);
        const auto before = Listing(dir);
        EXPECT_EQ(WriteFileAtomically(target, "new"), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(ReadAll(target), "new") << c.what;
#ifndef _WIN32  // Windows files have an access list from their folder, not these bits
            EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, c.perms) << c.what;
#endif
            EXPECT_EQ(Listing(target.parent_path()), std::set<std::string>{"Settings.reg"}) << c.what;
        } else {
            EXPECT_TRUE(fs::is_directory(target / "inside")) << c.what;
            EXPECT_EQ(Listing(dir), before) << c.what << ": no temporary file left";
        }
    }
}

TEST_F(FileFixture, TwoInstancesKeepEachOthersValues)
{
    CFileSettingsStore first(file);
    CFileSettingsStore second(file);
    ASSERT_TRUE(first.Set("VMON0 Directions", SettingValue::Binary(Sequence(80))));
    ASSERT_TRUE(second.Set("Demo Mode", SettingValue::Number(1)));
    EXPECT_EQ(first.Get("Demo Mode"), SettingValue::Number(1));
    EXPECT_EQ(second.Get("VMON0 Directions"), SettingValue::Binary(Sequence(80)));
}

TEST_F(FileFixture, ALinkedFileIsWrittenThroughItsLink)
{
#ifdef _WIN32
    GTEST_SKIP() << "a symbolic link needs a privilege on Windows, and the settings live in the registry there";
#endif
    const fs::path real = dir / "elsewhere" / "real.reg";
    fs::create_directories(real.parent_path());
    fs::create_symlink(fs::path("elsewhere") / "real.reg", file);
    CFileSettingsStore store(file);
    ASSERT_TRUE(store.Set("Demo Mode", SettingValue::Number(1)));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(CFileSettingsStore(real).Get("Demo Mode"), SettingValue::Number(1));
    EXPECT_EQ(Listing(real.parent_path()), std::set<std::string>{"real.reg"});
}

}  // namespace
