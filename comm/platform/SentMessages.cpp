#include "comm/platform/WindowManager.h"

#include "comm/platform/Deadline.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <utility>

namespace apd::platform {

namespace {

// How deep the calling thread is in window procedures run for other threads' sends.
thread_local int sentMessageDepth = 0;

struct SentMessageScope {
    SentMessageScope() { ++sentMessageDepth; }
    ~SentMessageScope() { --sentMessageDepth; }
    SentMessageScope(const SentMessageScope&) = delete;
    SentMessageScope& operator=(const SentMessageScope&) = delete;
};

} // namespace

bool ServingSentMessage() {
    return sentMessageDepth > 0;
}

namespace detail {

int HandleIncomingSends(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
    WindowManager& manager = WindowManager::Instance();
    int handled = 0;
    // The sender of the last message answered: woken once the lock is released.
    std::shared_ptr<ThreadQueue> answered;
    while (!queue.incoming.empty()) {
        std::shared_ptr<PendingSend> pending = std::move(queue.incoming.front());
        queue.incoming.pop_front();
        const WindowRecord* record = manager.FindWindow(pending->message.window);
        if (record == nullptr) {
            FailPendingSend(*pending);
            continue;
        }
        // Taken: from here on the message runs to completion even if its sender gives up.
        pending->state = PendingSend::State::Taken;
        const WindowProc proc = record->proc;
        const Message& m = pending->message;
        LResult result = 0;
        lock.unlock();
        if (answered) {
            WakeOwner(*answered);
            answered.reset();
        }
        try {
            const SentMessageScope serving;
            result = proc(m.window, m.message, m.wParam, m.lParam);
        } catch (...) {
            lock.lock();
            FailPendingSend(*pending);
            throw;
        }
        lock.lock();
        pending->result = result;
        pending->state = PendingSend::State::Done;
        answered = pending->sender;
        ++handled;
    }
    if (answered) {
        lock.unlock();
        WakeOwner(*answered);
        lock.lock();
    }
    return handled;
}

} // namespace detail

namespace {

using detail::PendingSend;
using detail::WindowManager;

// The calling thread's send tick (SetSendWaitTick); only that thread uses it.
struct SendWaitTick {
    unsigned intervalMs = 0;
    std::function<void()> tick;
};
thread_local SendWaitTick sendWaitTick;

// Waits on the sender's wake-up until done() holds or the deadline passes, running the
// thread's send tick at its interval meanwhile (with the lock released). Returns done().
template <class Done>
bool WaitForAnswer(detail::WakeWord& wake, std::unique_lock<std::mutex>& lock,
                   const detail::Deadline& deadline, Done done) {
    if (!sendWaitTick.tick) {
        return wake.WaitOn(lock, deadline, done);
    }
    for (;;) {
        if (wake.WaitOn(lock, detail::Deadline(sendWaitTick.intervalMs), done)) {
            return true;
        }
        if (deadline.Passed()) {
            return done();
        }
        lock.unlock();
        sendWaitTick.tick();
        lock.lock();
    }
}

// Sends message and waits for its result until deadline. While waiting, the sender runs the
// messages other threads send to it when handleIncoming is set. False when the window does
// not exist, the message could not be delivered, or the time ran out.
bool Send(const Message& message, bool handleIncoming, const detail::Deadline& deadline,
          LResult& result) {
    auto self = detail::CurrentThreadQueue();
    WindowManager& manager = WindowManager::Instance();
    std::unique_lock lock(manager.lock);
    const detail::WindowRecord* record = manager.FindWindow(message.window);
    if (record == nullptr) {
        return false;
    }
    if (record->owner == self) {
        const WindowProc proc = record->proc;
        lock.unlock();
        result = proc(message.window, message.message, message.wParam, message.lParam);
        return true;
    }

    const std::shared_ptr<detail::ThreadQueue> target = record->owner;
    const auto pending = std::make_shared<PendingSend>(message, self);
    target->incoming.push_back(pending);
    detail::NotifyArrival(*target);
    lock.unlock();
    detail::WakeOwner(*target);
    detail::CallWakeHook(*target);
    lock.lock();

    const auto answeredOrCalled = [&] {
        return pending->state == PendingSend::State::Done ||
               pending->state == PendingSend::State::Failed ||
               (handleIncoming && !self->incoming.empty());
    };
    for (;;) {
        if (pending->state == PendingSend::State::Done) {
            result = pending->result;
            return true;
        }
        if (pending->state == PendingSend::State::Failed) {
            return false;
        }
        if (handleIncoming && !self->incoming.empty()) {
            detail::HandleIncomingSends(lock, *self);
            continue;
        }
        if (!WaitForAnswer(self->ownerWake, lock, deadline, answeredOrCalled)) {
            // Not taken yet: withdraw it, it is never delivered. Taken: the receiver finishes
            // it on its own and its result is dropped.
            if (pending->state == PendingSend::State::Queued) {
                std::erase(target->incoming, pending);
            }
            return false;
        }
    }
}

} // namespace

void SetSendWaitTick(unsigned intervalMs, std::function<void()> tick) {
    sendWaitTick.intervalMs = intervalMs;
    sendWaitTick.tick = std::move(tick);
}

LResult SendWindowMessage(WindowHandle window, std::uint32_t message, WParam wParam,
                          LParam lParam) {
    LResult result = 0;
    const bool answered = Send(Message{window, message, wParam, lParam}, true,
                               detail::Deadline(InfiniteTimeout), result);
    return answered ? result : 0;
}

bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam, unsigned flags, unsigned timeoutMs, LResult* result) {
    LResult answer = 0;
    const bool answered = Send(Message{window, message, wParam, lParam}, (flags & SmtoBlock) == 0,
                               detail::Deadline(timeoutMs), answer);
    if (result != nullptr) {
        *result = answered ? answer : 0;
    }
    return answered;
}

} // namespace apd::platform
