#include <iostream>
#include <string>
#include <vector>

#include "cli/Zent2Cli.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr);
}
