#include "comm/threads/DispatcherThreads.h"

#include <algorithm>
#include <exception>
#include <string>
#include <thread>

#include "comm/threads/ThreadPriority.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd {

namespace {
thread_local TApdDispatcherThread* currentThread = nullptr;
} // namespace

TApdDispatcherThread::TApdDispatcherThread(ThreadedDispatcher& dispatcher,
                                           std::shared_ptr<DispatcherEvents> events,
                                           std::shared_ptr<ThreadLife> life)
    : dispatcher_(dispatcher), events_(std::move(events)), life_(std::move(life)) {}

TApdDispatcherThread* TApdDispatcherThread::Current() {
    return currentThread;
}

void TApdDispatcherThread::Launch(const std::shared_ptr<TApdDispatcherThread>& thread) {
    thread->life_->Enter();
    try {
        std::thread([self = thread] { self->Run(); }).detach();
    } catch (...) {
        thread->life_->Leave(); // no thread could be made: it never runs
        throw;
    }
}

void TApdDispatcherThread::SetPriorityLevel(int level) {
    std::lock_guard hold(priorityLock_);
    level_ = level;
    if (nativeId_ != 0) {
        ApplyThreadPriority(nativeId_, level);
    }
}

void TApdDispatcherThread::Run() {
    currentThread = this;
    {
        std::lock_guard hold(priorityLock_);
        nativeId_ = CurrentThreadPriorityId();
        if (level_ != PriorityNormal) {
            ApplyThreadPriority(nativeId_, level_);
        }
    }
    // Keeps the life record alive past the dispatcher: Leave below is the last act.
    const std::shared_ptr<ThreadLife> life = life_;
    try {
        Execute();
    } catch (const std::exception& error) {
        endedByException_ = true;
        dispatcher_.ReportThreadError(error.what());
    } catch (...) {
        endedByException_ = true;
        dispatcher_.ReportThreadError("unknown exception");
    }
    try {
        BeforeFinish();
        dispatcher_.ThreadFinished(*this);
    } catch (const std::exception& error) {
        // A handler raising inside the release of a deferred close: still reported, and
        // the thread still counts as finished.
        dispatcher_.ReportThreadError(error.what());
    } catch (...) {
        dispatcher_.ReportThreadError("unknown exception");
    }
    currentThread = nullptr;
    life->Leave();
}

void FailurePause::Failed() {
    ++failures_;
    if (failures_ < 2) {
        return;
    }
    const unsigned shift = std::min(failures_ - 2, 6u);
    const unsigned ms = std::min(1u << shift, DispatchHeartbeatMs);
    events_.StopRequested.Wait(ms);
}

// ---- Comm thread ----------------------------------------------------------------------

void TComThread::Execute() {
    ThreadedDispatcher& d = dispatcher_;
    DispatcherEvents& events = *events_;
    // Serial drivers here behave as those of the NT family: the ring trailing edge is not
    // requested. Reads never wait: the device is opened that way.
    d.Device.SetEventMask(CommMaskNtFamily);
    events.ThreadAck.Set();

    // While this thread waits for a handler it delivered to, it keeps taking arriving
    // bytes into the ring, so that a handler waiting for the rest of a message sees them
    // and the driver's queue never fills behind a long handler. Once the handler has run
    // one tick, the thread sleeps on the device between fills: a byte reaches the ring as
    // it arrives, not at the next tick.
    platform::SetSendWaitTick(HeldDeliveryFillMs,
                              [&d] {
                                  if (d.Notifying) {
                                      d.FillStoredBytes();
                                  }
                              },
                              {[&d](unsigned ms) { return d.SleepWhileDeliveryHeld(ms); },
                               [&d] { d.Device.InterruptSleep(); }});
    FailurePause pause(events);
    while (!d.StopThreads) {
        std::uint32_t mask = 0;
        const EventWaitResult result = d.WaitForDeviceEvent(mask);
        bool ends = false;
        switch (result) {
        case EventWaitResult::Events:
            d.CommEventMask = mask;
            if ((mask & CommMaskRing) != 0) {
                d.RingEventSeen = true;
            }
            pause.Succeeded();
            break;
        case EventWaitResult::InvalidParameter:
            if ((d.Device.EventMask() & CommMaskTrailingEdge) != 0) {
                d.Device.SetEventMask(CommMaskNtFamily);
            } else {
                pause.Failed();
            }
            break;
        case EventWaitResult::Failed:
            pause.Failed();
            break;
        case EventWaitResult::DeviceLost:
            // The device is gone for good: its wait would report the loss for ever. The
            // loss is recorded and the thread ends; the dispatch thread's heartbeat goes
            // on until the port is closed.
            d.RecordDeviceLoss();
            ends = true;
            break;
        case EventWaitResult::Cancelled: // the mask was taken away: the port is stopping
        case EventWaitResult::NotOpen:
            ends = true;
            break;
        }
        if (ends || d.StopThreads) {
            break;
        }
        const std::uint64_t handed = ++d.CommEventsStored;
        if (RunPassHere(events)) {
            continue;
        }
        if (d.Notifying) {
            // A delivery holds the dispatch thread, for as long as its handler takes: the
            // bytes go into the ring now, so that a handler waiting for them sees them.
            // The pass after the delivery runs the trigger checks over them, in order.
            d.FillStoredBytes();
        }
        events.CommEventReady.Set();
        AwaitPass(handed);
    }
    platform::SetSendWaitTick(0, {});
    events.ThreadAck.Set();
}

bool TComThread::RunPassHere(DispatcherEvents& events) {
    ThreadedDispatcher& d = dispatcher_;
    // The dispatch thread is idle: this thread runs the pass itself, which saves handing
    // the event over and waking it. When that thread is in a pass (a heartbeat, a change
    // of the triggers, a delivery), the event is handed over as before; so it is while a
    // stream flows, where reading on during the deliveries is worth more than the wake-up.
    if (d.StreamFlowing) {
        return false;
    }
    std::unique_lock pass(d.PassLock, std::try_to_lock);
    if (!pass.owns_lock() || d.PassFailure) {
        return false;
    }
    try {
        d.DispatchPass(events);
        d.TimerPass();
    } catch (...) {
        // A handler raised: the dispatch thread ends with it, as when it delivers itself,
        // and no pass runs here any more.
        d.PassFailure = std::current_exception();
        pass.unlock();
        events.CommEventReady.Set();
        return true;
    }
    pass.unlock();
    if (d.Stopping() || (!d.HeartbeatOn && d.HeartbeatNeededWithoutDevice())) {
        // The dispatch thread ends the port (a handler closed it), or has work to look at
        // again at its heartbeat.
        events.CommEventReady.Set();
    }
    return true;
}

void TComThread::AwaitPass(std::uint64_t handed) {
    ThreadedDispatcher& d = dispatcher_;
    DispatcherEvents& events = *events_;
    while (!d.StopThreads && d.CommEventsServed < handed) {
        if (events.DispatchDone.Wait(DeliveryWatchMs) == platform::WaitResult::Signalled ||
            !d.Notifying) {
            continue;
        }
        // The pass is held by a delivery. The device reports its input once per change, so
        // the bytes of this event are taken now; the device is watched again from here on
        // and later bytes are stored as they arrive (above).
        d.FillStoredBytes();
        return;
    }
}

// ---- Dispatch thread ------------------------------------------------------------------

void TDispThread::Execute() {
    ThreadedDispatcher& d = dispatcher_;
    DispatcherEvents& events = *events_;
    events.ThreadAck.Set();
    unsigned wait = DispatchHeartbeatMs;
    for (;;) {
        events.CommEventReady.Wait(wait); // a time-out is a heartbeat
        if (d.StopThreads) {
            break;
        }
        {
            std::lock_guard pass(d.PassLock);
            if (d.PassFailure) {
                std::rethrow_exception(d.PassFailure); // raised in a pass of the comm thread
            }
            d.DispatchPass(events);
            d.TimerPass();
        }
        if (d.Stopping()) {
            events.ThreadAck.Set();
            break;
        }
        // The heartbeat runs whenever a pass could find work without a device event.
        // When none could, the thread sleeps until the next device event, a new trigger
        // or the stop, so that an idle port costs nothing.
        const bool heartbeat = d.HeartbeatNeeded();
        d.HeartbeatOn = heartbeat;
        wait = heartbeat ? DispatchHeartbeatMs : platform::InfiniteTimeout;
    }
}

void TDispThread::BeforeFinish() {
    if (endedByException_) {
        // The exception left a delivery unfinished; no delivery runs any more, so a later
        // close must not wait for one.
        dispatcher_.InDataNotification = false;
        dispatcher_.Notifying = false;
    }
    dispatcher_.ReleaseOnExit = dispatcher_.CloseDeferred || dispatcher_.StopThreads;
}

// ---- Output thread --------------------------------------------------------------------

void TOutThread::Execute() {
    ThreadedDispatcher& d = dispatcher_;
    DispatcherEvents& events = *events_;
    events.ThreadAck.Set();
    platform::Event* const idle[] = {&events.OutputReady, &events.OutputFlush};
    while (!d.Stopping()) {
        const int index = platform::WaitForAny(idle, platform::InfiniteTimeout);
        if (index == 0) {
            if (d.StopThreads) {
                break;
            }
            d.DrainOutputBuffer(events);
        } else if (index == 1) {
            events.FlushAck.Set(); // the flush or stop request is acknowledged
        }
    }
}

void TOutThread::BeforeFinish() {
    events_->OutputEnded.Set();
}

} // namespace apd
