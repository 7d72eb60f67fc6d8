#include "comm/platform/Messaging.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>

namespace apd::platform {
namespace {

using test::Limit;
using test::MsgAsk;
using test::MsgMarker;
using test::PumpUntil;
using test::ReceiverThread;
using test::TestWindow;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

LResult Doubled(std::uint32_t, WParam wParam, LParam lParam) {
    return static_cast<LResult>(wParam) * 2 + lParam;
}

TEST(SentMessages, ToAWindowOfTheSendingThreadCallTheProcedureDirectly) {
    int calls = 0;
    TestWindow window([&](std::uint32_t m, WParam w, LParam l) {
        ++calls;
        return Doubled(m, w, l);
    });
    int hookCalls = 0;
    SetQueueWakeHook([&] { ++hookCalls; });
    EXPECT_EQ(SendWindowMessage(window.handle(), MsgAsk, 20, 2), 42);
    EXPECT_EQ(calls, 1);
    LResult result = 0;
    // No time limit applies: nothing waits for another thread.
    EXPECT_TRUE(SendWindowMessageTimeout(window.handle(), MsgAsk, 5, 1, SmtoBlock, 0, &result));
    EXPECT_EQ(result, 11);
    EXPECT_EQ(calls, 2);
    Message message;
    EXPECT_FALSE(PeekWindowMessage(message, true)); // nothing went through the queue
    EXPECT_EQ(hookCalls, 0);
    SetQueueWakeHook({});
}

TEST(SentMessages, ToAnotherThreadWaitForItsProcedureAndReturnItsResult) {
    Event stop(EventReset::Auto);
    std::atomic<ThreadId> ranOn{0};
    ReceiverThread receiver(
        [&](std::uint32_t m, WParam w, LParam l) {
            ranOn = CurrentThreadId();
            return Doubled(m, w, l);
        },
        [&](ReceiverThread&) { PumpUntil(stop); });
    const WindowHandle window = receiver.handle();

    EXPECT_EQ(SendWindowMessage(window, MsgAsk, 20, 2), 42);
    EXPECT_EQ(ranOn, receiver.thread());
    LResult result = 0;
    EXPECT_TRUE(SendWindowMessageTimeout(window, MsgAsk, 5, 1, SmtoBlock, Limit, &result));
    EXPECT_EQ(result, 11);

    EXPECT_EQ(SendWindowMessage(window + 1000, MsgAsk, 1, 0), 0); // no such window
    result = -1;
    EXPECT_FALSE(SendWindowMessageTimeout(window + 1000, MsgAsk, 1, 0, SmtoBlock, Limit, &result));
    EXPECT_EQ(result, 0);
    stop.Set();
}

TEST(SentMessages, AreHandledBeforeMessagesPostedEarlier) {
    Event go(EventReset::Auto);
    std::vector<std::uint32_t> seen; // receiver thread only until joined
    ReceiverThread receiver(
        [&](std::uint32_t message, WParam, LParam) {
            seen.push_back(message);
            return 0;
        },
        [&](ReceiverThread&) {
            ASSERT_EQ(go.Wait(Limit), WaitResult::Signalled);
            Message message;
            while (PeekWindowMessage(message, true)) {
                DispatchWindowMessage(message);
            }
        });
    EXPECT_TRUE(PostWindowMessage(receiver.handle(), MsgMarker, 0, 0));
    receiver.arrived().Reset();
    auto sender = std::async(std::launch::async, [&] {
        return SendWindowMessageTimeout(receiver.handle(), MsgAsk, 0, 0, SmtoBlock, Limit, nullptr);
    });
    ASSERT_EQ(receiver.arrived().Wait(Limit), WaitResult::Signalled);
    go.Set();
    EXPECT_TRUE(sender.get());
    receiver.Join();
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{MsgAsk, MsgMarker}));
}

TEST(SentMessages, ThatTimedOutBeforeTheReceiverTookThemAreNeverDelivered) {
    Event go(EventReset::Auto);
    Event stop(EventReset::Auto);
    Event markerSeen(EventReset::Auto);
    std::atomic<int> asks{0};
    ReceiverThread receiver(
        [&](std::uint32_t message, WParam, LParam) {
            if (message == MsgAsk) {
                ++asks;
            } else {
                markerSeen.Set();
            }
            return 0;
        },
        [&](ReceiverThread&) {
            ASSERT_EQ(go.Wait(Limit), WaitResult::Signalled); // busy: not pumping
            PumpUntil(stop);
        });
    const auto started = Clock::now();
    EXPECT_FALSE(
        SendWindowMessageTimeout(receiver.handle(), MsgAsk, 0, 0, SmtoNormal, 30, nullptr));
    EXPECT_GE(Clock::now() - started, milliseconds(30));
    EXPECT_FALSE(SendWindowMessageTimeout(receiver.handle(), MsgAsk, 0, 0, SmtoBlock, 0, nullptr));
    go.Set();
    // Sent messages are handled before posted ones: had a withdrawn one stayed queued, it
    // would have run before the marker.
    EXPECT_TRUE(PostWindowMessage(receiver.handle(), MsgMarker, 0, 0));
    EXPECT_EQ(markerSeen.Wait(Limit), WaitResult::Signalled);
    stop.Set();
    receiver.Join();
    EXPECT_EQ(asks, 0);
}

TEST(SentMessages, TakenByTheReceiverRunToCompletionAfterTheSenderGaveUp) {
    Event entered(EventReset::Auto);
    Event release(EventReset::Auto);
    Event finished(EventReset::Auto);
    Event markerSeen(EventReset::Auto);
    Event stop(EventReset::Auto);
    ReceiverThread receiver(
        [&](std::uint32_t message, WParam, LParam) -> LResult {
            if (message == MsgMarker) {
                markerSeen.Set();
                return 0;
            }
            entered.Set();
            EXPECT_EQ(release.Wait(Limit), WaitResult::Signalled);
            finished.Set();
            return 42;
        },
        [&](ReceiverThread&) { PumpUntil(stop); });
    // The procedure blocks, so the send always times out; whether the receiver took the
    // message before that depends on scheduling. A marker posted after it tells: it gets
    // through first only when the send was withdrawn, and then we try again.
    bool taken = false;
    for (int attempt = 0; attempt < 50 && !taken; ++attempt) {
        LResult result = -1;
        EXPECT_FALSE(
            SendWindowMessageTimeout(receiver.handle(), MsgAsk, 0, 0, SmtoBlock, 20, &result));
        EXPECT_EQ(result, 0);
        ASSERT_TRUE(PostWindowMessage(receiver.handle(), MsgMarker, 0, 0));
        const int first = WaitForAny({&entered, &markerSeen}, Limit);
        ASSERT_NE(first, WaitTimedOut);
        taken = first == 0;
    }
    ASSERT_TRUE(taken);
    EXPECT_EQ(markerSeen.Wait(0), WaitResult::TimedOut); // the procedure is still running
    release.Set();
    EXPECT_EQ(finished.Wait(Limit), WaitResult::Signalled);
    EXPECT_EQ(markerSeen.Wait(Limit), WaitResult::Signalled);
    stop.Set();
}

TEST(SentMessages, BetweenTwoThreadsSendingToEachOtherDoNotDeadlock) {
    Event start(EventReset::Manual);
    Event aDone(EventReset::Manual);
    Event bDone(EventReset::Manual);
    WindowHandle first = 0;
    WindowHandle second = 0;
    const auto answerSeven = [](std::uint32_t, WParam, LParam) -> LResult { return 7; };
    // Neither thread pumps before its own send has its answer: each can serve the other only
    // while it waits in that send. Afterwards each pumps until the other is done too.
    ReceiverThread a(answerSeven, [&](ReceiverThread&) {
        ASSERT_EQ(start.Wait(Limit), WaitResult::Signalled);
        EXPECT_EQ(SendWindowMessage(second, MsgAsk, 0, 0), 7);
        aDone.Set();
        PumpUntil(bDone);
    });
    ReceiverThread b(answerSeven, [&](ReceiverThread&) {
        ASSERT_EQ(start.Wait(Limit), WaitResult::Signalled);
        LResult result = 0;
        EXPECT_TRUE(SendWindowMessageTimeout(first, MsgAsk, 0, 0, SmtoNormal, Limit, &result));
        EXPECT_EQ(result, 7);
        bDone.Set();
        PumpUntil(aDone);
    });
    first = a.handle();
    second = b.handle();
    start.Set();
}

TEST(SentMessages, ASenderInASleepOfItsOwnIsWokenByTheAnswerAndByAMessageSentToIt) {
    // The sleep has no limit of its own here: only its interrupt can end it in time.
    Event sleeping(EventReset::Auto);
    Event interrupted(EventReset::Auto);
    Event stop(EventReset::Auto);
    std::atomic<int> overslept{0};
    std::atomic<int> ticks{0};
    SetSendWaitTick(1, [&] { ++ticks; },
                    {[&](unsigned) {
                         sleeping.Set();
                         if (interrupted.Wait(Limit) != WaitResult::Signalled) {
                             ++overslept;
                         }
                         return true;
                     },
                     [&] { interrupted.Set(); }});
    TestWindow own(Doubled);
    ReceiverThread receiver(
        [&](std::uint32_t, WParam, LParam) -> LResult {
            EXPECT_EQ(sleeping.Wait(Limit), WaitResult::Signalled);
            EXPECT_EQ(SendWindowMessage(own.handle(), MsgAsk, 20, 2), 42); // served in the wait
            EXPECT_EQ(sleeping.Wait(Limit), WaitResult::Signalled);        // and back to sleep
            return 7;
        },
        [&](ReceiverThread&) { PumpUntil(stop); });
    EXPECT_EQ(SendWindowMessage(receiver.handle(), MsgAsk, 0, 0), 7);
    SetSendWaitTick(0, {});
    EXPECT_EQ(overslept, 0);
    EXPECT_GE(ticks, 2); // the tick runs after each sleep: its work arrived
    stop.Set();
}

TEST(SentMessages, ABlockingTimedSenderDoesNotServeMessagesSentToItsThread) {
    Event start(EventReset::Manual);
    std::atomic<int> callsOfA{0};
    std::atomic<int> callsOfB{0};
    WindowHandle windowOfB = 0;
    ReceiverThread a(
        [&](std::uint32_t, WParam, LParam) {
            ++callsOfA;
            return 1;
        },
        [&](ReceiverThread& self) {
            ASSERT_EQ(start.Wait(Limit), WaitResult::Signalled);
            ASSERT_EQ(self.arrived().Wait(Limit), WaitResult::Signalled); // b's send is here
            EXPECT_FALSE(SendWindowMessageTimeout(windowOfB, MsgAsk, 0, 0, SmtoBlock, 50, nullptr));
            EXPECT_EQ(callsOfA, 0);
            Message message;
            EXPECT_FALSE(PeekWindowMessage(message, true)); // serves b's send now
            EXPECT_EQ(callsOfA, 1);
        });
    ReceiverThread b(
        [&](std::uint32_t, WParam, LParam) {
            ++callsOfB;
            return 2;
        },
        [&](ReceiverThread&) {
            ASSERT_EQ(start.Wait(Limit), WaitResult::Signalled);
            LResult result = 0;
            EXPECT_TRUE(
                SendWindowMessageTimeout(a.handle(), MsgAsk, 0, 0, SmtoBlock, Limit, &result));
            EXPECT_EQ(result, 1);
            Message message;
            EXPECT_FALSE(PeekWindowMessage(message, true)); // a's send was withdrawn
        });
    windowOfB = b.handle();
    start.Set();
    a.Join();
    b.Join();
    EXPECT_EQ(callsOfB, 0);
}

TEST(SentMessages, FailPromptlyWhenTheirWindowIsDestroyed) {
    Event go(EventReset::Auto);
    std::atomic<int> calls{0};
    ReceiverThread receiver(
        [&](std::uint32_t, WParam, LParam) {
            ++calls;
            return 0;
        },
        [&](ReceiverThread& self) {
            ASSERT_EQ(go.Wait(Limit), WaitResult::Signalled);
            EXPECT_TRUE(DestroyHiddenWindow(self.handle()));
            Message message;
            EXPECT_FALSE(PeekWindowMessage(message, true)); // its posted messages went too
        });
    const WindowHandle window = receiver.handle();
    EXPECT_TRUE(PostWindowMessage(window, MsgMarker, 0, 0));
    receiver.arrived().Reset();
    const auto started = Clock::now();
    auto sender = std::async(std::launch::async, [&] {
        return SendWindowMessageTimeout(window, MsgAsk, 0, 0, SmtoBlock, 3 * Limit, nullptr);
    });
    ASSERT_EQ(receiver.arrived().Wait(Limit), WaitResult::Signalled);
    EXPECT_FALSE(DestroyHiddenWindow(window)); // not this thread's window
    go.Set();
    ASSERT_EQ(sender.wait_for(milliseconds(Limit)), std::future_status::ready);
    EXPECT_FALSE(sender.get());
    EXPECT_LT(Clock::now() - started, milliseconds(Limit));
    receiver.Join();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(SendWindowMessage(window, MsgAsk, 0, 0), 0);
    EXPECT_FALSE(PostWindowMessage(window, MsgAsk, 0, 0));
}

TEST(SentMessages, FailWhenTheReceivingThreadEndsAndItsWindowsGoWithIt) {
    static const bool registered = RegisterWindowClass("test.plain", DefaultWindowProc, 0);
    ASSERT_TRUE(registered);
    Event created(EventReset::Auto);
    WindowHandle leftOver = 0;
    ReceiverThread receiver([](std::uint32_t, WParam, LParam) { return 0; },
                            [&](ReceiverThread& self) {
                                leftOver = CreateHiddenWindow("test.plain"); // never destroyed
                                created.Set();
                                ASSERT_EQ(self.arrived().Wait(Limit), WaitResult::Signalled);
                            });
    ASSERT_EQ(created.Wait(Limit), WaitResult::Signalled);
    auto sender = std::async(std::launch::async, [&] {
        return SendWindowMessageTimeout(leftOver, MsgAsk, 0, 0, SmtoBlock, 3 * Limit, nullptr);
    });
    ASSERT_EQ(sender.wait_for(milliseconds(Limit)), std::future_status::ready);
    EXPECT_FALSE(sender.get());
    receiver.Join();
    EXPECT_FALSE(IsWindow(leftOver));
    EXPECT_FALSE(PostWindowMessage(leftOver, MsgAsk, 0, 0));
}

TEST(SentMessages, FailWhenTheProcedureThrowsWhileTheExceptionReachesTheReceiver) {
    ReceiverThread receiver(
        [](std::uint32_t, WParam, LParam) -> LResult { throw std::runtime_error("handler"); },
        [](ReceiverThread& self) {
            ASSERT_EQ(self.arrived().Wait(Limit), WaitResult::Signalled);
            Message message;
            EXPECT_THROW(PeekWindowMessage(message, true), std::runtime_error);
        });
    EXPECT_FALSE(
        SendWindowMessageTimeout(receiver.handle(), MsgAsk, 0, 0, SmtoBlock, 3 * Limit, nullptr));
}

} // namespace
} // namespace apd::platform
