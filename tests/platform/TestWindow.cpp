#include "tests/platform/TestWindow.h"

#include "comm/platform/MessageWait.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>

namespace apd::platform::test {
namespace {

const std::string ClassName = "test.forwarding";

LResult ForwardingProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
    const auto* handler = reinterpret_cast<const Handler*>(GetWindowExtra(window, 0));
    return handler != nullptr && *handler ? (*handler)(message, wParam, lParam) : 0;
}

void RegisterClassOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        ASSERT_TRUE(RegisterWindowClass(ClassName, ForwardingProc, sizeof(std::intptr_t)));
    });
}

} // namespace

TestWindow::TestWindow(Handler handler) : handler_(std::move(handler)) {
    RegisterClassOnce();
    handle_ = CreateHiddenWindow(ClassName);
    EXPECT_NE(handle_, 0u);
    EXPECT_TRUE(SetWindowExtra(handle_, 0, reinterpret_cast<std::intptr_t>(&handler_)));
}

TestWindow::~TestWindow() {
    if (WindowThread(handle_) == CurrentThreadId()) {
        DestroyHiddenWindow(handle_);
    }
}

void PumpUntil(Event& stop) {
    for (;;) {
        const int woke = WaitForAnyOrQueueActivity({&stop}, Limit);
        if (woke == 0) {
            return;
        }
        if (woke == WaitTimedOut) {
            ADD_FAILURE() << "nothing happened for " << Limit << " ms";
            return;
        }
        Message message;
        while (PeekWindowMessage(message, true)) {
            DispatchWindowMessage(message);
        }
    }
}

ReceiverThread::ReceiverThread(Handler handler, std::function<void(ReceiverThread&)> body) {
    done_ = std::async(std::launch::async,
                       [this, ownHandler = std::move(handler), ownBody = std::move(body)] {
                           SetQueueWakeHook([this] { arrived_.Set(); });
                           TestWindow window(ownHandler);
                           handle_ = window.handle();
                           thread_ = CurrentThreadId();
                           published_.Set();
                           ownBody(*this);
                       });
    EXPECT_EQ(published_.Wait(Limit), WaitResult::Signalled);
}

ReceiverThread::~ReceiverThread() {
    Join();
}

void ReceiverThread::Join() {
    if (!done_.valid()) {
        return;
    }
    EXPECT_EQ(done_.wait_for(std::chrono::milliseconds(Limit)), std::future_status::ready);
    done_.get();
}

} // namespace apd::platform::test
