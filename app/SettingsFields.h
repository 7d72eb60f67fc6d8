#pragma once
// The analyser's 256-byte block of internal settings and the conversions between its bytes
// and the numbers and text the engineering dialog shows.

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vorsilan::app {

inline constexpr std::size_t SettingsBlockSize = 256;
inline constexpr std::size_t InformationOffset = 35;
inline constexpr std::size_t InformationSize = SettingsBlockSize - InformationOffset; // 221

using SettingsBlock = std::array<std::uint8_t, SettingsBlockSize>;

// A measuring time: seconds = value mod 60, minutes = (value div 60) mod 256.
struct SecMin {
    std::uint8_t seconds;
    std::uint8_t minutes;
};
SecMin GetSecMin(std::uint16_t value);

// The three bytes of a counter: high = (v div 65536) mod 256, middle = ((v - 65536 * high)
// div 256) mod 256, low = v mod 256, with div truncating toward zero and mod taking the
// least significant byte of the two's-complement value.
struct HCL {
    std::uint8_t high;
    std::uint8_t middle;
    std::uint8_t low;
};
HCL GetHCL(std::int32_t value);

// Little-endian numbers of the block as the dialog shows them.
std::uint32_t Counter(const SettingsBlock& block, std::size_t offset);      // 24-bit
std::uint32_t TotalSeconds(const SettingsBlock& block, std::size_t offset); // s + 60 * m
std::uint32_t Word(const SettingsBlock& block, std::size_t offset);         // 16-bit

// The information line: the field's Windows-1251 bytes as text; a byte 0 adds nothing.
QString InformationText(const SettingsBlock& block);

// Why a text cannot be stored in the information field.
enum class InformationFault { None, TooLong, NotRepresentable };

// Puts `text` into the field, padded with spaces. Trailing spaces beyond the field's 221
// characters are dropped first; a text that is still longer, or one with a character
// Windows-1251 cannot hold, leaves the block untouched and gives its fault.
InformationFault StoreInformationText(SettingsBlock& block, const QString& text);

} // namespace vorsilan::app
