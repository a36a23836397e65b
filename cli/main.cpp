#include <iostream>
#include <string>
#include <vector>

#include "app/Version.h"
#include "cli/Zent2Cli.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Answered here, not in the library the tests link, so that a new
    // revision relinks only the program.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") break;
        if (arg == "--version") {
            std::cout << VersionText("zent2-cli");
            return 0;
        }
    }
    return RunCli(args, std::cout, std::cerr);
}
