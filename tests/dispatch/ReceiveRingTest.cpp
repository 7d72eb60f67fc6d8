// The receive ring: fills from the device, reads, wrap and full ring.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

using ReceiveRing = DispatcherTest;

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
