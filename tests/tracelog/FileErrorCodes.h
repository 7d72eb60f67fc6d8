#pragma once
// The codes a dump reports for the two unwritable targets the tests use: each platform's
// own errors (errno values carried as system codes on POSIX, Windows error codes there).

#include <cstdint>

namespace apd::testing {

// The file's folder does not exist.
std::int32_t MissingFolderCode();
// A folder stands where the file should be.
std::int32_t FolderInPlaceOfFileCode();

} // namespace apd::testing
