#include "tests/support/pty/ScopedPortDir.h"

#include <cstdlib>

namespace apd::test {

namespace {
constexpr const char* Variable = "VORSILAN_PORT_DIR";
}

ScopedPortDir::ScopedPortDir() {
    if (const char* value = std::getenv(Variable)) {
        previous_ = value;
    }
    ::setenv(Variable, Path().c_str(), 1);
}

ScopedPortDir::~ScopedPortDir() {
    if (previous_) {
        ::setenv(Variable, previous_->c_str(), 1);
    } else {
        ::unsetenv(Variable);
    }
    // The folder goes with folder_, after the variable no longer names it.
}

} // namespace apd::test
