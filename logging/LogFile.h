#pragma once
// The log file on disk: opened for writing as text (an existing file is
// truncated; lines end as the platform's text files do), written, flushed
// and closed, with every failure kept as the system's error text. A failed
// write, flush or close is reported; what was written before it stays, and
// a piece written with WriteWhole is either all in the file or not at all.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();  // closes, silently
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Asked, again and again, while opening or writing would wait for
    // another program (a FIFO that nobody reads yet, or whose reader has
    // stopped reading): true to go on waiting, false to give up. It does the
    // waiting itself, a little at a time.
    using OpenWait = std::function<bool()>;

    // False when the file cannot be opened; ErrorText() says why. Without
    // `wait` the open and the writes wait for as long as the system makes
    // them; with it, they can be given up (POSIX; elsewhere `wait` is not
    // asked). A write given up leaves the piece cut short in the FIFO.
    bool Open(const std::string& path, const OpenWait& wait = {});
    // Standard output instead of a file (zent2-cli log --output -): written
    // through a copy of its descriptor, so that Close leaves it open.
    bool OpenStandardOutput();
    bool IsOpen() const { return m_file != nullptr; }
    // Each returns false on failure, with ErrorText() set.
    bool Write(std::string_view text);
    // Write and Flush of one piece (a record, the header). When either
    // fails, a regular file is cut back to where it ended before, so that it
    // never ends in part of a piece; ErrorText() then names the first error
    // (and the cut, should that fail too).
    bool WriteWhole(std::string_view text);
    // Hands what was written to the system and on to the disk, so that a
    // crash, a kill or a power cut loses no record written before.
    bool Flush();
    // Closing a file that is not open succeeds.
    bool Close();

    const std::string& ErrorText() const { return m_error; }

private:
    bool Fail(int error);
    bool CutBackTo(long long length);

    std::FILE* m_file = nullptr;
    std::string m_error;
    OpenWait m_readerWait;  // for a FIFO opened with a wait
};
