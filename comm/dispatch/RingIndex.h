#pragma once
// Positions in the 8192-byte receive ring.

#include <cstdint>

namespace apd {

inline constexpr std::uint32_t DispatchBufferSize = 8192;

// Advances a ring position by at most one ring length.
constexpr std::uint32_t AdvanceRingPos(std::uint32_t pos, std::uint32_t by) {
    pos += by;
    if (pos >= DispatchBufferSize) {
        pos -= DispatchBufferSize;
    }
    return pos;
}

// Bytes waiting between tail and head. Head equal to tail is a full ring when full is set
// and an empty one otherwise.
constexpr std::uint32_t RingCount(std::uint32_t head, std::uint32_t tail, bool full) {
    if (head == tail) {
        return full ? DispatchBufferSize : 0;
    }
    if (tail < head) {
        return head - tail;
    }
    return head + DispatchBufferSize - tail;
}

// Bytes from tail through pos, both included, for a position that holds a waiting byte.
constexpr std::uint32_t RingCountThrough(std::uint32_t pos, std::uint32_t tail) {
    return (pos + DispatchBufferSize - tail) % DispatchBufferSize + 1;
}

} // namespace apd
