#include "comm/platform/PumpOneMessage.h"

#include "comm/platform/WindowManager.h"

namespace apd {

bool PumpOneMessage() {
    platform::Message message;
    int sendsHandled = 0;
    if (!platform::detail::PeekPostedMessage(message, true, sendsHandled)) {
        return sendsHandled > 0;
    }
    if (message.window == 0 && message.message == platform::QuitMessage) {
        platform::PostQuitRequest(static_cast<int>(static_cast<std::intptr_t>(message.wParam)));
        return sendsHandled > 0;
    }
    platform::DispatchWindowMessage(message);
    return true;
}

} // namespace apd
