#include "logging/LogFile.h"

#include <cerrno>
#include <cstring>

#include "util/PathText.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::FILE* OpenText(const std::string& path)
{
#ifdef _WIN32
    // The path is UTF-8; the wide call reaches every file name.
    return _wfopen(PathFromUtf8(path).c_str(), L"w");
#else
    return std::fopen(path.c_str(), "w");
#endif
}

#ifndef _WIN32
// fopen(path, "w") that never blocks: a FIFO without a reader makes the open
// fail with ENXIO, and `wait` decides whether to try again. errno is set
// when it gives null.
std::FILE* OpenTextWaiting(const std::string& path, const CLogFile::OpenWait& wait, bool& gaveUp, bool& fifo)
{
    gaveUp = false;
    fifo = false;
    int fd = -1;
    while (true) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd >= 0) break;
        if (errno == EINTR) continue;
        if (errno != ENXIO) return nullptr;
        struct stat status{};
        if (::stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
            errno = ENXIO;
            return nullptr;
        }
        if (!wait()) {
            gaveUp = true;
            return nullptr;
        }
    }
    // Writes block again, as they do on any file opened without the flag;
    // to a FIFO they do not, so that a reader that stops reading can be
    // waited for in slices, the way its opening was (see CLogFile::Write).
    struct stat opened{};
    fifo = ::fstat(fd, &opened) == 0 && S_ISFIFO(opened.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    if (!fifo && (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}
#endif

long long Position(std::FILE* file)
{
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<long long>(::ftello(file));
#endif
}

// Puts what the file holds on the disk itself, so a power cut keeps it.
// A file that cannot be synced (a pipe, a terminal) has nothing to lose there.
bool SyncToDisk(std::FILE* file)
{
#ifdef _WIN32
    return _commit(_fileno(file)) == 0 || errno == EBADF;
#else
    return ::fdatasync(fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
#endif
}

}  // namespace

CLogFile::~CLogFile()
{
    if (m_file) std::fclose(m_file);
}

bool CLogFile::Fail(int error)
{
    m_error = std::strerror(error != 0 ? error : EIO);
    return false;
}

bool CLogFile::OpenStandardOutput()
{
    Close();
    m_error.clear();
    std::fflush(stdout);
#ifdef _WIN32
    const int fd = _dup(_fileno(stdout));
    m_file = fd >= 0 ? _fdopen(fd, "w") : nullptr;
    if (m_file == nullptr && fd >= 0) _close(fd);
#else
    const int fd = ::dup(STDOUT_FILENO);
    m_file = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    if (m_file == nullptr && fd >= 0) ::close(fd);
#endif
    if (m_file == nullptr) return Fail(errno);
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

bool CLogFile::Open(const std::string& path, const OpenWait& wait)
{
    Close();
    m_error.clear();
    errno = 0;
#ifdef _WIN32
    (void)wait;
    m_file = OpenText(path);
#else
    bool gaveUp = false;
    bool fifo = false;
    m_file = wait ? OpenTextWaiting(path, wait, gaveUp, fifo) : OpenText(path);
    if (m_file != nullptr && fifo) m_readerWait = wait;
    if (gaveUp) {
        m_error = "no program opened the FIFO for reading";
        return false;
    }
#endif
    if (m_file == nullptr) return Fail(errno);
    // Nothing waits in a buffer: what a failed write did not write is not
    // written later by the close, behind the cut WriteWhole made.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

bool CLogFile::Write(std::string_view text)
{
    if (m_file == nullptr) return Fail(EBADF);
#ifndef _WIN32
    if (m_readerWait) {
        // The stream is unbuffered: its descriptor is written directly.
        const int fd = fileno(m_file);
        while (!text.empty()) {
            const ssize_t n = ::write(fd, text.data(), text.size());
            if (n > 0) {
                text.remove_prefix(static_cast<size_t>(n));
            } else if (n < 0 && errno == EAGAIN) {
                if (!m_readerWait()) {
                    m_error = "the program reading the FIFO stopped reading: the last record in it is cut short";
                    return false;
                }
            } else if (n < 0 && errno != EINTR) {
                return Fail(errno);
            }
        }
        return true;
    }
#endif
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) return Fail(errno);
    return true;
}

bool CLogFile::WriteWhole(std::string_view text)
{
    if (m_file == nullptr) return Fail(EBADF);
    const long long before = Position(m_file);
    if (Write(text) && Flush()) return true;
    CutBackTo(before);
    return false;
}

bool CLogFile::CutBackTo(long long length)
{
    // A pipe or a device has no end to cut back to.
    if (length < 0) return false;
#ifdef _WIN32
    const bool cut = _chsize_s(_fileno(m_file), length) == 0;
    const int error = errno;
    const bool placed = _fseeki64(m_file, length, SEEK_SET) == 0;
#else
    const int fd = fileno(m_file);
    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const bool cut = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
    const int error = errno;
    const bool placed = ::fseeko(m_file, static_cast<off_t>(length), SEEK_SET) == 0;
#endif
    if (!cut) {
        m_error += std::string("; the part written could not be removed: ") + std::strerror(error);
        return false;
    }
    return placed;
}

bool CLogFile::Flush()
{
    if (m_file == nullptr) return Fail(EBADF);
    errno = 0;
    if (std::fflush(m_file) != 0) return Fail(errno);
    errno = 0;
    if (!SyncToDisk(m_file)) return Fail(errno);
    return true;
}

bool CLogFile::Close()
{
    m_readerWait = {};
    if (m_file == nullptr) return true;
    std::FILE* file = m_file;
    m_file = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) return Fail(errno);
    return true;
}
