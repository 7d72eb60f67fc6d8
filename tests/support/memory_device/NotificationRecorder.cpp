#include "tests/support/memory_device/NotificationRecorder.h"

namespace apd::testing {

NotificationRecorder::NotificationRecorder() {
    received.reserve(64);
}

NotifyMethod NotificationRecorder::Method() {
    return NotifyMethod{&NotificationRecorder::Deliver, this};
}

void NotificationRecorder::Deliver(void* self, std::uint32_t msg, platform::WParam wParam,
                                   platform::LParam lParam) {
    auto* recorder = static_cast<NotificationRecorder*>(self);
    const Notification note{msg, static_cast<std::uint32_t>(wParam),
                            static_cast<std::uint32_t>(lParam)};
    recorder->received.push_back(note);
    if (recorder->action) {
        recorder->action(note);
    }
}

} // namespace apd::testing
