#include "tools/simulator/FaultyRecords.h"

#include <algorithm>
#include <span>

namespace vorsilan::sim {
namespace {

constexpr std::array<std::string_view, kNoiseClasses.size()> kNoiseClassNames = {
    "none",
    "leading",
    "trailing",
    "false-header",
    "false-header-possible",
    "trailing-false-header",
    "flood",
};

// From the false header to the real one: the false record's value and kind bytes (its
// offsets 19..21) are noise, and both bytes of the real header lie inside it.
constexpr std::size_t kFalseHeaderLeastAhead = kKindOffset + 1;
constexpr std::size_t kFalseHeaderMostAhead = kResultRecordSize - 2;
// Behind the record: the false header and 20 to 23 bytes after it, never a whole record but
// holding the false record's value and kind bytes, so that it is an impossible record
// whatever comes after it.
constexpr std::size_t kFalseHeaderLeastAfter = kKindOffset - 1;
constexpr std::size_t kFalseHeaderMostAfter = kResultRecordSize - 3;

std::size_t Pick(std::size_t least, std::size_t most, std::mt19937& random) {
    return std::uniform_int_distribution<std::size_t>(least, most)(random);
}

bool IsPackedBcd(std::uint8_t byte) {
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

// A noise byte that `wanted` accepts.
template <typename Wanted>
std::uint8_t NoiseByteWhere(std::mt19937& random, Wanted wanted) {
    for (;;) {
        const std::uint8_t byte = NoiseBytes(1, random).front();
        if (wanted(byte)) {
            return byte;
        }
    }
}

// Offsets 19..21 of a false record: impossible (a kind other than 1..3, or one value byte
// with a nibble above 9; which one is drawn) or plausible.
void FillFalseFields(std::span<std::uint8_t> falseRecord, bool plausible, std::mt19937& random) {
    if (plausible) {
        falseRecord[kValueLowOffset] = PackedBcd(static_cast<unsigned>(Pick(0, 99, random)));
        falseRecord[kValueHighOffset] = PackedBcd(static_cast<unsigned>(Pick(0, 99, random)));
        falseRecord[kKindOffset] = static_cast<std::uint8_t>(Pick(1, 3, random));
        return;
    }
    const std::size_t fault = Pick(0, 2, random);
    if (fault == 0) {
        falseRecord[kKindOffset] =
            NoiseByteWhere(random, [](std::uint8_t b) { return b < 1 || b > 3; });
    } else {
        falseRecord[fault == 1 ? kValueLowOffset : kValueHighOffset] =
            NoiseByteWhere(random, [](std::uint8_t b) { return !IsPackedBcd(b); });
    }
}

void Append(std::vector<std::uint8_t>& to, std::span<const std::uint8_t> bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// Noise, then 0xAA 0x55 and `after` more noise bytes.
std::vector<std::uint8_t> NoiseWithFalseHeader(std::size_t before, std::size_t after,
                                               std::mt19937& random) {
    std::vector<std::uint8_t> bytes = NoiseBytes(before + 2 + after, random);
    bytes[before] = kHeaderFirst;
    bytes[before + 1] = kHeaderSecond;
    return bytes;
}

} // namespace

std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::mt19937& random) {
    // 255 values: 0x00..0xFE, with 0xAA mapped to the one value left out.
    std::uniform_int_distribution<int> pick(0, 254);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        const int value = pick(random);
        byte = static_cast<std::uint8_t>(value == kHeaderFirst ? 0xFF : value);
    }
    return bytes;
}

ResultRecord WithHeaderInside(ResultRecord record, std::size_t offset) {
    offset = std::clamp<std::size_t>(offset, kFillerOffset, kValueLowOffset - 2);
    record[offset] = kHeaderFirst;
    record[offset + 1] = kHeaderSecond;
    return record;
}

std::string_view NoiseClassName(NoiseClass noise) {
    return kNoiseClassNames[static_cast<std::size_t>(noise)];
}

std::optional<NoiseClass> ParseNoiseClass(std::string_view name) {
    const auto found = std::find(kNoiseClassNames.begin(), kNoiseClassNames.end(), name);
    if (found == kNoiseClassNames.end()) {
        return std::nullopt;
    }
    return kNoiseClasses[static_cast<std::size_t>(found - kNoiseClassNames.begin())];
}

std::vector<std::uint8_t> NoisyBurst(const ResultRecord& record, NoiseClass noise,
                                     std::mt19937& random) {
    std::vector<std::uint8_t> burst;
    switch (noise) {
    case NoiseClass::None:
        break;
    case NoiseClass::Leading:
        burst = NoiseBytes(Pick(1, kMostNearNoise, random), random);
        break;
    case NoiseClass::Trailing:
        Append(burst, record);
        Append(burst, NoiseBytes(Pick(1, kMostNearNoise, random), random));
        return burst;
    case NoiseClass::FalseHeader:
    case NoiseClass::FalseHeaderPossible: {
        const std::size_t ahead = Pick(kFalseHeaderLeastAhead, kFalseHeaderMostAhead, random);
        const std::size_t before = Pick(0, kMostNearNoise - ahead, random);
        burst = NoiseWithFalseHeader(before, ahead - 2, random);
        // The false record runs on into the real one; its fields here all lie in the noise.
        FillFalseFields(std::span(burst).subspan(before), noise == NoiseClass::FalseHeaderPossible,
                        random);
        break;
    }
    case NoiseClass::TrailingFalseHeader: {
        const std::size_t after = Pick(kFalseHeaderLeastAfter, kFalseHeaderMostAfter, random);
        const std::size_t before = Pick(0, kMostNearNoise - 2 - after, random);
        Append(burst, record);
        std::vector<std::uint8_t> behind = NoiseWithFalseHeader(before, after, random);
        FillFalseFields(std::span(behind).subspan(before), false, random);
        Append(burst, behind);
        return burst;
    }
    case NoiseClass::Flood:
        burst = NoiseBytes(kFloodBytes, random);
        break;
    }
    Append(burst, record);
    return burst;
}

} // namespace vorsilan::sim
