#include "comm/platform/WindowManager.h"

#include "comm/platform/Deadline.h"

#include <algorithm>
#include <chrono>
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
        InterruptOwnerSleep(*answered);
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
    SendWaitSleep sleep;
};
thread_local SendWaitTick sendWaitTick;

// What is left of deadline in whole milliseconds, rounded up; InfiniteTimeout when it never
// passes.
unsigned MillisecondsLeft(const detail::Deadline& deadline) {
    if (deadline.Infinite()) {
        return InfiniteTimeout;
    }
    const auto left = deadline.At() - detail::Deadline::Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms <= 0 ? 0 : static_cast<unsigned>(std::min<long long>(ms, InfiniteTimeout - 1));
}

// Waits on the sender's wake-up until done() holds or the deadline passes, running the
// thread's send tick at its interval meanwhile (with the lock released). After the first
// interval a thread with a sleep of its own takes that sleep between the ticks instead.
// Returns done().
template <class Done>
bool WaitForAnswer(detail::ThreadQueue& self, std::unique_lock<std::mutex>& lock,
                   const detail::Deadline& deadline, Done done) {
    if (!sendWaitTick.tick) {
        return self.ownerWake.WaitOn(lock, deadline, done);
    }
    bool ownSleep = false; // from the second interval on
    for (;;) {
        bool slept = false;
        if (ownSleep) {
            if (done()) {
                return true;
            }
            // Set under the lock that the answer is given under: an answer given before
            // this point is seen by done() above, one given after interrupts the sleep.
            self.sleepInterrupt = &sendWaitTick.sleep.interrupt;
            lock.unlock();
            slept = sendWaitTick.sleep.sleep(MillisecondsLeft(deadline));
            lock.lock();
            self.sleepInterrupt = nullptr;
            if (done()) {
                return true;
            }
        }
        if (!slept &&
            self.ownerWake.WaitOn(lock, detail::Deadline(sendWaitTick.intervalMs), done)) {
            return true;
        }
        ownSleep = static_cast<bool>(sendWaitTick.sleep.sleep);
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
        if (!WaitForAnswer(*self, lock, deadline, answeredOrCalled)) {
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

void SetSendWaitTick(unsigned intervalMs, std::function<void()> tick, SendWaitSleep sleep) {
    sendWaitTick.intervalMs = intervalMs;
    sendWaitTick.tick = std::move(tick);
    sendWaitTick.sleep = sendWaitTick.tick ? std::move(sleep) : SendWaitSleep{};
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
