#include "app/ResultRecordDecoding.h"

#include <algorithm>

namespace vorsilan::app {

namespace {

std::uint16_t Bcd(std::uint8_t b) {
    return static_cast<std::uint16_t>(10 * (b >> 4) + (b & 0x0F));
}

bool PackedDecimal(std::uint8_t b) {
    return (b >> 4) <= 9 && (b & 0x0F) <= 9;
}

// A header starts at `at`: 0xAA followed by 0x55, or 0xAA as the last byte (its second
// byte may still come).
bool HeaderStartsAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] == HeaderFirst && (at + 1 == bytes.size() || bytes[at + 1] == HeaderSecond);
}

// The first header start in [from, before), or `before` when there is none.
std::size_t FindHeaderStart(std::span<const std::uint8_t> bytes, std::size_t from,
                            std::size_t before) {
    for (std::size_t at = from; at < before; ++at) {
        if (HeaderStartsAt(bytes, at)) {
            return at;
        }
    }
    return before;
}

} // namespace

DecodedRecord DecodeRecord(std::span<const std::uint8_t, RecordSize> bytes) {
    using namespace record_offset;
    DecodedRecord record;
    std::copy(bytes.begin(), bytes.end(), record.bytes.begin());
    record.number = static_cast<std::uint16_t>(bytes[NumberLow] + 256 * bytes[NumberHigh]);
    record.value = static_cast<std::uint16_t>(Bcd(bytes[ValueLow]) + 100 * Bcd(bytes[ValueHigh]));
    record.kind = bytes[Kind];
    return record;
}

bool IsPossibleRecord(std::span<const std::uint8_t, RecordSize> bytes) {
    using namespace record_offset;
    const std::uint8_t kind = bytes[Kind];
    return kind >= 1 && kind <= 3 && PackedDecimal(bytes[ValueLow]) &&
           PackedDecimal(bytes[ValueHigh]);
}

ReceptionStep NextReceptionStep(std::span<const std::uint8_t> pending) {
    using Action = ReceptionStep::Action;
    using Otherwise = ReceptionStep::Otherwise;
    const std::size_t size = pending.size();
    if (size == 0) {
        return {Action::Need, 1, Otherwise::DropQuietly};
    }
    const std::size_t header = FindHeaderStart(pending, 0, size);
    if (header != 0) {
        return {Action::Skip, header, Otherwise::DropQuietly};
    }
    if (size == 1) {
        return {Action::Need, 2, Otherwise::DropQuietly};
    }
    if (size < RecordSize) {
        return {Action::Need, RecordSize, Otherwise::GiveUp};
    }
    const auto candidate = pending.first<RecordSize>();
    if (IsPossibleRecord(candidate)) {
        return {Action::Decode, RecordSize, Otherwise::Decode};
    }
    // An impossible record whose bytes hold another header: noise with a false header just
    // ahead of a real record. The later record wins once it is complete.
    const std::size_t inner = FindHeaderStart(pending, 2, RecordSize);
    if (inner == RecordSize) {
        return {Action::Decode, RecordSize, Otherwise::Decode};
    }
    const std::size_t through = inner + RecordSize;
    if (size < through) {
        return {Action::Need, through, Otherwise::Decode};
    }
    return {Action::Skip, inner, Otherwise::Decode};
}

std::size_t BrokenRecordLength(std::span<const std::uint8_t> pending) {
    return pending.empty() ? 0 : FindHeaderStart(pending, 1, pending.size());
}

} // namespace vorsilan::app
