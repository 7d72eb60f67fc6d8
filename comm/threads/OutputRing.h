#pragma once
// Index arithmetic of the output ring that DeviceWrite fills and the output thread drains.
// head is where the next queued byte goes, tail the next byte to send; with full set,
// head equals tail and the whole ring is pending. The caller holds OutputLock.

#include <cstdint>

namespace apd {

struct OutputChunk {
    std::uint32_t offset = 0; // first byte to send
    std::uint32_t count = 0;  // bytes to send, 0 when nothing is pending
};

// Bytes pending in the ring.
std::uint32_t OutputRingCount(std::uint32_t size, std::uint32_t head, std::uint32_t tail,
                              bool full);

// Copies length bytes (at most size) into the ring at head, wrapping to the start, and
// moves head past them (to 0 when they end exactly at the end of the ring). The caller has
// made sure they fit.
void CopyIntoOutputRing(std::uint8_t* ring, std::uint32_t size, std::uint32_t& head,
                        const std::uint8_t* data, std::uint32_t length);

// The pending bytes as one contiguous run. Data that wraps past the end is first moved
// into one run starting at offset 0, in the order it was queued.
OutputChunk PrepareOutputChunk(std::uint8_t* ring, std::uint32_t size, std::uint32_t& head,
                               std::uint32_t& tail, bool full);

// Marks n bytes from tail as sent. When nothing is left pending, head and tail go to 0.
void AdvanceOutputRing(std::uint32_t size, std::uint32_t& head, std::uint32_t& tail, bool& full,
                       std::uint32_t n);

} // namespace apd
