#pragma once
// printf-style formatting into a std::string, so that list entries, captions
// and value texts come out exactly as the format strings the pages show.

#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define ZENT2_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZENT2_PRINTF_FORMAT(fmt, args)
#endif

std::string FormatText(const char* format, ...) ZENT2_PRINTF_FORMAT(1, 2);
