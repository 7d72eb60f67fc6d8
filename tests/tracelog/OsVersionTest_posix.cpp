// The operating system text of the dump header, against uname().

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <regex>
#include <string>

#include "comm/dispatch/OsVersion.h"

namespace apd::testing {
namespace {

TEST(OsVersion, SystemNameMajorDotMinorAndTheKernelsVersionText) {
    utsname name{};
    ASSERT_EQ(::uname(&name), 0);
    const std::string text = OsVersionText();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(text, parts, std::regex(R"((\S+) (\d+)\.(\d+) (.*))"))) << text;
    EXPECT_EQ(parts[1].str(), name.sysname);
    EXPECT_TRUE(std::string(name.release).starts_with(parts[2].str() + "." + parts[3].str()))
        << name.release;
    EXPECT_EQ(parts[4].str(), name.version);
}

} // namespace
} // namespace apd::testing
