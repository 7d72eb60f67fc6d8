#include "comm/port/ApplicationExceptions.h"

#include "comm/platform/Messaging.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace apd {
namespace {

struct ApplicationState {
    std::mutex lock;
    ApplicationExceptionHandler handler; // guarded by lock
    std::atomic<platform::ThreadId> mainThread{0};
};

ApplicationState& State() {
    static ApplicationState state;
    return state;
}

void WriteToStandardError(const std::exception_ptr& error) {
    std::cerr << ExceptionMessage(error) << std::endl;
}

} // namespace

void SetApplicationExceptionHandler(ApplicationExceptionHandler handler) {
    auto& state = State();
    {
        std::lock_guard hold(state.lock);
        state.handler = std::move(handler);
    }
    state.mainThread = platform::CurrentThreadId();
}

void HandleApplicationException(const std::exception_ptr& error) {
    ApplicationExceptionHandler handler;
    {
        auto& state = State();
        std::lock_guard hold(state.lock);
        handler = state.handler;
    }
    if (!handler) {
        WriteToStandardError(error);
        return;
    }
    try {
        handler(error);
    } catch (...) {
        WriteToStandardError(std::current_exception());
    }
}

std::string ExceptionMessage(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

bool IsMainThread() {
    return State().mainThread == platform::CurrentThreadId();
}

void NoteMainThreadCandidate() {
    platform::ThreadId none = 0;
    State().mainThread.compare_exchange_strong(none, platform::CurrentThreadId());
}

} // namespace apd
