#include "tools/simulator/FaultyRecords.h"

#include <algorithm>

namespace vorsilan::sim {

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

} // namespace vorsilan::sim
