#include "tools/strtable/GeneratedSource.h"
#include "tools/strtable/StringTableLayout.h"
#include "tools/strtable/StringTableSource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace strtable {
namespace {

std::string RefusalOf(std::string_view source) {
    try {
        ParseStringTableSource(source);
    } catch (const SourceError& e) {
        return e.what();
    }
    return "<accepted>";
}

TEST(StringTableSource, TakesTextsVerbatimAndSortsById) {
    const auto entries = ParseStringTableSource("# heading\n"
                                                "\n"
                                                "20\tDCTS \n"
                                                "-3\t\n"
                                                "10\ttab\tinside\n"
                                                "7\t  leading");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].id, -3);
    EXPECT_EQ(entries[0].text, u"");
    EXPECT_EQ(entries[1].id, 7);
    EXPECT_EQ(entries[1].text, u"  leading");
    EXPECT_EQ(entries[2].text, u"tab\tinside");
    EXPECT_EQ(entries[3].text, u"DCTS ");
}

TEST(StringTableSource, DecodesUtf8IntoUtf16) {
    const auto entries = ParseStringTableSource("\xEF\xBB\xBF" // a byte order mark is skipped
                                                "1\t\xD0\x96\xE2\x84\x96\xF0\x9F\xA7\xAA\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].text,
              (std::u16string{u'\u0416', u'\u2116', char16_t{0xD83E}, char16_t{0xDDEA}}));
}

TEST(StringTableSource, RefusesMalformedLinesNamingTheLine) {
    EXPECT_EQ(RefusalOf("1\tone\n2 two\n"), "line 2: expected <id><TAB><text>");
    EXPECT_EQ(RefusalOf("x\tone\n"), "line 1: the id is not a decimal 32-bit number");
    for (const char* id : {"", "+1", " 1", "1 ", "2147483648", "-2147483649", "0x10"}) {
        EXPECT_NE(RefusalOf(std::string(id) + "\ttext\n"), "<accepted>") << id;
    }
    EXPECT_EQ(RefusalOf("1\tone\r\n"), "line 1: the text holds a control character");
    EXPECT_EQ(RefusalOf("\n\n5\ta\n3\tb\n5\tc\n"), "line 5: id 5 was already given on line 3");
}

TEST(StringTableSource, RefusesInvalidUtf8) {
    for (const char* text : {"\x80", "\xC0\xAF", "\xC3", "\xE0\x80\xAF", "\xED\xA0\x80",
                             "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF", "a\xE2\x84"}) {
        EXPECT_EQ(RefusalOf(std::string("1\t") + text + "\n"),
                  "line 1: the text is not valid UTF-8");
    }
}

TEST(StringTableLayout, PlacesTextsAfterTheIndexInOrder) {
    // Out of order or repeated ids: refused (the source parser sorts them first).
    EXPECT_THROW(BuildStringTable({{2, u"b"}, {1, u"a"}}), std::invalid_argument);
    EXPECT_THROW(BuildStringTable({{1, u"a"}, {1, u"b"}}), std::invalid_argument);

    const auto sorted = BuildStringTable({{-1, u"ab"}, {7, u"\u0416"}, {4600, u""}});
    const std::vector<unsigned> expected = {
        'S',  'T',  'R',  '0',  3,    0,   0, 0,             // magic, count
        0xFF, 0xFF, 0xFF, 0xFF, 44,   0,   0, 0, 2, 0, 0, 0, // -1 at 44, 2 units
        7,    0,    0,    0,    48,   0,   0, 0, 1, 0, 0, 0, // 7 at 48, 1 unit
        0xF8, 0x11, 0,    0,    50,   0,   0, 0, 0, 0, 0, 0, // 4600 at 50, empty
        'a',  0,    'b',  0,    0x16, 0x04};
    ASSERT_EQ(sorted.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::to_integer<unsigned>(sorted[i]), expected[i]) << "byte " << i;
    }
}

TEST(GeneratedSource, DefinesTheNamedFunctionOverTheBytes) {
    const std::vector<std::byte> bytes = {std::byte{0x53}, std::byte{0xFF}};
    const std::string source = GenerateTableSource(bytes, "SomeTable", "Some.txt");
    EXPECT_NE(source.find("std::span<const std::byte> SomeTable()"), std::string::npos);
    EXPECT_NE(source.find("0x53, 0xFF,"), std::string::npos);
    EXPECT_NE(source.find("Some.txt"), std::string::npos);
    EXPECT_TRUE(IsIdentifier("ErrorStringsTable"));
    EXPECT_TRUE(IsIdentifier("_table2"));
    EXPECT_FALSE(IsIdentifier("2table"));
    EXPECT_FALSE(IsIdentifier("bad-name"));
    EXPECT_FALSE(IsIdentifier(""));
}

} // namespace
} // namespace strtable
