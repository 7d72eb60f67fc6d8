// Block reads from the receive ring: wrap, all-or-nothing, full ring, and the read
// accounting of a notification.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

using BlockReads = DispatcherTest;

std::string Text(const std::uint8_t* block, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(block), length);
}

TEST_F(BlockReads, ABlockAcrossTheEndOfTheRingComesOutInOrder) {
    dispatcher.PlaceEmptyRing(8189);
    ASSERT_TRUE(dispatcher.Feed("1234567"));
    std::uint8_t block[8] = {};
    EXPECT_EQ(dispatcher.PeekBlock(block, 7), 7);
    EXPECT_EQ(Text(block, 7), "1234567");
    EXPECT_EQ(dispatcher.InBuffUsed(), 7u); // a peek takes nothing

    EXPECT_EQ(dispatcher.GetBlock(block, 5), 5);
    EXPECT_EQ(Text(block, 5), "12345");
    EXPECT_EQ(dispatcher.Ring().tail, 2u);
    EXPECT_EQ(Read(10), "67");
}

TEST_F(BlockReads, TooFewBytesTakeNothingAndAnEmptyRequestTouchesNothing) {
    ASSERT_TRUE(dispatcher.Feed("abc"));
    std::uint8_t block[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(dispatcher.GetBlock(block, 4), ecGetBlockFail);
    EXPECT_EQ(dispatcher.PeekBlock(block, 4), ecGetBlockFail);
    EXPECT_EQ(Text(block, 4), "xxxx");
    EXPECT_EQ(dispatcher.GetBlock(block, 0), 0);
    EXPECT_EQ(dispatcher.InBuffUsed(), 3u);
    EXPECT_EQ(dispatcher.Ring().tail, 0u);
    EXPECT_EQ(dispatcher.GetBlock(block, 3), 3);
    EXPECT_EQ(Text(block, 3), "abc");
    EXPECT_FALSE(dispatcher.CharReady());
}

TEST_F(BlockReads, TakingAFullRingAtOnceEmptiesItForTheNextFill) {
    std::string stream;
    for (std::size_t i = 0; i < DispatchBufferSize + 100; ++i) {
        stream.push_back(static_cast<char>(i * 13 % 251));
    }
    dispatcher.PlaceEmptyRing(5000); // the full ring wraps
    dispatcher.QueueInput(stream);
    ASSERT_TRUE(dispatcher.FillDispatchBuffer());
    ASSERT_TRUE(dispatcher.Ring().full);

    std::vector<std::uint8_t> block(DispatchBufferSize);
    EXPECT_EQ(dispatcher.GetBlock(block.data(), DispatchBufferSize),
              static_cast<std::int32_t>(DispatchBufferSize));
    EXPECT_EQ(Text(block.data(), block.size()), stream.substr(0, DispatchBufferSize));
    const RingSnapshot ring = dispatcher.Ring();
    EXPECT_FALSE(ring.full);
    EXPECT_EQ(ring.head, ring.tail);
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);

    ASSERT_TRUE(dispatcher.FillDispatchBuffer());
    EXPECT_EQ(Read(200), stream.substr(DispatchBufferSize));
}

TEST_F(BlockReads, BytesTakenBeforeTheScanDoNotFireATrigger) {
    AddTrigger("\xAA\x55");
    ASSERT_TRUE(dispatcher.Feed("\xAA\x55xy"));
    std::uint8_t block[4] = {};
    ASSERT_EQ(dispatcher.GetBlock(block, 4), 4);
    CheckAllData();
    EXPECT_TRUE(Received(MsgTriggerData).empty());
}

TEST_F(BlockReads, HandlersReadTheSameBlocksAndTheTailMovesByTheMost) {
    NotificationRecorder second;
    dispatcher.AddMethodHandler(second.Method(), false);
    AddTrigger("\xAA\x55");
    std::string firstRead;
    std::string secondRead;
    std::int32_t overRead = 0;
    std::uint32_t usedAfterBlocks = 0;
    recorder.action = [&](const Notification&) {
        std::uint8_t block[8] = {};
        ASSERT_EQ(dispatcher.GetBlock(block, 3), 3);
        firstRead = Text(block, 3) + Read(1);     // a byte read goes on after the block
        overRead = dispatcher.GetBlock(block, 5); // one more than is left
        usedAfterBlocks = dispatcher.InBuffUsed();
    };
    second.action = [&](const Notification&) {
        std::uint8_t block[8] = {};
        ASSERT_EQ(dispatcher.GetBlock(block, 6), 6);
        secondRead = Text(block, 6);
    };
    ASSERT_TRUE(dispatcher.Feed("\xAA\x55"
                                "123456"));
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(firstRead, "\xAA\x55"
                         "12");
    EXPECT_EQ(overRead, ecGetBlockFail);
    EXPECT_EQ(usedAfterBlocks, 4u); // the failed block counted nothing
    EXPECT_EQ(secondRead, "\xAA\x55"
                          "1234");
    EXPECT_EQ(dispatcher.Ring().tail, 6u);
    EXPECT_EQ(Read(10), "56");
}

} // namespace
} // namespace apd::testing
