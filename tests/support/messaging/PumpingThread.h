#pragma once
// Windows that receive the dispatcher's trigger notifications for tests and benchmarks: a
// thread that owns one hidden window and serves its queue as a GUI thread does, and a
// window of the calling thread. Each trigger message (MsgTriggerAvail ... MsgTriggerStatus)
// goes to a handler on the window's thread; every other message is ignored.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "comm/platform/Messaging.h"

namespace apd::test {

// One window trigger notification as a handler saw it.
struct Seen {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::thread::id thread;
};

using SeenHandler = std::function<void(const Seen&)>;

class PumpingThread {
public:
    using Handler = SeenHandler;
    explicit PumpingThread(Handler handler);
    // Ends the thread after the message it serves, and destroys its window.
    ~PumpingThread();
    PumpingThread(const PumpingThread&) = delete;
    PumpingThread& operator=(const PumpingThread&) = delete;

    platform::WindowHandle Window() const { return window_; }
    std::thread::id Id() const { return thread_.get_id(); }

private:
    Handler handler_;
    std::atomic<bool> stop_{false};
    platform::WindowHandle window_ = 0;
    std::thread thread_;
};

// A window of the calling thread, served whenever that thread serves its queue.
class OwnWindow {
public:
    explicit OwnWindow(SeenHandler handler);
    ~OwnWindow();
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;
    platform::WindowHandle Window() const { return window_; }

private:
    SeenHandler handler_;
    platform::WindowHandle window_ = 0;
};

} // namespace apd::test
