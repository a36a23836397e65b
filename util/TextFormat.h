#pragma once
// printf-style formatting into a std::string, so that list entries, captions,
// value texts, command-line output and log lines come out exactly as their
// format strings say. Numbers always use '.' as the decimal separator,
// whatever locale the user or the toolkit has set.

#include <cstddef>
#include <string>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define ZENT2_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZENT2_PRINTF_FORMAT(fmt, args)
#endif

std::string FormatText(const char* format, ...) ZENT2_PRINTF_FORMAT(1, 2);

// Text from outside (a file line, an argument) as a message may show it: cut
// after `maxBytes` bytes with "...", and every control or non-ASCII byte as
// \xNN, so that the message stays one readable line.
std::string ShownText(std::string_view text, std::size_t maxBytes = 40);
