// The dispatcher on the Windows serial API, where the line broker's far end has modem
// lines: DTR and RTS and the far end's lines, and the far end vanishing. The opening
// tests both programs run are in tests/threads/CommonPortOpenTest.cpp.

#include <gtest/gtest.h>

#include "tests/support/wine/FarLine.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

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
