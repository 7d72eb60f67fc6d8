// The floor: one thread that polls the device end and reads, nothing in between.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <latch>
#include <thread>

#include "bench/notify_latency/Sides.h"
#include "bench/notify_latency/ThreadCounts.h"

namespace apd::bench {

namespace {

// Waits for and reads the one-byte answer at the far end.
void AwaitAnswer(int farFd) {
    char answer = 0;
    for (;;) {
        pollfd p{farFd, POLLIN, 0};
        ::poll(&p, 1, 5000);
        if (::read(farFd, &answer, 1) == 1) {
            return;
        }
    }
}

int OpenDeviceEnd(const test::PtyPair& line) {
    return ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

LatencyRun BareLoopLatency(test::PtyPair& line, int records, const Placement& placement) {
    LatencyRun run;
    const int fd = OpenDeviceEnd(line);
    std::atomic<Clock::rep> writtenAt{0};
    // The reader stays until its calls are counted.
    std::latch counted(1);
    placement.ReceiverSide();
    std::thread reader([&] {
        char buffer[64];
        for (int r = 0; r < records; ++r) {
            std::size_t have = 0;
            while (have < 26) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, -1);
                const ssize_t n = ::read(fd, buffer + have, sizeof buffer - have);
                if (n > 0) {
                    have += static_cast<std::size_t>(n);
                }
            }
            const auto now = Clock::now();
            run.oneWay.push_back(
                Microseconds(now - Clock::time_point(Clock::duration(writtenAt.load()))));
            const char ack = 0x06;
            (void)!::write(fd, &ack, 1);
        }
        counted.wait();
    });
    placement.FarSide();
    ThreadCounts counts;
    counts.Begin();
    for (int r = 0; r < records; ++r) {
        const std::string record = ResultRecord(static_cast<unsigned>(r));
        const auto start = Clock::now();
        writtenAt = start.time_since_epoch().count();
        (void)!::write(line.FarFd(), record.data(), record.size());
        AwaitAnswer(line.FarFd());
        run.roundTrip.push_back(Microseconds(Clock::now() - start));
    }
    ThreadCountTotals totals;
    counts.End(totals);
    run.receiverSyscalls = totals.syscalls;
    run.receiverSwitches = totals.switches;
    counted.count_down();
    reader.join();
    ::close(fd);
    return run;
}

double BareLoopThroughput(test::PtyPair& line, std::size_t bytes) {
    const int fd = OpenDeviceEnd(line);
    bool inOrder = true;
    const auto start = Clock::now();
    std::thread reader([&] {
        std::uint8_t buffer[65536];
        std::size_t got = 0;
        while (got < bytes) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, -1);
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                inOrder = inOrder && buffer[i] == StreamByte(got + static_cast<std::size_t>(i));
            }
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    });
    WriteStream(line.FarFd(), bytes);
    reader.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return inOrder ? seconds : -seconds;
}

} // namespace apd::bench
