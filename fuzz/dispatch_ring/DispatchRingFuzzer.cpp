// Feeds random byte streams and random trigger sets through the receive ring, the data
// trigger check and notification delivery, and checks the ring against a model of its
// contents: no byte is lost, read twice or read out of order, the ring never holds more
// than 8192 bytes, the scan position stays between tail and head, and the counts agree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "comm/dispatch/NotificationMessages.h"
#include "tests/support/memory_device/MemoryDispatcher.h"

namespace {

using apd::testing::TMemoryDispatcher;

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct Model {
    TMemoryDispatcher* dispatcher = nullptr;
    std::deque<std::uint8_t> device; // queued in the device, not yet in the ring
    std::deque<std::uint8_t> ring;   // waiting in the ring

    // The delivery in progress: the most any handler read, and whether one flushed.
    bool delivering = false;
    std::size_t maxRead = 0;
    bool flushed = false;

    // What the handlers do in a notification.
    std::uint8_t firstReads = 0;
    std::uint8_t secondReads = 0;
    bool firstFlushes = false;

    void EndDelivery() {
        if (!delivering) {
            return;
        }
        const std::size_t consumed = flushed ? ring.size() : std::min(maxRead, ring.size());
        ring.erase(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(consumed));
        delivering = false;
    }

    void HandlerReads(std::size_t count, bool flush) {
        std::size_t read = 0;
        std::uint8_t c = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const apd::ErrorCode got = dispatcher->GetChar(c);
            if (read < ring.size()) {
                FUZZ_CHECK(got == apd::ecOK);
                FUZZ_CHECK(c == ring[read]);
                ++read;
            } else {
                FUZZ_CHECK(got == apd::ecBufferIsEmpty);
            }
            FUZZ_CHECK(dispatcher->InBuffUsed() == ring.size() - read);
        }
        maxRead = std::max(maxRead, read);
        if (flush) {
            dispatcher->FlushInBuffer();
            device.clear();
            flushed = true;
            FUZZ_CHECK(dispatcher->InBuffUsed() == 0);
            FUZZ_CHECK(!dispatcher->CharReady());
            FUZZ_CHECK(dispatcher->GetChar(c) == apd::ecBufferIsEmpty);
        }
    }

    static void First(void* self, std::uint32_t msg, apd::platform::WParam wParam,
                      apd::platform::LParam) {
        auto* model = static_cast<Model*>(self);
        model->EndDelivery(); // the previous delivery of this check call has ended
        FUZZ_CHECK(msg == apd::MsgTriggerAvail || msg == apd::MsgTriggerData);
        if (msg == apd::MsgTriggerAvail) {
            FUZZ_CHECK(wParam <= model->ring.size());
        }
        model->delivering = true;
        model->maxRead = 0;
        model->flushed = false;
        model->HandlerReads(model->firstReads, model->firstFlushes);
    }

    static void Second(void* self, std::uint32_t, apd::platform::WParam, apd::platform::LParam) {
        auto* model = static_cast<Model*>(self);
        model->HandlerReads(model->secondReads, false);
    }

    void CheckInvariants() {
        const apd::testing::RingSnapshot snap = dispatcher->Ring();
        FUZZ_CHECK(snap.head < apd::DispatchBufferSize);
        FUZZ_CHECK(snap.tail < apd::DispatchBufferSize);
        const std::uint32_t waiting = apd::RingCount(snap.head, snap.tail, snap.full);
        FUZZ_CHECK(waiting <= apd::DispatchBufferSize);
        FUZZ_CHECK(waiting == ring.size());
        FUZZ_CHECK(dispatcher->InBuffUsed() == waiting);
        FUZZ_CHECK(dispatcher->CharReady() == (waiting != 0));
        FUZZ_CHECK(dispatcher->InputQueued() == device.size());
        // The scan position lies between tail and head.
        FUZZ_CHECK(snap.unscanned <= waiting);
        FUZZ_CHECK(apd::AdvanceRingPos(snap.scanPos, snap.unscanned) == snap.head);
        FUZZ_CHECK(!dispatcher->Notifying);
        FUZZ_CHECK(!dispatcher->InDataNotification);
    }
};

void Fill(Model& model) {
    const std::uint32_t before = model.dispatcher->InBuffUsed();
    model.dispatcher->FillDispatchBuffer();
    const std::uint32_t added = model.dispatcher->InBuffUsed() - before;
    FUZZ_CHECK(added <= model.device.size());
    for (std::uint32_t i = 0; i < added; ++i) {
        model.ring.push_back(model.device.front());
        model.device.pop_front();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    TMemoryDispatcher dispatcher;
    if (dispatcher.OpenDefault() != apd::ecOK) {
        return 0;
    }
    Model model;
    model.dispatcher = &dispatcher;
    dispatcher.AddMethodHandler(apd::NotifyMethod{&Model::First, &model}, false);

    const int triggers = in.Byte() % 8;
    for (int t = 0; t < triggers; ++t) {
        const std::uint8_t spec = in.Byte();
        const std::uint32_t length = spec % 23; // 22 is refused
        std::string pattern;
        for (std::uint32_t i = 0; i < length; ++i) {
            pattern.push_back(static_cast<char>(in.Byte() % 4 + 'A')); // few symbols: overlaps
        }
        const std::int32_t handle = dispatcher.AddDataTrigger(
            reinterpret_cast<const std::uint8_t*>(pattern.data()), (spec & 0x80) != 0, length);
        FUZZ_CHECK(length > 21 ? handle == apd::ecTriggerTooLong : handle > 0 && handle % 8 == 0);
    }
    dispatcher.SetAvailTriggerLength(in.Byte() % 32);

    apd::TriggerSnapshot snapshot;
    bool secondRegistered = false;
    while (!in.Empty()) {
        const std::uint8_t op = in.Byte();
        switch (op % 12) {
        case 0:
        case 1: { // bytes arrive
            const std::size_t count = std::size_t{in.Byte()} * (op & 0x10 ? 64 : 1);
            std::string bytes;
            for (std::size_t i = 0; i < count; ++i) {
                bytes.push_back(static_cast<char>(in.Byte() % 5 + 'A'));
            }
            dispatcher.QueueInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                  bytes.size());
            model.device.insert(model.device.end(), bytes.begin(), bytes.end());
            Fill(model);
            break;
        }
        case 2:
        case 3: // the dispatch thread's scan
            for (int i = 0; i < 64; ++i) {
                const bool again = dispatcher.CheckDataTriggers();
                model.EndDelivery();
                if (!again) {
                    break;
                }
            }
            break;
        case 4: { // the application reads
            const int count = in.Byte() % 40;
            std::uint8_t c = 0;
            for (int i = 0; i < count; ++i) {
                const apd::ErrorCode got = dispatcher.GetChar(c);
                if (model.ring.empty()) {
                    FUZZ_CHECK(got == apd::ecBufferIsEmpty);
                } else {
                    FUZZ_CHECK(got == apd::ecOK && c == model.ring.front());
                    model.ring.pop_front();
                }
            }
            break;
        }
        case 5: { // peek
            const std::uint32_t n = in.Byte();
            std::uint8_t c = 0;
            const apd::ErrorCode got = dispatcher.PeekChar(c, n);
            FUZZ_CHECK(got ==
                       (n >= 1 && n <= model.ring.size() ? apd::ecOK : apd::ecBufferIsEmpty));
            if (got == apd::ecOK) {
                FUZZ_CHECK(c == model.ring[n - 1]);
            }
            break;
        }
        case 6:
            dispatcher.FlushInBuffer();
            model.ring.clear();
            model.device.clear();
            break;
        case 7:
            dispatcher.SetAvailTriggerLength(in.Byte() % 64);
            break;
        case 8:
            if (op & 0x40) {
                dispatcher.SaveTriggers(snapshot);
            } else {
                dispatcher.RestoreTriggers(snapshot);
            }
            break;
        case 9:
            model.firstReads = in.Byte() % 48;
            model.secondReads = in.Byte() % 48;
            model.firstFlushes = (op & 0x20) != 0;
            if (!secondRegistered && (op & 0x40)) {
                dispatcher.AddMethodHandler(apd::NotifyMethod{&Model::Second, &model}, false);
                secondRegistered = true;
            }
            break;
        case 10:
            dispatcher.LimitReadChunk(in.Byte() % 8);
            break;
        default:
            dispatcher.FailReads(1, -static_cast<std::int32_t>(in.Byte() % 9 + 1), in.Byte() % 2);
            break;
        }
        model.CheckInvariants();
    }
    return 0;
}
