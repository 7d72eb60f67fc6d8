#include "comm/device/SerialDevice.h"

#include "tests/device/DeviceFixture.h"
#include "tests/device/DeviceWaits.h"
#include "tests/support/pty/PtyPair.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cerrno>
#include <chrono>
#include <future>

namespace apd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds ThreadCpuTime() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

struct TimedWait {
    EventWaitResult result;
    std::uint32_t events;
    std::chrono::nanoseconds cpu; // CPU time the waiting thread spent in the wait
};

class SerialDeviceEventWait : public test::DeviceFixture {
protected:
    std::shared_future<TimedWait> StartWait() {
        return Async([this] {
            const auto cpu = ThreadCpuTime();
            std::uint32_t events = 0;
            const EventWaitResult result = device.WaitEvent(events);
            return TimedWait{result, events, ThreadCpuTime() - cpu};
        });
    }
};

TEST_F(SerialDeviceEventWait, ArrivingDataEndsTheWaitAndIdleWaitingCostsNothing) {
    ASSERT_EQ(device.SetEventMask(EventsSupported), ecOK);
    EXPECT_EQ(device.EventMask(), EventsSupported);
    auto wait = StartWait();
    ASSERT_EQ(wait.wait_for(300ms), std::future_status::timeout) << "no event yet";
    ASSERT_EQ(pty.WriteFar("x"), 1u);
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    const TimedWait got = wait.get();
    EXPECT_EQ(got.result, EventWaitResult::Events);
    EXPECT_EQ(got.events, EventRxChar);
    // A pseudo-terminal has no modem lines to watch: the wait blocked without waking.
    EXPECT_LT(got.cpu, 30ms);
}

TEST_F(SerialDeviceEventWait, InputLeftUnreadIsReportedAgainOnlyWhenMoreArrives) {
    ASSERT_EQ(device.SetEventMask(EventRxChar), ecOK);
    auto first = StartWait();
    ASSERT_EQ(pty.WriteFar("ab"), 2u);
    ASSERT_EQ(first.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(first.get().result, EventWaitResult::Events) << "waiting input is reported";

    // Not read: a second wait must not return at once for the same bytes, and must not
    // spin while they sit.
    auto second = StartWait();
    ASSERT_EQ(second.wait_for(200ms), std::future_status::timeout);
    ASSERT_EQ(pty.WriteFar("c"), 1u);
    ASSERT_EQ(second.wait_for(5s), std::future_status::ready);
    const TimedWait got = second.get();
    EXPECT_EQ(got.result, EventWaitResult::Events);
    EXPECT_EQ(got.events, EventRxChar);
    EXPECT_LT(got.cpu, 30ms);

    EXPECT_EQ(test::ReadDevice(device, 3).size(), 3u) << "nothing was lost meanwhile";
}

TEST_F(SerialDeviceEventWait, InputThatFollowsAReadOfTheSameLengthIsReported) {
    ASSERT_EQ(device.SetEventMask(EventRxChar), ecOK);
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(pty.WriteFar("q"), 1u);
        auto wait = StartWait();
        ASSERT_EQ(wait.wait_for(5s), std::future_status::ready) << "round " << round;
        EXPECT_EQ(wait.get().result, EventWaitResult::Events);
        std::uint8_t byte = 0;
        ASSERT_EQ(device.Read(&byte, 1), 1);
    }
}

TEST_F(SerialDeviceEventWait, ChangingTheMaskFromAnotherThreadEndsTheWaitAtOnce) {
    ASSERT_EQ(device.SetEventMask(EventsSupported), ecOK);
    auto wait = StartWait();
    ASSERT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    const auto changed = Clock::now();
    ASSERT_EQ(device.SetEventMask(0), ecOK);
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    EXPECT_LT(Clock::now() - changed, 200ms);
    EXPECT_EQ(wait.get().result, EventWaitResult::Cancelled);

    std::uint32_t events = 0xFFFF;
    EXPECT_EQ(device.WaitEvent(events), EventWaitResult::Cancelled) << "mask 0: at once";
    EXPECT_EQ(events, 0u);

    // A mask change before the wait began does not end it: it is the mask in force.
    ASSERT_EQ(device.SetEventMask(EventRxChar), ecOK);
    auto next = StartWait();
    ASSERT_EQ(next.wait_for(100ms), std::future_status::timeout);
    ASSERT_EQ(pty.WriteFar("y"), 1u);
    ASSERT_EQ(next.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(next.get().result, EventWaitResult::Events);
}

TEST_F(SerialDeviceEventWait, TheRingTrailingEdgeBitIsAnInvalidParameter) {
    ASSERT_EQ(device.SetEventMask(0x21F9), ecOK) << "any mask is stored";
    EXPECT_EQ(device.EventMask(), 0x21F9u);
    std::uint32_t events = 0;
    EXPECT_EQ(device.WaitEvent(events), EventWaitResult::InvalidParameter);
    ASSERT_EQ(pty.WriteFar("z"), 1u);
    EXPECT_EQ(device.WaitEvent(events), EventWaitResult::InvalidParameter)
        << "the mask stays invalid until it is changed";

    // The fallback mask works.
    const auto got = test::WaitEventWithin(device, 0x01F9, 5s);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->result, EventWaitResult::Events);
    EXPECT_EQ(got->events, EventRxChar);
}

TEST_F(SerialDeviceEventWait, AVanishingFarEndIsReportedAsLostAndEveryLaterCallFails) {
    ASSERT_EQ(device.SetEventMask(EventsSupported), ecOK);
    auto wait = StartWait();
    ASSERT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    pty.CloseFar();
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
    const TimedWait got = wait.get();
    EXPECT_EQ(got.result, EventWaitResult::DeviceLost);
    EXPECT_LT(got.cpu, 30ms);
    EXPECT_TRUE(device.IsLost());

    std::uint32_t events = 0;
    EXPECT_EQ(device.WaitEvent(events), EventWaitResult::DeviceLost);
    EXPECT_EQ(device.WaitWritable(-1), WriteWaitResult::DeviceLost);
    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), ecDeviceLost);
    EXPECT_EQ(device.Write(&byte, 1), ecDeviceLost);
    LineState state;
    EXPECT_EQ(device.GetState(state), ecDeviceLost);
    EXPECT_EQ(device.SetState(state), ecDeviceLost);
    DeviceStatus status;
    std::uint32_t errors = 0;
    EXPECT_EQ(device.GetStatus(status, errors), ecDeviceLost);
    EXPECT_EQ(device.PurgeInput(), ecDeviceLost);
    EXPECT_EQ(device.PurgeOutput(), ecDeviceLost);

    const std::string path = device.Path();
    EXPECT_EQ(device.Close(), ecOK);
    EXPECT_FALSE(device.IsLost());
    EXPECT_EQ(device.Open(path), ecFileNotFound) << "the pseudo-terminal has gone";
}

TEST_F(SerialDeviceEventWait, ALossFoundByAReadIsALossForTheWaitToo) {
    pty.CloseFar();
    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), ecDeviceLost);
    EXPECT_TRUE(device.IsLost());
    ASSERT_EQ(device.SetEventMask(EventsSupported), ecOK);
    std::uint32_t events = 0;
    EXPECT_EQ(device.WaitEvent(events), EventWaitResult::DeviceLost);
}

} // namespace
} // namespace apd
