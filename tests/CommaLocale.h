#pragma once
// A locale whose decimal separator is a comma, for checking that numbers the
// program shows, prints or writes keep their '.'. Uses an installed one, or
// compiles one with localedef into a temporary folder (no root needed) and
// points the C library at it.

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

inline const char* UseCommaLocale(int category)
{
    static const char* const kNames[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
    for (const char* name : kNames)
        if (std::setlocale(category, name)) return name;
#ifndef _WIN32
    // The folder goes once the locale is loaded: the C library keeps what it
    // read, and each test process would otherwise leave about 3 MB behind.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zent2-locale-" + std::to_string(getpid()));
    const std::string command = "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    std::filesystem::create_directories(folder);
    const char* loaded = nullptr;
    if (std::system(command.c_str()) != -1) {
        setenv("LOCPATH", folder.c_str(), 1);
        if (std::setlocale(category, "de_DE.UTF-8")) loaded = "de_DE.UTF-8";
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return loaded;
#else
    return nullptr;
#endif
}
