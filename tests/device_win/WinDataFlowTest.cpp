// Bytes through the dispatcher and its threads on the Windows serial API, with the test as
// the analyser at the far end: triggers reaching a window handler on a pumping thread,
// output that wraps the ring, a flush while a write is pending, and a close from inside a
// handler.

#include <gtest/gtest.h>

#include <future>

#include "comm/dispatch/NotificationMessages.h"
#include "tests/device_threads/ThreadTestSupport.h"
#include "tests/support/wine/FarLine.h"

namespace apd::test {
namespace {

const std::string Header("\xAA\x55", 2);

std::string AsString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

ErrorCode Put(TestDispatcher& d, const std::string& bytes) {
    return d.PutBlock(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
}

class WinDataFlow : public ::testing::Test {
protected:
    void Open(std::uint32_t outSize = 4096) {
        ASSERT_EQ(d.OpenAnalyserLine(line.Name(), outSize), ecOK);
    }
    FarLine line{8};
    TestDispatcher d;
};

TEST_F(WinDataFlow, RecordsReachTheWindowHandlerOnItsPumpingThread) {
    Open();
    const std::int32_t header = AddTrigger(d, Header);
    std::mutex m;
    std::vector<Seen> seen;
    std::string read;
    Counter records;
    PumpingThread gui([&](const Seen& s) {
        std::string bytes;
        std::uint8_t c = 0;
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
}

TEST_F(WinDataFlow, BytesTravelBothWays) {
    Open();
    Counter ends;
    PumpingThread gui([&](const Seen&) { ends.Add(); });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, "\r\n");
    const std::string in = Pattern(3000) + "\r\n";
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(ends.WaitFor(1));
    // The trigger may fire before the last bytes are in the ring; all come within bounds.
    std::string got;
    std::uint8_t c = 0;
    ASSERT_TRUE(PumpUntil([&] {
        while (d.GetChar(c) == ecOK) {
            got.push_back(static_cast<char>(c));
        }
        return got.size() >= in.size();
    }));
    EXPECT_EQ(got, in);

    const std::string out = Pattern(2000, 7);
    ASSERT_EQ(Put(d, out), ecOK);
    EXPECT_EQ(AsString(line.ReadFar(out.size())), out);
}

TEST_F(WinDataFlow, OutputThatWrapsTheRingLeavesWholeAndInOrder) {
    Open(256);
    const std::size_t total = 32 * 1024;
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

TEST_F(WinDataFlow, OutputFlushWhileAWriteIsPendingEmptiesTheRing) {
    Open(4096);
    // The far end does not read: the line fills, then the ring, and the output thread's
    // write stays pending.
    const std::string block = Pattern(1024);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    ErrorCode rc = ecOK;
    std::size_t queued = 0;
    while (rc == ecOK && std::chrono::steady_clock::now() < deadline) {
        rc = Put(d, block);
        queued += rc == ecOK ? block.size() : 0;
        if (rc == ecOK) {
            std::this_thread::yield();
        }
    }
    ASSERT_EQ(rc, ecOutputBufferTooSmall) << "the line never filled";
    EXPECT_GT(d.OutBuffUsed(), 3000u);

    EXPECT_EQ(d.FlushOutBuffer(), ecOK);
    EXPECT_EQ(d.OutBuffUsed(), 0u);

    const std::size_t before = line.ReadFarUntilQuiet(300ms).size();
    EXPECT_LT(before, queued);
    const std::string after = "after the flush";
    ASSERT_EQ(Put(d, after), ecOK);
    const std::string tail = AsString(line.ReadFarUntilQuiet(500ms));
    ASSERT_GE(tail.size(), after.size());
    EXPECT_EQ(tail.substr(tail.size() - after.size()), after);
}

TEST_F(WinDataFlow, CloseFromInsideAWindowHandlerCompletesAfterItReturns) {
    Open();
    AddTrigger(d, Header);
    Counter closed;
    std::atomic<bool> threadsStillThere{false};
    PumpingThread gui([&](const Seen&) {
        d.CloseDevicePort();
        threadsStillThere = d.LiveThreads() > 0;
        closed.Add();
    });
    RegisterWindow(d, gui.Window());
    ASSERT_EQ(line.WriteFar(Header + Header), 4u);
    ASSERT_TRUE(closed.WaitFor(1));
    EXPECT_TRUE(threadsStillThere);
    ASSERT_TRUE(PumpUntil([&] { return d.LiveThreads() == 0; })) << "the deferred close hung";
    EXPECT_FALSE(d.DispatchBuffer);
    EXPECT_EQ(closed.Value(), 1);
    TestDispatcher again;
    EXPECT_EQ(again.OpenAnalyserLine(line.Name()), ecOK);
}

} // namespace
} // namespace apd::test
