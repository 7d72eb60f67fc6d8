#pragma once
// Window message numbers of the trigger notifications and of the port component.

#include <cstdint>

namespace apd {

// Sent by the dispatcher to its handlers. wParam is a count or a trigger handle; lParam is
// DispatcherHandle * 65536 + a 16-bit data value.
inline constexpr std::uint32_t MsgTriggerAvail = 0x7E01;
inline constexpr std::uint32_t MsgTriggerData = 0x7E02;
inline constexpr std::uint32_t MsgTriggerTimer = 0x7E03;
inline constexpr std::uint32_t MsgTriggerStatus = 0x7E04;

// The port component's own messages.
inline constexpr std::uint32_t MsgPortOpen = 0x7E08;
inline constexpr std::uint32_t MsgPortClose = 0x7E09;
inline constexpr std::uint32_t MsgClosePending = 0x7E0A;
// An error ended one of the dispatcher's threads (the port component's window).
inline constexpr std::uint32_t MsgThreadError = 0x7E0B;

// The lParam of a notification: the dispatcher handle in the high 16 bits, the data value
// in the low 16 bits. A larger data value (a byte count of a big output buffer) keeps only
// its low 16 bits, so that it cannot change the dispatcher handle.
constexpr std::uint32_t NotificationLParam(std::int32_t dispatcherHandle, std::uint32_t data) {
    return static_cast<std::uint32_t>(dispatcherHandle) * 65536u + (data & 0xFFFFu);
}

constexpr std::int32_t DispatcherHandleOf(std::uint32_t lParam) {
    return static_cast<std::int32_t>(lParam >> 16);
}

} // namespace apd
