#include "comm/dispatch/LineArithmetic.h"

#include <algorithm>
#include <array>

namespace apd {

namespace {

constexpr std::int32_t LegacyBaud115200 = 0xFEFF;
constexpr std::int32_t LegacyIndexFirst = 0xFF10;

// Rates of the index codes 0xFF10 to 0xFF27; 0 where a code has none.
constexpr std::array<std::int32_t, 24> LegacyRates = {
    110, 300, 600, 1200,  2400, 4800, 9600, 14400,  19200, 0, 0, 38400,
    0,   0,   0,   56000, 0,    0,    0,    128000, 0,     0, 0, 256000,
};

// Bit times in units of 100 ns per second.
constexpr std::int64_t TicksPerSecond = 10'000'000;

// Start bit, data bits, parity bit and stop bits (two for any longer stop setting).
std::int64_t BitsPerCharacter(const LineState& framing) {
    std::int64_t bits = static_cast<std::int64_t>(framing.ByteSize) + 2;
    if (framing.Parity != ParityNone) {
        ++bits;
    }
    if (framing.StopBits != StopBitsOne) {
        ++bits;
    }
    return bits;
}
constexpr std::int64_t TicksPerMillisecond = 10'000;
constexpr std::int64_t DrainCharacters = 18;

} // namespace

std::uint8_t NormaliseStopBits(std::uint8_t stopBits) {
    if (stopBits == 0) {
        return 1;
    }
    if (stopBits >= 4) {
        return 2;
    }
    return stopBits;
}

LineTarget LineTargetFor(const LineState& current, const LineRequest& request) {
    LineTarget target;
    target.BaudRate = request.Baud.value_or(current.BaudRate);
    target.Parity = request.Parity.value_or(current.Parity);
    target.StopBits = current.StopBits;
    target.ByteSize = current.ByteSize;
    if (request.DataBits) {
        target.ByteSize = *request.DataBits;
        if (*request.DataBits == 5) {
            target.StopBits = StopBitsOneAndHalf;
        }
    }
    if (request.StopBits) {
        target.StopBits = *request.StopBits == 1 ? StopBitsOne : StopBitsTwo;
        if (target.ByteSize == 5) {
            target.StopBits = StopBitsOneAndHalf;
        }
    }
    return target;
}

LineTarget LineOf(const LineState& state) {
    return LineTarget{state.BaudRate, state.Parity, state.ByteSize, state.StopBits};
}

std::int32_t TranslateBaud(std::int32_t baud) {
    if (baud == LegacyBaud115200) {
        return 115200;
    }
    const std::int64_t index = static_cast<std::int64_t>(baud) - LegacyIndexFirst;
    if (index >= 0 && index < static_cast<std::int64_t>(LegacyRates.size())) {
        const std::int32_t rate = LegacyRates[static_cast<std::size_t>(index)];
        return rate != 0 ? rate : baud;
    }
    return baud;
}

std::uint32_t DrainSleepMilliseconds(const LineState& framing, std::int32_t appliedBaud) {
    const std::int64_t rate = TranslateBaud(appliedBaud);
    if (rate <= 0) {
        return 0;
    }
    const std::int64_t bits = BitsPerCharacter(framing);
    // The first division is an integer division on purpose: the time is that of 18
    // characters at whole 100 ns bit times.
    std::int64_t ticks = (TicksPerSecond / rate) * bits * DrainCharacters;
    if (ticks < TicksPerMillisecond) {
        ticks *= 2;
    }
    std::int64_t ms = ticks / TicksPerMillisecond;
    if (ticks % TicksPerMillisecond != 0) {
        ++ms;
    }
    return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, MaxDrainSleepMs));
}

std::uint32_t CharacterMicroseconds(const LineState& framing, std::int32_t appliedBaud) {
    const std::int64_t rate = TranslateBaud(appliedBaud);
    if (rate <= 0) {
        return 0;
    }
    const std::int64_t micros = (BitsPerCharacter(framing) * 1'000'000 + rate - 1) / rate;
    return static_cast<std::uint32_t>(micros);
}

std::uint32_t CloseDrainBoundMs(std::uint64_t bytes, std::uint32_t characterMicros) {
    if (characterMicros == 0) {
        return MaxCloseDrainMs; // the speed is not known: the longest wait
    }
    const std::uint64_t cap = MaxCloseDrainMs - CloseDrainMarginMs;
    const std::uint64_t lineMs = bytes >= cap * 1000 ? cap : (bytes * characterMicros + 999) / 1000;
    return static_cast<std::uint32_t>(std::min(lineMs, cap)) + CloseDrainMarginMs;
}

} // namespace apd
