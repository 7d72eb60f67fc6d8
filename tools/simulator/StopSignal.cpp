#include "tools/simulator/StopSignal.h"

namespace vorsilan::sim {

void StopSignal::Request() {
    std::vector<std::function<void()>> actions;
    {
        std::lock_guard lock(mutex_);
        if (requested_) {
            return;
        }
        requested_ = true;
        actions = actions_;
    }
    changed_.notify_all();
    for (const auto& action : actions) {
        action();
    }
}

bool StopSignal::Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

bool StopSignal::WaitFor(std::chrono::milliseconds within) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, within, [this] { return requested_; });
}

void StopSignal::OnRequest(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    actions_.push_back(std::move(action));
}

} // namespace vorsilan::sim
