// Delivery of notifications: read accounting across handlers, flushes and closes inside a
// delivery, removal of handlers during a delivery.

#include <future>
#include <thread>

#include "comm/dispatch/TimerExpiry.h"
#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

class Notifications : public DispatcherTest {
protected:
    void SetUp() override {
        DispatcherTest::SetUp();
        dispatcher.AddMethodHandler(second.Method(), false);
        header = AddTrigger("\xAA\x55");
    }

    std::string ReadInside(std::size_t count) { return Read(count); }

    NotificationRecorder second;
    std::int32_t header = 0;
};

TEST_F(Notifications, EveryHandlerReadsTheSameBytesAndTheTailMovesByTheMost) {
    std::string firstRead;
    std::string secondRead;
    recorder.action = [&](const Notification&) { firstRead = ReadInside(2); };
    second.action = [&](const Notification&) { secondRead = ReadInside(5); };
    dispatcher.Feed("\xAA\x55"
                    "123456");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(firstRead, "\xAA\x55");
    EXPECT_EQ(secondRead, "\xAA\x55"
                          "123");
    EXPECT_EQ(dispatcher.Ring().tail, 5u);
    EXPECT_EQ(Read(10), "456");
}

TEST_F(Notifications, ReadsInsideADeliveryAreCountedNotTaken) {
    std::uint32_t usedInside = 0;
    bool readyAfterAll = true;
    recorder.action = [&](const Notification&) {
        ReadInside(3);
        usedInside = dispatcher.InBuffUsed();
        ReadInside(2);
        readyAfterAll = dispatcher.CharReady();
        std::uint8_t c = 0;
        EXPECT_EQ(dispatcher.GetChar(c), ecBufferIsEmpty);
    };
    dispatcher.Feed("\xAA\x55"
                    "123");
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(usedInside, 2u);
    EXPECT_FALSE(readyAfterAll);
    EXPECT_EQ(dispatcher.Ring().tail, 0u + 5u);
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
}

TEST_F(Notifications, FlushInsideADeliveryConsumesEverythingAtTheEnd) {
    bool fullInside = false;
    std::uint32_t usedAfterFlush = 1;
    std::string readAfterFlush = "?";
    second.action = [&](const Notification&) {
        ReadInside(1);
        dispatcher.FlushInBuffer();
        fullInside = dispatcher.Ring().full;
        usedAfterFlush = dispatcher.InBuffUsed();
        readAfterFlush = ReadInside(1);
    };
    std::string block(DispatchBufferSize, 'r');
    block[100] = '\xAA';
    block[101] = '\x55';
    dispatcher.QueueInput(block);
    dispatcher.FillDispatchBuffer();
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_TRUE(fullInside); // the ring is released when the delivery ends
    EXPECT_EQ(usedAfterFlush, 0u);
    EXPECT_EQ(readAfterFlush, "");
    const RingSnapshot ring = dispatcher.Ring();
    EXPECT_FALSE(ring.full);
    EXPECT_EQ(ring.tail, ring.head);
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
}

TEST_F(Notifications, AvailReportsFalseUnlessAllOfferedBytesWereRead) {
    dispatcher.SetAvailTriggerLength(2);
    dispatcher.Feed("abc");
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
    recorder.action = [&](const Notification& note) { ReadInside(note.wParam); };
    dispatcher.Feed("d");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
}

TEST_F(Notifications, HandlerRemovedDuringADeliveryIsSweptAfterIt) {
    int secondCalls = 0;
    recorder.action = [&](const Notification&) {
        dispatcher.RemoveMethodHandler(recorder.Method());
        EXPECT_EQ(dispatcher.MethodHandlerCount(), 2u); // only marked
    };
    second.action = [&](const Notification&) { ++secondCalls; };
    dispatcher.Feed("\xAA\x55");
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(dispatcher.MethodHandlerCount(), 1u);
    dispatcher.Feed("\xAA\x55");
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(recorder.received.size(), 1u);
    EXPECT_EQ(secondCalls, 2);
}

TEST_F(Notifications, CloseInsideADeliveryStopsItAndDefersTheRelease) {
    AddTrigger("\x55"); // completes at the same byte: a second data notification is due
    recorder.action = [&](const Notification&) {
        ReadInside(2);
        dispatcher.CloseDevicePort();
    };
    dispatcher.Feed("\xAA\x55");
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(recorder.received.size(), 1u); // nothing after the close
    EXPECT_TRUE(second.received.empty());
    EXPECT_TRUE(dispatcher.CloseDeferred);
    EXPECT_FALSE(dispatcher.Notifying);
    EXPECT_EQ(dispatcher.CloseCount(), 1);
    EXPECT_EQ(dispatcher.StopCount(), 0);
    EXPECT_TRUE(dispatcher.Ring().buffer); // released later, by the thread or destruction
    dispatcher.FreePortResources();
    EXPECT_EQ(dispatcher.StopCount(), 1);
    EXPECT_FALSE(dispatcher.Ring().buffer);
}

TEST_F(Notifications, NothingIsDeliveredOnceAStopHasBegun) {
    AddTrigger("\x55"); // completes at the same byte: a second data notification is due
    // The stop begins while the first handler runs, as a close from another thread does.
    recorder.action = [&](const Notification&) { dispatcher.StopDispatcher(); };
    dispatcher.Feed("\xAA\x55");
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(recorder.received.size(), 1u);
    EXPECT_TRUE(second.received.empty());

    // A timer that expires while the port closes is not delivered either.
    const std::int32_t now = TimerTicksNow();
    TriggerSnapshot snapshot;
    snapshot.TimerTriggers.emplace();
    snapshot.TimerTriggers->push_back(TimerTrigger{8, EventTimer{now - 10, now - 5}, RecordTrue});
    dispatcher.RestoreTriggers(snapshot);
    EXPECT_FALSE(dispatcher.CheckTimerTriggers());
    EXPECT_EQ(recorder.received.size(), 1u);
}

// A handler that is still reading when the delivery ends (a window that timed out): each
// of its reads is either counted for the delivery or taken directly after it, never both,
// so no byte is read twice and none is skipped.
TEST(LateHandlerReads, EveryByteIsReadOnceWhenAReaderOutlivesTheDelivery) {
    for (int round = 0; round < 300; ++round) {
        TMemoryDispatcher dispatcher;
        ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
        dispatcher.AddDataTrigger(Bytes("\xAA\x55"), false, 2);
        std::promise<void> go;
        std::string lateRead;
        std::thread late([&] {
            go.get_future().wait();
            std::uint8_t c = 0;
            for (int i = 0; i < 2 && dispatcher.GetChar(c) == ecOK; ++i) {
                lateRead.push_back(static_cast<char>(c));
            }
        });
        NotificationRecorder starter;
        starter.action = [&](const Notification&) { go.set_value(); };
        dispatcher.AddMethodHandler(starter.Method(), false);
        dispatcher.Feed("\xAA\x55"
                        "abcd");
        dispatcher.CheckDataTriggers();
        late.join();
        std::string rest;
        std::uint8_t c = 0;
        while (dispatcher.GetChar(c) == ecOK) {
            rest.push_back(static_cast<char>(c));
        }
        ASSERT_EQ(lateRead + rest, "\xAA\x55"
                                   "abcd")
            << "round " << round;
    }
}

TEST_F(Notifications, LargeDataValuesDoNotChangeTheDispatcherHandle) {
    EXPECT_EQ(DispatcherHandleOf(NotificationLParam(3, 70000)), 3);
    EXPECT_EQ(NotificationLParam(3, 70000) & 0xFFFF, 70000u & 0xFFFF);
}

} // namespace
} // namespace apd::testing
