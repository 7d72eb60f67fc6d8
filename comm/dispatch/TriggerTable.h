#pragma once
// The triggers of one dispatcher: the data, status and timer trigger lists, the avail
// threshold, handle numbering, the matching of received bytes against the data triggers
// and the snapshot that carries them across a close and reopen. The dispatcher guards it
// with DataLock; the table itself takes no lock.
//
// Handles are multiples of TriggerHandleStep. Every handle the table gives out differs
// from those of the triggers it holds: sequentially below SequentialHandleLimit steps,
// then the smallest multiple no trigger has. A restored snapshot keeps its handles, and the
// sequence goes on past the largest of them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "comm/dispatch/TriggerRecords.h"

namespace apd {

// A data trigger whose pattern completed, taken for delivery.
struct CompletedDataTrigger {
    std::int32_t Handle = 0;
    std::int32_t Length = 0;
};

class TriggerTable {
public:
    TriggerTable();

    // ---- Handles and registration ---------------------------------------------------
    std::int32_t NewHandle();
    bool HandleInUse(std::int32_t handle) const;
    // A data trigger for the pattern (length at most MaxDataTriggerLength) under a new
    // handle, which is returned.
    std::int32_t AddData(const std::uint8_t* data, std::int32_t length, bool ignoreCase);
    std::int32_t AvailLength() const { return AvailTriggerLength; }
    void SetAvailLength(std::int32_t length) { AvailTriggerLength = length; }
    // No triggers, no avail threshold, the handle sequence from its start.
    void Clear();
    // The next index of the handle sequence.
    std::int32_t NextIndex() const { return NextHandleIndex; }

    // Copies every list into the snapshot, replacing what it held.
    void Save(TriggerSnapshot& snapshot) const;
    // Replaces the triggers by the snapshot's, handles kept. Data trigger records that no
    // registration could have made (a length out of range) are left out, and the partial
    // matches of the others are cleared: they belong to the byte stream before the close.
    void Restore(const TriggerSnapshot& snapshot);

    // ---- Data trigger matching ------------------------------------------------------
    // Whether any data trigger has a pattern (one of length 0 never matches).
    bool AnyPattern() const;
    // Feeds one received byte to every pattern; a pattern that completes, or completed
    // earlier and is not yet delivered, is marked. The longest marked pattern's length, 0
    // when none is marked.
    std::int32_t MatchByte(std::uint8_t byte);
    void ClearPartialMatches();
    std::size_t DataCount() const { return DataTriggers.size(); }
    // Unmarks the data trigger at index (below DataCount) and returns it when it was
    // marked.
    std::optional<CompletedDataTrigger> TakeCompleted(std::size_t index);
    const std::vector<DataTrigger>& DataRecords() const { return DataTriggers; }

    // ---- Status and timer triggers --------------------------------------------------
    std::size_t StatusCount() const { return StatusTriggers.size(); }
    StatusTrigger& StatusAt(std::size_t index) { return StatusTriggers[index]; }
    void ClearStatusHits();
    const std::vector<StatusTrigger>& StatusRecords() const { return StatusTriggers; }
    std::size_t TimerCount() const { return TimerTriggers.size(); }
    TimerTrigger& TimerAt(std::size_t index) { return TimerTriggers[index]; }
    const std::vector<TimerTrigger>& TimerRecords() const { return TimerTriggers; }
    // Whether any status or timer trigger exists, for which the line must be looked at
    // even while it is idle.
    bool AnyStatusOrTimer() const { return !StatusTriggers.empty() || !TimerTriggers.empty(); }

private:
    std::vector<TimerTrigger> TimerTriggers;
    std::vector<DataTrigger> DataTriggers;
    std::vector<StatusTrigger> StatusTriggers;
    std::int32_t NextHandleIndex = 1;
    std::int32_t AvailTriggerLength = 0;
};

} // namespace apd
