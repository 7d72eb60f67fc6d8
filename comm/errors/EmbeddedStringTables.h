#pragma once
// The string tables embedded in the program, in the "STR0" layout. Their sources are
// strings/*.txt; the build turns them into generated source files with tools/strtable.

#include <cstddef>
#include <span>

namespace apd {

// "ADSRMGR_STRINGS": the string table reader's own error messages.
std::span<const std::byte> ManagerStringsTable();
// "ZURI_ERROR_STRINGS_ENGLISH": error messages and the dispatch log's labels.
std::span<const std::byte> ErrorStringsTable();

} // namespace apd
