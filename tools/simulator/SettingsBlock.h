#pragma once
// The analyser's 256-byte block of internal settings: a plausible default, and loading and
// saving it as a file of exactly 256 bytes.
//
// Layout (multi-byte numbers little-endian): 0..1 not interpreted; 2 measuring mode;
// 3 current; 4 divider; 5..8 the RBC, WBC, PBC and EXT codes; 9, 12, 15, 18, 21 the
// power-on, RBC, WBC, PBC and EXT counters (24-bit); 24, 26, 28, 30 the maximum measuring
// times (seconds byte, then minutes byte); 32..33 the backlight switch-off interval in
// seconds; 34 speaker (0 off); 35..255 a line of text padded with spaces.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorsilan::sim {

inline constexpr std::size_t kSettingsBlockSize = 256;
inline constexpr std::size_t kInformationOffset = 35;
inline constexpr std::size_t kInformationSize = kSettingsBlockSize - kInformationOffset;

using SettingsBlock = std::array<std::uint8_t, kSettingsBlockSize>;

// Mode 0, current 1, divider 1, codes 40/23/14/30, some counters, times 32/20/32/32 s,
// backlight 180 s, speaker on, and an information line padded with spaces.
SettingsBlock DefaultSettingsBlock();

// Puts `text` into the information field, cut to its 221 bytes and padded with spaces.
void SetInformationText(SettingsBlock& block, std::string_view text);

// Each throws std::runtime_error with a message naming the file when it cannot be read or
// written, or (loading) when it does not hold exactly 256 bytes.
SettingsBlock LoadSettingsBlock(const std::string& path);
// Writes to a temporary file beside `path` and renames it over `path`, so that a reader
// never sees half a block.
void SaveSettingsBlock(const std::string& path, const SettingsBlock& block);

} // namespace vorsilan::sim
