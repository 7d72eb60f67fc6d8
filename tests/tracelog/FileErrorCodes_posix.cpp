#include "tests/tracelog/FileErrorCodes.h"

#include "comm/errors/ErrorCodes.h"

#include <cerrno>

namespace apd::testing {

std::int32_t MissingFolderCode() {
    return SystemErrorCode(ENOENT);
}

std::int32_t FolderInPlaceOfFileCode() {
    return SystemErrorCode(EISDIR);
}

} // namespace apd::testing
