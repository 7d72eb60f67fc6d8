// Status and timer triggers (brought in through a snapshot, as the system does) and the
// timer expiry across the clock's wrap.

#include "comm/dispatch/TimerExpiry.h"
#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

class StatusTriggers : public DispatcherTest {
protected:
    void Arm(std::int32_t kind, std::uint16_t value) {
        TriggerSnapshot snapshot;
        snapshot.StatusTriggers.emplace();
        snapshot.StatusTriggers->push_back(StatusTrigger{8 + kind, kind, value, true, false});
        dispatcher.RestoreTriggers(snapshot);
    }
};

TEST_F(StatusTriggers, OutputSentFiresOnceAndCarriesItsKind) {
    Arm(StatusKindOutSent, 0);
    EXPECT_FALSE(dispatcher.CheckStatusTriggers());
    dispatcher.PutChar('x');
    EXPECT_TRUE(dispatcher.CheckStatusTriggers());
    ASSERT_EQ(Received(MsgTriggerStatus), (std::vector<std::uint32_t>{8 + StatusKindOutSent}));
    EXPECT_EQ(TApdBaseDispatcher::StatusKindOf(std::int32_t(recorder.received[0].wParam)),
              StatusKindOutSent);
    EXPECT_TRUE(dispatcher.AnyStatusHit);
    dispatcher.ResetStatusHits();
    dispatcher.PutChar('y');
    EXPECT_FALSE(dispatcher.CheckStatusTriggers()); // disarmed
}

TEST_F(StatusTriggers, OutputFreeReportsTheCount) {
    Arm(StatusKindOutBuffFree, 4000);
    const std::string block(200, 'b');
    dispatcher.PutBlock(Bytes(block), 200);
    EXPECT_FALSE(dispatcher.CheckStatusTriggers()); // 3896 free
    dispatcher.DrainOutput(150);
    EXPECT_TRUE(dispatcher.CheckStatusTriggers());
    EXPECT_EQ(recorder.received.at(0).Data(), 4046u);
}

TEST_F(StatusTriggers, ModemLineDifferingFromTheReferenceFires) {
    Arm(StatusKindModem, 0x1000); // watch CTS, expect it off
    EXPECT_FALSE(dispatcher.CheckStatusTriggers());
    dispatcher.SetModemLines(0x10);
    dispatcher.RefreshModemStatus();
    EXPECT_TRUE(dispatcher.CheckStatusTriggers());
}

TEST_F(StatusTriggers, LineErrorFiresAndKeepsTheErrorsSeen) {
    Arm(StatusKindLineError, LineErrorFrame | LineErrorParity);
    dispatcher.SetLineErrors(LineErrorOverrun);
    dispatcher.RefreshLineStatus();
    EXPECT_FALSE(dispatcher.CheckStatusTriggers());
    dispatcher.SetLineErrors(LineErrorFrame);
    dispatcher.RefreshLineStatus();
    EXPECT_TRUE(dispatcher.CheckStatusTriggers());
    EXPECT_EQ(dispatcher.StatusTriggerRecords().at(0).Value, LineErrorFrame | LineErrorOverrun);
}

TEST(TimerExpiry, CountsElapsedTicksAcrossTheClockWrap) {
    EXPECT_FALSE(TimerExpiredAt(EventTimer{100, 110}, 110));
    EXPECT_TRUE(TimerExpiredAt(EventTimer{100, 110}, 111));
    // Started 3 ticks before the wrap, 10 ticks long: due 8 ticks after the wrap.
    const auto start = static_cast<std::int32_t>(TimerTickPeriod - 3);
    const EventTimer wrapping{start, start + 10};
    EXPECT_FALSE(TimerExpiredAt(wrapping, static_cast<std::int32_t>(TimerTickPeriod - 1)));
    EXPECT_FALSE(TimerExpiredAt(wrapping, 7));
    EXPECT_TRUE(TimerExpiredAt(wrapping, 8));
}

TEST_F(StatusTriggers, ExpiredTimerFiresOnceInListOrder) {
    const std::int32_t now = TimerTicksNow();
    TriggerSnapshot snapshot;
    snapshot.TimerTriggers.emplace();
    snapshot.TimerTriggers->push_back(TimerTrigger{8, EventTimer{now, now + 100000}, RecordTrue});
    snapshot.TimerTriggers->push_back(TimerTrigger{16, EventTimer{now - 10, now - 5}, RecordTrue});
    snapshot.TimerTriggers->push_back(TimerTrigger{24, EventTimer{now - 10, now - 5}, RecordTrue});
    dispatcher.RestoreTriggers(snapshot);
    EXPECT_TRUE(dispatcher.CheckTimerTriggers());
    EXPECT_TRUE(dispatcher.CheckTimerTriggers());
    EXPECT_FALSE(dispatcher.CheckTimerTriggers());
    EXPECT_EQ(Received(MsgTriggerTimer), (std::vector<std::uint32_t>{16, 24}));
}

} // namespace
} // namespace apd::testing
