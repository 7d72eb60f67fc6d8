// The device going away under an open port (the far end of the pseudo-terminal closed,
// as when a USB adapter is pulled): the loss is recorded, no thread spins, and the close
// still works and frees everything.

#include <gtest/gtest.h>

#include "tests/support/pty/PtyPair.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

TEST(DeviceLoss, IsRecordedWithoutSpinningAndTheCloseStillWorks) {
    PtyPair line;
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath()), ecOK);
    Counter seen;
    PumpingThread gui([&](const Seen&) { seen.Add(); });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, "\xAA\x55");
    ASSERT_EQ(line.WriteFar("\xAA\x55"), 2u);
    ASSERT_TRUE(seen.WaitFor(1));
    EXPECT_FALSE(d.DeviceLost());

    line.CloseFar();
    ASSERT_TRUE(PumpUntil([&] { return d.DeviceLost(); })) << "the loss was not recorded";

    // A hang-up reported for ever must not keep any thread busy.
    const auto cpuBefore = ProcessCpuTime();
    const auto wallBefore = std::chrono::steady_clock::now();
    PumpUntil([] { return false; }, 300ms);
    const auto cpu = ProcessCpuTime() - cpuBefore;
    const auto wall = std::chrono::steady_clock::now() - wallBefore;
    EXPECT_LT(cpu * 10, wall) << "threads keep a core busy after the loss";

    // Every call on the device reports the loss by its own code; emptying the receive
    // buffer is still done and succeeds, and the loss stays recorded.
    EXPECT_EQ(d.SetLineSettings(9600, ParityNone, 8, 1), ecDeviceLost);
    EXPECT_EQ(d.FlushInBuffer(), ecOK);
    EXPECT_EQ(d.InBuffUsed(), 0u);
    EXPECT_TRUE(d.DeviceLost());

    // Output after the loss is refused or dropped, never waited for.
    const std::string out = "lost";
    d.PutBlock(reinterpret_cast<const std::uint8_t*>(out.data()), 4);
    EXPECT_TRUE(PumpUntil([&] { return d.OutBuffUsed() == 0; }));

    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_FALSE(d.DispatchBuffer);
    EXPECT_FALSE(d.OutputBuffer);
}

} // namespace
} // namespace apd::test
