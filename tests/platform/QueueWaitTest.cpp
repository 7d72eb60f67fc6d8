#include "comm/platform/MessageWait.h"
#include "comm/platform/Messaging.h"
#include "comm/platform/PumpOneMessage.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace apd::platform {
namespace {

using test::Limit;
using test::MsgAsk;
using test::TestWindow;

// Takes the quit request off the calling thread's queue so later tests start clean.
int TakeQuitRequest() {
    Message message;
    EXPECT_TRUE(PeekWindowMessage(message, true));
    EXPECT_EQ(message.message, QuitMessage);
    return static_cast<int>(static_cast<LParam>(message.wParam));
}

TEST(PumpOneMessage, DispatchesOnePostedMessagePerCallAndPutsAQuitRequestBack) {
    std::vector<WParam> dispatched;
    TestWindow window([&](std::uint32_t, WParam wParam, LParam) {
        dispatched.push_back(wParam);
        return 0;
    });
    EXPECT_FALSE(PumpOneMessage()); // nothing pending
    PostWindowMessage(window.handle(), MsgAsk, 1, 0);
    PostWindowMessage(window.handle(), MsgAsk, 2, 0);
    PostQuitRequest(-3);
    EXPECT_TRUE(PumpOneMessage());
    EXPECT_EQ(dispatched, std::vector<WParam>{1});
    EXPECT_TRUE(PumpOneMessage());
    EXPECT_EQ(dispatched, (std::vector<WParam>{1, 2}));
    // Only the quit request is left: it is put back, which counts as nothing done.
    EXPECT_FALSE(PumpOneMessage());
    EXPECT_FALSE(PumpOneMessage());
    EXPECT_EQ(TakeQuitRequest(), -3);
    EXPECT_FALSE(PumpOneMessage());
}

TEST(PumpOneMessage, ServesMessagesSentFromAnotherThread) {
    TestWindow window(
        [](std::uint32_t, WParam wParam, LParam) { return static_cast<LResult>(wParam) + 1; });
    Event arrived(EventReset::Auto);
    SetQueueWakeHook([&] { arrived.Set(); });
    auto sender = std::async(std::launch::async, [&] {
        LResult result = 0;
        EXPECT_TRUE(
            SendWindowMessageTimeout(window.handle(), MsgAsk, 41, 0, SmtoBlock, Limit, &result));
        return result;
    });
    ASSERT_EQ(arrived.Wait(Limit), WaitResult::Signalled);
    PostQuitRequest(0);
    EXPECT_TRUE(PumpOneMessage()); // served the send, then put the quit request back
    EXPECT_EQ(sender.get(), 42);
    EXPECT_EQ(TakeQuitRequest(), 0);
    SetQueueWakeHook({});
}

TEST(QueueWait, EventsComeBeforeTheQueueAndAQuitRequestAloneIsNoActivity) {
    TestWindow window([](std::uint32_t, WParam, LParam) { return 0; });
    Event event(EventReset::Auto);
    PostQuitRequest(1);
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event}, 20), WaitTimedOut);
    EXPECT_FALSE(WaitForQueueActivity(0));

    PostWindowMessage(window.handle(), MsgAsk, 0, 0);
    event.Set();
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event}, Limit), 0);
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event}, Limit), 1); // the posted message waits
    EXPECT_TRUE(WaitForQueueActivity(0));
    Message message;
    ASSERT_TRUE(PeekWindowMessage(message, true));
    EXPECT_EQ(message.message, MsgAsk);
    EXPECT_EQ(TakeQuitRequest(), 1);
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event, nullptr}, 0), WaitFailed);
}

TEST(QueueWait, WakesForAnEventSetOrAMessageSentFromAnotherThreadAndServesTheMessage) {
    int calls = 0;
    TestWindow window([&](std::uint32_t, WParam, LParam) { return ++calls; });
    Event event(EventReset::Manual);
    auto setter = std::async(std::launch::async, [&] { event.Set(); });
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event}, Limit), 0);
    setter.get();
    event.Reset();

    auto sender = std::async(std::launch::async, [&] {
        return SendWindowMessageTimeout(window.handle(), MsgAsk, 0, 0, SmtoBlock, Limit, nullptr);
    });
    EXPECT_EQ(WaitForAnyOrQueueActivity({&event}, Limit), 1);
    EXPECT_EQ(calls, 1); // served inside the wait
    EXPECT_TRUE(sender.get());

    sender = std::async(std::launch::async, [&] {
        return SendWindowMessageTimeout(window.handle(), MsgAsk, 0, 0, SmtoBlock, Limit, nullptr);
    });
    EXPECT_TRUE(WaitForQueueActivity(Limit));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(sender.get());
}

} // namespace
} // namespace apd::platform
