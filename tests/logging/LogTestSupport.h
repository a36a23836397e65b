#pragma once
// What the logging tests share: a temporary folder, reading a file back as
// lines, and the lines of each record.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

inline std::filesystem::path LogTestFolder()
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zent2-logging-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

// The log is a text file: on Windows its lines end in CR LF, which are read
// as LF here so that the tests compare lines alike on every system.
inline std::string FileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
#ifdef _WIN32
    std::string lines = text.str();
    for (size_t at = 0; (at = lines.find("\r\n", at)) != std::string::npos;) lines.erase(at, 1);
    return lines;
#else
    return text.str();
#endif
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines after the header's empty line, grouped by the record number of
// their "Record %d Value, Name" line; each device block is kept whole.
inline std::map<int, std::vector<std::string>> RecordLines(const std::string& text)
{
    std::map<int, std::vector<std::string>> records;
    int current = 0;
    for (const std::string& line : Lines(text)) {
        int number = 0;
        if (std::sscanf(line.c_str(), "Record %d Value, Name", &number) == 1) current = number;
        if (current != 0) records[current].push_back(line);
    }
    return records;
}
