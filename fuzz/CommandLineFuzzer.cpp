// The command-line parser on any arguments (the input split at NUL bytes): it
// must not crash, a refusal is one printable line, and an accepted request
// holds only values the program can use.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    cli::CliRequest request;
    std::string error;
    if (!cli::ParseCommandLine(args, request, error)) {
        FUZZ_CHECK(!error.empty() && error.size() < 400);
        for (const char c : error) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        return 0;
    }
    if (request.command == cli::Command::Help) return 0;
    FUZZ_CHECK(request.hmu >= 0 && request.hmu <= 7);
    FUZZ_CHECK(request.reg >= 0 && request.reg <= 0xFF);
    FUZZ_CHECK(request.value >= 0 && request.value <= 0xFF);
    FUZZ_CHECK(request.type == 0 || request.type == 1);
    FUZZ_CHECK(request.rateKhz >= 1);
    FUZZ_CHECK(request.hmuBase >= 0 && request.hmuBase <= 0xFE && request.hmuBase % 2 == 0);
    FUZZ_CHECK(request.mainAddress >= 0 && request.mainAddress <= 0xFE && request.mainAddress % 2 == 0);
    const float ohms = static_cast<float>(request.senseOhms);
    FUZZ_CHECK(std::isfinite(ohms) && ohms >= std::numeric_limits<float>::min());
    const bool addressesHmu = request.command != cli::Command::Scan && request.command != cli::Command::Devices;
    if (addressesHmu) FUZZ_CHECK(request.hmuBase + 2 * request.hmu <= 0xFE);
    return 0;
}
