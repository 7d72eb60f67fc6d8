#pragma once
// The point in time at which a wait of this layer gives up. Internal to this layer.

#include "comm/platform/Timeout.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace apd::platform::detail {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    // A deadline timeoutMs from now; InfiniteTimeout never passes.
    explicit Deadline(unsigned timeoutMs)
        : infinite_(timeoutMs == InfiniteTimeout),
          at_(Clock::now() + std::chrono::milliseconds(infinite_ ? 0 : timeoutMs)) {}

    bool Passed() const { return !infinite_ && Clock::now() >= at_; }
    bool Infinite() const { return infinite_; }
    // The point in time itself; meaningless when Infinite.
    Clock::time_point At() const { return at_; }

    // Waits on condition until done() holds or the deadline passes; returns done().
    template <class Done>
    bool WaitOn(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                Done done) const {
        if (infinite_) {
            condition.wait(lock, done);
            return true;
        }
        return condition.wait_until(lock, at_, done);
    }

private:
    bool infinite_;
    Clock::time_point at_;
};

} // namespace apd::platform::detail
