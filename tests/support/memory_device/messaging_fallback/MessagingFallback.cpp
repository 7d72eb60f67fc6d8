// A same-thread stand-in for the window messaging, linked into tests only while the
// platform layer's messaging is not built. Windows and their procedures work; a send to a
// window of the calling thread calls its procedure; everything that needs another
// thread's queue fails.

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "comm/platform/Messaging.h"

namespace apd::platform {

namespace {

struct WindowRecord {
    WindowProc proc = nullptr;
    ThreadId owner = 0;
    std::vector<std::intptr_t> extra;
};

struct Registry {
    std::mutex lock;
    std::map<std::string, std::pair<WindowProc, int>> classes;
    std::map<WindowHandle, WindowRecord> windows;
    WindowHandle next = 1;
};

Registry& State() {
    static Registry registry;
    return registry;
}

} // namespace

ThreadId CurrentThreadId() {
    return static_cast<ThreadId>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
}

bool RegisterWindowClass(const std::string& className, WindowProc proc, int extraBytes) {
    std::lock_guard hold(State().lock);
    return State().classes.emplace(className, std::make_pair(proc, extraBytes)).second;
}

bool IsWindowClassRegistered(const std::string& className) {
    std::lock_guard hold(State().lock);
    return State().classes.count(className) != 0;
}

WindowHandle CreateHiddenWindow(const std::string& className) {
    std::lock_guard hold(State().lock);
    const auto found = State().classes.find(className);
    if (found == State().classes.end()) {
        return 0;
    }
    const WindowHandle handle = State().next++;
    const auto slots = static_cast<std::size_t>(found->second.second) / sizeof(std::intptr_t) + 1;
    State().windows[handle] =
        WindowRecord{found->second.first, CurrentThreadId(), std::vector<std::intptr_t>(slots)};
    return handle;
}

bool DestroyHiddenWindow(WindowHandle window) {
    std::lock_guard hold(State().lock);
    return State().windows.erase(window) != 0;
}

bool IsWindow(WindowHandle window) {
    std::lock_guard hold(State().lock);
    return State().windows.count(window) != 0;
}

ThreadId WindowThread(WindowHandle window) {
    std::lock_guard hold(State().lock);
    const auto found = State().windows.find(window);
    return found == State().windows.end() ? 0 : found->second.owner;
}

std::intptr_t GetWindowExtra(WindowHandle window, int offset) {
    std::lock_guard hold(State().lock);
    const auto found = State().windows.find(window);
    const auto slot = static_cast<std::size_t>(offset) / sizeof(std::intptr_t);
    if (found == State().windows.end() || offset < 0 || slot >= found->second.extra.size()) {
        return 0;
    }
    return found->second.extra[slot];
}

bool SetWindowExtra(WindowHandle window, int offset, std::intptr_t value) {
    std::lock_guard hold(State().lock);
    const auto found = State().windows.find(window);
    const auto slot = static_cast<std::size_t>(offset) / sizeof(std::intptr_t);
    if (found == State().windows.end() || offset < 0 || slot >= found->second.extra.size()) {
        return false;
    }
    found->second.extra[slot] = value;
    return true;
}

LResult DefaultWindowProc(WindowHandle, std::uint32_t, WParam, LParam) {
    return 0;
}

bool PostWindowMessage(WindowHandle, std::uint32_t, WParam, LParam) {
    return false;
}

void PostQuitRequest(int) {}

namespace {
WindowProc SameThreadProc(WindowHandle window) {
    std::lock_guard hold(State().lock);
    const auto found = State().windows.find(window);
    if (found == State().windows.end() || found->second.owner != CurrentThreadId()) {
        return nullptr;
    }
    return found->second.proc;
}
} // namespace

LResult SendWindowMessage(WindowHandle window, std::uint32_t message, WParam wParam,
                          LParam lParam) {
    const WindowProc proc = SameThreadProc(window);
    return proc ? proc(window, message, wParam, lParam) : 0;
}

bool SendWindowMessageTimeout(WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam, unsigned, unsigned, LResult* result) {
    const WindowProc proc = SameThreadProc(window);
    if (!proc) {
        return false;
    }
    const LResult value = proc(window, message, wParam, lParam);
    if (result) {
        *result = value;
    }
    return true;
}

bool PeekWindowMessage(Message&, bool) {
    return false;
}

LResult DispatchWindowMessage(const Message& message) {
    return SendWindowMessage(message.window, message.message, message.wParam, message.lParam);
}

bool WaitForQueueActivity(unsigned) {
    return false;
}

void SetQueueWakeHook(std::function<void()>) {}

} // namespace apd::platform
