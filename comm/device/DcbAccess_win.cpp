#include "comm/device/DcbAccess_win.h"

namespace apd {

void CopyToDcb(const DcbFields& f, DCB& dcb) {
    dcb.BaudRate = f.BaudRate;
    dcb.fBinary = (f.Flags & DcbBinary) != 0;
    dcb.fParity = (f.Flags & DcbParity) != 0;
    dcb.fOutxCtsFlow = (f.Flags & DcbOutxCtsFlow) != 0;
    dcb.fOutxDsrFlow = (f.Flags & DcbOutxDsrFlow) != 0;
    dcb.fDtrControl = (f.Flags & DcbDtrControlMask) >> 4;
    dcb.fDsrSensitivity = (f.Flags & DcbDsrSensitivity) != 0;
    dcb.fTXContinueOnXoff = (f.Flags & DcbTxContinueOnXoff) != 0;
    dcb.fOutX = (f.Flags & DcbOutX) != 0;
    dcb.fInX = (f.Flags & DcbInX) != 0;
    dcb.fErrorChar = (f.Flags & DcbErrorChar) != 0;
    dcb.fNull = (f.Flags & DcbNull) != 0;
    dcb.fRtsControl = (f.Flags & DcbRtsControlMask) >> 12;
    dcb.fAbortOnError = (f.Flags & DcbAbortOnError) != 0;
    dcb.XonLim = f.XonLim;
    dcb.XoffLim = f.XoffLim;
    dcb.ByteSize = f.ByteSize;
    dcb.Parity = f.Parity;
    dcb.StopBits = f.StopBits;
    dcb.XonChar = static_cast<char>(f.XonChar);
    dcb.XoffChar = static_cast<char>(f.XoffChar);
}

DcbFields FieldsOf(const DCB& dcb) {
    DcbFields f;
    f.BaudRate = dcb.BaudRate;
    f.Flags =
        (dcb.fBinary ? DcbBinary : 0) | (dcb.fParity ? DcbParity : 0) |
        (dcb.fOutxCtsFlow ? DcbOutxCtsFlow : 0) | (dcb.fOutxDsrFlow ? DcbOutxDsrFlow : 0) |
        (std::uint32_t{dcb.fDtrControl} << 4) | (dcb.fDsrSensitivity ? DcbDsrSensitivity : 0) |
        (dcb.fTXContinueOnXoff ? DcbTxContinueOnXoff : 0) | (dcb.fOutX ? DcbOutX : 0) |
        (dcb.fInX ? DcbInX : 0) | (dcb.fErrorChar ? DcbErrorChar : 0) | (dcb.fNull ? DcbNull : 0) |
        (std::uint32_t{dcb.fRtsControl} << 12) | (dcb.fAbortOnError ? DcbAbortOnError : 0);
    f.XonLim = dcb.XonLim;
    f.XoffLim = dcb.XoffLim;
    f.ByteSize = dcb.ByteSize;
    f.Parity = dcb.Parity;
    f.StopBits = dcb.StopBits;
    f.XonChar = static_cast<std::uint8_t>(dcb.XonChar);
    f.XoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
    return f;
}

} // namespace apd
