#pragma once
// The operating system as the log header names it. On Windows the text is
// built from the system's version record, processor architecture and
// product type by a fixed decision table; elsewhere from the distribution's
// name and version and the kernel's name, release and machine, e.g.
// "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 x86_64".

#include <cstdint>
#include <string>
#include <string_view>

// What Windows says about itself.
struct WindowsVersionFacts {
    bool available = false;  // the version record was obtained
    uint32_t platformId = 0;  // 2 = the NT platform
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    std::string servicePack;  // e.g. "Service Pack 1", empty for none
    uint32_t suiteMask = 0;
    uint32_t productType = 0;   // 1 = workstation
    uint32_t architecture = 0;  // 0 = x86, 6 = IA64, 9 = AMD64
    uint32_t productInfo = 0;   // product type code of major 6 and later
};

// The Windows decision table. Returns 1 when a text was built (also when no
// version record was obtained: the text is then left as it was), 0 for a
// platform the table does not name ("Udefined Windows version").
int WindowsOsVersionText(const WindowsVersionFacts& facts, std::string& text);

// The text of other systems: PRETTY_NAME of an os-release file (or NAME and
// VERSION), then the kernel's name, release and machine; whichever part is
// missing is left out.
std::string UnixOsVersionText(std::string_view osRelease, std::string_view kernelName,
                              std::string_view kernelRelease, std::string_view machine);

// The text of the system the program runs on, as the table or the
// os-release file gives it. Returns what WindowsOsVersionText returns on
// Windows, 1 elsewhere.
int GetOsVersionText(std::string& text);
