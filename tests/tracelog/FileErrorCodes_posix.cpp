#include "tests/tracelog/FileErrorCodes.h"

#include <cerrno>

namespace apd::testing {

std::int32_t MissingFolderCode() {
    return -ENOENT;
}

std::int32_t FolderInPlaceOfFileCode() {
    return -EISDIR;
}

} // namespace apd::testing
