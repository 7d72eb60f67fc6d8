#pragma once
// Whether the library's narrow text is UTF-8 here: always on POSIX; on Windows only where
// the ANSI code page is UTF-8.

namespace apd::testing {

bool NarrowTextIsUtf8();

} // namespace apd::testing
