// File names that are not ASCII, from the command line to the file system:
// the UTF-8 path helper everywhere, and on Windows the built zent2-cli itself,
// started with a wide command line as Explorer or a console would start it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "util/PathText.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

const std::string kName = "Messung Gr\xC3\xBC\xC3\x9F" "e \xCE\xA9 \xE6\x97\xA5.log";  // "Messung Grüße Ω 日.log"

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PathText, NamesRoundTripAndReachTheFileSystem)
{
    const fs::path folder = fs::temp_directory_path();
    const fs::path file = folder / PathFromUtf8(kName);
    EXPECT_EQ(PathToUtf8(file.filename()), kName);
    std::ofstream(file, std::ios::binary) << "x";
    bool listed = false;
    for (const auto& entry : fs::directory_iterator(folder))
        listed = listed || PathToUtf8(entry.path().filename()) == kName;
    EXPECT_TRUE(listed) << "the name on disk is the one given";
    EXPECT_EQ(ReadAll(file), "x");
    fs::remove(file);
    // Bytes that are not UTF-8 still make a path, never an exception.
    EXPECT_NO_THROW(PathFromUtf8("bad \xFF\xFE name"));
}

#ifdef _WIN32

std::wstring Wide(const std::string& utf8)
{
    return PathFromUtf8(utf8).native();
}

// Runs the built program with these words after its name; its exit status.
DWORD RunProgram(const std::vector<std::string>& words)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path program = (fs::path(self).parent_path() / ZENT2_CLI_FROM_TEST).lexically_normal();
    std::wstring line = L"\"" + program.native() + L"\"";
    for (const std::string& word : words) line += L" \"" + Wide(word) + L"\"";
    // Its output is not this test's.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                       &startup, &process);
    CloseHandle(nul);
    if (!started) {
        ADD_FAILURE() << "cannot start " << PathToUtf8(program) << ": Windows error " << GetLastError();
        return DWORD(-1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return status;
}

TEST(ProgramArguments, TheProgramTakesNamesThatAreNotAsciiFromTheWideCommandLine)
{
    const fs::path folder =
        fs::temp_directory_path() / PathFromUtf8("zent2 \xC3\xBC\xCE\xA9-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder);
    const std::string dir = PathToUtf8(folder);
    {
        std::ofstream script(folder / PathFromUtf8("Skript \xC3\xBC.txt"), std::ios::binary);
        script << "scan\nmeasure 0\n";
    }
    struct Case {
        std::vector<std::string> words;
        std::string written;  // the file the run makes
        std::string starts;   // how it starts
    };
    const std::vector<Case> cases = {
        {{"--simulated-board", "log", "--count", "1", "--output", dir + "\\" + kName}, kName, ""},
        {{"--simulated-board", "--trace", dir + "\\Spur \xCE\xA9.vcd", "--script", dir + "\\Skript \xC3\xBC.txt"},
         "Spur \xCE\xA9.vcd", "$version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(RunProgram(c.words), 0u);
        const fs::path written = folder / PathFromUtf8(c.written);
        ASSERT_TRUE(fs::exists(written));
        const std::string text = ReadAll(written);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.rfind(c.starts, 0), 0u) << text.substr(0, 80);
    }
    fs::remove_all(folder);
}

#endif

}  // namespace
