#include "comm/device/LineCounters.h"

#include "comm/device/DeviceEvents.h"
#include "comm/dispatch/LineState.h"

namespace apd {

std::uint32_t LineErrorsBetween(const LineCounters& before, const LineCounters& after) {
    std::uint32_t errors = 0;
    if (after.bufOverrun != before.bufOverrun) {
        errors |= LineErrorRxOver;
    }
    if (after.overrun != before.overrun) {
        errors |= LineErrorOverrun;
    }
    if (after.parity != before.parity) {
        errors |= LineErrorParity;
    }
    if (after.frame != before.frame) {
        errors |= LineErrorFrame;
    }
    if (after.brk != before.brk) {
        errors |= LineErrorBreak;
    }
    return errors;
}

std::uint32_t EventsBetween(const LineCounters& before, const LineCounters& after) {
    std::uint32_t events = 0;
    if (after.cts != before.cts) {
        events |= EventCts;
    }
    if (after.dsr != before.dsr) {
        events |= EventDsr;
    }
    if (after.dcd != before.dcd) {
        events |= EventRlsd;
    }
    if (after.rng != before.rng) {
        events |= EventRing;
    }
    if (after.brk != before.brk) {
        events |= EventBreak;
    }
    if (after.frame != before.frame || after.overrun != before.overrun ||
        after.parity != before.parity) {
        events |= EventErr;
    }
    return events;
}

} // namespace apd
