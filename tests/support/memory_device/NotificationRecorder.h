#pragma once
// A method handler for tests: records every notification it receives and runs an optional
// action inside the delivery (reading bytes, deregistering, closing the port).

#include <cstdint>
#include <functional>
#include <vector>

#include "comm/dispatch/TriggerRecords.h"

namespace apd::testing {

struct Notification {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;

    std::uint32_t Data() const { return lParam & 0xFFFF; }
    std::int32_t Dispatcher() const { return static_cast<std::int32_t>(lParam >> 16); }
    friend bool operator==(const Notification&, const Notification&) = default;
};

class NotificationRecorder {
public:
    NotificationRecorder();

    // The method pointer to register with the dispatcher.
    NotifyMethod Method();

    std::vector<Notification> received;
    std::function<void(const Notification&)> action;

private:
    static void Deliver(void* self, std::uint32_t msg, platform::WParam wParam,
                        platform::LParam lParam);
};

} // namespace apd::testing
