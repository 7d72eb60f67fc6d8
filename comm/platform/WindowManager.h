#pragma once
// The process-wide window manager behind the messaging functions: the window classes, the
// windows and one message queue per thread, all guarded by one lock, as the operating system
// keeps them for a real process. Internal to this layer.

#include "comm/platform/Messaging.h"
#include "comm/platform/WakeWord.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace apd::platform::detail {

class Waiter;
struct ThreadQueue;

// A message sent to a window of another thread, from the moment it is queued until the
// sender has its answer. The sender and the receiving queue share it, so that a message the
// receiver has taken can run to completion after the sender has stopped waiting.
struct PendingSend {
    enum class State { Queued, Taken, Done, Failed };

    PendingSend(const Message& sent, std::shared_ptr<ThreadQueue> from)
        : message(sent), sender(std::move(from)) {}

    const Message message;
    const std::shared_ptr<ThreadQueue> sender;
    State state = State::Queued; // guarded by the manager's lock
    LResult result = 0;          // guarded by the manager's lock
};

struct ThreadQueue {
    explicit ThreadQueue(ThreadId owner) : thread(owner) {}

    const ThreadId thread;

    // Guarded by the manager's lock.
    std::deque<Message> posted;
    std::deque<std::shared_ptr<PendingSend>> incoming; // sent to this thread, not yet taken
    bool quitRequested = false;
    int quitCode = 0;
    Waiter* activityWatcher = nullptr; // the owner, while it waits for queue activity
    // The owner sleeps here while it waits for the answer to a send of its own, or for
    // activity of this queue alone.
    WakeWord ownerWake;
    // The owner's own sleep while it waits for the answer to a send (SendWaitSleep): its
    // interrupt, set only while the owner takes that sleep.
    const std::function<void()>* sleepInterrupt = nullptr;

    // The wake hook; its calls hold hookMutex, so once SetQueueWakeHook has replaced it the
    // old hook is never called again. Recursive, because a hook may post to its own thread.
    std::recursive_mutex hookMutex;
    std::function<void()> wakeHook; // guarded by hookMutex
};

struct WindowClassRecord {
    WindowProc proc;
    int extraBytes;
};

struct WindowRecord {
    WindowProc proc;
    std::shared_ptr<ThreadQueue> owner;
    std::vector<std::byte> extra;
};

class WindowManager {
public:
    static WindowManager& Instance();

    // Null when the window does not exist. Lock held.
    WindowRecord* FindWindow(WindowHandle window);

    std::mutex lock;
    std::unordered_map<std::string, WindowClassRecord> classes; // guarded by lock
    std::unordered_map<WindowHandle, WindowRecord> windows;     // guarded by lock
    WindowHandle lastWindow = 0; // guarded by lock; handles are never reused
};

// The calling thread's queue, created on first use and released when the thread ends.
std::shared_ptr<ThreadQueue> CurrentThreadQueue();
// What a thread's end does to its queue (see ThreadQueue.cpp); the platform's thread-exit
// hook calls it with the manager's lock not held.
void ReleaseQueue(ThreadQueue& queue);

// Wakes the owner of queue because a message arrived for it, when it waits for its queue
// together with events. Manager lock held.
void NotifyArrival(ThreadQueue& queue);
// Wakes the owner of queue when it sleeps on ownerWake: waiting for its queue alone or for
// the answer to a send. Called after the manager's lock is released, so that the woken
// thread does not run into the lock still held and sleep a second time; the caller keeps
// the queue alive.
void WakeOwner(ThreadQueue& queue);
// Calls the queue's wake hook, if it has one. Manager lock not held.
void CallWakeHook(ThreadQueue& queue);

// Ends the owner's own sleep while it waits for the answer to a send, if it takes one.
// Manager lock held.
void InterruptOwnerSleep(ThreadQueue& queue);
// Tells the sender that its message will never be delivered. Manager lock held.
void FailPendingSend(PendingSend& pending);
// Runs every message sent to queue (the calling thread's) from other threads, releasing the
// manager's lock around each procedure call. Returns how many ran.
int HandleIncomingSends(std::unique_lock<std::mutex>& lock, ThreadQueue& queue);

// PeekWindowMessage that also reports how many incoming sent messages it handled.
bool PeekPostedMessage(Message& out, bool remove, int& sendsHandled);

} // namespace apd::platform::detail
