#pragma once
// The driver's interrupt counters (TIOCGICOUNT on Linux): how often each modem line has
// changed and each kind of line error has occurred since the device was set up. The
// device layer reports increments between two readings.

#include "comm/errors/ErrorCodes.h"

#include <cstdint>

namespace apd {

struct LineCounters {
    std::uint32_t cts = 0;
    std::uint32_t dsr = 0;
    std::uint32_t rng = 0;
    std::uint32_t dcd = 0;
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0; // the UART's receiver overran
    std::uint32_t parity = 0;
    std::uint32_t brk = 0;
    std::uint32_t bufOverrun = 0; // the tty layer's input buffer overflowed

    friend bool operator==(const LineCounters&, const LineCounters&) = default;
};

// Line error bits (LineErrorRxOver ... LineErrorBreak) for the counters that moved.
std::uint32_t LineErrorsBetween(const LineCounters& before, const LineCounters& after);

// Device event bits for the counters that moved: EventCts, EventDsr, EventRlsd, EventRing,
// EventBreak, and EventErr for framing, overrun and parity errors.
std::uint32_t EventsBetween(const LineCounters& before, const LineCounters& after);

// 0, or ErrorCodeFromErrno of errno (ecNotSupported where the driver keeps no counters,
// as on a pseudo-terminal or on systems without the call).
ErrorCode ReadLineCounters(int fd, LineCounters& counters);

} // namespace apd
