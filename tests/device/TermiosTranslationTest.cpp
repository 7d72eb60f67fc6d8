#include "comm/device/TermiosTranslation.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <cerrno>
#include <vector>

namespace apd {
namespace {

LineState Line8N1(std::uint32_t baud = 115200) {
    LineState state;
    state.BaudRate = baud;
    state.fTXContinueOnXoff = true;
    return state;
}

constexpr std::uint32_t ParityBits = PARENB | PARODD | CMSPAR;

TEST(TermiosTranslation, EveryCarriedFieldSurvivesTheRoundTrip) {
    std::vector<LineState> states;
    for (std::uint32_t baud : {50u, 9600u, 115200u, 250000u, 3000000u}) {
        states.push_back(Line8N1(baud));
    }
    for (std::uint8_t size = 5; size <= 8; ++size) {
        for (std::uint8_t parity = ParityNone; parity <= ParitySpace; ++parity) {
            LineState s = Line8N1();
            s.ByteSize = size;
            s.Parity = parity;
            s.fParity = parity != ParityNone;
            s.StopBits = size == 5 ? StopBitsOne : StopBitsTwo;
            states.push_back(s);
        }
    }
    LineState flow = Line8N1();
    flow.fOutxCtsFlow = true;
    flow.fRtsControl = RtsControlHandshake;
    flow.fOutX = true;
    flow.fInX = true;
    flow.XonChar = 'Q';
    flow.XoffChar = 'S';
    flow.XonLim = 2048;
    flow.XoffLim = 512;
    flow.fDtrControl = DtrControlDisable;
    states.push_back(flow);

    for (const LineState& s : states) {
        TermiosFields fields;
        MakeRaw(fields);
        ASSERT_EQ(TermiosFromLineState(s, fields), ecOK);
        EXPECT_EQ(LineStateFromTermios(fields, s), s)
            << "baud " << s.BaudRate << " size " << int(s.ByteSize) << " parity " << int(s.Parity)
            << " stop " << int(s.StopBits);
        EXPECT_TRUE(TermiosHolds(fields, fields));
    }
}

TEST(TermiosTranslation, SetsTheTermiosBitsOfEachFieldAndKeepsTheOthers) {
    TermiosFields fields;
    fields.cflag = HUPCL | PARENB | CS7;
    fields.iflag = IGNBRK | IXANY;
    fields.lflag = NOFLSH;

    LineState s = Line8N1(250000);
    s.ByteSize = 6;
    s.Parity = ParityMark;
    s.StopBits = StopBitsTwo;
    s.fParity = true;
    s.fOutX = true;
    s.XonChar = 1;
    s.XoffChar = 2;
    ASSERT_EQ(TermiosFromLineState(s, fields), ecOK);
    EXPECT_EQ(fields.cflag & CSIZE, static_cast<std::uint32_t>(CS6));
    EXPECT_EQ(fields.cflag & ParityBits, static_cast<std::uint32_t>(PARENB | PARODD | CMSPAR));
    EXPECT_NE(fields.cflag & CSTOPB, 0u);
    EXPECT_EQ(fields.cflag & CRTSCTS, 0u);
    EXPECT_NE(fields.cflag & (CREAD | CLOCAL), 0u);
    EXPECT_NE(fields.cflag & HUPCL, 0u) << "a bit the line state does not govern was lost";
    EXPECT_EQ(fields.iflag & (IXON | IXOFF | INPCK | IXANY),
              static_cast<std::uint32_t>(IXON | INPCK));
    EXPECT_NE(fields.iflag & IGNBRK, 0u);
    EXPECT_EQ(fields.lflag, static_cast<std::uint32_t>(NOFLSH));
    EXPECT_EQ(fields.vstart, 1);
    EXPECT_EQ(fields.vstop, 2);
    EXPECT_EQ(fields.speed, 250000u);

    const std::pair<std::uint8_t, std::uint32_t> parities[] = {{ParityNone, 0},
                                                               {ParityOdd, PARENB | PARODD},
                                                               {ParityEven, PARENB},
                                                               {ParitySpace, PARENB | CMSPAR}};
    for (auto [parity, bits] : parities) {
        s.Parity = parity;
        ASSERT_EQ(TermiosFromLineState(s, fields), ecOK);
        EXPECT_EQ(fields.cflag & ParityBits, bits) << "parity " << int(parity);
    }
    s.fOutxCtsFlow = true;
    s.fRtsControl = RtsControlHandshake;
    ASSERT_EQ(TermiosFromLineState(s, fields), ecOK);
    EXPECT_NE(fields.cflag & CRTSCTS, 0u);
}

TEST(TermiosTranslation, RefusesWhatATerminalCannotDoWithoutChangingAnything) {
    auto refused = [](auto change) {
        LineState s = Line8N1();
        change(s);
        TermiosFields fields;
        MakeRaw(fields);
        const TermiosFields before = fields;
        const ErrorCode rc = TermiosFromLineState(s, fields);
        EXPECT_EQ(fields, before);
        return rc;
    };
    EXPECT_EQ(refused([](LineState& s) { s.StopBits = StopBitsOneAndHalf; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fDtrControl = DtrControlHandshake; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fOutxDsrFlow = true; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fDsrSensitivity = true; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fRtsControl = RtsControlToggle; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fNull = true; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) {
                  s.fInX = true;
                  s.fTXContinueOnXoff = false;
              }),
              ecNotSupported);
    // CRTSCTS couples RTS handshake and CTS output flow: one without the other cannot hold.
    EXPECT_EQ(refused([](LineState& s) { s.fOutxCtsFlow = true; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fRtsControl = RtsControlHandshake; }), ecNotSupported);

    EXPECT_EQ(refused([](LineState& s) { s.BaudRate = 0; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.ByteSize = 4; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.ByteSize = 9; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.Parity = 5; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.StopBits = 3; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.fRtsControl = 4; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) {
                  s.fOutX = true;
                  s.XonChar = s.XoffChar = 0x11;
              }),
              ecBadArgument);
}

TEST(TermiosTranslation, ReadsTheDeviceStateAndCarriesWhatTermiosHasNoFieldFor) {
    LineState carried = Line8N1();
    carried.XonLim = 100;
    carried.XoffLim = 200;
    carried.fDtrControl = DtrControlDisable;
    carried.fRtsControl = RtsControlHandshake;
    carried.fOutxCtsFlow = true;

    // What a pseudo-terminal reports after odd parity was asked for: PARODD held, PARENB
    // dropped. That is no parity, and CRTSCTS is gone too.
    TermiosFields fields;
    MakeRaw(fields);
    fields.cflag |= PARODD | CMSPAR;
    fields.speed = 38400;
    const LineState read = LineStateFromTermios(fields, carried);
    EXPECT_EQ(read.Parity, ParityNone);
    EXPECT_EQ(read.BaudRate, 38400u);
    EXPECT_FALSE(read.fOutxCtsFlow);
    EXPECT_EQ(read.fRtsControl, RtsControlEnable);
    EXPECT_EQ(read.XonLim, 100);
    EXPECT_EQ(read.XoffLim, 200);
    EXPECT_EQ(read.fDtrControl, DtrControlDisable);
    EXPECT_TRUE(read.fBinary);
    EXPECT_TRUE(read.fTXContinueOnXoff);
}

TEST(TermiosTranslation, ReadBackDetectsWhatTheDriverDidNotHold) {
    TermiosFields requested;
    MakeRaw(requested);
    LineState s = Line8N1(250000);
    s.Parity = ParityEven;
    ASSERT_EQ(TermiosFromLineState(s, requested), ecOK);

    TermiosFields actual = requested;
    EXPECT_TRUE(TermiosHolds(requested, actual));
    actual.cflag &= ~static_cast<std::uint32_t>(PARENB);
    EXPECT_FALSE(TermiosHolds(requested, actual)) << "parity dropped by the driver";

    actual = requested;
    actual.speed = 249600; // a divisor's rounding: still the same line
    EXPECT_TRUE(TermiosHolds(requested, actual));
    actual.speed = 38400;
    EXPECT_FALSE(TermiosHolds(requested, actual));

    actual = requested;
    actual.vstop = 0;
    EXPECT_FALSE(TermiosHolds(requested, actual));

    actual = requested;
    actual.lflag |= ECHO; // not governed by the line state
    EXPECT_TRUE(TermiosHolds(requested, actual));
}

TEST(TermiosTranslation, RawModeTurnsOffEveryTransformation) {
    TermiosFields fields;
    fields.iflag = ICRNL | IXON | ISTRIP | BRKINT | INLCR | IGNCR;
    fields.oflag = OPOST | ONLCR;
    fields.lflag = ICANON | ECHO | ISIG | IEXTEN;
    fields.cflag = CS7 | PARENB;
    fields.vmin = 0;
    fields.vtime = 5;
    MakeRaw(fields);
    EXPECT_EQ(fields.iflag, 0u);
    EXPECT_EQ(fields.oflag & OPOST, 0u);
    EXPECT_EQ(fields.lflag, 0u);
    EXPECT_EQ(fields.cflag, static_cast<std::uint32_t>(CS8 | CREAD | CLOCAL));
    EXPECT_EQ(fields.vmin, 1);
    EXPECT_EQ(fields.vtime, 0);
}

} // namespace
} // namespace apd
