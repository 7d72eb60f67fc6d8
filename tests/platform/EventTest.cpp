#include "comm/platform/Event.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace apd::platform {
namespace {

using std::chrono::milliseconds;
using test::Limit;
using Clock = std::chrono::steady_clock;

TEST(Event, AutoResetIsConsumedByTheWaitItEndsManualResetStaysUntilReset) {
    Event autoReset(EventReset::Auto);
    Event manualReset(EventReset::Manual);
    EXPECT_EQ(autoReset.Wait(0), WaitResult::TimedOut); // created not signalled
    EXPECT_EQ(manualReset.Wait(0), WaitResult::TimedOut);

    autoReset.Set();
    autoReset.Set(); // setting twice still releases only one wait
    EXPECT_EQ(autoReset.Wait(0), WaitResult::Signalled);
    EXPECT_EQ(autoReset.Wait(0), WaitResult::TimedOut);

    manualReset.Set();
    EXPECT_EQ(manualReset.Wait(0), WaitResult::Signalled);
    EXPECT_EQ(manualReset.Wait(0), WaitResult::Signalled);
    manualReset.Reset();
    EXPECT_EQ(manualReset.Wait(0), WaitResult::TimedOut);

    autoReset.Set();
    autoReset.Reset();
    EXPECT_EQ(autoReset.Wait(0), WaitResult::TimedOut);
}

TEST(Event, WaitsTimeOutOnlyAfterTheirTime) {
    Event event(EventReset::Manual);
    auto started = Clock::now();
    EXPECT_EQ(event.Wait(30), WaitResult::TimedOut);
    EXPECT_GE(Clock::now() - started, milliseconds(30));

    Event other(EventReset::Auto);
    started = Clock::now();
    EXPECT_EQ(WaitForAny({&event, &other}, 30), WaitTimedOut);
    EXPECT_GE(Clock::now() - started, milliseconds(30));
}

TEST(Event, WaitForAnyPrefersTheLowestIndexAndConsumesOnlyTheEventReturned) {
    Event first(EventReset::Auto);
    Event second(EventReset::Auto);
    Event manual(EventReset::Manual);
    first.Set();
    second.Set();
    EXPECT_EQ(WaitForAny({&first, &second}, 0), 0);
    EXPECT_EQ(WaitForAny({&first, &second}, 0), 1); // second was left signalled
    EXPECT_EQ(WaitForAny({&first, &second}, 0), WaitTimedOut);

    manual.Set();
    first.Set();
    EXPECT_EQ(WaitForAny({&manual, &first}, 0), 0);
    EXPECT_EQ(WaitForAny({&manual, &first}, 0), 0); // manual reset: still signalled
    EXPECT_EQ(WaitForAny({&first}, 0), 0);          // first was never consumed

    EXPECT_EQ(WaitForAny(std::span<Event* const>(), 0), WaitFailed);
    EXPECT_EQ(WaitForAny({&first, nullptr}, 0), WaitFailed);
}

TEST(Event, SetOnAnotherThreadWakesOneWaiterPerSetForAutoResetAllForManualReset) {
    Event autoReset(EventReset::Auto);
    Event unrelated(EventReset::Auto);
    Event oneReleased(EventReset::Auto);
    const auto waiter = [&] {
        const int index = WaitForAny({&unrelated, &autoReset}, Limit);
        oneReleased.Set();
        return index;
    };
    auto a = std::async(std::launch::async, waiter);
    auto b = std::async(std::launch::async, waiter);
    autoReset.Set();
    ASSERT_EQ(oneReleased.Wait(Limit), WaitResult::Signalled);
    EXPECT_EQ(autoReset.Wait(0), WaitResult::TimedOut); // the released wait consumed it
    autoReset.Set();
    ASSERT_EQ(a.wait_for(milliseconds(Limit)), std::future_status::ready);
    ASSERT_EQ(b.wait_for(milliseconds(Limit)), std::future_status::ready);
    EXPECT_EQ(a.get(), 1);
    EXPECT_EQ(b.get(), 1);
    EXPECT_EQ(autoReset.Wait(0), WaitResult::TimedOut);

    Event manualReset(EventReset::Manual);
    auto c = std::async(std::launch::async, [&] { return manualReset.Wait(Limit); });
    auto d = std::async(std::launch::async, [&] { return manualReset.Wait(Limit); });
    manualReset.Set();
    EXPECT_EQ(c.get(), WaitResult::Signalled);
    EXPECT_EQ(d.get(), WaitResult::Signalled);
}

} // namespace
} // namespace apd::platform
