#include "comm/device/DcbTranslation.h"

namespace apd {
namespace {

constexpr unsigned DtrShift = 4;
constexpr unsigned RtsShift = 12;

void SetBit(std::uint32_t& flags, std::uint32_t bit, bool on) {
    flags = on ? (flags | bit) : (flags & ~bit);
}

bool InRange(const LineState& s) {
    return s.BaudRate != 0 && s.ByteSize >= 5 && s.ByteSize <= 8 && s.Parity <= ParitySpace &&
           s.StopBits <= StopBitsTwo && s.fDtrControl <= DtrControlHandshake &&
           s.fRtsControl <= RtsControlToggle;
}

// Flag bits whose state DcbHolds compares.
constexpr std::uint32_t HeldFlags =
    DcbParity | DcbOutxCtsFlow | DcbOutxDsrFlow | DcbOutX | DcbInX | DcbNull;

// The part of a DTR or RTS mode that governs the line's flow: handshake or toggle, or the
// driver's plain level. The level itself (enable or disable) is not compared: a driver on
// a port without that line cannot hold it (Wine reports "enable" whatever was set on a
// pseudo-terminal), and the line then has no level to get wrong.
std::uint32_t FlowModes(std::uint32_t flags) {
    const std::uint32_t dtr = (flags & DcbDtrControlMask) >> DtrShift;
    const std::uint32_t rts = (flags & DcbRtsControlMask) >> RtsShift;
    return (dtr == DtrControlHandshake ? 1u : 0u) | (rts == RtsControlHandshake ? 2u
                                                     : rts == RtsControlToggle  ? 4u
                                                                                : 0u);
}

} // namespace

bool DcbFromLineState(const LineState& state, DcbFields& dcb) {
    if (!InRange(state)) {
        return false;
    }
    std::uint32_t flags = dcb.Flags;
    SetBit(flags, DcbBinary, true);
    SetBit(flags, DcbParity, state.fParity);
    SetBit(flags, DcbOutxCtsFlow, state.fOutxCtsFlow);
    SetBit(flags, DcbOutxDsrFlow, state.fOutxDsrFlow);
    flags = (flags & ~DcbDtrControlMask) | (std::uint32_t{state.fDtrControl} << DtrShift);
    SetBit(flags, DcbDsrSensitivity, state.fDsrSensitivity);
    SetBit(flags, DcbTxContinueOnXoff, state.fTXContinueOnXoff);
    SetBit(flags, DcbOutX, state.fOutX);
    SetBit(flags, DcbInX, state.fInX);
    SetBit(flags, DcbErrorChar, false);
    SetBit(flags, DcbNull, state.fNull);
    flags = (flags & ~DcbRtsControlMask) | (std::uint32_t{state.fRtsControl} << RtsShift);
    SetBit(flags, DcbAbortOnError, false);

    dcb.Flags = flags;
    dcb.BaudRate = state.BaudRate;
    dcb.XonLim = state.XonLim;
    dcb.XoffLim = state.XoffLim;
    dcb.ByteSize = state.ByteSize;
    dcb.Parity = state.Parity;
    dcb.StopBits = state.StopBits;
    dcb.XonChar = state.XonChar;
    dcb.XoffChar = state.XoffChar;
    return true;
}

LineState LineStateFromDcb(const DcbFields& dcb) {
    LineState s;
    s.BaudRate = dcb.BaudRate;
    s.fBinary = (dcb.Flags & DcbBinary) != 0;
    s.fParity = (dcb.Flags & DcbParity) != 0;
    s.fOutxCtsFlow = (dcb.Flags & DcbOutxCtsFlow) != 0;
    s.fOutxDsrFlow = (dcb.Flags & DcbOutxDsrFlow) != 0;
    s.fDtrControl = static_cast<std::uint8_t>((dcb.Flags & DcbDtrControlMask) >> DtrShift);
    s.fDsrSensitivity = (dcb.Flags & DcbDsrSensitivity) != 0;
    s.fTXContinueOnXoff = (dcb.Flags & DcbTxContinueOnXoff) != 0;
    s.fOutX = (dcb.Flags & DcbOutX) != 0;
    s.fInX = (dcb.Flags & DcbInX) != 0;
    s.fNull = (dcb.Flags & DcbNull) != 0;
    s.fRtsControl = static_cast<std::uint8_t>((dcb.Flags & DcbRtsControlMask) >> RtsShift);
    s.XonLim = dcb.XonLim;
    s.XoffLim = dcb.XoffLim;
    s.ByteSize = dcb.ByteSize;
    s.Parity = dcb.Parity;
    s.StopBits = dcb.StopBits;
    s.XonChar = dcb.XonChar;
    s.XoffChar = dcb.XoffChar;
    return s;
}

bool DcbHolds(const DcbFields& wanted, const DcbFields& actual) {
    const bool xonXoff = (wanted.Flags & (DcbOutX | DcbInX)) != 0;
    return wanted.BaudRate == actual.BaudRate && wanted.ByteSize == actual.ByteSize &&
           wanted.Parity == actual.Parity && wanted.StopBits == actual.StopBits &&
           (wanted.Flags & HeldFlags) == (actual.Flags & HeldFlags) &&
           FlowModes(wanted.Flags) == FlowModes(actual.Flags) &&
           (!xonXoff || (wanted.XonChar == actual.XonChar && wanted.XoffChar == actual.XoffChar));
}

} // namespace apd
