#pragma once
// Runs calls on one chosen thread (the thread that created the object, normally the main
// thread) and waits for them, through a hidden window of that thread: the call is sent as
// a window message, so it runs whenever that thread serves its message queue, including
// while it waits for the dispatcher's threads to stop.

#include <exception>
#include <functional>

#include "comm/platform/Messaging.h"

namespace apd {

class MainThreadCall {
public:
    MainThreadCall(); // on the thread that is to run the calls
    // Destroys the window when run on its thread; otherwise the window goes when its
    // thread ends.
    ~MainThreadCall();
    MainThreadCall(const MainThreadCall&) = delete;
    MainThreadCall& operator=(const MainThreadCall&) = delete;

    bool OnCallThread() const;
    platform::ThreadId CallThread() const { return thread_; }
    // Runs call on the chosen thread (directly when already on it) and returns after it
    // has returned; an exception it raised is raised again here. False when the window is
    // gone and the call did not run.
    bool Run(const std::function<void()>& call);

private:
    platform::WindowHandle window_ = 0;
    platform::ThreadId thread_ = 0;
};

} // namespace apd
