// Closing the port from inside a window handler, and from another thread while a handler
// holds the delivery; compiled into the POSIX and the Windows program.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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
    EXPECT_FALSE(d.InputRing.Exists());
    EXPECT_FALSE(d.OutputBuffer);
    EXPECT_EQ(closed.Value(), 1); // nothing more was delivered after the close
    TestDispatcher again;
    EXPECT_EQ(again.OpenAnalyserLine(line.Name()), ecOK) << "the closed port was not let go";
}

TEST(Close, FromAnotherThreadDuringADeliveryWaitsForIt) {
    FarEnd line(8);
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.Name()), ecOK);
    const std::string header("\xAA\x55", 2);
    AddTrigger(d, header);
    Counter entered;
    std::atomic<bool> stopSeen{false};
    PumpingThread gui([&](const Seen&) {
        entered.Add();
        // Holds the delivery until the close has asked the threads to stop (bounded, so
        // that a close that does not wait fails the test rather than hanging it).
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!d.StopThreads && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        stopSeen = d.StopThreads.load();
    });
    RegisterWindow(d, gui.Window());
    ASSERT_EQ(line.WriteFar(header), 2u);
    ASSERT_TRUE(entered.WaitFor(1));
    // Not from inside the handler: the close waits for the delivery instead of leaving
    // the port half closed behind it.
    d.CloseDevicePort();
    EXPECT_FALSE(d.CloseDeferred);
    EXPECT_TRUE(stopSeen);
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_FALSE(d.InputRing.Exists());
    EXPECT_EQ(entered.Value(), 1);
}

} // namespace
} // namespace apd::test
