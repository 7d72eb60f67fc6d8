#pragma once
// Finding records in what the PC end read off the line.

#include "tools/simulator/ResultRecord.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorsilan::sim::test {

// The positions of every 0xAA in `bytes`.
inline std::vector<std::size_t> HeaderPositions(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kHeaderFirst) {
            at.push_back(i);
        }
    }
    return at;
}

// The 26 bytes from `at` (which the caller has checked are there) as a record.
inline ResultRecord RecordAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    ResultRecord record{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kResultRecordSize, record.begin());
    return record;
}

} // namespace vorsilan::sim::test
