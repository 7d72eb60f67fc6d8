#include "comm/device/SerialDevice.h"

#include "tests/device/DeviceFixture.h"
#include "tests/device/DeviceWaits.h"
#include "tests/support/pty/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace apd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char Xon = 0x11;
constexpr char Xoff = 0x13;

class SerialDeviceTransfer : public test::DeviceFixture {
protected:
    void HonourXonXoff() {
        LineState s;
        ASSERT_EQ(device.GetState(s), ecOK);
        s.fOutX = true;
        ASSERT_EQ(device.SetState(s), ecOK);
    }

    // Writes single bytes until the driver takes none; the count written.
    std::size_t WriteUntilRefused(char byte, std::size_t limit) {
        std::size_t written = 0;
        while (written < limit) {
            const std::int32_t n = device.Write(&byte, 1);
            if (n <= 0) {
                EXPECT_EQ(n, 0);
                break;
            }
            ++written;
        }
        return written;
    }
};

TEST_F(SerialDeviceTransfer, ReadsNeverBlockAndTakeWhatHasArrived) {
    std::uint8_t buffer[64];
    const auto start = Clock::now();
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(device.Read(buffer, 0), 0);

    ASSERT_EQ(pty.WriteFar("abc"), 3u);
    ASSERT_TRUE(test::WaitForInput(device, 3));
    EXPECT_EQ(device.Read(buffer, 2), 2) << "no more than asked for";
    EXPECT_EQ(device.Read(buffer + 2, sizeof buffer - 2), 1);
    EXPECT_EQ(std::string(buffer, buffer + 3), "abc");
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);
}

TEST_F(SerialDeviceTransfer, AFullOutputSideTakesNothingUntilTheFarEndReads) {
    const std::string block(4096, 'z');
    std::size_t written = 0;
    for (int i = 0; i < 64; ++i) {
        const std::int32_t n = device.Write(block.data(), block.size());
        ASSERT_GE(n, 0);
        if (n == 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    ASSERT_GT(written, 0u);
    ASSERT_LT(written, 64 * block.size()) << "the driver never refused: nothing was tested";
    // Room the driver reports just after a refusal may be taken by its own buffering; the
    // output side settles into a wait that times out instead of spinning.
    WriteWaitResult r = WriteWaitResult::Writable;
    for (int i = 0; i < 100 && r == WriteWaitResult::Writable; ++i) {
        r = device.WaitWritable(100);
        if (r == WriteWaitResult::Writable) {
            const std::int32_t n = device.Write(block.data(), block.size());
            ASSERT_GE(n, 0);
            written += static_cast<std::size_t>(n);
        }
    }
    EXPECT_EQ(r, WriteWaitResult::TimedOut);

    EXPECT_EQ(pty.ReadFar(written).size(), written) << "nothing taken was lost";
    EXPECT_EQ(device.WaitWritable(5000), WriteWaitResult::Writable);
    EXPECT_GT(device.Write(block.data(), block.size()), 0);
}

TEST_F(SerialDeviceTransfer, XoffFromTheFarEndStopsOutputUntilXon) {
    HonourXonXoff();
    ASSERT_EQ(pty.WriteFar(std::string(1, Xoff)), 1u);
    // The far end's XOFF reaches the line discipline a moment later; until then bytes go.
    const auto deadline = Clock::now() + 5s;
    std::size_t before = 0;
    while (Clock::now() < deadline) {
        const std::size_t n = WriteUntilRefused('b', 100000);
        before += n;
        if (n < 100000 && device.WaitWritable(20) == WriteWaitResult::TimedOut) {
            break;
        }
    }
    ASSERT_LT(before, 13000u) << "output never stopped";
    EXPECT_EQ(pty.ReadFar(before).size(), before);
    EXPECT_EQ(device.Write("x", 1), 0) << "still stopped with the far side drained";
    EXPECT_EQ(device.WaitWritable(50), WriteWaitResult::TimedOut);
    EXPECT_TRUE(pty.ReadFarUntilQuiet(50ms).empty());

    ASSERT_EQ(pty.WriteFar(std::string(1, Xon)), 1u);
    ASSERT_EQ(device.WaitWritable(5000), WriteWaitResult::Writable);
    ASSERT_EQ(device.Write("after", 5), 5);
    const auto after = pty.ReadFar(5);
    EXPECT_EQ(std::string(after.begin(), after.end()), "after");

    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), 0) << "the flow characters are not data";
}

TEST_F(SerialDeviceTransfer, CancelAndOutputPurgeEndAWriteWaitAtOnce) {
    HonourXonXoff();
    ASSERT_EQ(pty.WriteFar(std::string(1, Xoff)), 1u);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        WriteUntilRefused('c', 100000);
        if (device.WaitWritable(20) == WriteWaitResult::TimedOut) {
            break;
        }
    }

    for (int round = 0; round < 2; ++round) {
        auto wait = Async([&] { return device.WaitWritable(-1); });
        ASSERT_EQ(wait.wait_for(50ms), std::future_status::timeout) << "the wait must pend";
        const auto cancelled = Clock::now();
        if (round == 0) {
            device.CancelWrite();
        } else {
            EXPECT_EQ(device.PurgeOutput(), ecOK);
        }
        ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(wait.get(), WriteWaitResult::Cancelled);
        EXPECT_LT(Clock::now() - cancelled, 500ms);
    }

    // A cancel with no wait pending is kept for the next wait, once.
    device.CancelWrite();
    EXPECT_EQ(device.WaitWritable(-1), WriteWaitResult::Cancelled);
    EXPECT_EQ(device.WaitWritable(20), WriteWaitResult::TimedOut);
}

TEST_F(SerialDeviceTransfer, CloseEndsTheWaitsInProgress) {
    HonourXonXoff();
    ASSERT_EQ(pty.WriteFar(std::string(1, Xoff)), 1u);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        WriteUntilRefused('d', 100000);
        if (device.WaitWritable(20) == WriteWaitResult::TimedOut) {
            break;
        }
    }
    ASSERT_EQ(device.SetEventMask(EventsSupported), ecOK);
    auto write = Async([&] { return device.WaitWritable(-1); });
    auto event = Async([&] {
        std::uint32_t events = 0;
        return device.WaitEvent(events);
    });
    ASSERT_EQ(write.wait_for(50ms), std::future_status::timeout);
    ASSERT_EQ(event.wait_for(0ms), std::future_status::timeout);
    EXPECT_EQ(device.Close(), ecOK);
    ASSERT_EQ(write.wait_for(5s), std::future_status::ready);
    ASSERT_EQ(event.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(write.get(), WriteWaitResult::Cancelled);
    EXPECT_EQ(event.get(), EventWaitResult::Cancelled);
    EXPECT_EQ(device.Open(pty.DevicePath()), ecOK) << "reopening after a close under load";
}

} // namespace
} // namespace apd
