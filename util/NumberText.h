#pragma once
// Whole numbers as people and files write them: decimal, or hex after 0x.

#include <cstdint>
#include <optional>
#include <string_view>

// Nothing for anything but digits of the base (no sign, no blanks); a value
// too large for 64 bits reads as the largest one, so range checks refuse it.
std::optional<uint64_t> ParseNumber(std::string_view text);
