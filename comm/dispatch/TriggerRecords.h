#pragma once
// Records of the trigger and handler lists, and the snapshot that carries triggers across
// a close and reopen.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "comm/platform/Messaging.h"

namespace apd {

// Booleans inside trigger records are 32-bit: 0 or -1.
inline constexpr std::int32_t RecordTrue = -1;
inline constexpr std::int32_t RecordFalse = 0;

inline constexpr std::int32_t MaxDataTriggerLength = 21;
inline constexpr std::size_t MatchSlotCount = 22;

// Trigger handles are multiples of 8; a status trigger carries its kind in the low 3 bits.
inline constexpr std::int32_t TriggerHandleStep = 8;
inline constexpr std::int32_t SequentialHandleLimit = 4096; // NextHandleIndex below this

// Kinds of status triggers.
inline constexpr std::int32_t StatusKindModem = 1;
inline constexpr std::int32_t StatusKindLineError = 2;
inline constexpr std::int32_t StatusKindOutBuffFree = 3;
inline constexpr std::int32_t StatusKindOutBuffUsed = 4;
inline constexpr std::int32_t StatusKindOutSent = 5;

struct DataTrigger {
    std::int32_t Handle = 0;
    std::int32_t Length = 0;
    // Slot value k > 0: the first k bytes of Text were seen in a row; 0: slot free.
    std::array<std::int32_t, MatchSlotCount> MatchSlots{};
    std::int32_t Matched = RecordFalse; // matched, notification pending
    std::int32_t IgnoreCase = RecordFalse;
    std::array<std::uint8_t, MaxDataTriggerLength> Text{}; // upper-cased when IgnoreCase
};

// Start and expiry in ticks of 55 ms of the millisecond clock.
struct EventTimer {
    std::int32_t StartTicks = 0;
    std::int32_t ExpireTicks = 0;
};

struct TimerTrigger {
    std::int32_t Handle = 0;
    EventTimer Timer;
    std::int32_t Active = RecordFalse;
};

struct StatusTrigger {
    std::int32_t Handle = 0; // kind in the low three bits
    std::int32_t Kind = 0;
    std::uint16_t Value = 0;
    bool Armed = false;
    bool Hit = false;
};

struct WindowHandler {
    platform::WindowHandle Window = 0;
    bool Deleted = false;
};

using NotifyProcedure = void (*)(std::uint32_t msg, platform::WParam wParam,
                                 platform::LParam lParam);

struct ProcedureHandler {
    NotifyProcedure Proc = nullptr;
    bool Deleted = false;
};

// A method pointer: Code is called with Data as its object.
struct NotifyMethod {
    void (*Code)(void* data, std::uint32_t msg, platform::WParam wParam,
                 platform::LParam lParam) = nullptr;
    void* Data = nullptr;

    friend bool operator==(const NotifyMethod&, const NotifyMethod&) = default;
};

struct MethodHandler {
    NotifyMethod Method;
    bool Deleted = false;
    bool Synchronized = false; // run on the main thread through SyncNotify
};

// Copies of a dispatcher's triggers; each list may be absent.
struct TriggerSnapshot {
    std::int32_t AvailLength = 0;
    std::optional<std::vector<TimerTrigger>> TimerTriggers;
    std::optional<std::vector<DataTrigger>> DataTriggers;
    std::optional<std::vector<StatusTrigger>> StatusTriggers;
};

} // namespace apd
