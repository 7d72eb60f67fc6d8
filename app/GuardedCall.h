#pragma once
// Runs a handler that a control or a timer called, so that an exception it raises never
// leaves into Qt's event loop: it goes to the window's error report instead.

#include <exception>
#include <functional>
#include <utility>

namespace vorsilan::app {

// The application's error report: the program's error box, or the status bar for a device
// that went away.
using ErrorReport = std::function<void(std::exception_ptr)>;

// Calls handler; an exception it raises goes to report (and is dropped when report is
// empty).
template <typename Handler>
void GuardedCall(const ErrorReport& report, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        if (report) {
            report(std::current_exception());
        }
    }
}

} // namespace vorsilan::app
