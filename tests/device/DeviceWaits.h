#pragma once
// Bounded waits on a SerialDevice for the device tests: every wait ends by a deadline,
// releasing a wait still pending by clearing the event mask.

#include "comm/device/SerialDevice.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <vector>

namespace apd::test {

struct EventWaitOutcome {
    EventWaitResult result;
    std::uint32_t events;
};

// One WaitEvent under `mask`, or nothing when it had not returned by `within`.
inline std::optional<EventWaitOutcome> WaitEventWithin(SerialDevice& device, std::uint32_t mask,
                                                       std::chrono::milliseconds within) {
    device.SetEventMask(mask);
    auto wait = std::async(std::launch::async, [&device] {
        std::uint32_t events = 0;
        const EventWaitResult result = device.WaitEvent(events);
        return EventWaitOutcome{result, events};
    });
    if (wait.wait_for(within) == std::future_status::timeout) {
        device.SetEventMask(0);
        wait.get();
        return std::nullopt;
    }
    return wait.get();
}

// Reads until `count` bytes have come, the device fails, or `within` has passed.
inline std::vector<std::uint8_t>
ReadDevice(SerialDevice& device, std::size_t count,
           std::chrono::milliseconds within = std::chrono::seconds(5)) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + within;
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[4096];
    while (data.size() < count) {
        const std::int32_t n = device.Read(buffer, std::min(sizeof buffer, count - data.size()));
        if (n < 0) {
            break;
        }
        if (n > 0) {
            data.insert(data.end(), buffer, buffer + n);
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitEventWithin(device, EventRxChar, left)) {
            break;
        }
    }
    return data;
}

// Waits until the device's input queue holds at least `count` bytes.
inline bool WaitForInput(SerialDevice& device, std::uint32_t count,
                         std::chrono::milliseconds within = std::chrono::seconds(5)) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + within;
    for (;;) {
        DeviceStatus status;
        std::uint32_t errors = 0;
        if (device.GetStatus(status, errors) != ecOK) {
            return false;
        }
        if (status.cbInQue >= count) {
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitEventWithin(device, EventRxChar, left)) {
            return false;
        }
    }
}

} // namespace apd::test
