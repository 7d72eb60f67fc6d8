// The dispatch thread refreshes line and modem status while the application's thread
// reads and changes the line: nothing may be lost, torn or deadlocked.

#include <atomic>
#include <future>

#include "comm/dispatch/FlowOptions.h"
#include "comm/dispatch/LineArithmetic.h"
#include "tests/linectl/LineControlFixture.h"

namespace apd::testing {
namespace {

constexpr int Rounds = 2000;

TEST(LineControlConcurrency, StatusRefreshesAndLineChangesRunSideBySide) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);

    std::atomic<int> framingErrorsSeen{0};
    // The dispatch thread's side: a framing error and a CTS change every round.
    auto refresher = std::async(std::launch::async, [&] {
        for (int i = 0; i < Rounds; ++i) {
            dispatcher.SetLineErrors(LineErrorFrame);
            dispatcher.RefreshLineStatus();
            dispatcher.SetModemLines((i & 1) != 0 ? 0x10 : 0x00);
            dispatcher.RefreshModemStatus();
        }
    });
    // The application's side: reads errors and modem status, changes flow control and
    // the line (which polls the output count under OutputLock while the other thread
    // refreshes).
    for (int i = 0; i < Rounds / 20; ++i) {
        if (dispatcher.GetLineError() == 4) {
            ++framingErrorsSeen;
        }
        const std::uint8_t modem = dispatcher.ReadModemStatus(0xF0);
        EXPECT_EQ(modem & 0x0E, 0) << "only CTS changes";
        ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, (i & 1) != 0 ? HwFlowRequireCts : 0),
                  ecOK);
        ASSERT_EQ(dispatcher.SetLineSettings({.Baud = (i & 1) != 0 ? 57600u : 115200u}), ecOK);
    }
    ASSERT_EQ(refresher.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    refresher.get();

    // The last round's error is still there unless the reader already took it.
    dispatcher.RefreshLineStatus();
    if (dispatcher.GetLineError() == 4) {
        ++framingErrorsSeen;
    }
    EXPECT_GE(framingErrorsSeen.load(), 1);
    EXPECT_EQ(dispatcher.GetLineError(), 0);
    EXPECT_EQ(dispatcher.DeviceLine().BaudRate, 57600u);
}

} // namespace
} // namespace apd::testing
