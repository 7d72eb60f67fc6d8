#include "comm/platform/Messaging.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

namespace apd::platform {
namespace {

using test::Limit;
using test::MsgAsk;
using test::TestWindow;

TEST(PostedMessages, ComeOutInPostingOrderWithTheQuitRequestLast) {
    std::vector<WParam> dispatched;
    TestWindow window([&](std::uint32_t, WParam wParam, LParam) {
        dispatched.push_back(wParam);
        return 0;
    });
    EXPECT_TRUE(PostWindowMessage(window.handle(), MsgAsk, 1, 0));
    EXPECT_TRUE(PostWindowMessage(window.handle(), MsgAsk, 2, 0));
    PostQuitRequest(5);
    PostQuitRequest(-6); // replaces the exit code of the pending request
    // Posts from another thread, one that has no queue of its own, keep their order too.
    std::async(std::launch::async, [&] {
        for (WParam n = 3; n <= 50; ++n) {
            EXPECT_TRUE(PostWindowMessage(window.handle(), MsgAsk, n, -1));
        }
    }).get();
    EXPECT_TRUE(dispatched.empty()); // posting never calls the procedure

    Message message;
    ASSERT_TRUE(PeekWindowMessage(message, false));
    EXPECT_EQ(message.wParam, 1u);
    for (WParam expected = 1; expected <= 50; ++expected) {
        ASSERT_TRUE(PeekWindowMessage(message, true));
        EXPECT_EQ(message.window, window.handle());
        EXPECT_EQ(message.message, MsgAsk);
        EXPECT_EQ(message.lParam, expected <= 2 ? 0 : -1);
        DispatchWindowMessage(message);
    }
    ASSERT_EQ(dispatched.size(), 50u);
    for (std::size_t i = 0; i < dispatched.size(); ++i) {
        EXPECT_EQ(dispatched[i], i + 1);
    }
    ASSERT_TRUE(PeekWindowMessage(message, true));
    EXPECT_EQ(message.window, 0u);
    EXPECT_EQ(message.message, QuitMessage);
    EXPECT_EQ(static_cast<int>(static_cast<LParam>(message.wParam)), -6);
    EXPECT_FALSE(PeekWindowMessage(message, true));
}

TEST(PostedMessages, AreDroppedWithTheirWindowAndCannotBePostedToItAfterwards) {
    int calls = 0;
    auto window = std::make_unique<TestWindow>([&](std::uint32_t, WParam, LParam) {
        ++calls;
        return 0;
    });
    TestWindow survivor([&](std::uint32_t, WParam, LParam) { return 0; });
    const WindowHandle handle = window->handle();
    EXPECT_TRUE(PostWindowMessage(handle, MsgAsk, 1, 0));
    EXPECT_TRUE(PostWindowMessage(survivor.handle(), MsgAsk, 2, 0));
    EXPECT_TRUE(PostWindowMessage(handle, MsgAsk, 3, 0));
    window.reset();

    Message message;
    ASSERT_TRUE(PeekWindowMessage(message, true));
    EXPECT_EQ(message.window, survivor.handle()); // only the other window's message is left
    EXPECT_FALSE(PeekWindowMessage(message, true));
    EXPECT_FALSE(PostWindowMessage(handle, MsgAsk, 4, 0));
    EXPECT_EQ(DispatchWindowMessage(Message{handle, MsgAsk, 5, 0}), 0);
    EXPECT_EQ(calls, 0);
}

TEST(WakeHook, IsCalledOnThePostingAndSendingThreadUntilRemoved) {
    std::mutex mutex;
    std::vector<ThreadId> callers; // guarded by mutex
    Event published(EventReset::Auto);
    Event removeHook(EventReset::Auto);
    Event removed(EventReset::Auto);
    WindowHandle handle = 0;
    auto receiver = std::async(std::launch::async, [&] {
        SetQueueWakeHook([&] {
            std::lock_guard lock(mutex);
            callers.push_back(CurrentThreadId());
        });
        TestWindow window([](std::uint32_t, WParam, LParam) { return 0; });
        handle = window.handle();
        published.Set();
        EXPECT_EQ(removeHook.Wait(Limit), WaitResult::Signalled);
        SetQueueWakeHook({});
        removed.Set();
        EXPECT_EQ(removeHook.Wait(Limit), WaitResult::Signalled);
    });
    ASSERT_EQ(published.Wait(Limit), WaitResult::Signalled);
    EXPECT_TRUE(PostWindowMessage(handle, MsgAsk, 0, 0));
    // The receiver does not pump, so the send times out; it was queued all the same.
    EXPECT_FALSE(SendWindowMessageTimeout(handle, MsgAsk, 0, 0, SmtoBlock, 20, nullptr));
    removeHook.Set();
    ASSERT_EQ(removed.Wait(Limit), WaitResult::Signalled);
    EXPECT_TRUE(PostWindowMessage(handle, MsgAsk, 0, 0));
    removeHook.Set();
    receiver.get();
    std::lock_guard lock(mutex);
    EXPECT_EQ(callers, (std::vector<ThreadId>{CurrentThreadId(), CurrentThreadId()}));
}

} // namespace
} // namespace apd::platform
