#include "comm/errors/SystemMessage.h"

#include <climits>
#include <cstring>

namespace apd {

namespace {

// strerror_r comes in two shapes: the XSI one returns 0 or an error number and fills the
// buffer, the GNU one returns the text (which may or may not be the buffer).
[[maybe_unused]] const char* MessageOf(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* MessageOf(const char* result, const char*) {
    return result;
}

bool IsErrnoValue(int id) {
#if defined(__GLIBC__)
    // glibc's strerror_r invents "Unknown error N" for numbers that are no errno value.
    return strerrordesc_np(id) != nullptr;
#else
    return id > 0;
#endif
}

} // namespace

std::string SystemMessageText(std::uint32_t id) {
    if (id > INT_MAX || !IsErrnoValue(static_cast<int>(id))) {
        return {};
    }
    char buffer[256] = {};
    const char* message =
        MessageOf(strerror_r(static_cast<int>(id), buffer, sizeof buffer), buffer);
    return message != nullptr ? std::string(message) : std::string();
}

} // namespace apd
