#pragma once
// The translation between the dispatcher's line state record and termios fields. It is
// pure: no device is touched, so every rule can be checked on its own.

#include "comm/device/TermiosFields.h"
#include "comm/dispatch/LineState.h"
#include "comm/errors/ErrorCodes.h"

namespace apd {

// Raw mode as the device layer keeps it: no line editing, echo, signals or character
// mapping, no output processing, 8 data bits, the receiver on, and the modem control
// lines ignored for open and hang-up (CLOCAL), so that a dropped carrier does not hang
// the device up. VMIN 1 with VTIME 0 makes a non-blocking read of an empty queue fail
// with EAGAIN, so that a read of 0 bytes only ever means that the far end has gone.
void MakeRaw(TermiosFields& fields);

// Changes the fields the line state governs and keeps every other bit. Fails before
// changing anything with:
// - ecBadArgument for values no device takes: baud 0 (which would hang the line up), data bits
//   outside 5 to 8, unknown parity, stop-bit or line-control codes, XON/XOFF flow control
//   with the same character for XON and XOFF;
// - ecNotSupported for what a POSIX terminal device cannot do: one and a half stop bits,
//   DTR/DSR handshake (fDtrControl handshake, fOutxDsrFlow, fDsrSensitivity), RTS toggle,
//   discarding zero bytes (fNull), stopping output after sending XOFF (fInX without
//   fTXContinueOnXoff: the tty layer always keeps sending), and RTS handshake without CTS
//   output flow or the reverse (CRTSCTS couples the two directions).
//
// XonLim and XoffLim have no termios field: the tty layer throttles its input by its own
// thresholds (it sends XOFF, or drops RTS under CRTSCTS, when its buffer is nearly full,
// and resumes when it has drained), which is what the two limits ask of a Windows driver
// for its own queue. The dispatcher's limits are therefore carried in the record only.
ErrorCode TermiosFromLineState(const LineState& state, TermiosFields& fields);

// The line state the fields describe. What termios does not carry (XonLim, XoffLim, the
// DTR and RTS line modes other than RTS handshake, the flags the device cannot honour) is
// taken from `carried`, the record last applied. fBinary and fTXContinueOnXoff are always
// reported set, since that is how the tty layer behaves.
LineState LineStateFromTermios(const TermiosFields& fields, const LineState& carried);

// True when `actual`, read back from the driver, holds every field that
// TermiosFromLineState set in `requested`. Speeds match within 2 %, the tolerance within
// which a driver that rounds to its clock still works with the far end.
bool TermiosHolds(const TermiosFields& requested, const TermiosFields& actual);

} // namespace apd
