// Closing the port on a pseudo-terminal: from inside method handlers (the close completes
// after the handler returns), while a notification waits for the closing thread (closed
// or destroyed at once, serving it), on a
// handler's exception, and hundreds of times while data flows. The close from inside a
// window handler, which both programs run, is in CommonCloseTest.cpp.

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <memory>
#include <stdexcept>

#include "tests/support/pty/PtyPair.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

const std::string Header("\xAA\x55", 2);

// True when a new dispatcher can open the port: the closed one let go of it.
bool PortFree(const std::string& path) {
    TestDispatcher probe;
    return probe.OpenAnalyserLine(path) == ecOK;
}

TEST(Close, FromInsideHandlersOnTheDispatchAndTheOpeningThread) {
    for (const bool synchronized : {false, true}) {
        SCOPED_TRACE(synchronized ? "synchronized handler" : "handler on the dispatch thread");
        PtyPair line;
        TestDispatcher d;
        ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath()), ecOK);
        AddTrigger(d, Header);
        struct Probe {
            TestDispatcher* d;
            std::atomic<int> calls{0};
        } probe{&d};
        NotifyMethod method;
        method.Data = &probe;
        method.Code = [](void* data, std::uint32_t, platform::WParam, platform::LParam) {
            auto* p = static_cast<Probe*>(data);
            p->d->CloseDevicePort();
            ++p->calls;
        };
        d.AddMethodHandler(method, synchronized);
        d.UpdateHandlerFlags(HandlerFlagsRecompute);
        ASSERT_EQ(line.WriteFar(Header + Header), 4u);
        ASSERT_TRUE(PumpUntil([&] { return probe.calls == 1 && d.LiveThreads() == 0; }))
            << "calls " << probe.calls << ", threads " << d.LiveThreads();
        EXPECT_FALSE(d.InputRing.Exists());
        EXPECT_EQ(probe.calls, 1);
        EXPECT_TRUE(PortFree(line.DevicePath()));
    }
}

TEST(Close, ClosingOrDestroyingWhileANotificationWaitsForThisThreadServesIt) {
    for (const int round : {0, 1, 2, 3}) {
        const bool destroy = round < 2;
        const bool synchronized = round % 2 == 1;
        SCOPED_TRACE(synchronized ? "synchronized method handler" : "window of this thread");
        SCOPED_TRACE(destroy ? "destroyed" : "closed");
        PtyPair line;
        auto d = std::make_unique<TestDispatcher>();
        ASSERT_EQ(d->OpenAnalyserLine(line.DevicePath()), ecOK);
        AddTrigger(*d, Header);
        int handled = 0;
        OwnWindow window([&](const Seen&) { ++handled; });
        NotifyMethod method;
        method.Data = &handled;
        method.Code = [](void* data, std::uint32_t, platform::WParam, platform::LParam) {
            ++*static_cast<int*>(data);
        };
        if (synchronized) {
            d->AddMethodHandler(method, true);
            d->UpdateHandlerFlags(HandlerFlagsRecompute);
        } else {
            RegisterWindow(*d, window.Window());
        }
        ASSERT_EQ(line.WriteFar(Header), 2u);
        // The dispatch thread now sends to this thread, which does not serve it yet.
        const auto waitUntil = std::chrono::steady_clock::now() + 5s;
        while (d->HandlerThread != platform::CurrentThreadId() &&
               std::chrono::steady_clock::now() < waitUntil) {
            std::this_thread::yield();
        }
        ASSERT_TRUE(d->Notifying);
        // This thread is not inside the handler: the close is not deferred behind it.
        const auto start = std::chrono::steady_clock::now();
        if (destroy) {
            d.reset();
        } else {
            d->CloseDevicePort();
            EXPECT_FALSE(d->CloseDeferred);
            EXPECT_EQ(d->LiveThreads(), 0);
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(handled, 1); // served while the close waited, not abandoned
        EXPECT_LT(took, 2s) << "the close waited for the notification's time-out";
        EXPECT_TRUE(PortFree(line.DevicePath()));
    }
}

TEST(Close, CompletesWhileAWriteIsPendingOnAFullLine) {
    PtyPair line;
    TestDispatcher d;
    ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath(), 4096), ecOK);
    const std::string block = Pattern(1024);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (d.PutBlock(reinterpret_cast<const std::uint8_t*>(block.data()), 1024) == ecOK &&
           std::chrono::steady_clock::now() < deadline) {
    }
    ASSERT_GT(d.OutBuffUsed(), 0u) << "the line never filled";
    const auto start = std::chrono::steady_clock::now();
    d.CloseDevicePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_TRUE(PortFree(line.DevicePath()));
}

TEST(Close, BytesWrittenJustBeforeLeaveWholeFirst) {
    PtyPair line;
    // More than the pseudo-terminal takes while nobody reads: some of it waits in the
    // output ring when the close begins, and the far end reads as the line drains.
    const std::string sent = Pattern(24 * 1024);
    for (int round = 0; round < 3; ++round) {
        TestDispatcher d;
        ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath(), 32 * 1024), ecOK);
        auto far = std::async(std::launch::async, [&] { return line.ReadFar(sent.size(), 5s); });
        ASSERT_EQ(Put(d, sent), ecOK);
        d.CloseDevicePort();
        EXPECT_EQ(d.LiveThreads(), 0);
        const std::string got = AsString(far.get());
        EXPECT_EQ(got.size(), sent.size()) << "round " << round;
        EXPECT_TRUE(got == sent) << "round " << round << ": bytes lost or changed at the close";
    }
}

TEST(Close, AHandlerExceptionEndsTheDispatchThreadWithAReport) {
    PtyPair line;
    TestDispatcher d;
    std::mutex m;
    std::string report;
    d.SetThreadErrorReport([&](const std::string& text) {
        std::lock_guard hold(m);
        report = text;
    });
    ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath()), ecOK);
    AddTrigger(d, Header);
    NotifyMethod method;
    method.Code = [](void*, std::uint32_t, platform::WParam, platform::LParam) {
        throw std::runtime_error("handler failed");
    };
    d.AddMethodHandler(method, true);
    d.UpdateHandlerFlags(HandlerFlagsRecompute);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard hold(m);
        return !report.empty();
    }));
    EXPECT_EQ(report, "handler failed");
    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_FALSE(d.InputRing.Exists());
}

// The far end as a busy analyser: sends without pause and swallows what it receives.
class BusyFarEnd {
public:
    explicit BusyFarEnd(int fd)
        : thread_([this, fd] {
              const std::string burst = Header + Pattern(250, 3);
              char sink[4096];
              while (!stop_) {
                  pollfd p{fd, POLLIN | POLLOUT, 0};
                  if (::poll(&p, 1, 10) <= 0) {
                      continue;
                  }
                  if ((p.revents & POLLIN) != 0) {
                      (void)!::read(fd, sink, sizeof sink);
                  }
                  if ((p.revents & POLLOUT) != 0 && ::write(fd, burst.data(), burst.size()) > 0) {
                      ++bursts_;
                  }
                  if ((p.revents & (POLLERR | POLLHUP)) != 0) {
                      break;
                  }
              }
          }) {}
    ~BusyFarEnd() {
        stop_ = true;
        thread_.join();
    }
    int Bursts() const { return bursts_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> bursts_{0};
    std::thread thread_;
};

TEST(Close, OpenAndCloseHundredsOfTimesWhileDataFlows) {
    PtyPair line;
    Counter delivered;
    PumpingThread gui([&](const Seen&) { delivered.Add(); });
    BusyFarEnd far(line.FarFd());
    const std::string out = Pattern(100);
    for (int round = 0; round < 300; ++round) {
        TestDispatcher d;
        ASSERT_EQ(d.OpenAnalyserLine(line.DevicePath(), 1024), ecOK) << "round " << round;
        AddTrigger(d, Header);
        RegisterWindow(d, gui.Window());
        d.PutBlock(reinterpret_cast<const std::uint8_t*>(out.data()), 100);
        if (round % 3 == 0) {
            d.CloseDevicePort(); // otherwise the destructor closes
            // Deferred when it came during a delivery: the dispatch thread completes it.
            ASSERT_TRUE(PumpUntil([&] { return d.LiveThreads() == 0; })) << "round " << round;
        }
    }
    EXPECT_GT(far.Bursts(), 0);
    EXPECT_GT(delivered.Value(), 0);
}

} // namespace
} // namespace apd::test
