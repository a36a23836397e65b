#include "logging/LogFile.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <filesystem>
#endif

namespace {

std::FILE* OpenText(const std::string& path)
{
#ifdef _WIN32
    // The path is UTF-8; the wide call reaches every file name.
    const std::u8string utf8(path.begin(), path.end());
    return _wfopen(std::filesystem::path(utf8).c_str(), L"w");
#else
    return std::fopen(path.c_str(), "w");
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
