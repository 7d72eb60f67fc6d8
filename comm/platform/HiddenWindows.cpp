#include "comm/platform/WindowManager.h"

#include <cstring>

namespace apd::platform {

using detail::WindowManager;

WindowHandle CreateHiddenWindow(const std::string& className) {
    auto queue = detail::CurrentThreadQueue();
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    const auto found = manager.classes.find(className);
    if (found == manager.classes.end()) {
        return 0;
    }
    const WindowHandle window = ++manager.lastWindow;
    manager.windows.emplace(
        window, detail::WindowRecord{
                    found->second.proc, std::move(queue),
                    std::vector<std::byte>(static_cast<std::size_t>(found->second.extraBytes))});
    return window;
}

bool DestroyHiddenWindow(WindowHandle window) {
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    detail::WindowRecord* record = manager.FindWindow(window);
    if (record == nullptr || record->owner->thread != CurrentThreadId()) {
        return false;
    }
    detail::ThreadQueue& queue = *record->owner;
    std::erase_if(queue.posted, [window](const Message& m) { return m.window == window; });
    std::erase_if(queue.incoming, [window](const auto& pending) {
        if (pending->message.window != window) {
            return false;
        }
        detail::FailPendingSend(*pending);
        return true;
    });
    manager.windows.erase(window);
    return true;
}

bool IsWindow(WindowHandle window) {
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    return manager.FindWindow(window) != nullptr;
}

ThreadId WindowThread(WindowHandle window) {
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    const detail::WindowRecord* record = manager.FindWindow(window);
    return record == nullptr ? 0 : record->owner->thread;
}

namespace {

bool ExtraFits(const detail::WindowRecord& record, int offset) {
    return offset >= 0 &&
           static_cast<std::size_t>(offset) + sizeof(std::intptr_t) <= record.extra.size();
}

} // namespace

std::intptr_t GetWindowExtra(WindowHandle window, int offset) {
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    const detail::WindowRecord* record = manager.FindWindow(window);
    if (record == nullptr || !ExtraFits(*record, offset)) {
        return 0;
    }
    std::intptr_t value = 0;
    std::memcpy(&value, record->extra.data() + offset, sizeof value);
    return value;
}

bool SetWindowExtra(WindowHandle window, int offset, std::intptr_t value) {
    WindowManager& manager = WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    detail::WindowRecord* record = manager.FindWindow(window);
    if (record == nullptr || !ExtraFits(*record, offset)) {
        return false;
    }
    std::memcpy(record->extra.data() + offset, &value, sizeof value);
    return true;
}

LResult DefaultWindowProc(WindowHandle, std::uint32_t, WParam, LParam) {
    return 0;
}

} // namespace apd::platform
