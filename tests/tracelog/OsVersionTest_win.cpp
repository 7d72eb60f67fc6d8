// The operating system text of the dump header on Windows: the NT family's name, then
// major.minor as the system reports them, then the service pack text.

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "comm/dispatch/OsVersion.h"

namespace apd::testing {
namespace {

TEST(OsVersion, NtFamilyNameMajorDotMinorAndServicePackText) {
    const std::string text = OsVersionText();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(text, parts, std::regex(R"(Windows NT (\d+)\.(\d+) (.*))")))
        << text;
    // The kernel's own version block, which the compatibility shims of the version query
    // may only lower, never raise.
    const DWORD packed = ::GetVersion();
    EXPECT_EQ(std::stoul(parts[1].str()), LOBYTE(LOWORD(packed))) << text;
    EXPECT_EQ(std::stoul(parts[2].str()), HIBYTE(LOWORD(packed))) << text;
    EXPECT_GE(std::stoul(parts[1].str()), 5u) << text;
}

} // namespace
} // namespace apd::testing
