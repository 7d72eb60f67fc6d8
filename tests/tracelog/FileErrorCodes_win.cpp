#include "tests/tracelog/FileErrorCodes.h"

#include <windows.h>

namespace apd::testing {

std::int32_t MissingFolderCode() {
    return -static_cast<std::int32_t>(ERROR_PATH_NOT_FOUND);
}

std::int32_t FolderInPlaceOfFileCode() {
    return -static_cast<std::int32_t>(ERROR_ACCESS_DENIED);
}

} // namespace apd::testing
