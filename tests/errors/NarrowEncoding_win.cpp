#include "tests/errors/NarrowEncoding.h"

#include <windows.h>

namespace apd::testing {

bool NarrowTextIsUtf8() {
    return ::GetACP() == CP_UTF8;
}

} // namespace apd::testing
