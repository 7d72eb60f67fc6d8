// Delivery to window handlers through the window messaging: on the caller's own thread,
// and to a window of another thread that pumps its queue.

#include <atomic>
#include <future>
#include <thread>

#include "comm/platform/Messaging.h"
#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

namespace msg = apd::platform;

// What a test window does with the notifications it gets.
struct WindowScript {
    TApdBaseDispatcher* dispatcher = nullptr;
    std::vector<Notification> received;
    std::size_t readCount = 0;
    std::string read;
    bool deregisterSelf = false;
    msg::WindowHandle self = 0;
};

msg::LResult ScriptedWindowProc(msg::WindowHandle window, std::uint32_t message, msg::WParam wParam,
                                msg::LParam lParam) {
    auto* script = reinterpret_cast<WindowScript*>(msg::GetWindowExtra(window, 0));
    if (script == nullptr || message < MsgTriggerAvail || message > MsgTriggerStatus) {
        return msg::DefaultWindowProc(window, message, wParam, lParam);
    }
    script->received.push_back(Notification{message, static_cast<std::uint32_t>(wParam),
                                            static_cast<std::uint32_t>(lParam)});
    std::uint8_t c = 0;
    for (std::size_t i = 0; i < script->readCount && script->dispatcher->GetChar(c) == ecOK; ++i) {
        script->read.push_back(static_cast<char>(c));
    }
    if (script->deregisterSelf) {
        script->dispatcher->DeregisterWindowHandler(window);
    }
    return 0;
}

const char* const ScriptedClass = "DispatchTestWindow";

msg::WindowHandle MakeWindow(WindowScript& script) {
    if (!msg::IsWindowClassRegistered(ScriptedClass)) {
        msg::RegisterWindowClass(ScriptedClass, &ScriptedWindowProc, sizeof(std::intptr_t));
    }
    const msg::WindowHandle window = msg::CreateHiddenWindow(ScriptedClass);
    msg::SetWindowExtra(window, 0, reinterpret_cast<std::intptr_t>(&script));
    script.self = window;
    return window;
}

class WindowHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
        header = dispatcher.AddDataTrigger(Bytes("\xAA\x55"), false, 2);
        first.dispatcher = &dispatcher;
        second.dispatcher = &dispatcher;
    }
    void TearDown() override {
        for (auto* script : {&first, &second}) {
            if (script->self) {
                msg::DestroyHiddenWindow(script->self);
            }
        }
    }
    TMemoryDispatcher dispatcher;
    WindowScript first;
    WindowScript second;
    std::int32_t header = 0;
};

TEST_F(WindowHandlers, TheComponentsOwnWindowIsNotifiedOnlyWhileItWantsTo) {
    dispatcher.RegisterWindowHandler(MakeWindow(first));
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortInactive);
    dispatcher.Feed("\xAA\x55");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_TRUE(first.received.empty());

    dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
    first.readCount = 2;
    dispatcher.Feed("\xAA\x55");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    ASSERT_EQ(first.received.size(), 1u);
    EXPECT_EQ(first.received[0],
              (Notification{MsgTriggerData, std::uint32_t(header),
                            NotificationLParam(dispatcher.DispatcherHandle, 2)}));
    EXPECT_EQ(first.read, "\xAA\x55"); // the oldest bytes: the first header was never read
    EXPECT_EQ(dispatcher.InBuffUsed(), 2u);
}

TEST_F(WindowHandlers, WindowDeregisteredInsideItsHandlerGoesAfterTheDelivery) {
    dispatcher.RegisterWindowHandler(MakeWindow(first));
    dispatcher.RegisterWindowHandler(MakeWindow(second));
    first.deregisterSelf = true;
    dispatcher.Feed("\xAA\x55");
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_EQ(second.received.size(), 1u); // the remaining handlers still run
    EXPECT_EQ(dispatcher.WindowHandlerCount(), 1u);
    dispatcher.Feed("\xAA\x55");
    dispatcher.CheckDataTriggers();
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_EQ(second.received.size(), 1u); // the one window left is not wanted on its own
}

TEST_F(WindowHandlers, AWindowThatIsGoneIsPassedOver) {
    NotificationRecorder method;
    dispatcher.AddMethodHandler(method.Method(), false);
    dispatcher.RegisterWindowHandler(0x7FFF0001); // never created
    dispatcher.RegisterWindowHandler(MakeWindow(first));
    first.readCount = 2;
    dispatcher.Feed("\xAA\x55");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(method.received.size(), 1u);
    EXPECT_EQ(first.received.size(), 1u);
    EXPECT_EQ(dispatcher.InBuffUsed(), 0u);
}

TEST_F(WindowHandlers, WindowOfAnotherThreadReadsWhileTheDispatcherWaits) {
    std::atomic<bool> stop{false};
    std::promise<msg::WindowHandle> created;
    first.readCount = 3;
    std::thread gui([&] {
        created.set_value(MakeWindow(first));
        while (!stop) {
            msg::WaitForQueueActivity(20);
            msg::Message m;
            while (msg::PeekWindowMessage(m, true)) {
                msg::DispatchWindowMessage(m);
            }
        }
        msg::DestroyHiddenWindow(first.self);
    });
    auto window = created.get_future();
    ASSERT_EQ(window.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    dispatcher.RegisterWindowHandler(window.get());
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
    dispatcher.Feed("\xAA\x55"
                    "xyz");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    stop = true;
    gui.join();
    first.self = 0;
    EXPECT_EQ(first.read, "\xAA\x55x");
    EXPECT_EQ(dispatcher.Ring().tail, 3u);
}

TEST_F(WindowHandlers, AWindowThatDoesNotAnswerInTimeIsPassedOver) {
    std::promise<msg::WindowHandle> created;
    std::promise<void> release;
    std::thread gui([&] {
        created.set_value(MakeWindow(first));
        // Busy: takes no message until released, well after the time-out.
        release.get_future().wait();
        msg::Message m;
        while (msg::PeekWindowMessage(m, true)) {
            msg::DispatchWindowMessage(m);
        }
        msg::DestroyHiddenWindow(first.self);
    });
    auto window = created.get_future();
    ASSERT_EQ(window.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    dispatcher.RegisterWindowHandler(window.get());
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
    first.readCount = 2;
    dispatcher.Feed("\xAA\x55"
                    "xyz");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    const auto waited = std::chrono::steady_clock::now() - started;
    release.set_value();
    gui.join();
    first.self = 0;
    EXPECT_GE(waited, std::chrono::milliseconds(WindowNotifyTimeoutMs - 100));
    // The message was withdrawn: nothing was delivered late and nothing was consumed.
    EXPECT_TRUE(first.received.empty());
    EXPECT_EQ(dispatcher.InBuffUsed(), 5u);
}

} // namespace
} // namespace apd::testing
