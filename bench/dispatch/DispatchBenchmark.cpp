// Throughput of the receive path: bytes moved into the ring and scanned by the data
// triggers, with and without matches, and the cost of taking bytes out one by one.
// The counter "allocs" is the number of allocations inside the measured loop, over all
// iterations. A record scan stops at the record's header: the handler reads the record,
// and bytes read before the scan reaches them are not scanned.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "comm/dispatch/NotificationMessages.h"
#include "tests/support/allocations/AllocationCount.h"
#include "tests/support/memory_device/MemoryDispatcher.h"

namespace {

using apd::testing::TMemoryDispatcher;

constexpr std::size_t RecordSize = 26;
constexpr std::size_t BlockRecords = 78; // 2028 bytes per fill
constexpr std::size_t BlockSize = RecordSize * BlockRecords;

const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

// Triggers that never complete on the benchmark's data: none of their first bytes occur.
void AddIdleTriggers(TMemoryDispatcher& dispatcher, int count) {
    for (int i = 0; i < count; ++i) {
        std::string pattern = "\xF0";
        pattern.push_back(static_cast<char>(0xC0 + i));
        pattern.push_back('Z');
        dispatcher.AddDataTrigger(Bytes(pattern), false, 3);
    }
}

// A record as the analyser sends it: the header, then 24 bytes without 0xAA.
std::string Records(std::size_t count) {
    std::string block;
    for (std::size_t r = 0; r < count; ++r) {
        block += "\xAA\x55";
        for (std::size_t i = 2; i < RecordSize; ++i) {
            block.push_back(static_cast<char>('0' + (r + i) % 10));
        }
    }
    return block;
}

struct RecordReader {
    TMemoryDispatcher* dispatcher = nullptr;
    std::uint64_t records = 0;
    std::uint8_t sink = 0;

    static void Deliver(void* self, std::uint32_t msg, apd::platform::WParam,
                        apd::platform::LParam) {
        auto* reader = static_cast<RecordReader*>(self);
        if (msg != apd::MsgTriggerData) {
            return;
        }
        std::uint8_t c = 0;
        for (std::size_t i = 0; i < RecordSize && reader->dispatcher->GetChar(c) == apd::ecOK;
             ++i) {
            reader->sink ^= c;
        }
        ++reader->records;
    }
};

void FillAndCheckNoMatch(benchmark::State& state) {
    TMemoryDispatcher dispatcher;
    dispatcher.OpenDefault();
    AddIdleTriggers(dispatcher, static_cast<int>(state.range(0)));
    std::string block(BlockSize, '\0');
    for (std::size_t i = 0; i < BlockSize; ++i) {
        block[i] = static_cast<char>('0' + i % 64);
    }
    // One pass first, so that the device's input queue has its capacity.
    dispatcher.QueueInput(Bytes(block), block.size());
    dispatcher.FlushInBuffer();
    const std::uint64_t before = apd::testing::AllocationCount();
    for (auto _ : state) {
        dispatcher.QueueInput(Bytes(block), block.size());
        dispatcher.FillDispatchBuffer();
        while (dispatcher.CheckDataTriggers()) {
        }
        dispatcher.FlushInBuffer();
    }
    state.counters["allocs"] = static_cast<double>(apd::testing::AllocationCount() - before);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BlockSize));
}

void FillAndCheckRecords(benchmark::State& state) {
    TMemoryDispatcher dispatcher;
    dispatcher.OpenDefault();
    dispatcher.AddDataTrigger(Bytes("\xAA\x55"), false, 2);
    AddIdleTriggers(dispatcher, static_cast<int>(state.range(0)) - 1);
    RecordReader reader{&dispatcher};
    dispatcher.AddMethodHandler(apd::NotifyMethod{&RecordReader::Deliver, &reader}, false);
    const std::string block = Records(BlockRecords);
    dispatcher.QueueInput(Bytes(block), block.size());
    dispatcher.FlushInBuffer();
    const std::uint64_t before = apd::testing::AllocationCount();
    for (auto _ : state) {
        dispatcher.QueueInput(Bytes(block), block.size());
        dispatcher.FillDispatchBuffer();
        while (dispatcher.CheckDataTriggers()) {
        }
    }
    state.counters["allocs"] = static_cast<double>(apd::testing::AllocationCount() - before);
    state.counters["records"] = static_cast<double>(reader.records);
    if (reader.records != state.iterations() * BlockRecords || dispatcher.InBuffUsed() != 0) {
        state.SkipWithError("records were lost or left unread");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BlockSize));
}

void GetCharPerByte(benchmark::State& state) {
    TMemoryDispatcher dispatcher;
    dispatcher.OpenDefault();
    const std::string block(apd::DispatchBufferSize, 'g');
    std::uint8_t sink = 0;
    dispatcher.QueueInput(Bytes(block), block.size());
    dispatcher.FlushInBuffer();
    const std::uint64_t before = apd::testing::AllocationCount();
    for (auto _ : state) {
        state.PauseTiming();
        dispatcher.QueueInput(Bytes(block), block.size());
        dispatcher.FillDispatchBuffer();
        state.ResumeTiming();
        std::uint8_t c = 0;
        while (dispatcher.GetChar(c) == apd::ecOK) {
            sink ^= c;
        }
    }
    benchmark::DoNotOptimize(sink);
    state.counters["allocs"] = static_cast<double>(apd::testing::AllocationCount() - before);
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * apd::DispatchBufferSize),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * apd::DispatchBufferSize));
}

} // namespace

BENCHMARK(FillAndCheckNoMatch)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(FillAndCheckRecords)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(GetCharPerByte);
