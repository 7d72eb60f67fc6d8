#pragma once
// Support for the tests of the serial dispatcher and its threads over pseudo-terminals:
// a dispatcher that lets tests register method and procedure handlers, a thread that
// owns a window and pumps its queue, and bounded waits.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "comm/platform/Messaging.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd::test {

using namespace std::chrono_literals;

class TestDispatcher : public TApdWin32Dispatcher {
public:
    TestDispatcher() : TApdWin32Dispatcher(nullptr) {}
    ~TestDispatcher() override { ShutDownDispatcher(); }

    // The analyser's line: 115200 8N1, queues of the given sizes.
    ErrorCode OpenAnalyserLine(const std::string& name, std::uint32_t outSize = 4096);

    using TApdBaseDispatcher::AddMethodHandler;
    using TApdBaseDispatcher::AddProcedureHandler;
    using TApdBaseDispatcher::DispatchBuffer;
    using TApdBaseDispatcher::OutputBuffer;
};

// One window trigger notification as a handler saw it.
struct Seen {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::thread::id thread;
};

// A thread that owns one hidden window and serves its queue until the object goes. Every
// trigger message is passed to `handler` on that thread.
class PumpingThread {
public:
    using Handler = std::function<void(const Seen&)>;
    explicit PumpingThread(Handler handler);
    ~PumpingThread();
    PumpingThread(const PumpingThread&) = delete;
    PumpingThread& operator=(const PumpingThread&) = delete;

    platform::WindowHandle Window() const { return window_; }
    std::thread::id Id() const { return thread_.get_id(); }

    // The procedure of the test windows.
    static platform::LResult Proc(platform::WindowHandle window, std::uint32_t message,
                                  platform::WParam wParam, platform::LParam lParam);

private:
    Handler handler_;
    std::atomic<bool> stop_{false};
    platform::WindowHandle window_ = 0;
    std::thread thread_;
};

// A window of the calling thread whose trigger messages go to `handler`.
class OwnWindow {
public:
    explicit OwnWindow(PumpingThread::Handler handler);
    ~OwnWindow();
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;
    platform::WindowHandle Window() const { return window_; }

private:
    PumpingThread::Handler handler_;
    platform::WindowHandle window_ = 0;
};

// Registers the window as the dispatcher's only window handler, wanted.
void RegisterWindow(TApdBaseDispatcher& dispatcher, platform::WindowHandle window);
// A data trigger on the bytes of `pattern`.
std::int32_t AddTrigger(TApdBaseDispatcher& dispatcher, std::string_view pattern);

// A count that tests wait on, bounded.
class Counter {
public:
    void Add(int n = 1);
    int Value() const;
    // True when the value reached at least `target` within `within`.
    bool WaitFor(int target, std::chrono::milliseconds within = 5s) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int value_ = 0;
};

// Waits up to `within` until pred holds, serving the calling thread's messages meanwhile
// (each round waits for queue activity at most a few milliseconds).
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds within = 5s);

// CPU time the whole process has used so far.
std::chrono::microseconds ProcessCpuTime();

// `count` bytes of a pattern that never repeats within 251 bytes, from `start`.
std::string Pattern(std::size_t count, std::size_t start = 0);

// Bytes read at the far end as a string, to compare with what was sent.
std::string AsString(const std::vector<std::uint8_t>& bytes);

// Queues all of `bytes` for output in one call.
ErrorCode Put(TApdBaseDispatcher& dispatcher, std::string_view bytes);

} // namespace apd::test
