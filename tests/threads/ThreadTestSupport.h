#pragma once
// Support for the tests of the serial dispatcher and its threads over pseudo-terminals:
// a dispatcher that lets tests register method and procedure handlers, bounded waits, and
// the notification windows of tests/support/messaging.

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
#include "tests/support/messaging/PumpingThread.h"

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
    using TApdBaseDispatcher::InputRing;
    using TApdBaseDispatcher::OutputBuffer;
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
