#include "comm/port/ThreadErrorMailbox.h"

#include <exception>
#include <stdexcept>

#include "comm/dispatch/NotificationMessages.h"
#include "comm/port/ApplicationExceptions.h"

namespace apd {

void ThreadErrorMailbox::Post(const std::string& text) {
    platform::WindowHandle window = 0;
    std::uint32_t lParam = 0;
    {
        std::lock_guard hold(lock_);
        texts_.push_back(text);
        window = window_;
        lParam = lParam_;
    }
    if (window != 0) {
        // A window that has just gone drops the message; its thread delivers the error
        // when it lets go of the window (SetWindow(0) then Deliver).
        platform::PostWindowMessage(window, MsgThreadError, 0,
                                    static_cast<platform::LParam>(lParam));
    }
}

void ThreadErrorMailbox::SetWindow(platform::WindowHandle window, std::uint32_t lParam) {
    bool waiting = false;
    {
        std::lock_guard hold(lock_);
        window_ = window;
        lParam_ = lParam;
        waiting = !texts_.empty();
    }
    if (window != 0 && waiting) {
        platform::PostWindowMessage(window, MsgThreadError, 0,
                                    static_cast<platform::LParam>(lParam));
    }
}

void ThreadErrorMailbox::Deliver() {
    for (;;) {
        std::string text;
        {
            std::lock_guard hold(lock_);
            if (texts_.empty()) {
                return;
            }
            text = std::move(texts_.front());
            texts_.pop_front();
        }
        // No lock is held while the application's handler runs: it may show a dialog.
        HandleApplicationException(std::make_exception_ptr(std::runtime_error(text)));
    }
}

} // namespace apd
