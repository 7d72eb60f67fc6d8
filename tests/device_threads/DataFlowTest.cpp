// Bytes through the serial dispatcher and its threads, with the test as the analyser at
// the far end of a pseudo-terminal: received bytes reach the triggers and the window
// handlers without any polling by the application, and output leaves whole and in order.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "comm/dispatch/NotificationMessages.h"
#include "comm/dispatch/TimerExpiry.h"
#include "tests/device_threads/ThreadTestSupport.h"
#include "tests/support/pty/PtyPair.h"

namespace apd::test {
namespace {

std::string AsString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

class DataFlow : public ::testing::Test {
protected:
    void Open(std::uint32_t outSize = 4096) {
        ASSERT_EQ(d.OpenAnalyserLine(line.PublishAsCom(7), outSize), ecOK);
    }
    PtyPair line;
    TestDispatcher d;
};

TEST_F(DataFlow, RecordReachesTheWindowHandlerOnItsPumpingThread) {
    Open();
    const std::int32_t header = AddTrigger(d, "\xAA\x55");
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

    const std::string record = std::string("\xAA\x55", 2) + Pattern(24, 1);
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

TEST_F(DataFlow, BytesTravelBothWays) {
    Open();
    Counter ends;
    PumpingThread gui([&](const Seen&) { ends.Add(); });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, "\r\n");

    const std::string in = Pattern(3000) + "\r\n";
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(ends.WaitFor(1));
    std::string got;
    std::uint8_t c = 0;
    while (d.GetChar(c) == ecOK) {
        got.push_back(static_cast<char>(c));
    }
    EXPECT_EQ(got, in);

    const std::string out = Pattern(2000, 7);
    ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(out.data()),
                         static_cast<std::uint32_t>(out.size())),
              ecOK);
    EXPECT_EQ(AsString(line.ReadFar(out.size())), out);
}

TEST_F(DataFlow, OutputThatWrapsTheRingLeavesWholeAndInOrder) {
    Open(256); // a small ring, so that the stream wraps it many times
    const std::size_t total = 64 * 1024;
    auto far = std::async(std::launch::async, [&] { return line.ReadFar(total, 20s); });
    std::size_t sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (sent < total && std::chrono::steady_clock::now() < deadline) {
        const std::size_t n = std::min<std::size_t>(1 + sent % 97, total - sent);
        const std::string block = Pattern(n, sent);
        const ErrorCode rc = d.PutBlock(reinterpret_cast<const std::uint8_t*>(block.data()),
                                        static_cast<std::uint32_t>(n));
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
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    ErrorCode rc = ecOK;
    std::size_t queued = 0;
    while (rc == ecOK && std::chrono::steady_clock::now() < deadline) {
        rc = d.PutBlock(reinterpret_cast<const std::uint8_t*>(block.data()), 1024);
        queued += rc == ecOK ? 1024 : 0;
    }
    ASSERT_EQ(rc, ecOutputBufferTooSmall) << "the line never filled";
    EXPECT_GT(d.OutBuffUsed(), 3000u);

    EXPECT_EQ(d.FlushOutBuffer(), ecOK);
    EXPECT_EQ(d.OutBuffUsed(), 0u);

    // The far end takes what had reached the line; afterwards new output still leaves.
    const std::size_t before = line.ReadFarUntilQuiet(200ms).size();
    EXPECT_LT(before, queued);
    const std::string after = "after the flush";
    ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(after.data()),
                         static_cast<std::uint32_t>(after.size())),
              ecOK);
    EXPECT_EQ(AsString(line.ReadFar(after.size())), after);
}

TEST_F(DataFlow, BytesLeftInTheDeviceByAFullRingFollowOnceThereIsRoom) {
    Open();
    // More than the 8192-byte ring holds, and no handler reads: the ring fills and the
    // rest waits in the device, with no further device event to announce it.
    const std::string in = Pattern(12000);
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(PumpUntil([&] { return d.InBuffUsed() == 8192; })) << d.InBuffUsed();
    std::string got;
    std::uint8_t c = 0;
    while (got.size() < in.size()) {
        if (d.GetChar(c) == ecOK) {
            got.push_back(static_cast<char>(c));
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return d.CharReady(); }, 2s))
            << "stuck after " << got.size() << " bytes";
    }
    EXPECT_TRUE(got == in) << "bytes lost or reordered across the full ring";
}

TEST_F(DataFlow, TimerTriggerRestoredOnAnIdlePortFiresWithoutDeviceEvents) {
    Open();
    Counter fired;
    std::atomic<std::uint32_t> handle{0};
    Counter records;
    PumpingThread gui([&](const Seen& s) {
        if (s.msg == MsgTriggerTimer) {
            handle = s.wParam;
            fired.Add();
        } else {
            records.Add();
        }
    });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, "\xAA\x55");
    ASSERT_EQ(line.WriteFar("\xAA\x55"), 2u);
    ASSERT_TRUE(records.WaitFor(1));
    // The port has nothing more to do: the dispatch thread waits for a device event that
    // never comes. A timer that is already due must still be served.
    ASSERT_TRUE(PumpUntil([&] { return !d.HeartbeatActive(); })) << "an idle port kept beating";
    TimerTrigger timer;
    timer.Handle = 64;
    timer.Timer.StartTicks = TimerTicksNow() - 2;
    timer.Timer.ExpireTicks = 1;
    timer.Active = RecordTrue;
    TriggerSnapshot snapshot;
    snapshot.TimerTriggers.emplace(std::vector<TimerTrigger>{timer});
    d.RestoreTriggers(snapshot);
    ASSERT_TRUE(fired.WaitFor(1, 2s)) << "the timer trigger was never checked";
    EXPECT_EQ(handle, 64u);
}

TEST_F(DataFlow, RecordsAnsweredInTurnAreNeverLeftForTheHeartbeat) {
    Open();
    AddTrigger(d, "\xAA\x55");
    PumpingThread gui([&](const Seen&) {
        std::uint8_t c = 0;
        while (d.GetChar(c) == ecOK) {
        }
        d.PutChar(0x06);
    });
    RegisterWindow(d, gui.Window());
    // The analyser sends its next record as soon as the answer comes, so each record
    // arrives while the pass that served the previous one may still be running. Each must
    // be picked up by its own device event, not by the next 50 ms heartbeat.
    const std::string record = std::string("\xAA\x55", 2) + Pattern(24, 1);
    const int exchanges = 100;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < exchanges; ++i) {
        ASSERT_EQ(line.WriteFar(record), record.size());
        ASSERT_EQ(line.ReadFar(1, 2s).size(), 1u) << "no answer to record " << i;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, exchanges * 20ms) << "records waited for the heartbeat";
}

TEST_F(DataFlow, StreamTakenInBlocksArrivesWholeAndTimersRunWhileItFlows) {
    Open();
    d.SetAvailTriggerLength(1);
    std::mutex m;
    std::string got; // guarded by m
    Counter received;
    Counter timerFired;
    std::vector<std::uint8_t> block(DispatchBufferSize);
    PumpingThread gui([&](const Seen& s) {
        if (s.msg == MsgTriggerTimer) {
            timerFired.Add();
            return;
        }
        if (s.msg != MsgTriggerAvail) {
            return;
        }
        const std::int32_t n = d.GetBlock(block.data(), s.wParam);
        ASSERT_EQ(n, static_cast<std::int32_t>(s.wParam)) << "offered bytes were not there";
        {
            std::lock_guard hold(m);
            got.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(n));
        }
        received.Add(n);
    });
    RegisterWindow(d, gui.Window());

    // The far end writes without a pause until a timer trigger has fired (or a bound is
    // reached): the passes that move the stream must still let the timers run.
    constexpr std::size_t Chunk = 4096;
    constexpr std::size_t Bound = 16u << 20;
    std::size_t sent = 0;
    std::atomic<bool> flowing{false};
    std::thread writer([&] {
        while (sent < Bound && timerFired.Value() == 0) {
            const std::string chunk = Pattern(Chunk, sent);
            if (line.WriteFar(chunk) != chunk.size()) {
                return; // stuck: the wait for the bytes below reports it
            }
            sent += Chunk;
            if (sent >= 16 * Chunk) {
                flowing = true;
            }
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return flowing.load(); }));
    TimerTrigger timer;
    timer.Handle = 64;
    timer.Timer.StartTicks = TimerTicksNow() - 2;
    timer.Timer.ExpireTicks = 1;
    timer.Active = RecordTrue;
    TriggerSnapshot snapshot;
    snapshot.AvailLength = 1;
    snapshot.TimerTriggers.emplace(std::vector<TimerTrigger>{timer});
    d.RestoreTriggers(snapshot);
    writer.join();
    EXPECT_GE(timerFired.Value(), 1) << "the timer was starved by the stream of " << sent;
    ASSERT_TRUE(received.WaitFor(static_cast<int>(sent)))
        << received.Value() << " of " << sent << " bytes";
    std::lock_guard hold(m);
    EXPECT_TRUE(got == Pattern(sent)) << "bytes lost or reordered";
}

TEST_F(DataFlow, SynchronizedMethodHandlerRunsOnTheOpeningThread) {
    Open();
    AddTrigger(d, "\xAA\x55");
    struct Probe {
        std::thread::id thread;
        int calls = 0;
    } probe;
    NotifyMethod method;
    method.Data = &probe;
    method.Code = [](void* data, std::uint32_t, platform::WParam, platform::LParam) {
        auto* p = static_cast<Probe*>(data);
        p->thread = std::this_thread::get_id();
        ++p->calls;
    };
    d.AddMethodHandler(method, true);
    d.UpdateHandlerFlags(HandlerFlagsRecompute);
    ASSERT_EQ(line.WriteFar("\xAA\x55"), 2u);
    // The call waits for this thread to serve its messages.
    ASSERT_TRUE(PumpUntil([&] { return probe.calls == 1; }));
    EXPECT_EQ(probe.thread, std::this_thread::get_id());
}

} // namespace
} // namespace apd::test
