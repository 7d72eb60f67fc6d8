#pragma once
// Errors of a dispatcher's threads on their way to the application's exception handler. A
// dispatcher thread leaves each error here and wakes the port's notification window; the
// window's thread, the thread that opened the port, passes them on, each once.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "comm/platform/Messaging.h"

namespace apd {

class ThreadErrorMailbox {
public:
    // Any thread: keeps the text of an error and posts MsgThreadError to the window, when
    // there is one.
    void Post(const std::string& text);
    // The window's thread: the window told from now on, and the lParam of its message (0:
    // none). A window set while errors wait is told at once.
    void SetWindow(platform::WindowHandle window, std::uint32_t lParam);
    // The window's thread: passes every error kept so far to the application's exception
    // handler, oldest first, each as a std::runtime_error with the error's text.
    void Deliver();

private:
    std::mutex lock_;
    std::deque<std::string> texts_;     // lock_
    platform::WindowHandle window_ = 0; // lock_
    std::uint32_t lParam_ = 0;          // lock_
};

} // namespace apd
