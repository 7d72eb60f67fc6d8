#pragma once
// Types and subtypes of the dispatch log entries that the dispatcher writes.

#include <cstdint>

namespace apd {

inline constexpr std::uint8_t LogTypeDispatch = 1;
inline constexpr std::uint8_t LogTypeTrigger = 2;
inline constexpr std::uint8_t LogTypeTriggerAlloc = 5;
inline constexpr std::uint8_t LogTypeHandlerAlloc = 7;
inline constexpr std::uint8_t LogTypeHandlerDispose = 8;
inline constexpr std::uint8_t LogTypeTriggerDataChange = 9;

inline constexpr std::uint8_t LogSubReadCom = 1;
inline constexpr std::uint8_t LogSubWriteCom = 2;
inline constexpr std::uint8_t LogSubTriggerAvail = 5;
inline constexpr std::uint8_t LogSubTriggerTimer = 6;
inline constexpr std::uint8_t LogSubTriggerData = 7;
inline constexpr std::uint8_t LogSubTriggerStatus = 8;
inline constexpr std::uint8_t LogSubAllocData = 13;
inline constexpr std::uint8_t LogSubAllocAvail = 16;
inline constexpr std::uint8_t LogSubWindow = 17;
inline constexpr std::uint8_t LogSubProcedure = 18;
inline constexpr std::uint8_t LogSubMethod = 19;

// Kinds of trace entries.
inline constexpr char TraceReceived = 'R';
inline constexpr char TraceTransmitted = 'T';

} // namespace apd
