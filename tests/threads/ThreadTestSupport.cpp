#include "tests/threads/ThreadTestSupport.h"

#include <ctime>

#include "comm/dispatch/NotificationMessages.h"

namespace apd::test {

ErrorCode TestDispatcher::OpenAnalyserLine(const std::string& name, std::uint32_t outSize) {
    return OpenDevicePort(name, {115200, ParityNone, 8, 1}, 4096, outSize, 0);
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
