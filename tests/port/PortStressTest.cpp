// A port opened and closed over and over, from outside and from inside its handlers, while
// the far end streams result records; run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/port/PtyPortFixture.h"

namespace apd::testing {
namespace {

using namespace std::chrono_literals;

enum class CloseBy { Caller, Handler, HandlerReopening };

TEST_F(PtyPort, OpensAndClosesInALoopWhileRecordsStream) {
    // The far end sends a record every 2 ms, about what 115200 baud carries. (Faster than
    // the line could, a backlog from the closed spells would fill the receive ring before
    // the reopened port has its trigger back, and nothing would ever match.)
    struct FarEnd {
        explicit FarEnd(apd::test::PtyPair& line)
            : thread([this, &line] {
                  const std::string record = Header + std::string(24, '\x21');
                  const auto end = std::chrono::steady_clock::now() + 60s;
                  while (!stop && std::chrono::steady_clock::now() < end) {
                      line.WriteFar(record, 20ms);
                      std::this_thread::sleep_for(2ms);
                  }
              }) {}
        ~FarEnd() {
            stop = true;
            thread.join();
        }
        std::atomic<bool> stop{false};
        std::thread thread;
    };

    int dataEvents = 0;
    CloseBy closeBy = CloseBy::Caller;
    port->SetTriggerLength(0);
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t) {
        ++dataEvents;
        cp.FlushInBuffer();
        if (closeBy == CloseBy::Handler) {
            cp.SetOpen(false);
        } else if (closeBy == CloseBy::HandlerReopening) {
            cp.SetOpen(false);
            cp.SetOpen(true);
        }
    });
    const std::uint16_t header = port->AddDataTrigger(Header, false);
    ASSERT_NE(header, 0);
    FarEnd farEnd(line);

    constexpr int rounds = 120;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        closeBy = static_cast<CloseBy>(round % 3);
        const int before = dataEvents;
        if (port->PortState() == psClosed) {
            port->SetOpen(true);
        }
        ASSERT_TRUE(PumpUntil([&] { return dataEvents > before; }, 10s));
        if (closeBy == CloseBy::Caller) {
            port->SetOpen(false); // a notification may be on its way meanwhile
        }
        ASSERT_TRUE(PumpUntil([&] { return port->PortState() != psShuttingDown; }, 10s));
    }

    // Destroyed while its close waits for the dispatcher's threads.
    closeBy = CloseBy::Handler;
    if (port->PortState() == psClosed) {
        port->SetOpen(true);
    }
    const int before = dataEvents;
    ASSERT_TRUE(PumpUntil([&] { return dataEvents > before; }, 10s));
    port.reset();
    EXPECT_EQ(errors.messages, std::vector<std::string>{});
}

} // namespace
} // namespace apd::testing
