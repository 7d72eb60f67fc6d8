// Closing the port from inside a window handler; compiled into the POSIX and the Windows
// program. The close completes after the handler returns and lets go of the port.

#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/farend/FarEnd.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

TEST(Close, FromInsideAWindowHandlerCompletesAfterItReturns) {
    FarEnd line(8);
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
    const std::string header("\xAA\x55", 2);
    AddTrigger(d, header);
    Counter closed;
    std::atomic<bool> threadsStillThere{false};
    PumpingThread gui([&](const Seen&) {
        d.CloseDevicePort();
        // The dispatch thread is waiting for this handler: it cannot have finished.
        threadsStillThere = d.LiveThreads() > 0;
        closed.Add();
    });
    RegisterWindow(d, gui.Window());
    ASSERT_EQ(line.WriteFar(header + header), 4u);
    ASSERT_TRUE(closed.WaitFor(1));
    EXPECT_TRUE(threadsStillThere);
    ASSERT_TRUE(PumpUntil([&] { return d.LiveThreads() == 0; })) << "the deferred close hung";
    EXPECT_FALSE(d.DispatchBuffer);
    EXPECT_FALSE(d.OutputBuffer);
    EXPECT_EQ(closed.Value(), 1); // nothing more was delivered after the close
    TestDispatcher again;
    EXPECT_EQ(again.OpenAnalyserLine(line.Name()), ecOK) << "the closed port was not let go";
}

} // namespace
} // namespace apd::test
