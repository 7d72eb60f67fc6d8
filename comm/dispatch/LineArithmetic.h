#pragma once
// The arithmetic of line changes, free of any device: which line a SetLineSettings call
// asks for, the rates behind the platform's legacy baud codes, and how long to let the
// last characters leave the line before it is changed.

#include <cstdint>

#include "comm/dispatch/LineRequest.h"
#include "comm/dispatch/LineState.h"

namespace apd {

// The stop bits of a LineRequest as they are used: 0 means 1, 4 and above mean 2, 1 to 3
// stay.
std::uint8_t NormaliseStopBits(std::uint8_t stopBits);

struct LineTarget {
    std::uint32_t BaudRate = 0;
    std::uint8_t Parity = ParityNone;
    std::uint8_t ByteSize = 8;
    std::uint8_t StopBits = StopBitsOne; // a LineState stop-bits code

    friend bool operator==(const LineTarget&, const LineTarget&) = default;
};

// The line a SetLineSettings call asks for, starting from the current one. Asking for five
// data bits, or for a stop setting while the data bits are five, gives the one-and-a-half
// stop-bits code, the longer stop setting a UART has for five data bits.
// The request's stop bits must already be normalised.
LineTarget LineTargetFor(const LineState& current, const LineRequest& request);

// The four fields of a line state that a LineTarget describes.
LineTarget LineOf(const LineState& state);

// Rates of the platform's legacy baud index codes (0xFEFF and 0xFF10 to 0xFF27); every
// other value, and an index code without a rate, is returned unchanged.
std::int32_t TranslateBaud(std::int32_t baud);

// The longest pause after the output queue has drained: a longer computed time (18
// characters at very low speed) is cut to this.
inline constexpr std::uint32_t MaxDrainSleepMs = 1000;

// How long the last characters need to leave the UART at the applied baud: 18 characters
// of `framing`, doubled when that is under a millisecond, rounded up to whole milliseconds
// and capped at MaxDrainSleepMs. 0 when the translated baud is not positive, as after a
// rejected line state.
std::uint32_t DrainSleepMilliseconds(const LineState& framing, std::int32_t appliedBaud);

// The line time of one character of `framing` (start bit, data bits, parity, stop bits) at
// the applied baud, in microseconds rounded up; 0 when the translated baud is not positive.
std::uint32_t CharacterMicroseconds(const LineState& framing, std::int32_t appliedBaud);

// How long a close waits for written bytes to leave before it discards the rest: the line
// time of `bytes` characters plus CloseDrainMarginMs, at most MaxCloseDrainMs.
inline constexpr std::uint32_t CloseDrainMarginMs = 100;
inline constexpr std::uint32_t MaxCloseDrainMs = 5000;
std::uint32_t CloseDrainBoundMs(std::uint64_t bytes, std::uint32_t characterMicros);

} // namespace apd
