#pragma once
// The line a caller asks a dispatcher for: each field that is absent keeps the line's
// current value.

#include <cstdint>
#include <optional>

namespace apd {

struct LineRequest {
    std::optional<std::uint32_t> Baud = std::nullopt;
    std::optional<std::uint8_t> Parity = std::nullopt;   // ParityNone ... ParitySpace
    std::optional<std::uint8_t> DataBits = std::nullopt; // 5 to 8
    // 0 and 1 mean one stop bit, anything else two (one and a half with five data bits).
    std::optional<std::uint8_t> StopBits = std::nullopt;

    friend bool operator==(const LineRequest&, const LineRequest&) = default;
};

// The request behind the port component's line properties, whose plain numbers have values
// that keep the current setting: baud 0, parity 5, data bits 9 and stop bits 3.
constexpr LineRequest LineRequestFromSettings(std::uint32_t baud, std::uint8_t parity,
                                              std::uint8_t dataBits, std::uint8_t stopBits) {
    LineRequest request;
    if (baud != 0) {
        request.Baud = baud;
    }
    if (parity != 5) {
        request.Parity = parity;
    }
    if (dataBits != 9) {
        request.DataBits = dataBits;
    }
    if (stopBits != 3) {
        request.StopBits = stopBits;
    }
    return request;
}

} // namespace apd
