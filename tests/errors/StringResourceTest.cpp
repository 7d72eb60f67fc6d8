#include "comm/errors/StringResource.h"

#include "StringTableBytes.h"
#include "comm/errors/EmbeddedStringTables.h"
#include "tests/errors/NarrowEncoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace apd {
namespace {

using test::TableOf;

// Opens bytes under a name of their own in a module of their own.
struct OpenedTable {
    explicit OpenedTable(std::vector<std::byte> bytes) {
        module.Add("TEST_TABLE", std::move(bytes));
        reader.emplace(&module, "TEST_TABLE");
    }
    TResourceModule module;
    std::optional<TAdStringResource> reader;
};

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ETpsStringResourceError& e) {
        return e.Message();
    }
    return "<nothing raised>";
}

void AppendUtf16Le(std::vector<std::byte>& out, std::u16string_view text) {
    for (const char16_t unit : text) {
        out.push_back(static_cast<std::byte>(unit & 0xFF));
        out.push_back(static_cast<std::byte>(unit >> 8));
    }
}

void AppendUint32(std::vector<std::byte>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::byte>((value >> shift) & 0xFF));
    }
}

TEST(ManagerStringsTable, IsByteExact) {
    const std::u16string texts[] = {
        u"String not found: %d", u"Cannot lock resource", u"String resource not found: %s",
        u"Unable to open string resource: %s", u"Invalid TPString resource"};
    std::vector<std::byte> expected;
    for (const char c : {'S', 'T', 'R', '0'}) {
        expected.push_back(static_cast<std::byte>(c));
    }
    AppendUint32(expected, 5);
    std::uint32_t offset = 8 + 12 * 5;
    for (std::uint32_t id = 1; id <= 5; ++id) {
        const auto length = static_cast<std::uint32_t>(texts[id - 1].size());
        AppendUint32(expected, id);
        AppendUint32(expected, offset);
        AppendUint32(expected, length);
        offset += 2 * length;
    }
    for (const auto& text : texts) {
        AppendUtf16Le(expected, text);
    }
    ASSERT_EQ(expected.size(), 324u);

    const auto embedded = ManagerStringsTable();
    EXPECT_TRUE(std::equal(embedded.begin(), embedded.end(), expected.begin(), expected.end()));
    const auto registered = ProgramModule().Find("ADSRMGR_STRINGS");
    ASSERT_TRUE(registered.has_value());
    EXPECT_EQ(registered->Bytes().data(), embedded.data());
}

TEST(ErrorStringsTable, HoldsTheMessagesAndLabelsTheSystemShows) {
    TAdStringResource strings(nullptr, "ZURI_ERROR_STRINGS_ENGLISH");
    EXPECT_EQ(strings.GetString(2007), "ie_NOpen - device not open");
    EXPECT_EQ(strings.GetString(0), "OK");
    EXPECT_EQ(strings.GetString(162), "General failure");
    EXPECT_EQ(strings.GetString(1001), "Bad handle passed to com function");
    EXPECT_EQ(strings.GetString(3002), "Function not supported by driver");
    EXPECT_EQ(strings.GetString(5001), "No more trigger slots");
    EXPECT_EQ(strings.GetString(6009), "Block sequence error in Xmodem");
    EXPECT_EQ(strings.GetString(7012), "iPrepareIniDatabase not called");
    EXPECT_EQ(strings.GetString(15020), "User");
    EXPECT_EQ(strings.GetString(15119), "Method");
    EXPECT_EQ(strings.GetString(15501), "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(strings.GetString(15502), "--------  --------  ------------  --------  ---------");
    // Trailing spaces are part of the bit names.
    EXPECT_EQ(strings.GetString(15601), "DCTS ");
    EXPECT_EQ(strings.GetString(15607), "RI ");
}

TEST(ErrorStringsTable, TellsEmptyEntriesFromMissingOnes) {
    TAdStringResource strings(nullptr, "ZURI_ERROR_STRINGS_ENGLISH");
    EXPECT_EQ(strings.GetString(7), "");
    EXPECT_EQ(strings.GetString(4600), "");
    strings.SetRaiseIfMissing(true);
    EXPECT_EQ(strings.GetString(4600), ""); // present, length 0
    EXPECT_EQ(strings.GetString(4660), "");
    EXPECT_EQ(MessageOf([&] { strings.GetString(7); }), "String not found: 7");
    // Ids compare as signed numbers: -5 is not 5, nor a huge unsigned id.
    EXPECT_EQ(MessageOf([&] { strings.GetString(-5); }), "String not found: -5");
}

TEST(ErrorStringsTable, SizeAndCount) {
    const auto table = ErrorStringsTable();
    ASSERT_GE(table.size(), 8u);
    const auto count =
        std::to_integer<std::uint32_t>(table[4]) | std::to_integer<std::uint32_t>(table[5]) << 8;
    EXPECT_EQ(count, 129u);
    EXPECT_EQ(table.size(), 6164u);
}

TEST(StringResource, BinarySearchFindsEveryIdAndNoNeighbourAtEverySize) {
    for (int size = 0; size <= 33; ++size) {
        std::vector<strtable::StringEntry> entries;
        // Ids spaced by 3 around zero, so that each id has absent neighbours on both sides.
        for (int i = 0; i < size; ++i) {
            const std::int32_t id = 3 * (i - size / 2);
            entries.push_back({id, u"#" + std::u16string(static_cast<std::size_t>(i % 4), u'x')});
        }
        OpenedTable opened(strtable::BuildStringTable(entries));
        const auto& reader = *opened.reader;
        for (int i = 0; i < size; ++i) {
            const std::int32_t id = entries[static_cast<std::size_t>(i)].id;
            SCOPED_TRACE("size " + std::to_string(size) + ", id " + std::to_string(id));
            EXPECT_EQ(reader.GetString(id),
                      "#" + std::string(static_cast<std::size_t>(i % 4), 'x'));
            EXPECT_EQ(reader.GetString(id - 1), "");
            EXPECT_EQ(reader.GetString(id + 1), "");
        }
        EXPECT_EQ(reader.GetString(INT32_MIN), "");
        EXPECT_EQ(reader.GetString(INT32_MAX), "");
    }
}

TEST(StringResource, FindsTheExtremeIds) {
    OpenedTable opened(TableOf({{INT32_MIN, u"least"}, {-1, u"minus one"}, {INT32_MAX, u"most"}}));
    EXPECT_EQ(opened.reader->GetString(INT32_MIN), "least");
    EXPECT_EQ(opened.reader->GetString(-1), "minus one");
    EXPECT_EQ(opened.reader->GetString(INT32_MAX), "most");
    EXPECT_EQ(opened.reader->GetString(0), "");
}

TEST(StringResource, ConvertsUtf16ToUtf8) {
    if (!apd::testing::NarrowTextIsUtf8()) {
        GTEST_SKIP() << "narrow text is in the ANSI code page here";
    }
    OpenedTable opened(TableOf({
        {1, u"\u0412\u043E\u0440\u0441\u0438\u043B\u0430\u043D \u2116"}, // Ворсилан №
        {2, u"\U0001F9EA"},                                              // a surrogate pair
        {3, std::u16string{u'a', char16_t{0xD800}, u'b'}},               // lone high
        {4, std::u16string{char16_t{0xDC00}, u'c'}},                     // lone low
        {5, std::u16string{char16_t{0xDBFF}, char16_t{0xD800}}},         // two highs
        {6, std::u16string{u'e', char16_t{0xD83E}}},                     // high at the end
    }));
    const auto& reader = *opened.reader;
    EXPECT_EQ(reader.GetString(1),
              "\xD0\x92\xD0\xBE\xD1\x80\xD1\x81\xD0\xB8\xD0\xBB\xD0\xB0\xD0\xBD"
              " \xE2\x84\x96");
    EXPECT_EQ(reader.GetString(2), "\xF0\x9F\xA7\xAA");
    EXPECT_EQ(reader.GetString(3), "a\xEF\xBF\xBD"
                                   "b");
    EXPECT_EQ(reader.GetString(4), "\xEF\xBF\xBD"
                                   "c");
    EXPECT_EQ(reader.GetString(5), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(reader.GetString(6), "e\xEF\xBF\xBD");
}

TEST(StringResource, SearchesTheInstanceModuleBeforeTheProgram) {
    TResourceModule instance;
    instance.Add("ZURI_ERROR_STRINGS_ENGLISH", TableOf({{2007, u"Schnittstelle nicht offen"}}));
    TAdStringResource translated(&instance, "ZURI_ERROR_STRINGS_ENGLISH");
    EXPECT_EQ(translated.GetString(2007), "Schnittstelle nicht offen");

    // A name the instance lacks comes from the program's own module.
    TAdStringResource fallback(&instance, "ADSRMGR_STRINGS");
    EXPECT_EQ(fallback.GetString(2), "Cannot lock resource");
}

TEST(StringResource, ReportsANameNoModuleHolds) {
    TResourceModule instance;
    EXPECT_EQ(MessageOf([&] { TAdStringResource r(&instance, "NO_SUCH_TABLE"); }),
              "String resource not found: NO_SUCH_TABLE");
    EXPECT_EQ(MessageOf([] { TAdStringResource r(nullptr, "NO_SUCH_TABLE"); }),
              "String resource not found: NO_SUCH_TABLE");
}

TEST(StringResource, ProgramModuleTakesAndGivesBackTestTables) {
    ASSERT_TRUE(ProgramModule().Add("TEST_PROGRAM_TABLE", TableOf({{1, u"one"}})));
    TAdStringResource reader(nullptr, "TEST_PROGRAM_TABLE");
    EXPECT_TRUE(ProgramModule().Remove("TEST_PROGRAM_TABLE"));
    // An open reader keeps its table after the module let go of it.
    EXPECT_EQ(reader.GetString(1), "one");
    EXPECT_EQ(MessageOf([] { TAdStringResource r(nullptr, "TEST_PROGRAM_TABLE"); }),
              "String resource not found: TEST_PROGRAM_TABLE");
    // The embedded tables stay put.
    EXPECT_FALSE(ProgramModule().Add("ADSRMGR_STRINGS", TableOf({})));
    EXPECT_FALSE(ProgramModule().Remove("ZURI_ERROR_STRINGS_ENGLISH"));
    EXPECT_EQ(ManagerStrings().GetString(5), "Invalid TPString resource");
}

TEST(StringResource, AClosedReaderCannotLock) {
    TAdStringResource closed;
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_EQ(MessageOf([&] { closed.GetString(1); }), "Cannot lock resource");

    TAdStringResource reader(nullptr, "ADSRMGR_STRINGS");
    reader.CloseResource();
    EXPECT_EQ(MessageOf([&] { reader.GetString(1); }), "Cannot lock resource");
    reader.OpenResource("ADSRMGR_STRINGS");
    EXPECT_EQ(reader.GetString(1), "String not found: %d");
}

TEST(StringResource, AFailedReopenLeavesTheReaderClosed) {
    TAdStringResource reader(nullptr, "ADSRMGR_STRINGS");
    EXPECT_THROW(reader.OpenResource("NO_SUCH_TABLE"), ETpsStringResourceError);
    EXPECT_FALSE(reader.IsOpen());
}

TEST(StringResource, ConcurrentLookupsAgree) {
    const TAdStringResource& strings = ManagerStrings();
    std::promise<void> go;
    const std::shared_future<void> started = go.get_future().share();
    std::vector<std::future<int>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [&strings, started] {
            started.wait();
            int wrong = 0;
            for (int i = 0; i < 2000; ++i) {
                wrong += strings.GetString(1 + i % 5).empty() ? 1 : 0;
                wrong += strings.GetString(6 + i % 5).empty() ? 0 : 1;
            }
            return wrong;
        }));
    }
    go.set_value();
    for (auto& worker : workers) {
        ASSERT_EQ(worker.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(worker.get(), 0);
    }
}

} // namespace
} // namespace apd
