#pragma once
// Window messaging for the library: hidden windows with a window procedure, one message
// queue per thread, posted and sent messages.
//
// It behaves as the Windows messaging the library was designed around:
// - A window belongs to the thread that created it; its procedure runs on that thread.
// - Posting appends to the owner thread's queue and returns at once.
// - Sending to a window of the calling thread calls the procedure directly. Sending to a
//   window of another thread waits until that thread has handled the message, which it
//   does the next time it calls PeekWindowMessage (incoming sent messages are handled
//   there before any posted message is returned) or waits for queue activity.
// - A timed send that the receiving thread had not taken when the time-out passed is
//   withdrawn and never delivered; one that the receiver had already taken runs to
//   completion on the receiver after the sender has gone on.
// - While it waits, a sender runs the messages other threads send to it, except in a timed
//   send with SmtoBlock; so two threads that send to each other do not deadlock.
// - Destroying a window drops its posted messages and fails the sends still waiting for it.
//   When a thread ends, its windows are destroyed the same way.
// - Window handles are never reused.
//
// The names differ from the Win32 ones on purpose: windows.h defines most of those as
// macros, and the Windows build includes it.

#include "comm/platform/Timeout.h"

#include <cstdint>
#include <functional>
#include <string>

namespace apd::platform {

using WindowHandle = std::uintptr_t; // 0 is no window
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using ThreadId = std::uint64_t;

using WindowProc = LResult (*)(WindowHandle window, std::uint32_t message, WParam wParam,
                               LParam lParam);

inline constexpr std::uint32_t QuitMessage = 0x0012;

// Flags of SendWindowMessageTimeout.
inline constexpr unsigned SmtoNormal = 0x0000;
inline constexpr unsigned SmtoBlock = 0x0001;

struct Message {
    WindowHandle window = 0; // 0 for a thread message such as the quit request
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// The calling thread's id as the messaging knows it.
ThreadId CurrentThreadId();

// Registers a window class whose windows carry extraBytes bytes of extra data. False when a
// class of that name exists already, proc is null or extraBytes is negative.
bool RegisterWindowClass(const std::string& className, WindowProc proc, int extraBytes);
bool IsWindowClassRegistered(const std::string& className);

// Creates a hidden window of a registered class, owned by the calling thread.
// Returns 0 when the class is unknown.
WindowHandle CreateHiddenWindow(const std::string& className);
// Destroys a window; messages still queued for it are discarded and pending sends to it
// fail. Only the window's own thread may destroy it: false when the window does not exist
// or belongs to another thread.
bool DestroyHiddenWindow(WindowHandle window);
bool IsWindow(WindowHandle window);
// The thread that owns the window; 0 when it does not exist.
ThreadId WindowThread(WindowHandle window);

// The window's extra bytes, addressed by byte offset, pointer-sized values. A value that
// does not lie wholly inside the extra bytes is not accessed: Get returns 0, Set false
// (so a class needs sizeof(std::intptr_t) extra bytes per value it keeps there).
std::intptr_t GetWindowExtra(WindowHandle window, int offset);
bool SetWindowExtra(WindowHandle window, int offset, std::intptr_t value);

// The default procedure: does nothing and returns 0.
LResult DefaultWindowProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);

// Appends a message to the queue of the window's thread. False when the window does not
// exist.
bool PostWindowMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Posts the quit request to the calling thread's queue. PeekWindowMessage reports it, as
// a thread message (window 0) QuitMessage with the exit code in wParam, once no posted
// message is left; a second request before that only replaces the exit code.
void PostQuitRequest(int exitCode);

// Sends and waits without a time limit. Returns 0 when the message could not be delivered
// (as SendWindowMessageTimeout below).
LResult SendWindowMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Sends and waits up to timeoutMs (InfiniteTimeout: without a limit). True when the
// procedure ran and returned in time, with its result in *result (when not null; 0 on
// failure). False when the window does not exist, was destroyed or its thread ended before
// taking the message, or the time ran out.
bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam, unsigned flags, unsigned timeoutMs, LResult* result);

// True while the calling thread runs a window procedure for a message another thread sent
// it (and is waiting for): the procedure's caller is that other thread.
bool ServingSentMessage();

// Sets the calling thread's send tick: while the thread waits for the answer to a message
// it sent to another thread, `tick` runs on it every `intervalMs`, with no lock of this
// layer held, so that the thread can keep up work that cannot wait for the answer. An
// empty function removes it (and the sleep below with it). A tick must not send window
// messages itself.
//
// `sleep` is a sleep of the thread's own that it may take between the tick's runs, so that
// the tick runs when its work arrives rather than at the next interval (a thread that reads a
// device sleeps until the device is readable). `sleep(ms)` sleeps at most ms
// (InfiniteTimeout: no limit of the caller's) and returns early when `interrupt` is
// called; false when it cannot sleep now, and the thread then sleeps one interval on its
// queue instead. The answer to the send, a failure of it, or a message sent to the thread
// calls `interrupt`, from another thread and under a lock of this layer, so it must be
// quick, must send no window message, and must stay callable while the tick is set. The
// first wait of each send still sleeps on the thread's queue for one interval: an answer
// that comes quickly costs nothing more. The sleep runs with no lock of this layer held.
struct SendWaitSleep {
    std::function<bool(unsigned ms)> sleep;
    std::function<void()> interrupt;
};
void SetSendWaitTick(unsigned intervalMs, std::function<void()> tick, SendWaitSleep sleep = {});

// Handles every message sent to the calling thread's windows from other threads, then
// returns the first posted message, removing it when remove is true; the quit request
// comes once no posted message is left. False when neither is waiting.
bool PeekWindowMessage(Message& out, bool remove);
// Calls the procedure of the message's window. Returns 0 for thread messages, for windows
// that no longer exist and for windows of other threads (a procedure runs only on its
// window's thread).
LResult DispatchWindowMessage(const Message& message);
// Waits up to timeoutMs (InfiniteTimeout: without a limit) until the calling thread's queue
// has a posted or sent message. Messages sent from other threads are handled here. True
// when it handled such messages or a posted message waits for PeekWindowMessage. A pending
// quit request alone does not count. To wait for events at the same time, see
// WaitForAnyOrQueueActivity (MessageWait.h).
bool WaitForQueueActivity(unsigned timeoutMs);

// Sets the calling thread's wake hook: it is called, on the thread that posts or sends,
// whenever a message is added to this thread's queue, so that a GUI toolkit's event loop
// can be told to drain the queue with PeekWindowMessage. An empty function removes it; once
// this returns, the previous hook is no longer running and is never called again. A hook
// only schedules the drain: it must not post or send window messages itself, nor wait for
// the thread it wakes.
void SetQueueWakeHook(std::function<void()> hook);

} // namespace apd::platform
