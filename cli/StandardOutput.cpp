#include "cli/StandardOutput.h"

#ifndef _WIN32
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cli {

bool StandardOutputReaderGone()
{
#ifdef _WIN32
    return false;
#else
    struct stat status {};
    if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISFIFO(status.st_mode)) return false;
    // A pipe without a reader polls as an error on its write end.
    pollfd fd{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLERR) != 0;
#endif
}

}  // namespace cli
