// One wake-up of a sleeping thread by another, by each means at hand: a condition variable,
// a raw futex, a descriptor made readable for poll() (as the comm thread's wait ends), our
// platform::Event (the hand-over between the comm and the dispatch thread), and a message
// posted or sent to a thread that pumps its queue (the delivery to a window handler). Two
// threads play ping-pong; the figure is the one-way time from the signal to the woken
// thread running, median and 99th percentile, in microseconds.

#include <benchmark/benchmark.h>

#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/notify_latency/Measure.h"
#include "bench/wake_floor/FutexWake.h"
#include "comm/device/WakeSignal.h"
#include "comm/platform/Event.h"
#include "comm/platform/Messaging.h"

namespace apd::bench {
namespace {

constexpr int Rounds = 20000;

class CondVarChannel {
public:
    void Signal() {
        {
            std::lock_guard hold(mutex_);
            ++count_;
        }
        ready_.notify_one();
    }
    void Wait() {
        std::unique_lock hold(mutex_);
        ready_.wait(hold, [this] { return count_ > taken_; });
        ++taken_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::uint64_t count_ = 0; // guarded by mutex_
    std::uint64_t taken_ = 0; // guarded by mutex_
};

class FutexChannel {
public:
    void Signal() {
        word_.fetch_add(1, std::memory_order_release);
        FutexWakeOne(word_);
    }
    void Wait() {
        FutexWait(word_, seen_);
        ++seen_;
    }

private:
    std::atomic<std::uint32_t> word_{0};
    std::uint32_t seen_ = 0; // the waiting thread's
};

class PollChannel {
public:
    PollChannel() { signal_.Create(); }
    void Signal() { signal_.Signal(); }
    void Wait() {
        for (;;) {
            pollfd p{signal_.PollFd(), POLLIN, 0};
            ::poll(&p, 1, -1);
            if (signal_.Drain()) {
                return;
            }
        }
    }

private:
    WakeSignal signal_;
};

class EventChannel {
public:
    void Signal() { event_.Set(); }
    void Wait() { event_.Wait(platform::InfiniteTimeout); }

private:
    platform::Event event_{platform::EventReset::Auto};
};

template <class Channel>
void PingPong(int rounds, std::vector<double>& oneWay) {
    Channel there;
    Channel back;
    std::atomic<Clock::rep> sentAt{0};
    std::thread partner([&] {
        for (int r = 0; r < rounds; ++r) {
            there.Wait();
            const auto now = Clock::now();
            oneWay.push_back(Microseconds(now - Clock::time_point(Clock::duration(sentAt))));
            back.Signal();
        }
    });
    for (int r = 0; r < rounds; ++r) {
        sentAt = Clock::now().time_since_epoch().count();
        there.Signal();
        back.Wait();
    }
    partner.join();
}

// The window procedure of the pumping thread: records the one-way time and answers.
struct Partner {
    std::atomic<Clock::rep> sentAt{0};
    std::vector<double>* oneWay = nullptr;
    platform::Event back{platform::EventReset::Auto};
    bool posted = false;
};
Partner* partnerOf = nullptr; // set before the pumping thread starts, cleared after it ends

constexpr std::uint32_t PingMessage = 0x0500;
constexpr std::uint32_t EndMessage = 0x0501;

platform::LResult PartnerProc(platform::WindowHandle window, std::uint32_t message,
                              platform::WParam wParam, platform::LParam lParam) {
    if (message != PingMessage) {
        return platform::DefaultWindowProc(window, message, wParam, lParam);
    }
    Partner& p = *partnerOf;
    const auto now = Clock::now();
    p.oneWay->push_back(Microseconds(now - Clock::time_point(Clock::duration(p.sentAt))));
    if (p.posted) {
        p.back.Set();
    }
    return 1;
}

// A message to a window of a thread that pumps its queue, answered by an event (posted) or
// by the send's reply (sent, as the dispatcher notifies a window handler).
template <bool Posted>
void Message(int rounds, std::vector<double>& oneWay) {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterWindowClass("WakeFloorWindow", &PartnerProc, 0); });
    Partner partner;
    partner.posted = Posted;
    partner.oneWay = &oneWay;
    partnerOf = &partner;
    std::atomic<bool> stop{false};
    std::promise<platform::WindowHandle> made;
    std::thread pump([&] {
        const auto w = platform::CreateHiddenWindow("WakeFloorWindow");
        made.set_value(w);
        while (!stop) {
            platform::WaitForQueueActivity(platform::InfiniteTimeout);
            platform::Message m;
            while (platform::PeekWindowMessage(m, true)) {
                platform::DispatchWindowMessage(m);
            }
        }
        platform::DestroyHiddenWindow(w);
    });
    const platform::WindowHandle window = made.get_future().get();
    for (int r = 0; r < rounds; ++r) {
        partner.sentAt = Clock::now().time_since_epoch().count();
        if (Posted) {
            platform::PostWindowMessage(window, PingMessage, 0, 0);
            partner.back.Wait(platform::InfiniteTimeout);
        } else {
            platform::SendWindowMessageTimeout(window, PingMessage, 0, 0, platform::SmtoBlock, 5000,
                                               nullptr);
        }
    }
    stop = true;
    platform::PostWindowMessage(window, EndMessage, 0, 0);
    pump.join();
    partnerOf = nullptr;
}

struct Kind {
    const char* name;
    void (*run)(int rounds, std::vector<double>& oneWay);
    std::vector<double> oneWay;
};

// The kinds take turns in blocks, so that a change of the machine's load during the run
// weighs on all alike.
void BM_WakeFloor(benchmark::State& state) {
    constexpr int Block = 200;
    for (auto _ : state) {
        Kind kinds[] = {
            {"condvar", &PingPong<CondVarChannel>, {}}, {"futex", &PingPong<FutexChannel>, {}},
            {"poll_fd", &PingPong<PollChannel>, {}},    {"event", &PingPong<EventChannel>, {}},
            {"posted_msg", &Message<true>, {}},         {"sent_msg", &Message<false>, {}}};
        for (int done = 0; done < Rounds; done += Block) {
            for (Kind& kind : kinds) {
                if (std::string(kind.name) != "futex" || FutexAvailable()) {
                    kind.run(Block, kind.oneWay);
                }
            }
        }
        for (const Kind& kind : kinds) {
            state.counters[std::string(kind.name) + "_median_us"] = Percentile(kind.oneWay, 0.5);
            state.counters[std::string(kind.name) + "_p99_us"] = Percentile(kind.oneWay, 0.99);
        }
    }
}
BENCHMARK(BM_WakeFloor)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace apd::bench
