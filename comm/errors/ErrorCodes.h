#pragma once
// Error codes of the communications library.
//
// A code is a signed 32-bit number: 0 is success, positive values are ordinary results
// (counts, handles), negative values are failures. A library failure's magnitude is the id
// of its message in the error string table. On Windows any other negative value is a
// negated Windows error code. An operating-system error that the library has no code of
// the same meaning for is carried in its own range (SystemErrorCode below), so that it is
// never read as a library code or a Windows error id; on POSIX every errno value that the
// device layer does not translate goes there.

#include <cstdint>

namespace apd {

using ErrorCode = std::int32_t;

inline constexpr ErrorCode ecOK = 0;

// Operating-system and runtime codes that the library itself produces.
inline constexpr ErrorCode ecFileNotFound = -2;
inline constexpr ErrorCode ecPathNotFound = -3;
inline constexpr ErrorCode ecAccessDenied = -5;
inline constexpr ErrorCode ecOutOfMemory = -8;

// General
inline constexpr ErrorCode ecBadHandle = -1001;
inline constexpr ErrorCode ecBadArgument = -1002;
inline constexpr ErrorCode ecGotQuitMsg = -1003;
inline constexpr ErrorCode ecBufferTooBig = -1004;
inline constexpr ErrorCode ecPortNotAssigned = -1005;
inline constexpr ErrorCode ecInternal = -1006;
inline constexpr ErrorCode ecModemNotAssigned = -1007;
inline constexpr ErrorCode ecPhonebookNotAssigned = -1008;
inline constexpr ErrorCode ecCannotUseWithWinSock = -1009;

// Opening the port
inline constexpr ErrorCode ecBadId = -2001;
inline constexpr ErrorCode ecBaudRate = -2002;
inline constexpr ErrorCode ecByteSize = -2003;
inline constexpr ErrorCode ecDefault = -2004;
inline constexpr ErrorCode ecHardware = -2005;
inline constexpr ErrorCode ecMemory = -2006;
inline constexpr ErrorCode ecCommNotOpen = -2007;
inline constexpr ErrorCode ecAlreadyOpen = -2008;
inline constexpr ErrorCode ecNoHandles = -2009;
inline constexpr ErrorCode ecNoTimers = -2010;
inline constexpr ErrorCode ecNoPortSelected = -2011;
inline constexpr ErrorCode ecNotOpenedByTapi = -2012;

// Serial I/O, device layer, tracing and logging
inline constexpr ErrorCode ecNullApi = -3001;
inline constexpr ErrorCode ecNotSupported = -3002;
inline constexpr ErrorCode ecRegisterHandlerFailed = -3003;
inline constexpr ErrorCode ecPutBlockFail = -3004;
inline constexpr ErrorCode ecGetBlockFail = -3005;
inline constexpr ErrorCode ecOutputBufferTooSmall = -3006;
inline constexpr ErrorCode ecBufferIsEmpty = -3007;
inline constexpr ErrorCode ecTracingNotEnabled = -3008;
inline constexpr ErrorCode ecLoggingNotEnabled = -3009;
inline constexpr ErrorCode ecBaseAddressNotSet = -3010;
// The serial device went away while open (a USB adapter pulled, a far end that closed).
inline constexpr ErrorCode ecDeviceLost = -3011;

// Untranslated operating-system errors: the system's error number n (an errno value on
// POSIX), 1 to SystemErrorNumberMax, is carried as ecSystemErrorBase - n. CheckErrorCode
// raises EInOutError for them with the system's own text and n as its number.
inline constexpr ErrorCode ecSystemErrorBase = -100000;
inline constexpr int SystemErrorNumberMax = 65535;

// The code carrying the system's error number; number must be 1 to SystemErrorNumberMax
// (anything else gives the code of SystemErrorNumberMax).
constexpr ErrorCode SystemErrorCode(int number) {
    return ecSystemErrorBase -
           (number >= 1 && number <= SystemErrorNumberMax ? number : SystemErrorNumberMax);
}

constexpr bool IsSystemErrorCode(ErrorCode code) {
    return code < ecSystemErrorBase && code >= ecSystemErrorBase - SystemErrorNumberMax;
}

// The system's error number a SystemErrorCode carries; 0 for any other code.
constexpr int SystemErrorNumber(ErrorCode code) {
    return IsSystemErrorCode(code) ? ecSystemErrorBase - code : 0;
}

// Triggers
inline constexpr ErrorCode ecNoMoreTriggers = -5001;
inline constexpr ErrorCode ecTriggerTooLong = -5002;
inline constexpr ErrorCode ecBadTriggerHandle = -5003;

} // namespace apd
