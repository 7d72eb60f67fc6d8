#include "comm/threads/MainThreadCall.h"

#include <mutex>
#include <string>

namespace apd {

namespace {

constexpr std::uint32_t MsgRunCall = 0x7E20;
const std::string CallWindowClass = "TApdMainThreadCall";

struct PendingCall {
    const std::function<void()>* call = nullptr;
    std::exception_ptr error;
    bool ran = false;
};

platform::LResult CallWindowProc(platform::WindowHandle window, std::uint32_t message,
                                 platform::WParam wParam, platform::LParam lParam) {
    if (message != MsgRunCall) {
        return platform::DefaultWindowProc(window, message, wParam, lParam);
    }
    // The message carries the waiting caller's call record in its lParam.
    auto* pending = reinterpret_cast<PendingCall*>(lParam); // NOLINT(performance-no-int-to-ptr)
    pending->ran = true;
    try {
        (*pending->call)();
    } catch (...) {
        pending->error = std::current_exception();
    }
    return 1;
}

void RegisterCallWindowClass() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        if (!platform::IsWindowClassRegistered(CallWindowClass)) {
            platform::RegisterWindowClass(CallWindowClass, &CallWindowProc, 0);
        }
    });
}

} // namespace

MainThreadCall::MainThreadCall() : thread_(platform::CurrentThreadId()) {
    RegisterCallWindowClass();
    window_ = platform::CreateHiddenWindow(CallWindowClass);
}

MainThreadCall::~MainThreadCall() {
    if (window_ != 0 && OnCallThread()) {
        platform::DestroyHiddenWindow(window_);
    }
}

bool MainThreadCall::OnCallThread() const {
    return platform::CurrentThreadId() == thread_;
}

bool MainThreadCall::Run(const std::function<void()>& call) {
    if (OnCallThread()) {
        call();
        return true;
    }
    PendingCall pending;
    pending.call = &call;
    platform::SendWindowMessage(window_, MsgRunCall, 0,
                                reinterpret_cast<platform::LParam>(&pending));
    if (pending.error) {
        std::rethrow_exception(pending.error);
    }
    return pending.ran;
}

} // namespace apd
