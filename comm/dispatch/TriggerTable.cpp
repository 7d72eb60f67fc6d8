#include "comm/dispatch/TriggerTable.h"

#include <algorithm>

#include "comm/dispatch/DataTriggerMatch.h"

namespace apd {

namespace {

// Room reserved up front so that registering a few triggers does not reallocate a list
// that the dispatch thread is about to walk.
constexpr std::size_t ReservedTriggers = 32;

template <typename Records>
bool AnyHas(const Records& records, std::int32_t handle) {
    return std::any_of(records.begin(), records.end(),
                       [handle](const auto& record) { return record.Handle == handle; });
}

} // namespace

TriggerTable::TriggerTable() {
    TimerTriggers.reserve(ReservedTriggers);
    DataTriggers.reserve(ReservedTriggers);
    StatusTriggers.reserve(ReservedTriggers);
}

std::int32_t TriggerTable::NewHandle() {
    if (NextHandleIndex < SequentialHandleLimit) {
        return NextHandleIndex++ * TriggerHandleStep;
    }
    // The sequence is used up: take the smallest multiple of 8 that no trigger has.
    for (std::int32_t candidate = TriggerHandleStep;; candidate += TriggerHandleStep) {
        if (!HandleInUse(candidate)) {
            return candidate;
        }
    }
}

bool TriggerTable::HandleInUse(std::int32_t handle) const {
    return AnyHas(TimerTriggers, handle) || AnyHas(StatusTriggers, handle) ||
           AnyHas(DataTriggers, handle);
}

std::int32_t TriggerTable::AddData(const std::uint8_t* data, std::int32_t length, bool ignoreCase) {
    DataTriggers.push_back(MakeDataTrigger(NewHandle(), data, length, ignoreCase));
    return DataTriggers.back().Handle;
}

void TriggerTable::Clear() {
    AvailTriggerLength = 0;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    NextHandleIndex = 1;
}

void TriggerTable::Save(TriggerSnapshot& snapshot) const {
    snapshot.AvailLength = AvailTriggerLength;
    snapshot.TimerTriggers.emplace(TimerTriggers);
    snapshot.DataTriggers.emplace(DataTriggers);
    snapshot.StatusTriggers.emplace(StatusTriggers);
}

void TriggerTable::Restore(const TriggerSnapshot& snapshot) {
    AvailTriggerLength = snapshot.AvailLength;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    std::int32_t largest = 0;
    if (snapshot.TimerTriggers) {
        for (const auto& trigger : *snapshot.TimerTriggers) {
            TimerTriggers.push_back(trigger);
            largest = std::max(largest, trigger.Handle);
        }
    }
    if (snapshot.DataTriggers) {
        for (const auto& trigger : *snapshot.DataTriggers) {
            // A record that no AddData could have made would be matched out of bounds.
            if (trigger.Length < 0 || trigger.Length > MaxDataTriggerLength) {
                continue;
            }
            DataTriggers.push_back(trigger);
            DataTriggers.back().MatchSlots.fill(0);
            DataTriggers.back().Matched = RecordFalse;
            largest = std::max(largest, trigger.Handle);
        }
    }
    if (snapshot.StatusTriggers) {
        for (const auto& trigger : *snapshot.StatusTriggers) {
            StatusTriggers.push_back(trigger);
            largest = std::max(largest, trigger.Handle & ~7);
        }
    }
    // Handles are kept; new ones must not repeat them.
    const std::int32_t following = largest / TriggerHandleStep + 1;
    NextHandleIndex = std::max(NextHandleIndex, following);
}

bool TriggerTable::AnyPattern() const {
    return std::any_of(DataTriggers.begin(), DataTriggers.end(),
                       [](const DataTrigger& t) { return t.Length != 0; });
}

std::int32_t TriggerTable::MatchByte(std::uint8_t byte) {
    std::int32_t longest = 0;
    for (auto& trigger : DataTriggers) {
        if (trigger.Length == 0) {
            continue;
        }
        const bool hit = trigger.Matched != RecordFalse || MatchTriggerByte(trigger, byte);
        trigger.Matched = hit ? RecordTrue : RecordFalse;
        if (hit) {
            longest = std::max(longest, trigger.Length);
        }
    }
    return longest;
}

void TriggerTable::ClearPartialMatches() {
    for (auto& trigger : DataTriggers) {
        trigger.MatchSlots.fill(0);
    }
}

std::optional<CompletedDataTrigger> TriggerTable::TakeCompleted(std::size_t index) {
    auto& trigger = DataTriggers[index];
    if (trigger.Matched == RecordFalse) {
        return std::nullopt;
    }
    trigger.Matched = RecordFalse;
    return CompletedDataTrigger{trigger.Handle, trigger.Length};
}

void TriggerTable::ClearStatusHits() {
    for (auto& trigger : StatusTriggers) {
        trigger.Hit = false;
    }
}

} // namespace apd
