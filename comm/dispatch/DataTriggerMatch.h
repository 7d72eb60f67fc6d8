#pragma once
// Matching of received bytes against one data trigger.

#include <cstdint>

#include "comm/dispatch/TriggerRecords.h"

namespace apd {

// Feeds one received byte to the trigger's partial-match slots. True when the pattern is
// complete at this byte; all slots are then cleared, and later slots of the same byte may
// start a new candidate.
bool MatchTriggerByte(DataTrigger& trigger, std::uint8_t byte);

// A new data trigger record for the pattern (length at most MaxDataTriggerLength).
DataTrigger MakeDataTrigger(std::int32_t handle, const std::uint8_t* data, std::int32_t length,
                            bool ignoreCase);

} // namespace apd
