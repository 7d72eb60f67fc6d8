// Reading a stream through the port component: one GetChar per byte against one GetBlock
// per avail notification, on a pseudo-terminal whose far end writes as fast as the line
// takes it. The component's events run on the benchmark's thread, which serves its
// messages while it waits, as a program's GUI thread does. Every byte is checked. The
// figures are counters in MB/s (10^6 bytes), and the block reader's over the byte reader's.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <span>
#include <thread>

#include "bench/notify_latency/FarStream.h"
#include "comm/platform/Messaging.h"
#include "comm/platform/PumpOneMessage.h"
#include "comm/port/ComPort.h"
#include "tests/support/pty/PtyPair.h"

namespace apd::bench {
namespace {

constexpr std::size_t StreamBytes = 50'000'000;
// The two readers take turns, so that a change of the machine's load weighs on both alike.
constexpr int Rounds = 2;

enum class Reader { Chars, Blocks };

// Seconds to read `bytes` stream bytes through the component; negative when a byte was
// lost or out of order, or the stream did not complete within two minutes.
double ReadStream(Reader reader, std::size_t bytes) {
    test::PtyPair line;
    line.PublishAsCom(7);
    TApdComPort port;
    port.SetComNumber(7);
    port.SetBaud(115200);
    port.SetTriggerLength(1); // an avail notification for whatever arrived
    std::size_t got = 0;
    bool inOrder = true;
    std::array<std::uint8_t, DispatchBufferSize> block{};
    port.SetOnTriggerAvail([&](TApdCustomComPort& cp, std::uint16_t count) {
        if (reader == Reader::Blocks) {
            const std::span<std::uint8_t> taken(block.data(), count);
            cp.GetBlock(taken);
            for (const std::uint8_t b : taken) {
                inOrder = inOrder && b == StreamByte(got++);
            }
            return;
        }
        for (; count > 0; --count) {
            inOrder = inOrder && cp.GetChar() == StreamByte(got++);
        }
    });
    port.SetOpen(true);

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::minutes(2);
    std::thread writer([&] { WriteStream(line.FarFd(), bytes); });
    while (got < bytes && std::chrono::steady_clock::now() < deadline) {
        if (!PumpOneMessage()) {
            platform::WaitForQueueActivity(100);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    writer.join();
    return got == bytes && inOrder ? seconds : -seconds;
}

void BM_PortStream(benchmark::State& state) {
    for (auto _ : state) {
        double chars = 0;
        double blocks = 0;
        for (int round = 0; round < Rounds; ++round) {
            const double c = ReadStream(Reader::Chars, StreamBytes);
            const double b = ReadStream(Reader::Blocks, StreamBytes);
            if (c <= 0 || b <= 0) {
                state.SkipWithError("a byte was lost, out of order, or late");
                return;
            }
            chars += c;
            blocks += b;
        }
        const double megabytes = Rounds * static_cast<double>(StreamBytes) / 1e6;
        state.counters["getchar_MBps"] = megabytes / chars;
        state.counters["getblock_MBps"] = megabytes / blocks;
        state.counters["block_over_char"] = chars / blocks;
    }
}

BENCHMARK(BM_PortStream)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
} // namespace apd::bench
