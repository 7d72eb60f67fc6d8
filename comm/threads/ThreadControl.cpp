// Starting and stopping the dispatcher's threads, their priorities, the main-thread call
// and the events they share.

#include <cstdio>
#include <new>
#include <stdexcept>
#include <system_error>

#include "comm/platform/MessageWait.h"
#include "comm/platform/PumpOneMessage.h"
#include "comm/threads/DispatcherThreads.h"
#include "comm/threads/MainThreadCall.h"
#include "comm/threads/ThreadPriority.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd {

namespace {
// Bound of one wait for a thread to end before the condition is looked at again; the
// wait normally ends earlier, on the thread's exit or on a message.
constexpr unsigned StopCheckMs = 50;
} // namespace

void ThreadedDispatcher::CreateDispatcherEvents() {
    auto events = std::make_shared<DispatcherEvents>();
    std::lock_guard hold(eventsLock_);
    events_ = std::move(events);
}

std::shared_ptr<DispatcherEvents> ThreadedDispatcher::EventsRef() const {
    std::lock_guard hold(eventsLock_);
    return events_;
}

void ThreadedDispatcher::TriggersChanged() {
    if (const auto events = EventsRef()) {
        events->CommEventReady.Set();
    }
}

void ThreadedDispatcher::CloseDispatcherEvents() {
    std::shared_ptr<DispatcherEvents> closing;
    {
        std::lock_guard hold(eventsLock_);
        closing.swap(events_);
    }
}

void ThreadedDispatcher::FreePortResources() {
    // The base class frees the buffers after StopDispatcher; the events go too, also when
    // no thread was ever started (an open that failed).
    TApdBaseDispatcher::FreePortResources();
    if (life_->Alive() == 0) {
        CloseDispatcherEvents();
    }
}

int ThreadedDispatcher::LiveThreads() const {
    return life_->Alive();
}

ErrorCode ThreadedDispatcher::StartDispatcher() {
    {
        // DataLock only guards the state change: the waits below hold no lock, since a
        // starting thread may need DataLock for its first pass.
        LockHold data(DataLock);
        if (DispatcherActive) {
            throw std::runtime_error("Dispatcher already started");
        }
        DispatcherActive = true;
        StopThreads = false;
        // All three count as running from now on, so that one ending early cannot make
        // the dispatcher look stopped while the others are still being started.
        RunningThreads += 3;
    }
    {
        std::lock_guard pass(PassLock);
        PassFailure = nullptr; // an exception of the previous open's passes
    }
    if (!mainCall_) {
        mainCall_ = std::make_unique<MainThreadCall>();
    }
    auto events = EventsRef();
    if (!events) {
        CreateDispatcherEvents();
        events = EventsRef();
    }

    // After a failure no further thread is started: each one not started no longer counts
    // as running, and the caller stops those that did start.
    ErrorCode failure = ecOK;
    const auto notStarted = [this] {
        if (--RunningThreads == 0) {
            DispatcherActive = false;
        }
    };
    const auto start = [&](std::atomic<TApdDispatcherThread*>& worker, auto make) {
        if (failure != ecOK) {
            notStarted();
            return;
        }
        try {
            std::shared_ptr<TApdDispatcherThread> thread = make();
            worker = thread.get();
            if (launcher_) {
                launcher_(std::move(thread));
            } else {
                TApdDispatcherThread::Launch(thread);
            }
        } catch (const std::system_error&) {
            failure = ecNoHandles; // no thread can be made: the system's limit is reached
        } catch (const std::bad_alloc&) {
            failure = ecMemory;
        }
        if (failure != ecOK) {
            worker = nullptr;
            notStarted();
            return;
        }
        events->ThreadAck.Wait(ThreadStartWaitMs); // a late start is not an error
    };
    start(CommWorker, [&] { return std::make_shared<TComThread>(*this, events, life_); });
    start(DispatchWorker, [&] { return std::make_shared<TDispThread>(*this, events, life_); });
    start(OutputWorker, [&] { return std::make_shared<TOutThread>(*this, events, life_); });
    if (failure == ecOK) {
        ApplyPriorities();
    }
    return failure;
}

void ThreadedDispatcher::SetThreadLauncher(ThreadLauncher launcher) {
    launcher_ = std::move(launcher);
}

template <class Pred>
void ThreadedDispatcher::WaitForThreads(Pred pred) {
    const bool onWorker = TApdDispatcherThread::Current() != nullptr;
    while (!pred()) {
        if (onWorker) {
            // A worker (the dispatch thread releasing the port as it ends) has no windows
            // to serve; it sleeps until a thread ends. It waits on the condition, not on
            // the event, which belongs to the thread that serves messages meanwhile.
            life_->WaitUntil(pred);
            continue;
        }
        // Served while waiting: messages sent from the threads (a notification to one of
        // this thread's windows, a synchronized handler call) and one posted message per
        // round, a quit request being put back rather than handled.
        platform::Event* const exited[] = {&life_->Exited()};
        const int woke = platform::WaitForAnyOrQueueActivity(exited, StopCheckMs);
        if (woke == 1) {
            PumpOneMessage();
        }
    }
}

void ThreadedDispatcher::WaitForAllThreads() {
    const TApdDispatcherThread* self = TApdDispatcherThread::Current();
    const int remaining = self != nullptr && &self->Dispatcher() == this ? 1 : 0;
    WaitForThreads([&] { return life_->Alive() <= remaining; });
}

void ThreadedDispatcher::StopDispatcher() {
    {
        LockHold data(DataLock); // only to test and set the flags: nothing waits under it
        if (!DispatcherActive) {
            return;
        }
        StopThreads = true;
    }
    const auto events = EventsRef();
    if (events) {
        events->StopRequested.Set();
    }
    if (OutputWorker != nullptr && events) {
        events->OutputFlush.Set();
        Device.CancelWrite();
        WaitForThreads([&] { return OutputWorker == nullptr; });
    }
    if (CommWorker != nullptr) {
        Device.SetEventMask(0); // ends a device event wait in progress
        if (events) {
            events->DispatchDone.Set();
            events->ThreadAck.Reset();
        }
        WaitForThreads([&] { return CommWorker == nullptr; });
    }
    if (events) {
        events->CommEventReady.Set(); // the dispatch thread sees the stop at once
    }
    WaitForThreads([&] { return DispatchWorker == nullptr; });
    // Every thread but the caller (when it is this dispatcher's dispatch thread) has now
    // finished with the dispatcher, so the buffers and events may go.
    WaitForAllThreads();
    CloseDispatcherEvents();
}

void ThreadedDispatcher::ThreadFinished(TApdDispatcherThread& thread) {
    bool wasDispatchWorker = false;
    {
        std::lock_guard use(WorkerUseLock);
        TApdDispatcherThread* expected = &thread;
        CommWorker.compare_exchange_strong(expected, nullptr);
        expected = &thread;
        OutputWorker.compare_exchange_strong(expected, nullptr);
        expected = &thread;
        wasDispatchWorker = DispatchWorker.compare_exchange_strong(expected, nullptr);
    }
    if (wasDispatchWorker) {
        if (ReleaseOnExit) {
            FreePortResources();
            ReleaseOnExit = false;
        }
    }
    if (--RunningThreads == 0) {
        DispatcherActive = false;
    }
}

void ThreadedDispatcher::SetThreadPriorityBoost(std::uint8_t boost) {
    {
        LockHold data(DataLock);
        if (boost == PriorityBoost) {
            return;
        }
        PriorityBoost = boost;
    }
    ApplyPriorities();
}

void ThreadedDispatcher::ApplyPriorities() {
    int boost = 0;
    {
        LockHold data(DataLock);
        boost = PriorityBoost;
    }
    const int normal = PriorityNormal + boost;
    std::lock_guard use(WorkerUseLock);
    if (TApdDispatcherThread* t = CommWorker) {
        t->SetPriorityLevel(normal);
    }
    if (TApdDispatcherThread* t = DispatchWorker) {
        t->SetPriorityLevel(normal);
    }
    if (TApdDispatcherThread* t = OutputWorker) {
        t->SetPriorityLevel(RS485Mode ? normal + 1 : normal);
    }
}

void ThreadedDispatcher::SetOutputThreadPriority(int level) {
    std::lock_guard use(WorkerUseLock);
    if (TApdDispatcherThread* t = OutputWorker) {
        t->SetPriorityLevel(level);
    }
}

namespace {
int LevelOf(const std::atomic<TApdDispatcherThread*>& worker) {
    const TApdDispatcherThread* t = worker;
    return t != nullptr ? t->PriorityLevel() : -1;
}
} // namespace

int ThreadedDispatcher::CommThreadPriority() const {
    std::lock_guard use(WorkerUseLock);
    return LevelOf(CommWorker);
}
int ThreadedDispatcher::DispatchThreadPriority() const {
    std::lock_guard use(WorkerUseLock);
    return LevelOf(DispatchWorker);
}
int ThreadedDispatcher::OutputThreadPriority() const {
    std::lock_guard use(WorkerUseLock);
    return LevelOf(OutputWorker);
}

void ThreadedDispatcher::SyncNotify(std::uint32_t msg, std::uint32_t wParam,
                                    const NotifyMethod& method, std::uint32_t lParam) {
    const auto call = [&] {
        method.Code(method.Data, msg, wParam, static_cast<platform::LParam>(lParam));
    };
    if (!mainCall_ || mainCall_->OnCallThread()) {
        call();
        return;
    }
    mainCall_->Run(call);
}

platform::ThreadId ThreadedDispatcher::SyncNotifyThread() const {
    return mainCall_ ? mainCall_->CallThread() : platform::CurrentThreadId();
}

bool ThreadedDispatcher::CloseMustBeDeferred() const {
    if (TApdDispatcherThread::Current() != nullptr) {
        return true;
    }
    // A handler of this thread runs only inside a message a dispatcher thread sent here.
    // Outside one, the delivery either has not reached this thread yet or is past its
    // handler here: the close then waits for it, serving what it still sends.
    return HandlerThread == platform::CurrentThreadId() && platform::ServingSentMessage();
}

void ThreadedDispatcher::SetThreadErrorReport(ThreadErrorReport report) {
    LockHold data(DataLock);
    errorReport_ = std::move(report);
}

void ThreadedDispatcher::ReportThreadError(const std::string& text) {
    ThreadErrorReport report;
    {
        LockHold data(DataLock);
        report = errorReport_;
    }
    if (report) {
        report(text);
    } else {
        std::fprintf(stderr, "dispatcher thread ended: %s\n", text.c_str());
    }
}

} // namespace apd
