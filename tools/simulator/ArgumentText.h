#pragma once
// The small text forms shared by the script and the command line.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vorsilan::sim {

// "250ms", "2s", "1.5s", "1m", or a bare number of seconds ("3", "0.5"); at most a day.
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);
// Decimal, 0..largest.
std::optional<unsigned long> ParseCount(std::string_view text, unsigned long largest);
// One byte in hex: "aa", "AA", "0xaa", "5".
std::optional<std::uint8_t> ParseHexByte(std::string_view text);

} // namespace vorsilan::sim
