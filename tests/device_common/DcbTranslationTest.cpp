// The line state record to the DCB's fields and back.

#include "comm/device/DcbTranslation.h"

#include <gtest/gtest.h>

namespace apd {
namespace {

LineState Busy() {
    LineState s;
    s.BaudRate = 250000;
    s.fParity = true;
    s.fOutxCtsFlow = true;
    s.fOutxDsrFlow = true;
    s.fDtrControl = DtrControlHandshake;
    s.fDsrSensitivity = true;
    s.fTXContinueOnXoff = true;
    s.fOutX = true;
    s.fInX = true;
    s.fNull = true;
    s.fRtsControl = RtsControlToggle;
    s.XonLim = 123;
    s.XoffLim = 456;
    s.ByteSize = 5;
    s.Parity = ParitySpace;
    s.StopBits = StopBitsOneAndHalf;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    return s;
}

TEST(DcbTranslation, EveryFieldSurvivesTheRoundTrip) {
    LineState plain;
    plain.BaudRate = 115200;
    for (const LineState& state : {plain, Busy()}) {
        DcbFields dcb;
        ASSERT_TRUE(DcbFromLineState(state, dcb));
        EXPECT_EQ(LineStateFromDcb(dcb), state);
    }
}

TEST(DcbTranslation, FlagsLandOnTheDriversBitPositions) {
    LineState s;
    s.BaudRate = 9600;
    s.fDtrControl = DtrControlDisable;
    s.fRtsControl = RtsControlDisable;
    DcbFields dcb;
    ASSERT_TRUE(DcbFromLineState(s, dcb));
    EXPECT_EQ(dcb.Flags, DcbBinary);

    s.fOutxCtsFlow = true;
    s.fDtrControl = DtrControlEnable;
    s.fRtsControl = RtsControlHandshake;
    ASSERT_TRUE(DcbFromLineState(s, dcb));
    EXPECT_EQ(dcb.Flags, DcbBinary | 0x0004u | 0x0010u | 0x2000u);

    ASSERT_TRUE(DcbFromLineState(Busy(), dcb));
    EXPECT_EQ(dcb.Flags, 0x0001u | 0x0002u | 0x0004u | 0x0008u | 0x0020u | 0x0040u | 0x0080u |
                             0x0100u | 0x0200u | 0x0800u | 0x3000u);
}

TEST(DcbTranslation, KeepsWhatTheRecordDoesNotCarryAndSwitchesOffErrorHandling) {
    DcbFields dcb;
    // A driver's state: error replacement and abort-on-error on, bits above them set.
    dcb.Flags = DcbErrorChar | DcbAbortOnError | 0x8000u | 0x00010000u;
    LineState s;
    s.BaudRate = 19200;
    s.fBinary = false; // there is no text mode to ask for
    ASSERT_TRUE(DcbFromLineState(s, dcb));
    EXPECT_EQ(dcb.Flags & (DcbErrorChar | DcbAbortOnError), 0u);
    EXPECT_EQ(dcb.Flags & (0x8000u | 0x00010000u), 0x8000u | 0x00010000u);
    EXPECT_NE(dcb.Flags & DcbBinary, 0u);
}

TEST(DcbTranslation, ValuesOutOfRangeAreRefusedAndTouchNothing) {
    const auto refused = [](auto change) {
        LineState s;
        s.BaudRate = 9600;
        change(s);
        DcbFields dcb;
        dcb.BaudRate = 1;
        dcb.Flags = 0x1234;
        const DcbFields before = dcb;
        return !DcbFromLineState(s, dcb) && dcb == before;
    };
    EXPECT_TRUE(refused([](LineState& s) { s.BaudRate = 0; }));
    EXPECT_TRUE(refused([](LineState& s) { s.ByteSize = 4; }));
    EXPECT_TRUE(refused([](LineState& s) { s.ByteSize = 9; }));
    EXPECT_TRUE(refused([](LineState& s) { s.Parity = 5; }));
    EXPECT_TRUE(refused([](LineState& s) { s.StopBits = 3; }));
    EXPECT_TRUE(refused([](LineState& s) { s.fDtrControl = 3; }));
    EXPECT_TRUE(refused([](LineState& s) { s.fRtsControl = 4; }));
    EXPECT_FALSE(refused([](LineState& s) { s.ByteSize = 5; }));
}

TEST(DcbTranslation, HeldMeansFramingAndFlowAsAskedWhateverTheThresholds) {
    DcbFields wanted;
    ASSERT_TRUE(DcbFromLineState(Busy(), wanted));
    DcbFields actual = wanted;
    actual.XonLim = 2048; // drivers round or ignore them
    actual.XoffLim = 512;
    EXPECT_TRUE(DcbHolds(wanted, actual));

    const auto differs = [&](auto change) {
        DcbFields other = wanted;
        change(other);
        return !DcbHolds(wanted, other);
    };
    EXPECT_TRUE(differs([](DcbFields& d) { d.BaudRate = 9600; }));
    EXPECT_TRUE(differs([](DcbFields& d) { d.ByteSize = 8; }));
    EXPECT_TRUE(differs([](DcbFields& d) { d.Parity = ParityNone; }));
    EXPECT_TRUE(differs([](DcbFields& d) { d.StopBits = StopBitsOne; }));
    EXPECT_TRUE(differs([](DcbFields& d) { d.Flags &= ~DcbOutxCtsFlow; }));
    EXPECT_TRUE(differs([](DcbFields& d) { d.Flags &= ~DcbRtsControlMask; })); // toggle lost
    EXPECT_TRUE(differs([](DcbFields& d) { d.Flags &= ~DcbDtrControlMask; })); // handshake lost
    EXPECT_TRUE(differs([](DcbFields& d) { d.XoffChar = 0x14; }));

    // Plain DTR and RTS levels are not held by a port without the lines.
    LineState levels;
    levels.BaudRate = 9600;
    levels.fDtrControl = DtrControlDisable;
    levels.fRtsControl = RtsControlDisable;
    DcbFields low;
    ASSERT_TRUE(DcbFromLineState(levels, low));
    DcbFields reportedHigh = low;
    reportedHigh.Flags |= 0x0010u | 0x1000u;
    EXPECT_TRUE(DcbHolds(low, reportedHigh));
    reportedHigh.Flags |= 0x2000u; // RTS handshake instead of a level
    EXPECT_FALSE(DcbHolds(low, reportedHigh));

    // The XON/XOFF characters count only when XON/XOFF is on.
    LineState noXon = Busy();
    noXon.fOutX = false;
    noXon.fInX = false;
    ASSERT_TRUE(DcbFromLineState(noXon, wanted));
    actual = wanted;
    actual.XonChar = 0;
    EXPECT_TRUE(DcbHolds(wanted, actual));
}

} // namespace
} // namespace apd
