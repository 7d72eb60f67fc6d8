// Bytes through the serial dispatcher and its threads over a pseudo-terminal, where the
// far end answers quickly enough for timing bounds: a ring left full with bytes waiting in
// the device, timers on an idle and on a busy port, records answered in turn, and the
// synchronized method handler. The tests both programs run are in CommonDataFlowTest.cpp.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "comm/dispatch/NotificationMessages.h"
#include "comm/dispatch/TimerExpiry.h"
#include "tests/threads/DataFlowFixture.h"

namespace apd::test {
namespace {

// Triggers to restore: one timer trigger, active and already due.
TriggerSnapshot WithDueTimer(std::int32_t handle) {
    TimerTrigger timer;
    timer.Handle = handle;
    timer.Timer.StartTicks = TimerTicksNow() - 2;
    timer.Timer.ExpireTicks = 1;
    timer.Active = RecordTrue;
    TriggerSnapshot snapshot;
    snapshot.TimerTriggers.emplace(std::vector<TimerTrigger>{timer});
    return snapshot;
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

TEST_F(DataFlow, TriggerChangesOnAnIdlePortAreServedWithoutDeviceEvents) {
    Open();
    Counter fired;
    std::atomic<std::uint32_t> handle{0};
    Counter records;
    Counter avail;
    std::atomic<std::uint32_t> availCount{0};
    PumpingThread gui([&](const Seen& s) {
        if (s.msg == MsgTriggerTimer) {
            handle = s.wParam;
            fired.Add();
        } else if (s.msg == MsgTriggerAvail) {
            availCount = s.wParam;
            avail.Add();
        } else {
            records.Add();
        }
    });
    RegisterWindow(d, gui.Window());
    AddTrigger(d, Header);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(records.WaitFor(1));
    // The port has nothing more to do: the dispatch thread waits for a device event that
    // never comes. An avail threshold lowered to the bytes left waiting must still be
    // served, and so must a timer that is already due. The idle flag may be seen just
    // before the thread's last pass, so the threshold is lowered in a few rounds.
    const auto idle = [&] { return !d.HeartbeatActive(); };
    for (int round = 1; round <= 4; ++round) {
        d.SetAvailTriggerLength(1000);
        const std::uint32_t waiting = d.InBuffUsed() + 3;
        ASSERT_EQ(line.WriteFar("xyz"), 3u);
        ASSERT_TRUE(PumpUntil([&] { return d.InBuffUsed() == waiting && idle(); }))
            << "an idle port kept beating";
        d.SetAvailTriggerLength(static_cast<std::int32_t>(waiting));
        ASSERT_TRUE(avail.WaitFor(round, 2s)) << "the lowered avail threshold was not checked";
        EXPECT_EQ(availCount, waiting);
    }
    ASSERT_TRUE(PumpUntil(idle)) << "an idle port kept beating";
    d.RestoreTriggers(WithDueTimer(64));
    ASSERT_TRUE(fired.WaitFor(1, 2s)) << "the timer trigger was never checked";
    EXPECT_EQ(handle, 64u);
}

TEST_F(DataFlow, RecordsAnsweredInTurnAreNeverLeftForTheHeartbeat) {
    Open();
    AddTrigger(d, Header);
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
    const std::string record = Header + Pattern(24, 1);
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
    TriggerSnapshot snapshot = WithDueTimer(64);
    snapshot.AvailLength = 1;
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
    AddTrigger(d, Header);
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
    ASSERT_EQ(line.WriteFar(Header), 2u);
    // The call waits for this thread to serve its messages.
    ASSERT_TRUE(PumpUntil([&] { return probe.calls == 1; }));
    EXPECT_EQ(probe.thread, std::this_thread::get_id());
}

} // namespace
} // namespace apd::test
