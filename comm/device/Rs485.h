#pragma once
// RS-485 transmit control by the driver. With it on, the driver raises RTS for each
// transmission and drops it once the last bit has left the UART, which is what the RTS
// toggle line mode asks; no one has to poll the UART's registers. On Linux this is the
// kernel's RS-485 mode (TIOCGRS485/TIOCSRS485). A driver without it, as a pseudo-terminal
// or a UART driver that has no RS-485 support, cannot give the toggle mode.

#include "comm/errors/ErrorCodes.h"

#include <cstdint>

namespace apd {

// The driver's RS-485 flags (the values of Linux's serial_rs485.flags).
inline constexpr std::uint32_t Rs485Enabled = 0x01;
inline constexpr std::uint32_t Rs485RtsOnSend = 0x02;    // RTS high while sending
inline constexpr std::uint32_t Rs485RtsAfterSend = 0x04; // RTS high after sending

// The flags that make the driver drive RTS as the toggle mode asks (RTS high only while
// sending) or, with toggle false, that switch RS-485 off. Every other flag (receiving
// while sending, bus termination, addressing) stays as the driver has it.
std::uint32_t Rs485FlagsFor(std::uint32_t current, bool toggle);

// True when the flags read back after a change hold the RTS behaviour that was asked for.
bool Rs485FlagsHold(std::uint32_t wanted, std::uint32_t actual);

// ecOK when the driver has an RS-485 mode; ecNotSupported where it has none.
ErrorCode Rs485Available(int fd);

// Puts the driver's RS-485 mode in the toggle behaviour (toggle true) or switches it off,
// keeping the driver's delays and addresses, and reads it back. ecNotSupported where the
// driver has no RS-485 mode, refuses it or does not hold it; another failure is the code
// ErrorCodeFromErrno gives for errno. Switching off where there is no RS-485 mode, or
// where it is off, is ecOK and touches nothing.
ErrorCode SetRs485Toggle(int fd, bool toggle);

} // namespace apd
