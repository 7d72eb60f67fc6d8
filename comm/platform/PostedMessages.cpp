#include "comm/platform/WindowManager.h"

namespace apd::platform {

using detail::WindowManager;

bool PostWindowMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
    std::shared_ptr<detail::ThreadQueue> target;
    {
        WindowManager& manager = WindowManager::Instance();
        std::lock_guard lock(manager.lock);
        const detail::WindowRecord* record = manager.FindWindow(window);
        if (record == nullptr) {
            return false;
        }
        target = record->owner;
        target->posted.push_back(Message{window, message, wParam, lParam});
        detail::NotifyArrival(*target);
    }
    detail::WakeOwner(*target);
    detail::CallWakeHook(*target);
    return true;
}

void PostQuitRequest(int exitCode) {
    // Like the Windows quit flag: one pending request, reported once no posted message is
    // left; a second request only replaces the exit code.
    auto queue = detail::CurrentThreadQueue();
    {
        WindowManager& manager = WindowManager::Instance();
        std::lock_guard lock(manager.lock);
        queue->quitRequested = true;
        queue->quitCode = exitCode;
    }
    detail::CallWakeHook(*queue);
}

namespace detail {

bool PeekPostedMessage(Message& out, bool remove, int& sendsHandled) {
    auto queue = CurrentThreadQueue();
    WindowManager& manager = WindowManager::Instance();
    std::unique_lock lock(manager.lock);
    sendsHandled = HandleIncomingSends(lock, *queue);
    if (!queue->posted.empty()) {
        out = queue->posted.front();
        if (remove) {
            queue->posted.pop_front();
        }
        return true;
    }
    if (queue->quitRequested) {
        out = Message{0, QuitMessage, static_cast<WParam>(queue->quitCode), 0};
        if (remove) {
            queue->quitRequested = false;
        }
        return true;
    }
    return false;
}

} // namespace detail

bool PeekWindowMessage(Message& out, bool remove) {
    int sendsHandled = 0;
    return detail::PeekPostedMessage(out, remove, sendsHandled);
}

LResult DispatchWindowMessage(const Message& message) {
    WindowProc proc = nullptr;
    {
        WindowManager& manager = WindowManager::Instance();
        std::lock_guard lock(manager.lock);
        const detail::WindowRecord* record = manager.FindWindow(message.window);
        // A procedure runs only on its window's thread.
        if (record == nullptr || record->owner->thread != CurrentThreadId()) {
            return 0;
        }
        proc = record->proc;
    }
    return proc(message.window, message.message, message.wParam, message.lParam);
}

} // namespace apd::platform
