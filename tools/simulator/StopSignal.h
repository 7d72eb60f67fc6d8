#pragma once
// A stop request that waits can end on: a wait for a time returns at once when a stop is
// requested meanwhile.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace vorsilan::sim {

class StopSignal {
public:
    void Request();
    bool Requested() const;
    // Waits up to `within`; true when a stop has been requested.
    bool WaitFor(std::chrono::milliseconds within) const;
    // Called (once, on the requesting thread) when a stop is requested; add before any
    // thread may request one.
    void OnRequest(std::function<void()> action);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
    std::vector<std::function<void()>> actions_;
};

} // namespace vorsilan::sim
