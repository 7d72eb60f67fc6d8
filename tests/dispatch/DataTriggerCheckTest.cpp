// The data trigger check over the ring: order of notifications, avail before data, scan
// position across fills, wrap, flushes and reads.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

using DataTriggerCheck = DispatcherTest;

TEST_F(DataTriggerCheck, PatternSplitAcrossFillsCompletesAtItsLastByte) {
    const auto handle = AddTrigger("ABC");
    dispatcher.Feed("xAB");
    CheckAllData();
    EXPECT_TRUE(Received(MsgTriggerData).empty());
    dispatcher.Feed("C");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    ASSERT_EQ(Received(MsgTriggerData), (std::vector<std::uint32_t>{std::uint32_t(handle)}));
    const Notification& note = recorder.received.back();
    EXPECT_EQ(note.Data(), 3u); // the trigger's length
    EXPECT_EQ(note.Dispatcher(), dispatcher.DispatcherHandle);
}

TEST_F(DataTriggerCheck, PatternAcrossTheEndOfTheRing) {
    AddTrigger("ABC");
    dispatcher.PlaceEmptyRing(8190);
    dispatcher.Feed("ABC");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(Received(MsgTriggerData).size(), 1u);
    EXPECT_EQ(dispatcher.Ring().scanPos, 1u);
}

TEST_F(DataTriggerCheck, TriggersCompletingAtOneByteAreNotifiedNewestFirst) {
    const auto b = AddTrigger("B");
    const auto ab = AddTrigger("AB");
    dispatcher.SetAvailTriggerLength(1);
    dispatcher.Feed("xAB");
    dispatcher.CheckDataTriggers();
    // The avail offer counts only the byte before the longer pattern.
    ASSERT_EQ(recorder.received.size(), 3u);
    EXPECT_EQ(recorder.received[0].msg, MsgTriggerAvail);
    EXPECT_EQ(recorder.received[0].wParam, 1u);
    EXPECT_EQ(recorder.received[1],
              (Notification{MsgTriggerData, std::uint32_t(ab),
                            NotificationLParam(dispatcher.DispatcherHandle, 2)}));
    EXPECT_EQ(recorder.received[2].wParam, std::uint32_t(b));
    EXPECT_EQ(recorder.received[2].Data(), 1u);
}

TEST_F(DataTriggerCheck, AvailIsSentOncePerScanPosition) {
    dispatcher.SetAvailTriggerLength(5);
    dispatcher.Feed("abc");
    CheckAllData();
    EXPECT_TRUE(recorder.received.empty());
    dispatcher.Feed("de");
    EXPECT_FALSE(dispatcher.CheckDataTriggers()); // offered bytes were not read
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{5}));
    dispatcher.Feed("f");
    CheckAllData();
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{5, 6}));
    EXPECT_EQ(dispatcher.InBuffUsed(), 6u); // avail notifications consume nothing unread
}

TEST_F(DataTriggerCheck, BytesBeforeAMatchAreOfferedBeforeTheDataNotification) {
    AddTrigger("ABC");
    dispatcher.SetAvailTriggerLength(1);
    bool readOffered = false;
    std::vector<std::string> reads;
    recorder.action = [&](const Notification& note) {
        if (note.msg == MsgTriggerAvail && readOffered) {
            reads.push_back(Read(note.wParam));
        } else if (note.msg == MsgTriggerData) {
            reads.push_back(Read(3));
        }
    };
    for (const char* pass : {"x", "x", "A"}) {
        dispatcher.Feed(pass);
        CheckAllData();
    }
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{1, 2, 3}));
    readOffered = true;
    dispatcher.Feed("BC"); // the last two bytes in one fill
    CheckAllData();
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{1, 2, 3, 2}));
    EXPECT_EQ(reads, (std::vector<std::string>{"xx", "ABC"}));
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
}

TEST_F(DataTriggerCheck, FlushedBytesAreNeverMatched) {
    AddTrigger("AB");
    recorder.action = [&](const Notification& note) {
        if (note.msg == MsgTriggerData) {
            dispatcher.FlushInBuffer();
        }
    };
    dispatcher.Feed("AB12AB34");
    CheckAllData();
    EXPECT_EQ(Received(MsgTriggerData).size(), 1u);
    const RingSnapshot ring = dispatcher.Ring();
    EXPECT_EQ(ring.tail, ring.head);
    EXPECT_EQ(ring.scanPos, ring.tail);
}

TEST_F(DataTriggerCheck, BytesReadBeforeTheScanAreNeverMatched) {
    AddTrigger("AB");
    dispatcher.Feed("xABy");
    EXPECT_EQ(Read(4), "xABy");
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
    EXPECT_TRUE(recorder.received.empty());
    dispatcher.Feed("AB");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(Received(MsgTriggerData).size(), 1u);
}

TEST_F(DataTriggerCheck, RingFilledFromEmptyInOneFillIsScannedAndCountedRight) {
    AddTrigger("Z");
    // Move the scan position off the last avail position without an avail notification.
    dispatcher.Feed("x");
    CheckAllData();
    EXPECT_EQ(Read(1), "x");
    dispatcher.SetAvailTriggerLength(1);

    std::string block(DispatchBufferSize, '.');
    block[0] = 'Z';
    dispatcher.QueueInput(block);
    dispatcher.FillDispatchBuffer();
    ASSERT_TRUE(dispatcher.Ring().full);
    CheckAllData();
    // The match is at the oldest byte: nothing precedes it, so no avail comes first.
    ASSERT_GE(recorder.received.size(), 2u);
    EXPECT_EQ(recorder.received[0].msg, MsgTriggerData);
    EXPECT_EQ(recorder.received[1].msg, MsgTriggerAvail);
    EXPECT_EQ(recorder.received[1].wParam, DispatchBufferSize);
}

TEST_F(DataTriggerCheck, FullLapOfTheScanStillOffersTheBytes) {
    dispatcher.SetAvailTriggerLength(1);
    dispatcher.QueueInput(std::string(DispatchBufferSize, '.'));
    dispatcher.FillDispatchBuffer();
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{DispatchBufferSize}));
}

TEST_F(DataTriggerCheck, BytesPassedWithoutPatternsAreNeverMatchedLater) {
    // With no pattern registered the scan passes over bytes at once, here across the end
    // of the ring; a pattern added afterwards sees only what arrives after it.
    dispatcher.PlaceEmptyRing(8190);
    dispatcher.SetAvailTriggerLength(3);
    dispatcher.Feed("\xAA\x55z");
    CheckAllData();
    EXPECT_EQ(Received(MsgTriggerAvail), (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(Read(3), "\xAA\x55z");
    const std::int32_t header = AddTrigger("\xAA\x55");
    dispatcher.Feed("q\xAA");
    CheckAllData();
    EXPECT_TRUE(Received(MsgTriggerData).empty());
    dispatcher.Feed("\x55");
    CheckAllData();
    EXPECT_EQ(Received(MsgTriggerData),
              (std::vector<std::uint32_t>{static_cast<std::uint32_t>(header)}));
}

} // namespace
} // namespace apd::testing
