#pragma once
// The three threads that serve an open port.
//
// TComThread waits for device events and runs the pass serving each itself when the
// dispatch thread is in none; otherwise it hands the event to the dispatch thread, in
// lock-step:
// it does not wait for the next event before the pass serving the last one is over, except
// while a notification's delivery holds that pass (a handler may take seconds): then it
// moves the bytes that arrive into the receive ring itself, so that a handler waiting for
// the rest of a message sees each byte as it comes.
// TDispThread runs a dispatch pass on each device event and at least every 50 ms: it moves
// received bytes into the receive ring and runs the status, data and timer trigger checks,
// which deliver the notifications. TOutThread writes what DeviceWrite queued in the output
// ring to the device, one write per cycle.
//
// Each thread object is owned by its own running thread and goes away when the thread's
// run function returns; the dispatcher only keeps plain references (CommWorker ...) that
// each thread clears in ThreadFinished, its last touch of the dispatcher.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "comm/dispatch/TriggerRecords.h"
#include "comm/threads/DispatcherEvents.h"

namespace apd {

class ThreadedDispatcher;

class TApdDispatcherThread {
public:
    TApdDispatcherThread(ThreadedDispatcher& dispatcher, std::shared_ptr<DispatcherEvents> events,
                         std::shared_ptr<ThreadLife> life);
    virtual ~TApdDispatcherThread() = default;
    TApdDispatcherThread(const TApdDispatcherThread&) = delete;
    TApdDispatcherThread& operator=(const TApdDispatcherThread&) = delete;

    // Starts the thread, which from then on owns the object. The thread counts as alive
    // (ThreadLife) from this call on. std::system_error when no thread can be made.
    static void Launch(const std::shared_ptr<TApdDispatcherThread>& thread);

    // Gives the thread a priority level (ThreadPriority.h), now or as soon as it runs.
    void SetPriorityLevel(int level);
    int PriorityLevel() const { return level_; }

    ThreadedDispatcher& Dispatcher() const { return dispatcher_; }

    // The dispatcher thread running the calling code, or null on any other thread.
    static TApdDispatcherThread* Current();

protected:
    virtual void Execute() = 0;
    // Runs after Execute has returned or raised, just before ThreadFinished.
    virtual void BeforeFinish() {}

    ThreadedDispatcher& dispatcher_;
    const std::shared_ptr<DispatcherEvents> events_;
    bool endedByException_ = false; // set before BeforeFinish runs

private:
    void Run();

    const std::shared_ptr<ThreadLife> life_;
    std::mutex priorityLock_;
    std::int64_t nativeId_ = 0; // priorityLock_
    std::atomic<int> level_{3};
};

class TComThread final : public TApdDispatcherThread {
public:
    using TApdDispatcherThread::TApdDispatcherThread;

protected:
    void Execute() override;

private:
    // Waits until a pass begun after device event `handed` is over, or until the pass
    // turns out to be held by a notification's delivery (DeliveryWatchMs), after which the
    // comm thread moves received bytes into the ring itself until the delivery ends.
    void AwaitPass(std::uint64_t handed);
    // Runs the pass serving the last device event on this thread when the dispatch thread
    // is in none; false when it is, and the event is to be handed over.
    bool RunPassHere(DispatcherEvents& events);
};

class TDispThread final : public TApdDispatcherThread {
public:
    using TApdDispatcherThread::TApdDispatcherThread;

protected:
    void Execute() override;
    void BeforeFinish() override;
};

class TOutThread final : public TApdDispatcherThread {
public:
    using TApdDispatcherThread::TApdDispatcherThread;

protected:
    void Execute() override;
    void BeforeFinish() override;
};

// A pause after repeated immediate failures of the device, so that a thread never spins
// on them: 1 ms after the second failure in a row, doubling up to one heartbeat. Ends at
// once when the threads are asked to stop.
class FailurePause {
public:
    explicit FailurePause(DispatcherEvents& events) : events_(events) {}
    void Failed();
    void Succeeded() { failures_ = 0; }

private:
    DispatcherEvents& events_;
    unsigned failures_ = 0;
};

} // namespace apd
