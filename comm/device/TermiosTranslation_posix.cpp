#include "comm/device/TermiosTranslation.h"

#include <termios.h>

#include <cerrno>
#include <cstdint>

namespace apd {
namespace {

// Mark and space parity need the Linux "stick parity" bit (CMSPAR); where the system has none they
// are refused as not supported.
#if defined(CMSPAR)
constexpr bool HasStickParity = true;
constexpr std::uint32_t StickParity = CMSPAR;
#else
constexpr bool HasStickParity = false;
constexpr std::uint32_t StickParity = 0;
#endif

constexpr std::uint32_t ManagedControlBits =
    CSIZE | PARENB | PARODD | StickParity | CSTOPB | CRTSCTS | CREAD | CLOCAL;
constexpr std::uint32_t ManagedInputBits = IXON | IXOFF | IXANY | INPCK;

std::uint32_t SizeBits(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

std::uint8_t ByteSizeOf(std::uint32_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

std::uint32_t ParityBits(std::uint8_t parity) {
    switch (parity) {
    case ParityOdd:
        return PARENB | PARODD;
    case ParityEven:
        return PARENB;
    case ParityMark:
        return PARENB | StickParity | PARODD;
    case ParitySpace:
        return PARENB | StickParity;
    default:
        return 0;
    }
}

std::uint8_t ParityOf(std::uint32_t cflag) {
    if ((cflag & PARENB) == 0) {
        return ParityNone;
    }
    const bool odd = (cflag & PARODD) != 0;
    if ((cflag & StickParity) != 0) {
        return odd ? ParityMark : ParitySpace;
    }
    return odd ? ParityOdd : ParityEven;
}

bool HasInvalidValue(const LineState& state) {
    const bool xonXoff = state.fOutX || state.fInX;
    return state.BaudRate == 0 || state.ByteSize < 5 || state.ByteSize > 8 ||
           state.Parity > ParitySpace || state.StopBits > StopBitsTwo ||
           state.fDtrControl > DtrControlHandshake || state.fRtsControl > RtsControlToggle ||
           (xonXoff && state.XonChar == state.XoffChar);
}

bool AsksForWhatTermiosCannotDo(const LineState& state) {
    const bool rtsHandshake = state.fRtsControl == RtsControlHandshake;
    const bool stickParity = state.Parity == ParityMark || state.Parity == ParitySpace;
    return (stickParity && !HasStickParity) || state.StopBits == StopBitsOneAndHalf ||
           state.fDtrControl == DtrControlHandshake || state.fOutxDsrFlow ||
           state.fDsrSensitivity || state.fRtsControl == RtsControlToggle || state.fNull ||
           (state.fInX && !state.fTXContinueOnXoff) || state.fOutxCtsFlow != rtsHandshake;
}

} // namespace

void MakeRaw(TermiosFields& fields) {
    fields.iflag &= ~static_cast<std::uint32_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                                ICRNL | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    fields.oflag &= ~static_cast<std::uint32_t>(OPOST);
    fields.lflag &= ~static_cast<std::uint32_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    fields.cflag &= ~static_cast<std::uint32_t>(CSIZE | PARENB);
    fields.cflag |= CS8 | CREAD | CLOCAL;
    fields.vmin = 1;
    fields.vtime = 0;
}

ErrorCode TermiosFromLineState(const LineState& state, TermiosFields& fields) {
    if (HasInvalidValue(state)) {
        return ecBadArgument;
    }
    if (AsksForWhatTermiosCannotDo(state)) {
        return ecNotSupported;
    }
    fields.cflag &= ~ManagedControlBits;
    fields.cflag |= SizeBits(state.ByteSize) | ParityBits(state.Parity) | CREAD | CLOCAL;
    if (state.StopBits == StopBitsTwo) {
        fields.cflag |= CSTOPB;
    }
    if (state.fOutxCtsFlow) {
        fields.cflag |= CRTSCTS;
    }
    fields.iflag &= ~ManagedInputBits;
    if (state.fOutX) {
        fields.iflag |= IXON;
    }
    if (state.fInX) {
        fields.iflag |= IXOFF;
    }
    if (state.fParity) {
        fields.iflag |= INPCK;
    }
    fields.vstart = state.XonChar;
    fields.vstop = state.XoffChar;
    fields.speed = state.BaudRate;
    return ecOK;
}

LineState LineStateFromTermios(const TermiosFields& fields, const LineState& carried) {
    LineState state = carried;
    state.BaudRate = fields.speed;
    state.ByteSize = ByteSizeOf(fields.cflag);
    state.Parity = ParityOf(fields.cflag);
    state.StopBits = (fields.cflag & CSTOPB) != 0 ? StopBitsTwo : StopBitsOne;
    state.fParity = (fields.iflag & INPCK) != 0;
    const bool ctsRts = (fields.cflag & CRTSCTS) != 0;
    state.fOutxCtsFlow = ctsRts;
    if (ctsRts) {
        state.fRtsControl = RtsControlHandshake;
    } else if (carried.fRtsControl == RtsControlHandshake) {
        state.fRtsControl = RtsControlEnable;
    }
    state.fOutX = (fields.iflag & IXON) != 0;
    state.fInX = (fields.iflag & IXOFF) != 0;
    state.XonChar = fields.vstart;
    state.XoffChar = fields.vstop;
    state.fBinary = true;
    state.fTXContinueOnXoff = true;
    return state;
}

bool TermiosHolds(const TermiosFields& requested, const TermiosFields& actual) {
    if ((requested.cflag & ManagedControlBits) != (actual.cflag & ManagedControlBits) ||
        (requested.iflag & ManagedInputBits) != (actual.iflag & ManagedInputBits) ||
        requested.vstart != actual.vstart || requested.vstop != actual.vstop) {
        return false;
    }
    const std::uint64_t wanted = requested.speed;
    const std::uint64_t got = actual.speed;
    const std::uint64_t difference = wanted > got ? wanted - got : got - wanted;
    return difference * 50 <= wanted;
}

} // namespace apd
