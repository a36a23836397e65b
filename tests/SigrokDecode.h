#pragma once
// Decodes a VCD bus trace with sigrok-cli's I2C decoder and turns its
// annotations into the simulated bus's event-log tokens ("S C0 A 10 A Sr C1
// A 5A N P"), so a trace can be compared with what the bus saw. The decoder
// never warns about a malformed transaction, hence the comparison.

#include <cstdio>
#include <sstream>
#include <string>

namespace sigrok {

inline bool RunCommand(const std::string& command, std::string* output)
{
#ifdef _WIN32
    (void)command;
    (void)output;
    return false;
#else
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
    return pclose(pipe) == 0;
#endif
}

inline bool Available()
{
    std::string version;
    return RunCommand("sigrok-cli --version 2>&1", &version);
}

// sigrok's annotation lines as event-log tokens; anything unexpected is kept
// with a leading '?' so that a comparison fails visibly.
inline std::string TokensFromAnnotations(const std::string& output)
{
    std::istringstream in(output);
    std::string line;
    std::string tokens;
    auto add = [&](const std::string& t) { tokens += (tokens.empty() ? "" : " ") + t; };
    while (std::getline(in, line)) {
        const std::string prefix = "i2c-1: ";
        if (line.rfind(prefix, 0) != 0) {
            add("?" + line);
            continue;
        }
        const std::string a = line.substr(prefix.size());
        const size_t colon = a.find(": ");
        if (a == "Start") add("S");
        else if (a == "Start repeat") add("Sr");
        else if (a == "Stop") add("P");
        else if (a == "ACK") add("A");
        else if (a == "NACK") add("N");
        else if (a == "Write" || a == "Read") continue;  // the direction shows in the address
        else if (colon != std::string::npos) add(a.substr(colon + 2));
        else add("?" + a);
    }
    return tokens;
}

// Decodes the file; false when sigrok-cli could not run it (output says why).
inline bool Decode(const std::string& vcdPath, std::string* tokens, std::string* output)
{
    const bool ok = RunCommand("sigrok-cli -I vcd -i '" + vcdPath +
                                   "' -P i2c:scl=SCL:sda=SDA:address_format=unshifted"
                                   " -A i2c=start:repeat-start:stop:ack:nack:address-read:"
                                   "address-write:data-read:data-write 2>&1",
                               output);
    *tokens = TokensFromAnnotations(*output);
    return ok;
}

}  // namespace sigrok
