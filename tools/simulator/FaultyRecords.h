#pragma once
// Bytes of a line in trouble: noise ahead of a header, and a record carrying a second
// header inside it (the workstation's header trigger fires twice for one record).

#include "tools/simulator/ResultRecord.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vorsilan::sim {

// `count` random bytes, none of them 0xAA, so that noise never starts a header itself.
std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::mt19937& random);

// The record with 0xAA 0x55 at `offset` inside its filler (4..17), every other field kept.
ResultRecord WithHeaderInside(ResultRecord record, std::size_t offset = 10);

} // namespace vorsilan::sim
