#include "comm/device/SerialDevice.h"

#include "tests/device/DeviceFixture.h"
#include "tests/device/DeviceWaits.h"
#include "tests/support/pty/PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace apd {
namespace {

class SerialDeviceLineState : public test::DeviceFixture {
protected:
    LineState Current() {
        LineState state;
        EXPECT_EQ(device.GetState(state), ecOK);
        return state;
    }
};

TEST_F(SerialDeviceLineState, WhatThePseudoTerminalHoldsReadsBack) {
    LineState opened = Current();
    EXPECT_EQ(opened.ByteSize, 8);
    EXPECT_EQ(opened.Parity, ParityNone);
    EXPECT_EQ(opened.StopBits, StopBitsOne);
    EXPECT_FALSE(opened.fOutX);
    EXPECT_FALSE(opened.fInX);

    for (std::uint32_t baud : {9600u, 115200u, 250000u, 1000000u}) {
        LineState s = opened;
        s.BaudRate = baud;
        ASSERT_EQ(device.SetState(s), ecOK) << baud;
        EXPECT_EQ(Current().BaudRate, baud);
    }

    LineState s = Current();
    s.BaudRate = 250000;
    s.StopBits = StopBitsTwo;
    s.fOutxCtsFlow = true;
    s.fRtsControl = RtsControlHandshake;
    s.fOutX = true;
    s.fInX = true;
    s.XonChar = 0x01;
    s.XoffChar = 0x02;
    s.XonLim = 1000;
    s.XoffLim = 100;
    s.fDtrControl = DtrControlDisable;
    ASSERT_EQ(device.SetState(s), ecOK);
    EXPECT_EQ(Current(), s) << "every field held, the limits and line modes carried";

    s.fOutxCtsFlow = false;
    s.fRtsControl = RtsControlEnable;
    s.fOutX = false;
    s.fInX = false;
    ASSERT_EQ(device.SetState(s), ecOK);
    EXPECT_EQ(Current(), s) << "flow control switched off again";
}

TEST_F(SerialDeviceLineState, RefusalsAreFailuresAndLeaveTheLineAsItWas) {
    LineState good = Current();
    good.BaudRate = 115200;
    good.XonLim = 77;
    ASSERT_EQ(device.SetState(good), ecOK);

    auto refused = [&](auto change) {
        LineState s = good;
        change(s);
        const ErrorCode rc = device.SetState(s);
        EXPECT_EQ(Current(), good) << "the line must stay as it was";
        return rc;
    };
    // The driver takes these requests and keeps 8 data bits and no parity.
    EXPECT_EQ(refused([](LineState& s) { s.ByteSize = 7; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) { s.Parity = ParityEven; }), ecBadArgument);
    EXPECT_EQ(refused([](LineState& s) {
                  s.Parity = ParityMark;
                  s.BaudRate = 9600;
              }),
              ecBadArgument);
    // Refused before the device is touched.
    EXPECT_EQ(refused([](LineState& s) { s.StopBits = StopBitsOneAndHalf; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fDtrControl = DtrControlHandshake; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fOutxDsrFlow = true; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.fRtsControl = RtsControlToggle; }), ecNotSupported);
    EXPECT_EQ(refused([](LineState& s) { s.BaudRate = 0; }), ecBadArgument);
}

TEST_F(SerialDeviceLineState, ModemCallsFailWhereTheDriverHasNoModemLines) {
    std::uint8_t status = 0xAA;
    EXPECT_EQ(device.ModemStatus(status), ecNotSupported);
    EXPECT_EQ(status, 0xAA);
    for (int function : {EscapeSetRts, EscapeClearRts, EscapeSetDtr, EscapeClearDtr}) {
        EXPECT_EQ(device.Escape(function), ecNotSupported) << function;
    }
    EXPECT_EQ(device.Escape(8), ecBadArgument);
}

TEST_F(SerialDeviceLineState, StatusCountsWaitingInputAndReportsNoLineErrorsItCannotSee) {
    DeviceStatus status;
    std::uint32_t errors = 0xFF;
    ASSERT_EQ(device.GetStatus(status, errors), ecOK);
    EXPECT_EQ(status.cbInQue, 0u);
    EXPECT_EQ(errors, 0u);

    ASSERT_EQ(pty.WriteFar("0123456789"), 10u);
    ASSERT_TRUE(test::WaitForInput(device, 10));
    ASSERT_EQ(device.GetStatus(status, errors), ecOK);
    EXPECT_EQ(status.cbInQue, 10u);
    EXPECT_EQ(errors, 0u);

    EXPECT_EQ(device.PurgeInput(), ecOK);
    ASSERT_EQ(device.GetStatus(status, errors), ecOK);
    EXPECT_EQ(status.cbInQue, 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), 0) << "purged input is gone";
}

} // namespace
} // namespace apd
