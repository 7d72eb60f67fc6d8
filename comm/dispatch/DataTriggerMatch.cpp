#include "comm/dispatch/DataTriggerMatch.h"

#include <algorithm>

#include "comm/dispatch/AnsiUpperCase.h"

namespace apd {

bool MatchTriggerByte(DataTrigger& trigger, std::uint8_t byte) {
    if (trigger.IgnoreCase != RecordFalse) {
        byte = AnsiUpperChar(byte);
    }
    auto& slots = trigger.MatchSlots;
    const auto& text = trigger.Text;
    const std::int32_t length = trigger.Length;
    const bool startsPattern = text[0] == byte;
    bool complete = false;
    // Once a slot has taken this byte as a new first byte, no free slot starts another.
    bool restarted = false;
    bool go = true; // slot 0 is always processed
    for (std::int32_t i = 0; i < length; ++i) {
        auto& slot = slots[static_cast<std::size_t>(i)];
        if (go) {
            const std::int32_t seen = slot;
            if (text[static_cast<std::size_t>(seen)] == byte) {
                if (seen == length - 1) {
                    complete = true;
                    slots.fill(0);
                } else {
                    slot = seen + 1;
                }
            } else if (startsPattern) {
                slot = 1;
                restarted = true;
            } else {
                slot = 0;
            }
        }
        if (slot == 1) {
            restarted = true;
        }
        if (i < length - 1) {
            const bool nextActive = slots[static_cast<std::size_t>(i) + 1] != 0;
            go = restarted ? nextActive : (nextActive || startsPattern);
        }
    }
    return complete;
}

DataTrigger MakeDataTrigger(std::int32_t handle, const std::uint8_t* data, std::int32_t length,
                            bool ignoreCase) {
    DataTrigger trigger;
    trigger.Handle = handle;
    trigger.Length = length;
    trigger.IgnoreCase = ignoreCase ? RecordTrue : RecordFalse;
    if (length > 0) {
        std::copy(data, data + length, trigger.Text.begin());
        if (ignoreCase) {
            for (std::int32_t i = 0; i < length; ++i) {
                auto& c = trigger.Text[static_cast<std::size_t>(i)];
                c = AnsiUpperChar(c);
            }
        }
    }
    return trigger;
}

} // namespace apd
