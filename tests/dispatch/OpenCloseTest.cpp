// Opening and closing the port, and the line and modem status kept by the dispatcher.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

TEST(OpenDevicePort, AppliesTheLineAndTheOutputLevelsAndStartsTheThreads) {
    TMemoryDispatcher dispatcher;
    dispatcher.SetModemLines(0x30 | 0x01); // CTS and DSR on, a stray change bit
    ASSERT_EQ(dispatcher.OpenDevicePort("memory", {19200, ParityEven, 7, 2}, 4096, 4096,
                                        OpenRaiseDtr | OpenRtsFlowControl),
              ecOK);
    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.BaudRate, 19200u);
    EXPECT_EQ(line.Parity, ParityEven);
    EXPECT_EQ(line.ByteSize, 7);
    EXPECT_EQ(line.StopBits, StopBitsTwo);
    EXPECT_EQ(line.fDtrControl, DtrControlEnable);
    EXPECT_EQ(dispatcher.AppliedBaudValue(), 19200);
    EXPECT_TRUE(dispatcher.DtrLevel());
    // RTS is under flow control: set by nobody.
    for (int code : dispatcher.Escapes()) {
        EXPECT_NE(code, EscapeSetRts);
        EXPECT_NE(code, EscapeClearRts);
    }
    EXPECT_EQ(dispatcher.ModemShadow(), 0x30u); // the change bits are dropped at open
    EXPECT_TRUE(dispatcher.DispatcherActive);
    EXPECT_EQ(dispatcher.StartCount(), 1);
}

TEST(OpenDevicePort, FailuresCloseAgainAndReportTheCause) {
    {
        TMemoryDispatcher dispatcher;
        dispatcher.FailOpen(-1, 2);
        EXPECT_EQ(dispatcher.OpenDefault(), -2);
        EXPECT_FALSE(dispatcher.Ring().buffer);
        EXPECT_EQ(dispatcher.StartCount(), 0);
    }
    {
        TMemoryDispatcher dispatcher;
        dispatcher.FailOpen(ecOutOfMemory, 12);
        EXPECT_EQ(dispatcher.OpenDefault(), ecOutOfMemory);
    }
    {
        TMemoryDispatcher dispatcher;
        dispatcher.FailSetupQueues(22);
        EXPECT_EQ(dispatcher.OpenDefault(), -22);
        EXPECT_EQ(dispatcher.CloseCount(), 1);
        EXPECT_FALSE(dispatcher.Ring().buffer);
    }
    {
        TMemoryDispatcher dispatcher;
        dispatcher.RefuseSetState(-13);
        EXPECT_EQ(dispatcher.OpenDefault(), -13);
        EXPECT_EQ(dispatcher.DeviceHandleValue(), -1);
        EXPECT_EQ(dispatcher.StartCount(), 0);
    }
}

TEST(CloseDevicePort, FlushesClosesStopsAndFreesTheBuffers) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    dispatcher.Feed("abc");
    dispatcher.CloseDevicePort();
    EXPECT_EQ(dispatcher.OutputFlushes(), 1);
    EXPECT_EQ(dispatcher.InputFlushes(), 1);
    EXPECT_EQ(dispatcher.CloseCount(), 1);
    EXPECT_EQ(dispatcher.StopCount(), 1);
    EXPECT_FALSE(dispatcher.Ring().buffer);
    EXPECT_FALSE(dispatcher.OutputRing().buffer);
    // A closed dispatcher answers reads as empty.
    std::uint8_t c = 0;
    EXPECT_EQ(dispatcher.GetChar(c), ecBufferIsEmpty);
    EXPECT_FALSE(dispatcher.FillDispatchBuffer());
    EXPECT_FALSE(dispatcher.CheckDataTriggers());
}

TEST(LineSettings, KeepValuesAndFramingRules) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    const LineState before = dispatcher.DeviceLine();
    EXPECT_EQ(dispatcher.SetLineSettings(LineRequestFromSettings(0, 5, 9, 3)), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine(), before);

    EXPECT_EQ(dispatcher.SetLineSettings(LineRequestFromSettings(0, 5, 5, 2)), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().StopBits, StopBitsOneAndHalf);
    EXPECT_EQ(dispatcher.SetLineSettings(LineRequestFromSettings(0, 5, 8, 7)), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().StopBits, StopBitsTwo);
    EXPECT_EQ(dispatcher.SetLineSettings(LineRequestFromSettings(0, 5, 9, 0)), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().StopBits, StopBitsOne);
}

TEST(LineStatus, ErrorsAreReportedInOrderAndBreakSeparately) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    dispatcher.SetLineErrors(LineErrorOverrun | LineErrorParity | LineErrorBreak);
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.GetLineError(), 2);
    EXPECT_EQ(dispatcher.GetLineError(), 9); // overrun and parity were cleared together
    EXPECT_EQ(dispatcher.GetLineError(), 9);
    EXPECT_TRUE(dispatcher.CheckLineBreak());
    EXPECT_FALSE(dispatcher.CheckLineBreak());
    EXPECT_EQ(dispatcher.GetLineError(), 0);
}

TEST(ModemStatus, ChangesAndRingEventsSetChangeBitsOnce) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    dispatcher.SetModemLines(0x10); // CTS comes on
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ModemShadow(), 0x11u);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), 0x11);
    EXPECT_EQ(dispatcher.ModemShadow(), 0x10u);

    dispatcher.RingEventSeen = true;
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), 0x14);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), 0x10);
}

TEST(OutputLines, RefusedChangeReportsBadArgumentButKeepsTheRequest) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    dispatcher.RefuseEscape(true);
    EXPECT_EQ(dispatcher.SetDTR(false), ecBadArgument);
    EXPECT_FALSE(dispatcher.DtrLevel());
}

} // namespace
} // namespace apd::testing
