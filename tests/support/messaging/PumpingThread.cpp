#include "tests/support/messaging/PumpingThread.h"

#include <future>
#include <mutex>

#include "comm/dispatch/NotificationMessages.h"

namespace apd::test {

namespace {
const char* const WindowClass = "TestNotificationWindow";

platform::LResult NotificationWindowProc(platform::WindowHandle window, std::uint32_t message,
                                         platform::WParam wParam, platform::LParam lParam) {
    auto* handler = reinterpret_cast<SeenHandler*>(platform::GetWindowExtra(window, 0));
    if (handler == nullptr || message < MsgTriggerAvail || message > MsgTriggerStatus) {
        return platform::DefaultWindowProc(window, message, wParam, lParam);
    }
    (*handler)(Seen{message, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam),
                    std::this_thread::get_id()});
    return 0;
}

platform::WindowHandle MakeWindow(SeenHandler& handler) {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::RegisterWindowClass(WindowClass, &NotificationWindowProc, sizeof(void*));
    });
    const platform::WindowHandle window = platform::CreateHiddenWindow(WindowClass);
    platform::SetWindowExtra(window, 0, reinterpret_cast<std::intptr_t>(&handler));
    return window;
}
} // namespace

PumpingThread::PumpingThread(Handler handler) : handler_(std::move(handler)) {
    std::promise<platform::WindowHandle> made;
    auto window = made.get_future();
    thread_ = std::thread([this, &made] {
        const platform::WindowHandle w = MakeWindow(handler_);
        made.set_value(w);
        while (!stop_) {
            platform::WaitForQueueActivity(platform::InfiniteTimeout);
            platform::Message m;
            while (platform::PeekWindowMessage(m, true)) {
                platform::DispatchWindowMessage(m);
            }
        }
        platform::DestroyHiddenWindow(w);
    });
    window_ = window.get();
}

PumpingThread::~PumpingThread() {
    stop_ = true;
    // Wakes the queue wait; the window ignores the message.
    platform::PostWindowMessage(window_, 0x0400, 0, 0);
    thread_.join();
}

OwnWindow::OwnWindow(SeenHandler handler)
    : handler_(std::move(handler)), window_(MakeWindow(handler_)) {}

OwnWindow::~OwnWindow() {
    platform::DestroyHiddenWindow(window_);
}

} // namespace apd::test
