#include "comm/dispatch/DispatcherRegistry.h"

namespace apd {

std::recursive_mutex& RegistryLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::vector<TApdBaseDispatcher*>& DispatcherRegistry() {
    static std::vector<TApdBaseDispatcher*> registry;
    return registry;
}

TApdBaseDispatcher* RegisteredDispatcher(std::int32_t handle) {
    std::lock_guard hold(RegistryLock());
    auto& registry = DispatcherRegistry();
    if (handle < 0 || static_cast<std::size_t>(handle) >= registry.size()) {
        return nullptr;
    }
    return registry[static_cast<std::size_t>(handle)];
}

std::int32_t RegisterDispatcher(TApdBaseDispatcher* dispatcher) {
    std::lock_guard hold(RegistryLock());
    auto& registry = DispatcherRegistry();
    for (std::size_t i = 0; i < registry.size(); ++i) {
        if (registry[i] == nullptr) {
            registry[i] = dispatcher;
            return static_cast<std::int32_t>(i);
        }
    }
    registry.push_back(dispatcher);
    return static_cast<std::int32_t>(registry.size() - 1);
}

void UnregisterDispatcher(std::int32_t handle) {
    std::lock_guard hold(RegistryLock());
    auto& registry = DispatcherRegistry();
    if (handle >= 0 && static_cast<std::size_t>(handle) < registry.size()) {
        registry[static_cast<std::size_t>(handle)] = nullptr;
    }
    while (!registry.empty() && registry.back() == nullptr) {
        registry.pop_back();
    }
}

} // namespace apd
