#pragma once
// The threaded dispatcher over the machine's serial device: every device operation of
// TApdBaseDispatcher on a SerialDevice, and the three worker threads that serve an open
// port (DispatcherThreads.h). The program and the port component know it by the name
// TApdWin32Dispatcher, which it has had since it ran only on Windows.
//
// This file and its .cpp are the same on every platform; what differs per platform is
// SerialDevice, behind its own interface.
//
// Lifetime. OpenDevicePort creates the events and, as its last step, starts the threads;
// CloseDevicePort (or the destructor) stops them and frees the buffers. The stop waits
// until every thread has made its last touch of the dispatcher, whichever thread runs it,
// and serves the calling thread's messages meanwhile, so that a thread that is sending to
// one of that thread's windows, or waiting for a call on it, can finish.
//
// Threads call into the dispatcher while it is open, virtual device operations included; so
// the destructor of the most derived class must stop them (ShutDownDispatcher) before its
// own part of the object goes. A dispatcher may be destroyed on any thread that is not one
// of its own workers.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "comm/device/SerialDevice.h"
#include "comm/dispatch/BaseDispatcher.h"
#include "comm/threads/DispatcherEvents.h"

namespace apd {

class TApdDispatcherThread;
class TComThread;
class TDispThread;
class TOutThread;
class MainThreadCall;

// What a thread ending on an exception reports; the text of the exception.
using ThreadErrorReport = std::function<void(const std::string& text)>;
// Starts a dispatcher thread (TApdDispatcherThread::Launch); std::system_error when no
// thread can be made.
using ThreadLauncher = std::function<void(std::shared_ptr<TApdDispatcherThread> thread)>;

class ThreadedDispatcher : public TApdBaseDispatcher {
public:
    explicit ThreadedDispatcher(TApdBaseComponent* owner);
    ~ThreadedDispatcher() override;

    // ---- Device operations ----------------------------------------------------------
    // A line function; 0, or a negative code when the device cannot carry it out (a
    // pseudo-terminal has no modem lines).
    ErrorCode DeviceEscape(int func) override;
    ErrorCode DeviceFlush(int queue) override;
    ErrorCode DeviceGetStatus(apd::DeviceStatus& stat, std::uint32_t& lineErrors) override;
    // Reads never wait and return 0 from an empty device, so a read asks the device for
    // its line errors alone and reads what the ring has room for; a write needs the
    // output ring's count, which is the dispatcher's own.
    ErrorCode DeviceGetInputStatus(std::uint32_t& waiting, std::uint32_t& lineErrors) override;
    ErrorCode DeviceGetOutputStatus(std::uint32_t& pending, std::uint32_t& lineErrors) override;
    void DeviceReadFailed() override;
    ErrorCode DeviceGetState(LineState& state) override;
    std::int32_t DeviceRead(std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode DeviceSetState(LineState& state) override;
    std::int32_t DeviceWrite(const std::uint8_t* buffer, std::uint32_t size) override;
    // One device event wait (see WaitForDeviceEvent); true when events were reported.
    bool DeviceWaitEvent(std::uint32_t& mask) override;
    ErrorCode DeviceSetupQueues(std::uint32_t inSize, std::uint32_t outSize) override;
    // Waits, looking every millisecond, until the output ring and the driver's queue are
    // empty, within the bound of what was pending at the start. No wait when the device is
    // lost; false when the ring holds bytes and no output thread runs to send them.
    bool DeviceDrainOutput(std::uint32_t characterMicros) override;
    void FreePortResources() override;
    // Starts the three threads; std::runtime_error "Dispatcher already started" when they
    // run already. When one cannot be made, none after it is started and the result is
    // ecNoHandles (ecMemory when its object could not be allocated); the threads that did
    // start keep running until the caller stops them (OpenDevicePort closes the port).
    ErrorCode StartDispatcher() override;
    // Stops the threads and closes the events; returns when every thread has finished.
    void StopDispatcher() override;
    std::intptr_t DeviceOpen(const std::string& name, std::uint32_t inSize,
                             std::uint32_t outSize) override;
    ErrorCode DeviceClose() override;
    ErrorCode YieldTime() override;
    // Applies the boost to the threads that exist (best effort, ThreadPriority.h).
    void SetThreadPriorityBoost(std::uint8_t boost) override;
    // The modem lines; 0 when the device cannot report them.
    ErrorCode DeviceModemStatus(std::uint32_t& status) override;

    // The device event wait with its full outcome.
    EventWaitResult WaitForDeviceEvent(std::uint32_t& mask);

    // ---- State the port component and the program read ------------------------------
    // True once the device went away while the port was open (a USB adapter pulled, the
    // far end of a pseudo-terminal closed); stays set until the next open.
    bool DeviceLost() const { return DeviceLostFlag; }
    // Threads created and not yet finished.
    int LiveThreads() const;
    // False while the dispatch thread sleeps until the next device event, trigger or stop
    // because no pass could find work without one (HeartbeatNeeded).
    bool HeartbeatActive() const { return HeartbeatOn; }
    // The priority level each thread was last given (3 normal); -1 when it does not run.
    int CommThreadPriority() const;
    int DispatchThreadPriority() const;
    int OutputThreadPriority() const;
    // Called, on the ending thread, with the text of an exception that ended a thread
    // (for instance one raised by a handler run on the main thread). The default writes
    // it to the standard error stream; the port component passes it on to the
    // application's exception handler. Set it before the port is opened.
    void SetThreadErrorReport(ThreadErrorReport report);
    // Replaces the way threads are started (an empty launcher restores the default), so
    // that a test can make a start fail. Set it before the port is opened.
    void SetThreadLauncher(ThreadLauncher launcher);

    // Thread bookkeeping, run by each thread as the last touch of the dispatcher.
    void ThreadFinished(TApdDispatcherThread& thread);

    std::atomic<TApdDispatcherThread*> CommWorker{nullptr};
    std::atomic<TApdDispatcherThread*> DispatchWorker{nullptr};
    std::atomic<TApdDispatcherThread*> OutputWorker{nullptr};
    // Held while another thread uses a worker object through these references, and by
    // ThreadFinished while it clears them: a thread's object lives until its run function
    // returns, which is after ThreadFinished, so a reference read under this lock stays
    // valid while the lock is held.
    mutable std::mutex WorkerUseLock;
    std::atomic<std::int32_t> RunningThreads{0};

protected:
    // Closes the port (or completes a deferred close) and waits until every thread has
    // finished. Idempotent; every destructor of a class derived from this one calls it
    // first.
    void ShutDownDispatcher();

    void CreateDispatcherEvents() override;
    // Has the dispatch thread look at the triggers at once.
    void TriggersChanged() override;
    // Gives the output thread the priority level RS-485 asks for.
    void SetOutputThreadPriority(int level) override;
    // Runs a synchronized method handler on the thread that started the dispatcher and
    // waits for it.
    void SyncNotify(std::uint32_t msg, std::uint32_t wParam, const NotifyMethod& method,
                    std::uint32_t lParam) override;
    platform::ThreadId SyncNotifyThread() const override;
    // A close during a delivery waits for it (the stop serves the closing thread's
    // messages meanwhile) unless it runs on one of the dispatcher's threads or inside the
    // handler being called, which the delivery waits for.
    bool CloseMustBeDeferred() const override;

    // The events, or null once closed. Callers keep the reference while they use them.
    std::shared_ptr<DispatcherEvents> EventsRef() const;
    // Drops the dispatcher's reference to the events; idempotent.
    void CloseDispatcherEvents();

    // Forgets a loss of the previous open; each DeviceOpen starts with it.
    void ClearDeviceLoss() { DeviceLostFlag = false; }

    SerialDevice Device;

private:
    friend class TApdDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

    // Dispatch thread.
    void DispatchPass(DispatcherEvents& events);
    void TimerPass();
    bool Stopping() const { return DeliveriesStopped(); }
    // FillDispatchBuffer; the bytes it stored in the ring.
    std::uint64_t FillStoredBytes();
    // True when a pass without a device event could find work: timer or status triggers,
    // modem or line status to refresh, bytes still waiting in the device or not yet
    // scanned, a delivery in progress, or no comm thread to report events.
    bool HeartbeatNeeded();
    // The part of HeartbeatNeeded that needs no call of the device.
    bool HeartbeatNeededWithoutDevice();
    // Output thread.
    bool OutputPending();
    // Bytes in the output ring and the driver's queue; -1 when the device cannot tell or
    // nothing would send the ring's bytes.
    std::int64_t QueuedForOutput();
    void DrainOutputBuffer(DispatcherEvents& events);
    // Comm thread.
    void RecordDeviceLoss();
    // The comm thread's sleep while a handler it delivered to runs (platform::SendWaitSleep):
    // until the device has bytes the ring has room for, or the answer. False when there is
    // no delivery to fill the ring for, or the device cannot be slept on.
    bool SleepWhileDeliveryHeld(unsigned ms);

    // Waits until pred holds; on a thread that is not one of this dispatcher's workers it
    // serves the calling thread's messages while it waits.
    template <class Pred>
    void WaitForThreads(Pred pred);
    void WaitForAllThreads();
    void ApplyPriorities();
    void ReportThreadError(const std::string& text);

    mutable std::mutex eventsLock_; // leaf lock: guards events_ only
    std::shared_ptr<DispatcherEvents> events_;
    const std::shared_ptr<ThreadLife> life_ = std::make_shared<ThreadLife>();
    std::unique_ptr<MainThreadCall> mainCall_; // made by the first StartDispatcher
    std::atomic<bool> DeviceLostFlag{false};
    std::atomic<bool> HeartbeatOn{true};
    // Device events the comm thread has handed over, and the last of them that a pass
    // begun after it has served. The comm thread waits for its own event to be served,
    // not for any pass to end: a heartbeat pass that began before the event would release
    // it while the event's bytes are still unread, and the next device wait would find
    // them sitting there and miss the next arrival.
    std::atomic<std::uint64_t> CommEventsStored{0};
    std::atomic<std::uint64_t> CommEventsServed{0};
    // Held by the thread running a dispatch pass: the dispatch thread, or the comm thread
    // when it finds the dispatch thread in none. Taken before DataLock and InputLock.
    std::mutex PassLock;
    // What a handler raised in a pass of the comm thread, for the dispatch thread to end
    // with; PassLock.
    std::exception_ptr PassFailure;
    // Set by a fill of the ring that took a stream's block (at least StreamReadBytes),
    // cleared by one that found nothing. While a stream flows, the comm thread hands its
    // events over, so that it goes on reading while the dispatch thread delivers.
    std::atomic<bool> StreamFlowing{false};
    // Set while an output flush empties the ring, so that the output thread starts no
    // new write from bytes that are about to be discarded.
    std::atomic<bool> FlushInProgress{false};
    ThreadErrorReport errorReport_; // DataLock
    ThreadLauncher launcher_;       // empty: TApdDispatcherThread::Launch; the opening thread's
};

// The name callers use for the threaded dispatcher.
using TApdWin32Dispatcher = ThreadedDispatcher;

} // namespace apd
