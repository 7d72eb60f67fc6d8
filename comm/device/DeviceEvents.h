#pragma once
// Event bits of the device event wait. The values are those of the Windows serial API so
// that the dispatcher's masks mean the same on every platform.

#include <cstdint>

namespace apd {

inline constexpr std::uint32_t EventRxChar = 0x0001; // input is waiting
inline constexpr std::uint32_t EventCts = 0x0008;    // CTS changed
inline constexpr std::uint32_t EventDsr = 0x0010;    // DSR changed
inline constexpr std::uint32_t EventRlsd = 0x0020;   // DCD (receive line signal detect) changed
inline constexpr std::uint32_t EventBreak = 0x0040;  // a break was received
inline constexpr std::uint32_t EventErr = 0x0080;    // framing, overrun or parity error
inline constexpr std::uint32_t EventRing = 0x0100;   // ring indicator came on
inline constexpr std::uint32_t EventRingTrailingEdge = 0x2000;

// Every bit the POSIX backend can report. A wait under a mask with any other bit (the
// ring trailing edge among them) fails as an invalid parameter, as NT-family drivers do.
inline constexpr std::uint32_t EventsSupported = 0x01F9;

// Bits that need the modem-line or line-error counters of the driver.
inline constexpr std::uint32_t EventsModemLines = EventCts | EventDsr | EventRlsd | EventRing;
inline constexpr std::uint32_t EventsLineErrors = EventBreak | EventErr;

} // namespace apd
