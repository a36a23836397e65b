#pragma once
// File names and command-line words as UTF-8 text on every system. On Windows
// the standard library reads a narrow file name in the ANSI code page (and
// throws for bytes it cannot convert), and main's argv is in that code page
// too, which cannot hold every name. So the programs take their arguments
// from the wide command line as UTF-8 (ProgramArguments), and every file name
// that is text goes through PathFromUtf8 before it reaches the file system.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Never throws: on Windows a byte sequence that is not UTF-8 becomes U+FFFD.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The program's arguments after its name, as UTF-8: on Windows from the wide
// command line (argv is not used there), elsewhere argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);
