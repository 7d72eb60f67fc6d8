// The receive ring: fills from the device, reads, wrap and full ring; and the ring class
// itself at the edges the dispatcher seldom reaches (a whole lap taken at once, more
// stored or taken than fits).

#include "comm/dispatch/ReceiveRing.h"
#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

using ReceiveRing = DispatcherTest;

// Stores `stored` bytes (0, 1, 2 ...) into a ring placed empty at `start`, in as many
// commits as the space at the head asks for, then takes `taken` of them.
struct RingCase {
    std::uint32_t start;
    std::uint32_t stored;
    std::uint32_t taken;
    std::uint32_t waiting; // expected afterwards
    bool full;
};

TEST(ReceiveRingClass, KeepsCountPositionsAndOrderAcrossTheEnd) {
    constexpr std::uint32_t size = apd::ReceiveRing::Size;
    const RingCase cases[] = {
        {0, 5, 2, 3, false},
        {size - 2, 5, 0, 5, false},        // wraps in the second commit
        {size - 2, 5, 4, 1, false},        // the tail wraps too
        {7, size, 0, size, true},          // full: head meets the tail
        {7, size, size, 0, false},         // a whole lap taken at once empties it
        {7, size + 9, 1, size - 1, false}, // more than fits is not stored
        {size - 1, 3, 10, 0, false},       // more taken than waits
    };
    for (const RingCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "start " << c.start << " stored " << c.stored << " taken " << c.taken);
        apd::ReceiveRing ring;
        ring.Allocate();
        ring.PlaceEmpty(c.start);
        std::uint32_t next = 0;
        for (int commit = 0; commit < 3 && next < c.stored; ++commit) {
            const ReceiveSpace space = ring.Space();
            const std::uint32_t n = std::min(c.stored - next, space.contiguous);
            for (std::uint32_t i = 0; i < n; ++i) {
                space.data[i] = static_cast<std::uint8_t>(next + i);
            }
            ring.Commit(c.stored - next); // asks for all of it; only n fit here
            next += n;
        }
        ring.Consume(c.taken);
        EXPECT_EQ(ring.Count(), c.waiting);
        EXPECT_EQ(ring.Full(), c.full);
        EXPECT_LT(ring.HeadPos(), size);
        EXPECT_LT(ring.TailPos(), size);
        EXPECT_LE(ring.Unscanned(), ring.Count());
        EXPECT_EQ(AdvanceRingPos(ring.ScanPos(), ring.Unscanned()), ring.HeadPos());
        const std::uint32_t first = next - c.waiting; // the oldest byte left
        std::uint8_t byte = 0;
        for (std::uint32_t i = 0; i < c.waiting; ++i) {
            ASSERT_TRUE(ring.Peek(i, byte));
            EXPECT_EQ(byte, static_cast<std::uint8_t>(first + i));
        }
        EXPECT_FALSE(ring.Peek(c.waiting, byte));
    }
}

TEST_F(ReceiveRing, EmptyRingHasNothingToGive) {
    std::uint8_t c = 0x5A;
    EXPECT_FALSE(dispatcher.CharReady());
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
    EXPECT_EQ(dispatcher.GetChar(c), ecBufferIsEmpty);
    EXPECT_EQ(c, 0x5A);
    EXPECT_FALSE(dispatcher.FillDispatchBuffer()); // nothing in the device either
    EXPECT_EQ(dispatcher.Ring().tail, 0u);
}

TEST_F(ReceiveRing, BytesComeOutInOrderAndPeekDoesNotConsume) {
    EXPECT_TRUE(dispatcher.Feed("abc"));
    EXPECT_EQ(dispatcher.InBuffUsed(), 3u);
    std::uint8_t c = 0;
    EXPECT_EQ(dispatcher.PeekChar(c, 3), ecOK);
    EXPECT_EQ(c, 'c'); // the newest byte
    EXPECT_EQ(dispatcher.PeekChar(c, 4), ecBufferIsEmpty);
    EXPECT_EQ(c, 'c');
    EXPECT_EQ(Read(10), "abc");
    EXPECT_FALSE(dispatcher.CharReady());
}

TEST_F(ReceiveRing, StoresAcrossTheEndInTwoReadsAndReadsBackAcrossIt) {
    dispatcher.PlaceEmptyRing(8190);
    EXPECT_TRUE(dispatcher.Feed("12345"));
    // The first read asks for the whole stretch up to the end, the second for the rest.
    EXPECT_EQ(dispatcher.ReadRequests(), (std::vector<std::uint32_t>{2, 3}));
    const RingSnapshot ring = dispatcher.Ring();
    EXPECT_EQ(ring.head, 3u);
    EXPECT_EQ(dispatcher.InBuffUsed(), 5u);
    EXPECT_EQ(Read(2), "12");
    EXPECT_EQ(dispatcher.Ring().tail, 0u); // 8191 wraps to 0
    EXPECT_EQ(Read(10), "345");
}

TEST_F(ReceiveRing, FullRingKeepsTheRestInTheDevice) {
    const std::string block(DispatchBufferSize + 10, 'q');
    dispatcher.QueueInput(block);
    EXPECT_TRUE(dispatcher.FillDispatchBuffer());
    RingSnapshot ring = dispatcher.Ring();
    EXPECT_TRUE(ring.full);
    EXPECT_EQ(ring.head, ring.tail);
    EXPECT_EQ(dispatcher.InBuffUsed(), DispatchBufferSize);
    EXPECT_TRUE(dispatcher.CharReady());
    EXPECT_EQ(dispatcher.InputQueued(), 10u);

    const auto readsBefore = dispatcher.ReadRequests().size();
    EXPECT_TRUE(dispatcher.FillDispatchBuffer()); // full: no read at all
    EXPECT_EQ(dispatcher.ReadRequests().size(), readsBefore);

    EXPECT_EQ(Read(1), "q");
    EXPECT_FALSE(dispatcher.Ring().full);
    EXPECT_TRUE(dispatcher.FillDispatchBuffer());
    EXPECT_TRUE(dispatcher.Ring().full); // the one free byte was filled again
    EXPECT_EQ(dispatcher.InputQueued(), 9u);
}

TEST_F(ReceiveRing, FailedReadsAddNoBytesInEitherRead) {
    dispatcher.FailReads(1, -7);
    EXPECT_TRUE(dispatcher.Feed("abc"));
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
    EXPECT_EQ(dispatcher.ReadFailures(), 1);

    // The second read of a fill fails: only the first read's bytes count.
    dispatcher.PlaceEmptyRing(8190);
    dispatcher.FailReads(1, -3, 1);
    EXPECT_TRUE(dispatcher.FillDispatchBuffer());
    EXPECT_EQ(dispatcher.ReadFailures(), 2);
    EXPECT_EQ(dispatcher.InBuffUsed(), 2u);
    EXPECT_EQ(Read(10), "ab");
}

TEST_F(ReceiveRing, FlushOutsideANotificationEmptiesRingAndPartialMatches) {
    AddTrigger("XYZ");
    dispatcher.Feed("abXY");
    CheckAllData();
    EXPECT_EQ(dispatcher.FlushInBuffer(), ecOK);
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
    EXPECT_EQ(dispatcher.InputFlushes(), 1);
    for (const auto& trigger : dispatcher.DataTriggerRecords()) {
        for (auto slot : trigger.MatchSlots) {
            EXPECT_EQ(slot, 0);
        }
    }
    dispatcher.Feed("Z");
    CheckAllData();
    EXPECT_TRUE(Received(MsgTriggerData).empty()); // the XY before the flush is gone
}

} // namespace
} // namespace apd::testing
