#include "tests/errors/NarrowEncoding.h"

namespace apd::testing {

bool NarrowTextIsUtf8() {
    return true;
}

} // namespace apd::testing
