// The serial dispatcher on the same line: its three threads bring each record to a
// window handler on a thread that pumps its queue.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include "bench/notify_latency/Sides.h"
#include "bench/notify_latency/ThreadCounts.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/platform/Messaging.h"
#include "comm/threads/ThreadedDispatcher.h"
#include "tests/support/messaging/PumpingThread.h"

namespace apd::bench {

namespace {

using test::PumpingThread;
using test::Seen;

struct OpenPort {
    explicit OpenPort(test::PtyPair& line) : dispatcher(nullptr) {
        ok = dispatcher.OpenDevicePort(line.DevicePath(), {115200, ParityNone, 8, 1}, 4096, 4096,
                                       0) == ecOK;
    }
    void Attach(const PumpingThread& gui) {
        dispatcher.RegisterWindowHandler(gui.Window());
        dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
    }
    TApdWin32Dispatcher dispatcher;
    bool ok = false;
};

} // namespace

LatencyRun DispatcherLatency(test::PtyPair& line, int records, const Placement& placement) {
    LatencyRun run;
    placement.ReceiverSide();
    OpenPort port(line);
    if (!port.ok) {
        return run;
    }
    TApdWin32Dispatcher& d = port.dispatcher;
    const std::uint8_t header[] = {0xAA, 0x55};
    d.AddDataTrigger(header, false, 2);
    std::atomic<Clock::rep> writtenAt{0};
    PumpingThread gui([&](const Seen& seen) {
        if (seen.msg != MsgTriggerData) {
            return;
        }
        const auto now = Clock::now();
        run.oneWay.push_back(
            Microseconds(now - Clock::time_point(Clock::duration(writtenAt.load()))));
        if (d.InBuffUsed() < 26) {
            ++run.partial;
        }
        std::uint8_t c = 0;
        for (int i = 0; i < 26 && d.GetChar(c) == ecOK; ++i) {
        }
        d.PutChar(0x06);
    });
    port.Attach(gui);
    placement.FarSide();
    ThreadCounts counts;
    counts.Begin();
    for (int r = 0; r < records; ++r) {
        const std::string record = ResultRecord(static_cast<unsigned>(r));
        const auto start = Clock::now();
        writtenAt = start.time_since_epoch().count();
        (void)!::write(line.FarFd(), record.data(), record.size());
        char answer = 0;
        for (;;) {
            pollfd p{line.FarFd(), POLLIN, 0};
            ::poll(&p, 1, 5000);
            if (::read(line.FarFd(), &answer, 1) == 1) {
                break;
            }
        }
        run.roundTrip.push_back(Microseconds(Clock::now() - start));
    }
    ThreadCountTotals totals;
    counts.End(totals);
    run.receiverSyscalls = totals.syscalls;
    run.receiverSwitches = totals.switches;
    return run;
}

double DispatcherThroughput(test::PtyPair& line, std::size_t bytes) {
    OpenPort port(line);
    if (!port.ok) {
        return 0;
    }
    TApdWin32Dispatcher& d = port.dispatcher;
    d.SetAvailTriggerLength(1);
    std::mutex m;
    std::condition_variable cv;
    std::size_t got = 0; // the pumping thread's; read under m at the end
    bool inOrder = true;
    std::vector<std::uint8_t> block(DispatchBufferSize);
    PumpingThread gui([&](const Seen& seen) {
        if (seen.msg != MsgTriggerAvail) {
            return;
        }
        // The handler takes what it is offered in one block, as a real reader of a stream
        // would; the check of every byte stays.
        const std::int32_t n = d.GetBlock(block.data(), seen.wParam);
        const std::size_t taken = n > 0 ? static_cast<std::size_t>(n) : 0;
        std::size_t at = 0;
        {
            std::lock_guard hold(m);
            at = got;
        }
        bool ordered = n >= 0;
        for (std::size_t i = 0; i < taken; ++i) {
            ordered = ordered && block[i] == StreamByte(at + i);
        }
        bool complete = false;
        {
            std::lock_guard hold(m);
            got += taken;
            inOrder = inOrder && ordered;
            complete = got >= bytes;
        }
        // The waiting thread is woken once, at the end, as the bare loop's is by its join:
        // a wake-up per delivery would charge the dispatcher with a thread the bare loop
        // does not have.
        if (complete) {
            cv.notify_all();
        }
    });
    port.Attach(gui);
    const auto start = Clock::now();
    std::thread writer([&] { WriteStream(line.FarFd(), bytes); });
    {
        std::unique_lock hold(m);
        cv.wait_for(hold, std::chrono::seconds(120), [&] { return got >= bytes; });
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    std::lock_guard hold(m);
    return got == bytes && inOrder ? seconds : -seconds;
}

double DispatcherIdleCpu(test::PtyPair& line, double seconds) {
    OpenPort port(line);
    if (!port.ok) {
        return -1;
    }
    PumpingThread gui([](const Seen&) {});
    port.Attach(gui);
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return ProcessCpuSeconds() - before;
}

} // namespace apd::bench
