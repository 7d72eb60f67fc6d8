#include "comm/threads/OutputRing.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace apd {

std::uint32_t OutputRingCount(std::uint32_t size, std::uint32_t head, std::uint32_t tail,
                              bool full) {
    if (full) {
        return size;
    }
    if (head >= tail) {
        return head - tail;
    }
    return size - tail + head;
}

void CopyIntoOutputRing(std::uint8_t* ring, std::uint32_t size, std::uint32_t& head,
                        const std::uint8_t* data, std::uint32_t length) {
    if (size == 0 || length == 0) {
        return;
    }
    length = std::min(length, size);
    const std::uint32_t first = std::min(length, size - head);
    std::memcpy(ring + head, data, first);
    const std::uint32_t rest = length - first;
    if (rest != 0) {
        std::memcpy(ring, data + first, rest);
        head = rest;
    } else {
        head += first;
    }
    if (head == size) {
        head = 0;
    }
}

OutputChunk PrepareOutputChunk(std::uint8_t* ring, std::uint32_t size, std::uint32_t& head,
                               std::uint32_t& tail, bool full) {
    if (size == 0 || (!full && head == tail)) {
        return {};
    }
    if (head > tail) {
        return {tail, head - tail};
    }
    if (head == 0) {
        return {tail, size - tail};
    }
    // The pending data wraps: [tail, size) then [0, head). Make it one run from 0.
    const std::vector<std::uint8_t> start(ring, ring + head);
    const std::uint32_t upper = size - tail;
    std::memmove(ring, ring + tail, upper);
    std::memcpy(ring + upper, start.data(), start.size());
    head += upper;
    tail = 0;
    const std::uint32_t count = head;
    // A full ring now ends exactly at the end of the buffer: head belongs at 0 (the ring
    // stays full), or a complete write would leave head at the end and the same bytes
    // would be taken for pending again.
    if (head == size) {
        head = 0;
    }
    return {0, count};
}

void AdvanceOutputRing(std::uint32_t size, std::uint32_t& head, std::uint32_t& tail, bool& full,
                       std::uint32_t n) {
    if (n == 0) {
        return;
    }
    tail += n;
    if (tail >= size) {
        tail = 0;
    }
    if (tail == head) {
        tail = 0;
        head = 0;
    }
    full = false;
}

} // namespace apd
