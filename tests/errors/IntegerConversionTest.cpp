#include "comm/errors/IntegerConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace apd {
namespace {

std::string RefusalOf(const std::string& text) {
    try {
        StrToInt(text);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "<accepted>";
}

TEST(StrToInt, AcceptsASignedDecimalNumber) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("115200"), 115200);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("-15"), -15);
    EXPECT_EQ(StrToInt("007"), 7);
    EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
    EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
}

TEST(StrToInt, RefusesAnythingElseNamingTheText) {
    EXPECT_EQ(RefusalOf("12a"), "'12a' is not a valid integer value");
    EXPECT_EQ(RefusalOf(""), "'' is not a valid integer value");
    for (const char* text : {" 1", "1 ", "+", "-", "+-1", "-+1", "--1", "1.0", "0x10", "$10",
                             "2147483648", "-2147483649", "99999999999999999999", "\xD0\x96"}) {
        EXPECT_EQ(RefusalOf(text), std::string("'") + text + "' is not a valid integer value");
    }
}

} // namespace
} // namespace apd
