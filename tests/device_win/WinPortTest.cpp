// Opening the dispatcher on the Windows serial API: the COM name, the threads, the line
// read back, exclusive use, a missing port, and the far end vanishing.

#include <gtest/gtest.h>

#include "tests/device_threads/ThreadTestSupport.h"
#include "tests/support/wine/FarLine.h"

namespace apd::test {
namespace {

TEST(WinPort, OpensStartsThreadsReadsTheLineBackAndClosesForReuse) {
    FarLine line(7);
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
    EXPECT_EQ(d.LiveThreads(), 3);

    LineState state;
    ASSERT_EQ(d.DeviceGetState(state), 0);
    EXPECT_EQ(state.BaudRate, 115200u);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, ParityNone);
    EXPECT_EQ(state.StopBits, StopBitsOne);

    ASSERT_EQ(d.SetLineSettings(57600, 5, 9, 2), ecOK);
    ASSERT_EQ(d.DeviceGetState(state), 0);
    EXPECT_EQ(state.BaudRate, 57600u);
    EXPECT_EQ(state.StopBits, StopBitsTwo);

    // Held for exclusive use, also against a second open in this process.
    TestDispatcher second;
    EXPECT_EQ(second.OpenAnalyserLine(line.Name()), -5);
    EXPECT_EQ(second.LiveThreads(), 0);

    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_FALSE(d.DispatchBuffer);
    EXPECT_FALSE(d.OutputBuffer);
    TestDispatcher again;
    EXPECT_EQ(again.OpenAnalyserLine(line.Name()), ecOK);
}

TEST(WinPort, MissingPortFailsWith2AndTheProbeLeavesNothingOpen) {
    TestDispatcher d;
    EXPECT_EQ(d.OpenAnalyserLine("\\\\.\\COM9"), -2); // no link for COM9
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_FALSE(d.DispatchBuffer);
    EXPECT_LT(d.DeviceOpen("\\\\.\\COM9", 64, 64), 0);
    EXPECT_EQ(d.DeviceClose(), -1);

    FarLine line(3);
    {
        TestDispatcher probe; // as the port selection dialog probes a candidate port
        EXPECT_GE(probe.DeviceOpen(line.Name(), 64, 64), 0);
        EXPECT_EQ(probe.LiveThreads(), 0);
        EXPECT_EQ(probe.DeviceClose(), 0);
        EXPECT_EQ(probe.DeviceClose(), -1);
    }
    EXPECT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
}

TEST(WinPort, DtrAndRtsReachTheFarEndAndItsLinesComeBack) {
    FarLine line(4);
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
    constexpr std::uint32_t Dtr = 0x002;
    constexpr std::uint32_t Rts = 0x004;
    ASSERT_GE(d.SetDTR(true), 0);
    ASSERT_GE(d.SetRTS(false), 0);
    EXPECT_EQ(line.OutputLines(), Dtr);
    ASSERT_GE(d.SetDTR(false), 0);
    ASSERT_GE(d.SetRTS(true), 0);
    EXPECT_EQ(line.OutputLines(), Rts);

    // The far end drops CTS and DCD and keeps DSR (Linux numbering), which the device
    // reports in the modem status register's layout.
    line.SetLines(0x100);
    EXPECT_EQ(d.DeviceModemStatus() & 0xF0, 0x20u);
    line.SetLines(0x020 | 0x040);
    EXPECT_EQ(d.DeviceModemStatus() & 0xF0, 0x90u);
}

TEST(WinPort, FarEndVanishingIsSeenAndThePortIsGoneAfterwards) {
    FarLine line(5);
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
    ASSERT_TRUE(line.HangUp()) << "the COM5 link was not removed";
    EXPECT_TRUE(PumpUntil([&] { return d.DeviceLost(); })) << "the loss was never seen";
    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    TestDispatcher after;
    EXPECT_EQ(after.OpenAnalyserLine(line.Name()), -2);
}

} // namespace
} // namespace apd::test
