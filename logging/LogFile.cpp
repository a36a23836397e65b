#include "logging/LogFile.h"

#include <cerrno>
#include <cstring>

#include "util/PathText.h"

#ifdef _WIN32
#include <io.h>
#else
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

bool CLogFile::Open(const std::string& path)
{
    Close();
    m_error.clear();
    errno = 0;
    m_file = OpenText(path);
    if (m_file == nullptr) return Fail(errno);
    return true;
}

bool CLogFile::Write(std::string_view text)
{
    if (m_file == nullptr) return Fail(EBADF);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) return Fail(errno);
    return true;
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
    if (m_file == nullptr) return true;
    std::FILE* file = m_file;
    m_file = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) return Fail(errno);
    return true;
}
