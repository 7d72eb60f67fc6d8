// The output ring's index arithmetic: wrapped data leaves in the order it was queued, and
// a complete write always leaves the ring empty.

#include <gtest/gtest.h>

#include <string>

#include "comm/threads/OutputRing.h"

namespace apd {
namespace {

struct Ring {
    explicit Ring(std::uint32_t n) : bytes(n, '.'), size(n) {}
    std::uint8_t* data() { return reinterpret_cast<std::uint8_t*>(bytes.data()); }
    void Put(const std::string& s) {
        CopyIntoOutputRing(data(), size, head, reinterpret_cast<const std::uint8_t*>(s.data()),
                           static_cast<std::uint32_t>(s.size()));
    }
    // Sends n bytes of the next chunk (all when n is 0) and returns them.
    std::string Send(std::uint32_t n = 0) {
        const OutputChunk chunk = PrepareOutputChunk(data(), size, head, tail, full);
        const std::uint32_t sent = n == 0 ? chunk.count : std::min(n, chunk.count);
        std::string out = bytes.substr(chunk.offset, sent);
        AdvanceOutputRing(size, head, tail, full, sent);
        return out;
    }
    std::uint32_t Pending() const { return OutputRingCount(size, head, tail, full); }

    std::string bytes;
    std::uint32_t size;
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    bool full = false;
};

TEST(OutputRing, WrappedDataLeavesInOneRunInQueuedOrder) {
    Ring ring(8);
    ring.Put("abcdef");
    EXPECT_EQ(ring.Send(5), "abcde"); // tail 5, head 6
    ring.Put("ghij");                 // wraps: g h at 6..7, i j at 0..1
    EXPECT_EQ(ring.head, 2u);
    EXPECT_EQ(ring.Pending(), 5u);
    EXPECT_EQ(ring.Send(), "fghij"); // one write, in order
    EXPECT_EQ(ring.Pending(), 0u);
    EXPECT_EQ(ring.head, 0u);
    EXPECT_EQ(ring.tail, 0u);
}

TEST(OutputRing, PartialWritesOfWrappedDataKeepTheOrder) {
    Ring ring(8);
    ring.Put("abcdef");
    EXPECT_EQ(ring.Send(4), "abcd");
    ring.Put("ghijk"); // e f g h | i j k
    std::string sent;
    while (ring.Pending() != 0) {
        sent += ring.Send(2);
    }
    EXPECT_EQ(sent, "efghijk");
}

TEST(OutputRing, FullRingWithHeadInsideIsSentOnceAndLeftEmpty) {
    Ring ring(8);
    ring.Put("abc");
    EXPECT_EQ(ring.Send(3), "abc"); // empty again, indexes back at 0
    ring.Put("abcdef");
    EXPECT_EQ(ring.Send(3), "abc"); // tail 3, head 6
    ring.Put("ghijk");              // fills the ring exactly: head 3 = tail
    ring.full = true;               // as the send path marks a block that fills the ring
    EXPECT_EQ(ring.Pending(), 8u);
    EXPECT_EQ(ring.Send(), "defghijk");
    EXPECT_EQ(ring.Pending(), 0u); // not taken for pending again
    EXPECT_EQ(ring.Send(), "");
}

TEST(OutputRing, FullRingSentInPiecesAndBlockEndingAtTheEnd) {
    Ring ring(8);
    ring.Put("abcdefgh"); // ends exactly at the end: head back at 0
    EXPECT_EQ(ring.head, 0u);
    ring.full = true;
    EXPECT_EQ(ring.Send(5), "abcde");
    EXPECT_FALSE(ring.full);
    EXPECT_EQ(ring.Pending(), 3u);
    ring.Put("XYZ");
    EXPECT_EQ(ring.Send(), "fghXYZ");
    EXPECT_EQ(ring.Pending(), 0u);
}

} // namespace
} // namespace apd
