#pragma once
// The binary "STR0" layout of a string table: "STR0", the entry count, the index of
// (id, offset, length) entries sorted by id, then the UTF-16LE texts in index order, each
// starting where the previous one ends. All integers little-endian, 32-bit.

#include "tools/strtable/StringTableSource.h"

#include <cstddef>
#include <vector>

namespace strtable {

// The table of entries. Raises std::invalid_argument when they are not sorted by id or
// repeat one, and std::length_error when the table would not fit 32-bit offsets.
std::vector<std::byte> BuildStringTable(const std::vector<StringEntry>& entries);

} // namespace strtable
