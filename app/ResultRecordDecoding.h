#pragma once
// The analyser's 26-byte result record as the workstation reads it, and where the reception
// goes next with the bytes it has taken from the line. Pure functions: no port, no window.
//
//   0..1   header 0xAA 0x55
//   2..3   analysis number, little-endian
//   19     value, low two digits (packed decimal: tens high nibble, units low)
//   20     value, high two digits (thousands high nibble, hundreds low)
//   21     sample kind: 1 serum, 2 whole blood, 3 urine
// Every other byte is not interpreted.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorsilan::app {

inline constexpr std::size_t RecordSize = 26;
inline constexpr std::uint8_t HeaderFirst = 0xAA;
inline constexpr std::uint8_t HeaderSecond = 0x55;

namespace record_offset {
inline constexpr std::size_t NumberLow = 2;
inline constexpr std::size_t NumberHigh = 3;
inline constexpr std::size_t ValueLow = 19;
inline constexpr std::size_t ValueHigh = 20;
inline constexpr std::size_t Kind = 21;
} // namespace record_offset

using RecordBytes = std::array<std::uint8_t, RecordSize>;

struct DecodedRecord {
    RecordBytes bytes{};
    std::uint16_t number = 0;
    // Digits summed as they stand: a nibble above 9 counts with its plain value, so the
    // largest value is 16665 (value bytes 0xFF 0xFF).
    std::uint16_t value = 0;
    std::uint16_t kind = 0;
};

DecodedRecord DecodeRecord(std::span<const std::uint8_t, RecordSize> bytes);

// False for a record no analyser sends: an unknown sample kind, or a value byte that is not
// packed decimal. Such a record is still decoded when nothing better explains its bytes.
bool IsPossibleRecord(std::span<const std::uint8_t, RecordSize> bytes);

// What to do with the bytes taken from the line and not yet settled, oldest first.
struct ReceptionStep {
    enum class Action {
        // Drop the first `count` bytes: noise ahead of a header, or a false header whose
        // bytes hold a better record further on.
        Skip,
        // The first RecordSize bytes are a record: decode it and drop them.
        Decode,
        // Nothing can be settled before `count` bytes are there. When they do not come,
        // `otherwise` says what to do: drop a broken record, drop a lone header byte
        // quietly, or decode the record at the front as it stands.
        Need,
    };
    enum class Otherwise { GiveUp, DropQuietly, Decode };
    Action action = Action::Need;
    std::size_t count = 0;
    Otherwise otherwise = Otherwise::DropQuietly;
};

ReceptionStep NextReceptionStep(std::span<const std::uint8_t> pending);

// How many of the pending bytes a broken record at the front takes with it: its bytes up
// to the next header start among them, so that a record behind a cut one survives.
std::size_t BrokenRecordLength(std::span<const std::uint8_t> pending);

} // namespace vorsilan::app
