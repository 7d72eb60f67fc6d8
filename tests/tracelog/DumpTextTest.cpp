// Pieces of the dump text: the time text, the label lookups, the header's operating system
// text, and independence from the user's locale.

#include <algorithm>
#include <clocale>
#include <locale>
#include <regex>
#include <vector>

#include "comm/dispatch/LogDump.h"
#include "comm/dispatch/OsVersion.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

TEST(LogTime, SecondsWithThreeDecimalsAndAtLeastFourDigitsBeforeThePoint) {
    EXPECT_EQ(LogTimeText(0), "0000.000");
    EXPECT_EQ(LogTimeText(5), "0000.005");
    EXPECT_EQ(LogTimeText(12345), "0012.345");
    EXPECT_EQ(LogTimeText(9999999), "9999.999");
    EXPECT_EQ(LogTimeText(10000000), "10000.000");
    EXPECT_EQ(LogTimeText(2147483648u), "2147483.648"); // not negative past 2^31 ms
    EXPECT_EQ(LogTimeText(4294967295u), "4294967.295");
}

// Russian number conventions: a decimal comma and digits grouped by a space.
class RussianNumbers : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return ' '; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(LogTime, DumpIgnoresAUserLocaleWithADecimalComma) {
    // The program switches to the user's locale at start: the C locale when one is
    // installed here, the C++ global locale always.
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            break;
        }
    }
    const std::locale savedCpp =
        std::locale::global(std::locale(std::locale::classic(), new RussianNumbers));

    DispatchLogRing log;
    log.Allocate(1024, 0);
    LogEntryHeader header;
    header.Type = 1;
    header.SubType = 1;
    header.Time = 12345678;
    header.Data = 0x1234;
    log.Add(header, nullptr);
    StringSink sink;
    DumpLineWriter out(sink);
    WriteLogText(
        log, false, false, "Test 1.0 x", [](std::int16_t) { return std::string("N"); }, out);

    const std::string time = LogTimeText(12345678);
    std::locale::global(savedCpp);
    std::setlocale(LC_ALL, savedC.c_str());
    EXPECT_EQ(time, "12345.678");
    EXPECT_TRUE(sink.Text().ends_with("\r\n12345.678  N         N             00001234  "))
        << sink.Text();
}

class LogLabels : public ::testing::Test {
protected:
    std::string Dump(std::string_view os = "Test 1.0 x") {
        StringSink sink;
        DumpLineWriter out(sink);
        const LogLabelLookup lookup = [this](std::int16_t id) {
            asked.push_back(id);
            return "<" + std::to_string(id) + ">";
        };
        WriteLogText(log, false, false, os, lookup, out);
        return sink.Text();
    }
    void Add(std::uint8_t type, std::uint8_t subType, std::uint32_t data) {
        LogEntryHeader header;
        header.Type = type;
        header.SubType = subType;
        header.Data = data;
        log.Add(header, nullptr);
    }
    DispatchLogRing log;
    std::vector<std::int16_t> asked;
};

TEST_F(LogLabels, NamesComeFromTheirIdsAndSubtypeZeroIsNotLookedUp) {
    log.Allocate(1024, 0);
    Add(19, 0, 1);
    Add(19, 0, 2);
    Add(2, 251, 3);
    const std::string text = Dump();
    EXPECT_NE(text.find("\r\n0000.000  <15020>" + std::string(17, ' ') + "00000001  \r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n0000.000  <15003>   <15351>       00000003  "), std::string::npos)
        << text;
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 15100), 0);
    // Each name is fetched once per dump.
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 15020), 1);
}

TEST_F(LogLabels, TelnetEntriesNameTheirOptionUpTo42) {
    log.Allocate(1024, 0);
    Add(10, 0, 0);
    Add(10, 0, 42);
    Add(10, 0, 43);
    const std::string text = Dump();
    EXPECT_NE(text.find("00000000  [<15700>]\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0000002A  [<15742>]\r\n"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("0000002B  []")) << text;
}

TEST_F(LogLabels, HeaderCutsTheSystemTextTo80Characters) {
    log.Allocate(1024, 0);
    Add(1, 1, 0);
    const std::string text = Dump(std::string(79, 'o') + "XYZ");
    EXPECT_NE(text.find("\r\nOperating System : " + std::string(79, 'o') +
                        "X\r\n<15501>\r\n"
                        "<15502>\r\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(text.starts_with("ZURI v3.02\r\nCompiler : Unknown\r\n")) << text;
}

} // namespace
} // namespace apd::testing
