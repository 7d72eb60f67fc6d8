#pragma once
// The line state record and the Windows serial driver's DCB, both ways. The DCB's fields
// are carried in DcbFields, with the DCB's flag bit-fields as one word in their documented
// bit positions, so that the translation is plain code that builds and is tested on every
// platform; the Windows backend copies DcbFields to and from the real DCB.

#include "comm/dispatch/LineState.h"

#include <cstdint>

namespace apd {

// Bits of the DCB's flag word.
inline constexpr std::uint32_t DcbBinary = 0x0001;
inline constexpr std::uint32_t DcbParity = 0x0002;
inline constexpr std::uint32_t DcbOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t DcbOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t DcbDtrControlMask = 0x0030; // 0x0010 enable, 0x0020 handshake
inline constexpr std::uint32_t DcbDsrSensitivity = 0x0040;
inline constexpr std::uint32_t DcbTxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t DcbOutX = 0x0100;
inline constexpr std::uint32_t DcbInX = 0x0200;
inline constexpr std::uint32_t DcbErrorChar = 0x0400;
inline constexpr std::uint32_t DcbNull = 0x0800;
inline constexpr std::uint32_t DcbRtsControlMask = 0x3000; // 0x1000 enable, 0x2000 handshake,
                                                           // 0x3000 toggle
inline constexpr std::uint32_t DcbAbortOnError = 0x4000;

struct DcbFields {
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;

    friend bool operator==(const DcbFields&, const DcbFields&) = default;
};

// Writes `state` into `dcb`, keeping the DCB's other fields. Binary mode is always on (the
// driver knows no other); error replacement and abort-on-error are always off, since the
// dispatcher reads line errors itself and a driver that aborts its I/O on them would stop
// the line until the next status read. False (dcb untouched) for values out of range: a
// speed of 0, data bits other than 5 to 8, parity above 4, stop bits above 2, line modes
// beyond the defined ones.
bool DcbFromLineState(const LineState& state, DcbFields& dcb);

LineState LineStateFromDcb(const DcbFields& dcb);

// True when the driver holds what was asked in the fields that carry the line's framing
// and flow control; the thresholds are advice that drivers may round or ignore, and the
// DTR and RTS levels of the enable and disable modes are not held by a port without
// those lines.
bool DcbHolds(const DcbFields& wanted, const DcbFields& actual);

} // namespace apd
