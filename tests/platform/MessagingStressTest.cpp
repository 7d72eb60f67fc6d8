// Many threads post and send with short time-outs to two windows of a pumping thread, which
// destroys one window half-way and ends while the others are still sending. Meant for the
// sanitizers as much as for its own checks.

#include "comm/platform/MessageWait.h"
#include "comm/platform/Messaging.h"

#include "tests/platform/TestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

namespace apd::platform {
namespace {

using test::Limit;
using test::MsgAsk;
using test::TestWindow;

TEST(MessagingStress, PostsAndTimedSendsWhileAWindowIsDestroyedAndItsThreadEnds) {
    constexpr int Senders = 4;
    constexpr int RoundsPerSender = 400;
    constexpr int HandledBeforeDestroy = 300;
    constexpr int HandledBeforeEnd = 700;

    Event published(EventReset::Manual);
    Event sendersDone(EventReset::Manual);
    WindowHandle doomed = 0;
    WindowHandle lasting = 0;
    std::atomic<int> handled{0};
    std::atomic<int> sentHandled{0};
    std::atomic<bool> lateMessage{false};

    auto receiver = std::async(std::launch::async, [&] {
        bool doomedDestroyed = false; // this thread only
        const auto handler = [&](bool forDoomed) {
            return [&, forDoomed](std::uint32_t, WParam wParam, LParam lParam) -> LResult {
                if (forDoomed && doomedDestroyed) {
                    lateMessage = true;
                }
                ++handled;
                if (lParam == 1) {
                    ++sentHandled;
                }
                return static_cast<LResult>(wParam) + 1;
            };
        };
        auto first = std::make_unique<TestWindow>(handler(true));
        TestWindow second(handler(false));
        doomed = first->handle();
        lasting = second.handle();
        published.Set();
        while (handled < HandledBeforeEnd) {
            if (!doomedDestroyed && handled >= HandledBeforeDestroy) {
                first.reset();
                doomedDestroyed = true;
            }
            const int woke = WaitForAnyOrQueueActivity({&sendersDone}, Limit);
            if (woke == 0) {
                return;
            }
            if (woke == WaitTimedOut) {
                ADD_FAILURE() << "the senders went quiet";
                return;
            }
            Message message;
            while (PeekWindowMessage(message, true)) {
                DispatchWindowMessage(message);
            }
        }
    });
    ASSERT_EQ(published.Wait(Limit), WaitResult::Signalled);

    std::atomic<int> sendsAnswered{0};
    std::vector<std::future<void>> senders;
    for (int s = 0; s < Senders; ++s) {
        senders.push_back(std::async(std::launch::async, [&, s] {
            for (int round = 0; round < RoundsPerSender; ++round) {
                const WindowHandle target = (round + s) % 2 == 0 ? doomed : lasting;
                const auto value = static_cast<WParam>(round);
                if (round % 3 == 0) {
                    PostWindowMessage(target, MsgAsk, value, 0);
                    continue;
                }
                const unsigned flags = round % 3 == 1 ? SmtoBlock : SmtoNormal;
                LResult result = -1;
                if (SendWindowMessageTimeout(target, MsgAsk, value, 1, flags,
                                             static_cast<unsigned>(round % 4), &result)) {
                    EXPECT_EQ(result, static_cast<LResult>(value) + 1);
                    ++sendsAnswered;
                } else {
                    EXPECT_EQ(result, 0);
                }
            }
        }));
    }
    for (auto& sender : senders) {
        ASSERT_EQ(sender.wait_for(std::chrono::milliseconds(Limit)), std::future_status::ready);
        sender.get();
    }
    sendersDone.Set();
    ASSERT_EQ(receiver.wait_for(std::chrono::milliseconds(Limit)), std::future_status::ready);
    receiver.get();

    EXPECT_FALSE(lateMessage);
    EXPECT_LE(sendsAnswered, sentHandled); // a send reported answered really ran
    EXPECT_FALSE(IsWindow(doomed));
    EXPECT_FALSE(IsWindow(lasting));
}

} // namespace
} // namespace apd::platform
