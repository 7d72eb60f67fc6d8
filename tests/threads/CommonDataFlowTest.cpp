// Bytes through the serial dispatcher and its threads, with the test as the analyser at
// the far end; compiled into the POSIX and the Windows program. Received bytes reach the
// triggers and the window handlers without any polling by the application, and output
// leaves whole and in order, also across a flush while a write is pending.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "comm/dispatch/NotificationMessages.h"
#include "tests/threads/DataFlowFixture.h"

namespace apd::test {
namespace {

TEST_F(DataFlow, RecordReachesTheWindowHandlerOnItsPumpingThread) {
    Open();
    const std::int32_t header = AddTrigger(d, Header);
    std::mutex m;
    std::vector<Seen> seen;
    std::string read;
    Counter records;
    PumpingThread gui([&](const Seen& s) {
        std::string bytes;
        std::uint8_t c = 0;
        // The whole record was written at once, so it is in the ring with its header.
        for (int i = 0; i < 26 && d.GetChar(c) == ecOK; ++i) {
            bytes.push_back(static_cast<char>(c));
        }
        {
            std::lock_guard hold(m);
            seen.push_back(s);
            read += bytes;
        }
        records.Add();
    });
    RegisterWindow(d, gui.Window());

    const std::string record = Header + Pattern(24, 1);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(line.WriteFar(record), record.size());
        ASSERT_TRUE(records.WaitFor(i + 1)) << "record " << i << " was not delivered";
    }
    std::lock_guard hold(m);
    ASSERT_EQ(seen.size(), 3u);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.msg, MsgTriggerData);
        EXPECT_EQ(s.wParam, static_cast<std::uint32_t>(header));
        EXPECT_EQ(DispatcherHandleOf(s.lParam), d.DispatcherHandle);
        EXPECT_EQ(s.thread, gui.Id());
    }
    EXPECT_EQ(read, record + record + record);
    EXPECT_TRUE(PumpUntil([&] { return d.InBuffUsed() == 0; })) << "the tail did not move";
}

// A handler that waits inside its delivery for the rest of a record, as the workstation
// does: each byte the far end writes meanwhile reaches the ring while the delivery is
// still outstanding (the far end writes the next byte only once the handler has read the
// last one), and a header among those bytes is found by the checks after the delivery, so
// that every byte is read exactly once and in order.
TEST_F(DataFlow, BytesArrivingDuringADeliveryReachTheHandlerWaitingForThem) {
    Open();
    AddTrigger(d, Header);
    constexpr std::size_t RecordSize = 26;
    std::mutex m;
    std::string read;
    Counter bytesRead;
    Counter deliveries;
    std::atomic<bool> starved{false};
    PumpingThread gui([&](const Seen&) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        std::string record;
        std::uint8_t c = 0;
        while (record.size() < RecordSize) {
            if (d.GetChar(c) == ecOK) {
                record.push_back(static_cast<char>(c));
                bytesRead.Add();
            } else if (std::chrono::steady_clock::now() > deadline) {
                starved = true;
                break;
            } else {
                std::this_thread::yield();
            }
        }
        {
            std::lock_guard hold(m);
            read += record;
        }
        deliveries.Add();
    });
    RegisterWindow(d, gui.Window());

    const std::string first = Header + Pattern(RecordSize - 2, 1);
    const std::string second = Header + Pattern(RecordSize - 2, 100);
    ASSERT_EQ(line.WriteFar(first.substr(0, 2)), 2u);
    for (std::size_t i = 2; i < RecordSize; ++i) {
        ASSERT_TRUE(bytesRead.WaitFor(static_cast<int>(i), 2500ms))
            << "byte " << i - 1 << " did not reach the waiting handler";
        // The next record comes in the same piece as the first one's last byte.
        const std::string piece =
            i + 1 < RecordSize ? first.substr(i, 1) : first.substr(i) + second;
        ASSERT_EQ(line.WriteFar(piece), piece.size());
    }
    ASSERT_TRUE(deliveries.WaitFor(2));
    EXPECT_FALSE(starved);
    EXPECT_TRUE(PumpUntil([&] { return d.InBuffUsed() == 0; }));
    EXPECT_EQ(deliveries.Value(), 2);
    std::lock_guard hold(m);
    EXPECT_EQ(read, first + second);
}

TEST_F(DataFlow, BytesTravelBothWays) {
    Open();
    Counter ends;
    PumpingThread gui([&](const Seen&) { ends.Add(); });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, "\r\n");

    const std::string in = Pattern(3000) + "\r\n";
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(ends.WaitFor(1));
    // The trigger matched the last two bytes: everything before them is in the ring.
    std::string got;
    std::uint8_t c = 0;
    while (d.GetChar(c) == ecOK) {
        got.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(got, in);

    const std::string out = Pattern(2000, 7);
    ASSERT_EQ(Put(d, out), ecOK);
    EXPECT_EQ(AsString(line.ReadFar(out.size())), out);
}

TEST_F(DataFlow, OutputThatWrapsTheRingLeavesWholeAndInOrder) {
    Open(256); // a small ring, so that the stream wraps it many times
    const std::size_t total = 64 * 1024;
    auto far = std::async(std::launch::async, [&] { return line.ReadFar(total, 30s); });
    std::size_t sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (sent < total && std::chrono::steady_clock::now() < deadline) {
        const std::size_t n = std::min<std::size_t>(1 + sent % 97, total - sent);
        const ErrorCode rc = Put(d, Pattern(n, sent));
        if (rc == ecOK) {
            sent += n;
        } else {
            ASSERT_EQ(rc, ecOutputBufferTooSmall);
            std::this_thread::yield(); // the output thread is making room
        }
    }
    ASSERT_EQ(sent, total);
    const std::string got = AsString(far.get());
    ASSERT_EQ(got.size(), total);
    EXPECT_TRUE(got == Pattern(total)) << "the stream arrived reordered or corrupted";
}

TEST_F(DataFlow, OutputFlushWhileAWriteIsPendingEmptiesTheRing) {
    Open(4096);
    // Nobody reads the far end: the line fills, then the ring, and the output thread's
    // write stays pending.
    const std::string block = Pattern(1024);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    ErrorCode rc = ecOK;
    std::size_t queued = 0;
    while (rc == ecOK && std::chrono::steady_clock::now() < deadline) {
        rc = Put(d, block);
        if (rc == ecOK) {
            queued += block.size();
            std::this_thread::yield();
        }
    }
    ASSERT_EQ(rc, ecOutputBufferTooSmall) << "the line never filled";
    EXPECT_GT(d.OutBuffUsed(), 3000u);

    EXPECT_EQ(d.FlushOutBuffer(), ecOK);
    EXPECT_EQ(d.OutBuffUsed(), 0u);

    // The far end takes what had reached the line; afterwards new output still leaves.
    const std::size_t before = line.ReadFarUntilQuiet(300ms).size();
    EXPECT_LT(before, queued);
    const std::string after = "after the flush";
    ASSERT_EQ(Put(d, after), ecOK);
    EXPECT_EQ(AsString(line.ReadFar(after.size())), after);
}

} // namespace
} // namespace apd::test
