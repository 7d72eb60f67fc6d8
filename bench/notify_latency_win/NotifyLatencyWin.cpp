// Notification latency on the Windows build: the far end (the line broker's pair, relayed
// over loopback TCP) writes a 26-byte record, and the reader answers with one byte once it
// has the record. Two readers take turns in blocks on the same line: a bare loop on the
// Win32 serial API (overlapped WaitCommEvent, then ReadFile of what is queued) and the
// dispatcher delivering a data trigger to a window handler on a pumping thread. Both pay
// the same relay, so their difference is the dispatcher's own cost.
//
// Prints one line per side: median and 99th percentile of the one-way latency (far end
// writes -> reader has the record) and of the round trip (-> far end has the answer), in
// microseconds.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "bench/notify_latency/Measure.h"
#include "comm/dispatch/NotificationMessages.h"
#include "tests/support/wine/FarLine.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::bench {
namespace {

constexpr int Records = 1000;
constexpr int Block = 100;

struct Timing {
    std::atomic<Clock::rep> writtenAt{0};
    double Since() const {
        return Microseconds(Clock::now() - Clock::time_point(Clock::duration(writtenAt.load())));
    }
};

// Writes `records` records, each after the answer to the previous one came back.
void Drive(test::FarLine& line, Timing& timing, int records, LatencyRun& run) {
    for (int r = 0; r < records; ++r) {
        const std::string record = ResultRecord(static_cast<unsigned>(r));
        const auto start = Clock::now();
        timing.writtenAt = start.time_since_epoch().count();
        if (line.WriteFar(record) != record.size() ||
            line.ReadFar(1, std::chrono::seconds(5)).size() != 1) {
            std::fprintf(stderr, "record %d: no answer\n", r);
            return;
        }
        run.roundTrip.push_back(Microseconds(Clock::now() - start));
    }
}

class OverlappedEvent {
public:
    OverlappedEvent() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~OverlappedEvent() { ::CloseHandle(event_); }
    OVERLAPPED Fresh() const {
        OVERLAPPED ov{};
        ov.hEvent = event_;
        return ov;
    }

private:
    HANDLE event_;
};

// The bare reader: what a careful Win32 program does without the library.
LatencyRun BareLoop(test::FarLine& line, int records) {
    LatencyRun run;
    const HANDLE h = ::CreateFileA(line.Name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "bare loop: open failed %lu\n", ::GetLastError());
        return run;
    }
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    ::SetCommTimeouts(h, &timeouts);
    ::SetCommMask(h, EV_RXCHAR);
    Timing timing;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        OverlappedEvent waitEvent;
        OverlappedEvent ioEvent;
        std::size_t have = 0;
        while (!stop) {
            DWORD mask = 0;
            OVERLAPPED ov = waitEvent.Fresh();
            if (!::WaitCommEvent(h, &mask, &ov)) {
                DWORD n = 0;
                // SetCommMask(0) at the end completes the wait (under Wine as a failure
                // with ERROR_OPERATION_ABORTED).
                if (::GetLastError() != ERROR_IO_PENDING ||
                    !::GetOverlappedResult(h, &ov, &n, TRUE)) {
                    continue;
                }
            }
            COMSTAT stat{};
            DWORD errors = 0;
            ::ClearCommError(h, &errors, &stat);
            // Wine pends a read of an empty queue even with these time-outs: read only
            // what is queued.
            while (stat.cbInQue > 0) {
                char buffer[256];
                DWORD got = 0;
                OVERLAPPED rv = ioEvent.Fresh();
                const DWORD want = std::min<DWORD>(stat.cbInQue, sizeof buffer);
                if (!::ReadFile(h, buffer, want, &got, &rv) &&
                    (::GetLastError() != ERROR_IO_PENDING ||
                     !::GetOverlappedResult(h, &rv, &got, TRUE))) {
                    break;
                }
                have += got;
                stat.cbInQue -= std::min(stat.cbInQue, got);
            }
            if (have >= 26) {
                have -= 26;
                run.oneWay.push_back(timing.Since());
                const char answer = 0x06;
                DWORD put = 0;
                OVERLAPPED wv = ioEvent.Fresh();
                if (!::WriteFile(h, &answer, 1, &put, &wv) &&
                    ::GetLastError() == ERROR_IO_PENDING) {
                    ::GetOverlappedResult(h, &wv, &put, TRUE);
                }
            }
        }
    });
    Drive(line, timing, records, run);
    stop = true;
    ::SetCommMask(h, 0);
    reader.join();
    ::CloseHandle(h);
    return run;
}

LatencyRun DispatcherLoop(test::FarLine& line, int records) {
    LatencyRun run;
    test::TestDispatcher d;
    if (d.OpenAnalyserLine(line.Name()) != ecOK) {
        std::fprintf(stderr, "dispatcher: open failed\n");
        return run;
    }
    test::AddTrigger(d, "\xAA\x55");
    Timing timing;
    test::PumpingThread gui([&](const test::Seen& s) {
        if (s.msg != MsgTriggerData) {
            return;
        }
        run.oneWay.push_back(timing.Since());
        if (d.InBuffUsed() < 26) {
            ++run.partial;
        }
        std::uint8_t c = 0;
        for (int i = 0; i < 26 && d.GetChar(c) == ecOK; ++i) {
        }
        d.PutChar(0x06);
    });
    test::RegisterWindow(d, gui.Window());
    Drive(line, timing, records, run);
    d.CloseDevicePort();
    return run;
}

void Append(LatencyRun& to, const LatencyRun& from) {
    to.oneWay.insert(to.oneWay.end(), from.oneWay.begin(), from.oneWay.end());
    to.roundTrip.insert(to.roundTrip.end(), from.roundTrip.begin(), from.roundTrip.end());
    to.partial += from.partial;
}

void Print(const char* side, const LatencyRun& run) {
    std::printf("%-10s records %4zu  one-way median %7.0f us  p99 %7.0f us  round trip median "
                "%7.0f us  p99 %7.0f us  partial %d\n",
                side, run.oneWay.size(), Percentile(run.oneWay, 0.5), Percentile(run.oneWay, 0.99),
                Percentile(run.roundTrip, 0.5), Percentile(run.roundTrip, 0.99), run.partial);
}

} // namespace
} // namespace apd::bench

int main() {
    using namespace apd::bench;
    apd::test::FarLine line(7);
    LatencyRun bare;
    LatencyRun disp;
    for (int done = 0; done < Records; done += Block) {
        Append(bare, BareLoop(line, Block));
        Append(disp, DispatcherLoop(line, Block));
    }
    Print("bare Win32", bare);
    Print("dispatcher", disp);
    return bare.oneWay.size() == Records && disp.oneWay.size() == Records ? 0 : 1;
}
