#pragma once
// printf-style formatting into a std::string, so that list entries, captions,
// value texts, command-line output and log lines come out exactly as their
// format strings say. Numbers always use '.' as the decimal separator,
// whatever locale the user or the toolkit has set.

#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define ZENT2_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZENT2_PRINTF_FORMAT(fmt, args)
#endif

std::string FormatText(const char* format, ...) ZENT2_PRINTF_FORMAT(1, 2);
