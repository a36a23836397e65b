#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Zent2Cli.h"
#include "util/PathText.h"
#include "util/Version.h"

int main(int argc, char** argv)
{
#ifdef SIGPIPE
    // A reader that went away is a failed write, reported with status 1 like
    // a full disk, rather than the end of the program without a word.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // UTF-8 on every system (on Windows from the wide command line), so that
    // any file name reaches the file system.
    const std::vector<std::string> args = ProgramArguments(argc, argv);
    // Answered here, not in the library the tests link, so that a new
    // revision relinks only the program.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") break;
        if (arg == "--version") {
            // A version that did not arrive (a full disk, a closed pipe) is a
            // failure, as the output of every other command is.
            errno = 0;
            std::cout << VersionText("zent2-cli") << std::flush;
            if (!std::cout) {
                const int error = errno;
                std::cerr << "zent2-cli: cannot write the output"
                          << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
                return 1;
            }
            return 0;
        }
    }
    return RunCli(args, std::cout, std::cerr);
}
