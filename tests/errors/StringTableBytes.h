#pragma once
// Building "STR0" tables in tests, and damaging them on purpose.

#include "tools/strtable/StringTableLayout.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace apd::test {

inline std::vector<std::byte> TableOf(std::initializer_list<strtable::StringEntry> entries) {
    return strtable::BuildStringTable(std::vector<strtable::StringEntry>(entries));
}

inline void PutUint32At(std::vector<std::byte>& table, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        table.at(at + i) = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
    }
}

// Byte positions of the fields of index entry i.
inline std::size_t IdAt(std::size_t i) {
    return 8 + 12 * i;
}
inline std::size_t OffsetAt(std::size_t i) {
    return 8 + 12 * i + 4;
}
inline std::size_t LengthAt(std::size_t i) {
    return 8 + 12 * i + 8;
}
inline constexpr std::size_t CountAt = 4;

} // namespace apd::test
