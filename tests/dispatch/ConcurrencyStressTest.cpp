// One thread changes triggers and handlers and reads like the application while another
// feeds bytes and runs the checks like the dispatch thread. Run under ThreadSanitizer it
// shows that the lists and the ring are shared without data races.

#include <atomic>
#include <thread>

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

struct ReadingHandler {
    TApdBaseDispatcher* dispatcher = nullptr;
    std::atomic<std::uint64_t> notifications{0};

    static void Deliver(void* self, std::uint32_t message, platform::WParam wParam,
                        platform::LParam lParam) {
        auto* handler = static_cast<ReadingHandler*>(self);
        handler->notifications.fetch_add(1, std::memory_order_relaxed);
        std::uint32_t count = message == MsgTriggerAvail
                                  ? static_cast<std::uint32_t>(wParam)
                                  : static_cast<std::uint32_t>(lParam & 0xFFFF);
        std::uint8_t c = 0;
        while (count-- > 0 && handler->dispatcher->GetChar(c) == ecOK) {
        }
    }
    NotifyMethod Method() { return NotifyMethod{&ReadingHandler::Deliver, this}; }
};

TEST(DispatcherStress, RegistrationAndReadsRaceTheDispatchThread) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    ReadingHandler reader{&dispatcher};
    ReadingHandler other{&dispatcher};
    dispatcher.AddMethodHandler(reader.Method(), false);
    dispatcher.AddDataTrigger(Bytes("\xAA\x55"), false, 2);

    constexpr int passes = 2000;
    std::atomic<bool> callerDone{false};
    std::thread dispatch([&] {
        std::string record(26, '\x11');
        record[0] = '\xAA';
        record[1] = '\x55';
        for (int pass = 0; pass < passes || !callerDone; ++pass) {
            dispatcher.QueueInput(record);
            dispatcher.FillDispatchBuffer();
            while (dispatcher.CheckStatusTriggers()) {
            }
            for (int i = 0; i < 64 && dispatcher.CheckDataTriggers(); ++i) {
            }
            dispatcher.CheckTimerTriggers();
            if (dispatcher.AnyStatusHit) {
                dispatcher.ResetStatusHits();
            }
            const RingSnapshot ring = dispatcher.Ring();
            ASSERT_LE(RingCount(ring.head, ring.tail, ring.full), DispatchBufferSize);
            ASSERT_LE(ring.unscanned, RingCount(ring.head, ring.tail, ring.full));
        }
    });

    TriggerSnapshot snapshot;
    std::uint8_t c = 0;
    for (int step = 0; step < passes; ++step) {
        switch (step % 8) {
        case 0:
            dispatcher.AddDataTrigger(Bytes("\x11\x11"), step % 16 == 0, 2);
            break;
        case 1:
            dispatcher.SetAvailTriggerLength(step % 3 == 0 ? 0 : 24);
            break;
        case 2:
            dispatcher.SaveTriggers(snapshot);
            break;
        case 3:
            dispatcher.AddMethodHandler(other.Method(), false);
            dispatcher.RegisterWindowHandler(0x4242);
            break;
        case 4:
            dispatcher.RestoreTriggers(snapshot);
            break;
        case 5:
            dispatcher.RemoveMethodHandler(other.Method());
            dispatcher.DeregisterWindowHandler(0x4242);
            break;
        case 6:
            if (step % 64 == 6) {
                dispatcher.RemoveAllTriggers();
                dispatcher.AddDataTrigger(Bytes("\xAA\x55"), false, 2);
            }
            dispatcher.PutChar('w');
            dispatcher.DrainOutput(1);
            break;
        default:
            dispatcher.GetChar(c);
            dispatcher.CharReady();
            dispatcher.InBuffUsed();
            if (step % 128 == 7) {
                dispatcher.FlushInBuffer();
            }
            break;
        }
    }
    callerDone = true;
    dispatch.join();
    EXPECT_GT(reader.notifications.load(), 0u);
    EXPECT_FALSE(dispatcher.Notifying);
}

} // namespace
} // namespace apd::testing
