#pragma once
// Test support: windows whose procedure calls a function object, and a pump loop.

#include "comm/platform/Event.h"
#include "comm/platform/Messaging.h"

#include <cstdint>
#include <functional>
#include <future>

namespace apd::platform::test {

// Bound on every wait in these tests: far above any real delay, so only a fault reaches it.
inline constexpr unsigned Limit = 10'000;

// Messages the tests use.
inline constexpr std::uint32_t MsgAsk = 0x0400;
inline constexpr std::uint32_t MsgMarker = 0x0401;

using Handler = std::function<LResult(std::uint32_t message, WParam wParam, LParam lParam)>;

// A window of the calling thread whose procedure calls handler; the handler lives in the
// object and the window finds it through its extra bytes. Destroyed with the object when
// it still exists and this is its thread.
class TestWindow {
public:
    explicit TestWindow(Handler handler);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    WindowHandle handle() const { return handle_; }

private:
    Handler handler_;
    WindowHandle handle_;
};

// Handles the calling thread's messages until stop is set; fails the test if that takes
// longer than Limit.
void PumpUntil(Event& stop);

// A thread of its own with a TestWindow: it sets a wake hook that signals arrived() whenever
// a message is queued for it, creates the window, publishes its handle and runs body; the
// window lives until body returns.
class ReceiverThread {
public:
    ReceiverThread(Handler handler, std::function<void(ReceiverThread&)> body);
    ~ReceiverThread();
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    WindowHandle handle() const { return handle_; }
    ThreadId thread() const { return thread_; }
    Event& arrived() { return arrived_; }
    // Waits (up to Limit) for the thread to end.
    void Join();

private:
    Event arrived_{EventReset::Auto};
    Event published_{EventReset::Auto};
    WindowHandle handle_ = 0;
    ThreadId thread_ = 0;
    std::future<void> done_;
};

} // namespace apd::platform::test
