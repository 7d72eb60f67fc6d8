// The device event wait on the Windows serial API: data and modem-line events with the
// mask the comm thread uses, and the ring trailing edge that NT drivers refuse.

#include <gtest/gtest.h>

#include <future>

#include "comm/device/SerialDevice.h"
#include "comm/threads/DispatcherEvents.h"
#include "tests/support/wine/FarLine.h"

namespace apd::test {
namespace {

using namespace std::chrono_literals;

class WinDeviceEvent : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.Open(line.Name()), ecOK); }

    // The next wait's outcome, bounded: a wait still pending after `within` is ended by
    // clearing the mask and reported as Cancelled.
    EventWaitResult WaitOnce(std::uint32_t& events, std::chrono::milliseconds within = 5s) {
        auto wait = std::async(std::launch::async, [&] { return device.WaitEvent(events); });
        if (wait.wait_for(within) != std::future_status::ready) {
            device.SetEventMask(0);
        }
        return wait.get();
    }

    FarLine line{6};
    SerialDevice device;
};

TEST_F(WinDeviceEvent, DataAndModemLineChangesAreReportedWithTheNtMask) {
    ASSERT_EQ(device.SetEventMask(CommMaskNtFamily), ecOK);
    std::uint32_t events = 0;
    ASSERT_EQ(line.WriteFar("x"), 1u);
    ASSERT_EQ(WaitOnce(events), EventWaitResult::Events);
    EXPECT_NE(events & EventRxChar, 0u);
    char byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), 1);
    EXPECT_EQ(byte, 'x');

    // CTS changes at the far end while the wait is pending. Nothing tells when the wait
    // has taken its starting levels, so CTS goes on toggling until the wait reports.
    auto wait = std::async(std::launch::async, [&] { return device.WaitEvent(events); });
    bool ctsOn = true;
    for (int i = 0; i < 50 && wait.wait_for(100ms) != std::future_status::ready; ++i) {
        ctsOn = !ctsOn;
        line.SetLines((ctsOn ? 0x020 : 0) | 0x100 | 0x040);
    }
    if (wait.wait_for(0ms) != std::future_status::ready) {
        device.SetEventMask(0);
    }
    ASSERT_EQ(wait.get(), EventWaitResult::Events);
    EXPECT_NE(events & EventCts, 0u) << "events " << events;
    line.SetLines(0x100 | 0x040);
    std::uint8_t status = 0;
    ASSERT_EQ(device.ModemStatus(status), ecOK);
    EXPECT_EQ(status & 0x10, 0) << "CTS still reported on";
}

TEST_F(WinDeviceEvent, TheRingTrailingEdgeIsRefusedOrServedAndTheNtMaskServes) {
    ASSERT_EQ(device.SetEventMask(CommMaskOtherPlatforms), ecOK);
    ASSERT_EQ(line.WriteFar("ab"), 2u);
    std::uint32_t events = 0;
    const EventWaitResult first = WaitOnce(events);
    // Windows NT drivers refuse the bit with an invalid parameter; Wine accepts it.
    ASSERT_TRUE(first == EventWaitResult::InvalidParameter || first == EventWaitResult::Events)
        << static_cast<int>(first);
    if (first == EventWaitResult::Events) {
        EXPECT_NE(events & EventRxChar, 0u);
        char bytes[2];
        EXPECT_EQ(device.Read(bytes, 2), 2);
        ASSERT_EQ(line.WriteFar("c"), 1u);
    }
    ASSERT_EQ(device.SetEventMask(CommMaskNtFamily), ecOK);
    ASSERT_EQ(WaitOnce(events), EventWaitResult::Events);
    EXPECT_NE(events & EventRxChar, 0u);
}

TEST_F(WinDeviceEvent, ClearingTheMaskEndsAPendingWaitAsCancelled) {
    ASSERT_EQ(device.SetEventMask(CommMaskNtFamily), ecOK);
    std::uint32_t events = 0;
    auto wait = std::async(std::launch::async, [&] { return device.WaitEvent(events); });
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout) << "the idle wait did not pend";
    ASSERT_EQ(device.SetEventMask(0), ecOK);
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(wait.get(), EventWaitResult::Cancelled);
}

} // namespace
} // namespace apd::test
