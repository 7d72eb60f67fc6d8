#include "comm/device/DeviceEvents.h"
#include "comm/device/LineCounters.h"
#include "comm/device/ModemLines.h"
#include "comm/dispatch/LineState.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

namespace apd {
namespace {

TEST(ModemLines, StatusTakesTheUartRegisterLayout) {
    EXPECT_EQ(ModemStatusFromLines(0), 0);
    EXPECT_EQ(ModemStatusFromLines(TIOCM_CTS), 0x10);
    EXPECT_EQ(ModemStatusFromLines(TIOCM_DSR), 0x20);
    EXPECT_EQ(ModemStatusFromLines(TIOCM_RNG), 0x40);
    EXPECT_EQ(ModemStatusFromLines(TIOCM_CAR), 0x80);
    // Output lines are not status lines.
    EXPECT_EQ(ModemStatusFromLines(TIOCM_CTS | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS), 0x90);
}

TEST(ModemLines, LineChangesBecomeEventsAndRingOnlyWhenItComesOn) {
    EXPECT_EQ(EventsFromLineChange(0, TIOCM_CTS), EventCts);
    EXPECT_EQ(EventsFromLineChange(TIOCM_CTS, 0), EventCts);
    EXPECT_EQ(EventsFromLineChange(TIOCM_DSR, TIOCM_CAR), EventDsr | EventRlsd);
    EXPECT_EQ(EventsFromLineChange(0, TIOCM_RNG), EventRing);
    EXPECT_EQ(EventsFromLineChange(TIOCM_RNG, 0), 0u);
    EXPECT_EQ(EventsFromLineChange(TIOCM_DTR, TIOCM_RTS), 0u);
}

TEST(ModemLines, EscapeFunctionsMapToTheirLineOnly) {
    LineRequest r;
    ASSERT_TRUE(LineRequestForEscape(EscapeSetRts, r));
    EXPECT_EQ(r.line, TIOCM_RTS);
    EXPECT_TRUE(r.raise);
    ASSERT_TRUE(LineRequestForEscape(EscapeClearRts, r));
    EXPECT_EQ(r.line, TIOCM_RTS);
    EXPECT_FALSE(r.raise);
    ASSERT_TRUE(LineRequestForEscape(EscapeSetDtr, r));
    EXPECT_EQ(r.line, TIOCM_DTR);
    EXPECT_TRUE(r.raise);
    ASSERT_TRUE(LineRequestForEscape(EscapeClearDtr, r));
    EXPECT_EQ(r.line, TIOCM_DTR);
    EXPECT_FALSE(r.raise);
    EXPECT_FALSE(LineRequestForEscape(8, r)); // set break: not a line function here
    EXPECT_FALSE(LineRequestForEscape(0, r));
}

TEST(LineCounters, IncrementsBecomeLineErrorsAndEvents) {
    LineCounters before;
    before.frame = 0xFFFFFFFF; // counters wrap; a change is a change
    LineCounters after = before;
    EXPECT_EQ(LineErrorsBetween(before, after), 0u);
    EXPECT_EQ(EventsBetween(before, after), 0u);

    after.frame = 0;
    after.bufOverrun = 1;
    EXPECT_EQ(LineErrorsBetween(before, after), LineErrorFrame | LineErrorRxOver);
    EXPECT_EQ(EventsBetween(before, after), EventErr);

    after = before;
    after.overrun = 3;
    after.parity = 1;
    after.brk = 1;
    EXPECT_EQ(LineErrorsBetween(before, after),
              LineErrorOverrun | LineErrorParity | LineErrorBreak);
    EXPECT_EQ(EventsBetween(before, after), EventErr | EventBreak);

    after = before;
    after.cts = after.dsr = after.dcd = after.rng = 1;
    EXPECT_EQ(LineErrorsBetween(before, after), 0u);
    EXPECT_EQ(EventsBetween(before, after), EventCts | EventDsr | EventRlsd | EventRing);
}

} // namespace
} // namespace apd
