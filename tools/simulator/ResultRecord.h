#pragma once
// The 26-byte result record the analyser sends after each measurement, and its encoding.
//
//   0..1   header 0xAA 0x55
//   2..3   analysis number, little-endian
//   4..18  filler, not interpreted by the workstation
//   19     value, low two digits, packed BCD (tens in the high nibble, units in the low)
//   20     value, high two digits, packed BCD (thousands high, hundreds low)
//   21     sample kind: 1 serum, 2 whole blood, 3 urine
//   22..25 filler
// The value is in hundredths of a mmol for serum and blood and in tenths for urine.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorsilan::sim {

inline constexpr std::size_t kResultRecordSize = 26;
inline constexpr std::uint8_t kHeaderFirst = 0xAA;
inline constexpr std::uint8_t kHeaderSecond = 0x55;
inline constexpr std::size_t kNumberOffset = 2;
inline constexpr std::size_t kFillerOffset = 4;
inline constexpr std::size_t kValueLowOffset = 19;
inline constexpr std::size_t kValueHighOffset = 20;
inline constexpr std::size_t kKindOffset = 21;
inline constexpr std::size_t kTrailerOffset = 22;
// Four BCD digits.
inline constexpr unsigned kLargestValue = 9999;

using ResultRecord = std::array<std::uint8_t, kResultRecordSize>;

enum class SampleKind : std::uint8_t { Serum = 1, WholeBlood = 2, Urine = 3 };

// The fields of a record as bytes, so that faulty records (non-BCD nibbles, unknown kinds,
// a header in the filler) can be built as easily as good ones.
struct RawResultFields {
    std::uint16_t number = 0;
    std::uint8_t valueLow = 0;  // offset 19
    std::uint8_t valueHigh = 0; // offset 20
    std::uint8_t kind = 0;      // offset 21
    std::uint8_t filler = 0;    // every byte of offsets 4..18 and 22..25
};

ResultRecord EncodeRawResultRecord(const RawResultFields& fields);

// 0..99 as one packed BCD byte.
std::uint8_t PackedBcd(unsigned twoDigits);

// A good record: `value` in the kind's unit (hundredths or tenths of a mmol), 0..9999.
// Nothing for a value out of range.
std::optional<ResultRecord> EncodeResultRecord(std::uint16_t number, unsigned value,
                                               SampleKind kind);

// The number of decimals of a kind's unit: 2 for serum and blood, 1 for urine; 2 for any
// other code.
unsigned DecimalsOf(std::uint8_t kindCode);

// "serum", "blood" (or "whole-blood"), "urine", or a code 0..255 in decimal; nothing for
// anything else.
std::optional<std::uint8_t> ParseSampleKind(std::string_view text);
std::string SampleKindName(std::uint8_t kindCode);

// A value in mmol as text ("5.56", "5,56", "5", "55.6") to the kind's unit: "5.56" for a
// serum record gives 556, "55.6" for a urine record 556. Nothing when the text is not a
// plain decimal number, has more decimals than the unit or is above 9999 units.
std::optional<unsigned> ParseMeasuredValue(std::string_view text, std::uint8_t kindCode);
// The reverse, with a point: 556 for serum gives "5.56".
std::string FormatMeasuredValue(unsigned value, std::uint8_t kindCode);

// What the workstation takes from a record: BCD digits summed as they stand, a nibble
// above 9 counting with its plain value.
struct DecodedResult {
    std::uint16_t number;
    unsigned value;
    std::uint8_t kind;
};
DecodedResult DecodeResultRecord(const ResultRecord& record);

} // namespace vorsilan::sim
