#pragma once
// The log file on disk: opened for writing as text (an existing file is
// truncated; lines end as the platform's text files do), written, flushed
// and closed, with every failure kept as the system's error text. A failed
// write, flush or close is reported; what was written before it stays.

#include <cstdio>
#include <string>
#include <string_view>

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();  // closes, silently
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // False when the file cannot be opened; ErrorText() says why.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_file != nullptr; }
    // Each returns false on failure, with ErrorText() set.
    bool Write(std::string_view text);
    // Hands what was written to the system and on to the disk, so that a
    // crash, a kill or a power cut loses no record written before.
    bool Flush();
    // Closing a file that is not open succeeds.
    bool Close();

    const std::string& ErrorText() const { return m_error; }

private:
    bool Fail(int error);

    std::FILE* m_file = nullptr;
    std::string m_error;
};
