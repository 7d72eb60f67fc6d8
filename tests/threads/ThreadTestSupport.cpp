#include "tests/threads/ThreadTestSupport.h"

#include <ctime>
#include <future>

#include "comm/dispatch/NotificationMessages.h"

namespace apd::test {

namespace {
const char* const WindowClass = "DeviceThreadTestWindow";

void EnsureClass(platform::WindowProc proc) {
    static std::once_flag once;
    std::call_once(once, [&] { platform::RegisterWindowClass(WindowClass, proc, sizeof(void*)); });
}
} // namespace

ErrorCode TestDispatcher::OpenAnalyserLine(const std::string& name, std::uint32_t outSize) {
    return OpenDevicePort(name, 115200, ParityNone, 8, 1, 4096, outSize, 0);
}

platform::LResult PumpingThread::Proc(platform::WindowHandle window, std::uint32_t message,
                                      platform::WParam wParam, platform::LParam lParam) {
    auto* handler = reinterpret_cast<Handler*>(platform::GetWindowExtra(window, 0));
    if (handler == nullptr || message < MsgTriggerAvail || message > MsgTriggerStatus) {
        return platform::DefaultWindowProc(window, message, wParam, lParam);
    }
    (*handler)(Seen{message, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam),
                    std::this_thread::get_id()});
    return 0;
}

PumpingThread::PumpingThread(Handler handler) : handler_(std::move(handler)) {
    EnsureClass(&Proc);
    std::promise<platform::WindowHandle> made;
    auto window = made.get_future();
    thread_ = std::thread([this, &made] {
        const platform::WindowHandle w = platform::CreateHiddenWindow(WindowClass);
        platform::SetWindowExtra(w, 0, reinterpret_cast<std::intptr_t>(&handler_));
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

OwnWindow::OwnWindow(PumpingThread::Handler handler) : handler_(std::move(handler)) {
    EnsureClass(&PumpingThread::Proc);
    window_ = platform::CreateHiddenWindow(WindowClass);
    platform::SetWindowExtra(window_, 0, reinterpret_cast<std::intptr_t>(&handler_));
}

OwnWindow::~OwnWindow() {
    platform::DestroyHiddenWindow(window_);
}

void RegisterWindow(TApdBaseDispatcher& dispatcher, platform::WindowHandle window) {
    dispatcher.RegisterWindowHandler(window);
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
}

std::int32_t AddTrigger(TApdBaseDispatcher& dispatcher, std::string_view pattern) {
    return dispatcher.AddDataTrigger(reinterpret_cast<const std::uint8_t*>(pattern.data()), false,
                                     static_cast<std::uint32_t>(pattern.size()));
}

void Counter::Add(int n) {
    {
        std::lock_guard hold(mutex_);
        value_ += n;
    }
    changed_.notify_all();
}

int Counter::Value() const {
    std::lock_guard hold(mutex_);
    return value_;
}

bool Counter::WaitFor(int target, std::chrono::milliseconds within) const {
    std::unique_lock hold(mutex_);
    return changed_.wait_for(hold, within, [&] { return value_ >= target; });
}

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        platform::WaitForQueueActivity(2);
        platform::Message m;
        while (platform::PeekWindowMessage(m, true)) {
            platform::DispatchWindowMessage(m);
        }
    }
    return true;
}

std::chrono::microseconds ProcessCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::duration_cast<std::chrono::microseconds>(
                                                  std::chrono::nanoseconds(now.tv_nsec));
}

std::string Pattern(std::size_t count, std::size_t start) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>((start + i) % 251);
    }
    return bytes;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

ErrorCode Put(TApdBaseDispatcher& dispatcher, std::string_view bytes) {
    return dispatcher.PutBlock(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size()));
}

} // namespace apd::test
