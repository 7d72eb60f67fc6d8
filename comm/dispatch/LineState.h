#pragma once
// The line state record the dispatcher reads from and applies to its device, and the
// device status record. The device layer translates them to and from the platform's own
// (the Windows DCB and COMSTAT, or termios and the POSIX queue and modem calls).
// The constants carry names of their own because windows.h defines the Win32 names as
// macros.

#include <cstdint>

namespace apd {

// Values of LineState::fDtrControl.
inline constexpr std::uint8_t DtrControlDisable = 0;
inline constexpr std::uint8_t DtrControlEnable = 1;
inline constexpr std::uint8_t DtrControlHandshake = 2;

// Values of LineState::fRtsControl.
inline constexpr std::uint8_t RtsControlDisable = 0;
inline constexpr std::uint8_t RtsControlEnable = 1;
inline constexpr std::uint8_t RtsControlHandshake = 2;
inline constexpr std::uint8_t RtsControlToggle = 3;

// Values of LineState::Parity.
inline constexpr std::uint8_t ParityNone = 0;
inline constexpr std::uint8_t ParityOdd = 1;
inline constexpr std::uint8_t ParityEven = 2;
inline constexpr std::uint8_t ParityMark = 3;
inline constexpr std::uint8_t ParitySpace = 4;

// Values of LineState::StopBits.
inline constexpr std::uint8_t StopBitsOne = 0;
inline constexpr std::uint8_t StopBitsOneAndHalf = 1;
inline constexpr std::uint8_t StopBitsTwo = 2;

struct LineState {
    std::uint32_t BaudRate = 0;
    bool fBinary = true;
    bool fParity = false;      // parity checking on input
    bool fOutxCtsFlow = false; // output waits for CTS
    bool fOutxDsrFlow = false; // output waits for DSR
    std::uint8_t fDtrControl = DtrControlEnable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false; // honour XON/XOFF from the other side
    bool fInX = false;  // send XOFF/XON as the input queue fills and drains
    bool fNull = false; // discard received zero bytes
    std::uint8_t fRtsControl = RtsControlEnable;
    std::uint16_t XonLim = 0;  // bytes free in the input queue before XON is sent
    std::uint16_t XoffLim = 0; // bytes free in the input queue at which XOFF is sent
    std::uint8_t ByteSize = 8; // 5 to 8
    std::uint8_t Parity = ParityNone;
    std::uint8_t StopBits = StopBitsOne;
    std::uint8_t XonChar = 17;
    std::uint8_t XoffChar = 19;

    friend bool operator==(const LineState&, const LineState&) = default;
};

// Line error bits reported by DeviceGetStatus and kept in LineErrorFlags.
inline constexpr std::uint32_t LineErrorRxOver = 0x01;
inline constexpr std::uint32_t LineErrorOverrun = 0x02;
inline constexpr std::uint32_t LineErrorParity = 0x04;
inline constexpr std::uint32_t LineErrorFrame = 0x08;
inline constexpr std::uint32_t LineErrorBreak = 0x10;

// The device status record.
struct DeviceStatus {
    std::uint32_t Flags = 0;    // the platform's status flags, 0 where it has none
    std::uint32_t cbInQue = 0;  // bytes waiting in the device's input queue
    std::uint32_t cbOutQue = 0; // bytes pending output (the dispatcher's own output ring)
};

// Line function codes of DeviceEscape.
inline constexpr int EscapeSetRts = 3;
inline constexpr int EscapeClearRts = 4;
inline constexpr int EscapeSetDtr = 5;
inline constexpr int EscapeClearDtr = 6;
// Asks a driver that does not drive RTS for RS-485 itself for the UART's I/O base
// address; the result is the address, or negative where the driver has none to give.
inline constexpr int EscapeGetBaseAddress = 10;

} // namespace apd
