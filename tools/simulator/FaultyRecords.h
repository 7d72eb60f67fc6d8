#pragma once
// Bytes of a line in trouble: noise around a record, false headers near it, and a record
// carrying a second header inside it (the workstation's header trigger fires twice for one
// record).

#include "tools/simulator/ResultRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace vorsilan::sim {

// `count` random bytes, none of them 0xAA, so that noise never starts a header itself.
std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::mt19937& random);

// The record with 0xAA 0x55 at `offset` inside its filler (4..17), every other field kept.
ResultRecord WithHeaderInside(ResultRecord record, std::size_t offset = 10);

// The noise a record meets on its way, each class one burst (the bytes of one write):
enum class NoiseClass {
    None,     // the record alone
    Leading,  // 1..40 noise bytes, then the record
    Trailing, // the record, then 1..40 noise bytes
    // Noise holding a false header 0xAA 0x55 22 to 24 bytes ahead of the real header, so
    // that the 26 bytes from the false header hold the real header and are an impossible
    // record: a kind other than 1..3 or a value byte with a nibble above 9. 22 to 40 noise
    // bytes in all.
    FalseHeader,
    // The same, but the false record is plausible: BCD value bytes and a kind of 1..3. A
    // receiver cannot tell it from a real record, so the real one may be lost.
    FalseHeaderPossible,
    // The record, then noise with a false header 0xAA 0x55 followed by 20 to 23 more bytes:
    // a record that never ends, and an impossible one (as above) whatever comes after it.
    // At most 40 noise bytes.
    TrailingFalseHeader,
    Flood, // kFloodBytes noise bytes, then the record
};

// The most noise bytes near a record in every class but the flood, and the flood's.
inline constexpr std::size_t kMostNearNoise = 40;
inline constexpr std::size_t kFloodBytes = 8192;

// Every class, for callers that go through them all.
inline constexpr std::array kNoiseClasses = {
    NoiseClass::None,
    NoiseClass::Leading,
    NoiseClass::Trailing,
    NoiseClass::FalseHeader,
    NoiseClass::FalseHeaderPossible,
    NoiseClass::TrailingFalseHeader,
    NoiseClass::Flood,
};

// "none", "leading", "trailing", "false-header", "false-header-possible",
// "trailing-false-header", "flood"; parsing takes exactly these names.
std::string_view NoiseClassName(NoiseClass noise);
std::optional<NoiseClass> ParseNoiseClass(std::string_view name);

// The record in noise of the class, as one burst. The noise is drawn from `random`, so the
// same seed gives the same bytes. Noise bytes are never 0xAA except in a false header.
std::vector<std::uint8_t> NoisyBurst(const ResultRecord& record, NoiseClass noise,
                                     std::mt19937& random);

} // namespace vorsilan::sim
