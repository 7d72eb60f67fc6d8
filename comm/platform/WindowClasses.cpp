#include "comm/platform/WindowManager.h"

namespace apd::platform {

bool RegisterWindowClass(const std::string& className, WindowProc proc, int extraBytes) {
    if (proc == nullptr || extraBytes < 0) {
        return false;
    }
    detail::WindowManager& manager = detail::WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    return manager.classes.try_emplace(className, detail::WindowClassRecord{proc, extraBytes})
        .second;
}

bool IsWindowClassRegistered(const std::string& className) {
    detail::WindowManager& manager = detail::WindowManager::Instance();
    std::lock_guard lock(manager.lock);
    return manager.classes.contains(className);
}

} // namespace apd::platform
