// Matching of one data trigger against a byte stream: overlaps, restarts, case.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/dispatch/DataTriggerMatch.h"

namespace apd {
namespace {

// The 1-based positions in input at which the pattern completes.
std::vector<int> Completions(const std::string& pattern, const std::string& input,
                             bool ignoreCase = false) {
    DataTrigger trigger = MakeDataTrigger(8, reinterpret_cast<const std::uint8_t*>(pattern.data()),
                                          static_cast<std::int32_t>(pattern.size()), ignoreCase);
    std::vector<int> at;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (MatchTriggerByte(trigger, static_cast<std::uint8_t>(input[i]))) {
            at.push_back(static_cast<int>(i) + 1);
        }
    }
    return at;
}

TEST(MatchTriggerByte, RestartsOnARepeatedFirstByte) {
    EXPECT_EQ(Completions("ABC", "AABC"), (std::vector<int>{4}));
    EXPECT_EQ(Completions("ABC", "ABABC"), (std::vector<int>{5}));
    EXPECT_EQ(Completions("\xAA\x55", "\xAA\xAA\x55\x01\xAA\x55"), (std::vector<int>{3, 6}));
}

TEST(MatchTriggerByte, CompletionClearsOverlappingCandidates) {
    // A completed match clears every slot, so a candidate that overlapped it is lost...
    EXPECT_EQ(Completions("ABAB", "ABABAB"), (std::vector<int>{4}));
    // ...while a slot after the completed one may start anew at the same byte.
    EXPECT_EQ(Completions("AA", "AAAA"), (std::vector<int>{2, 3}));
    EXPECT_EQ(Completions("A", "AAA"), (std::vector<int>{1, 2, 3}));
}

TEST(MatchTriggerByte, IgnoreCaseMatchesEitherCaseIncludingCyrillic) {
    EXPECT_EQ(Completions("ok", "oK Ok ok OK", true), (std::vector<int>{2, 5, 8, 11}));
    EXPECT_TRUE(Completions("ok", "oK", false).empty());
    // "да" and "ДА" in Windows-1251.
    EXPECT_EQ(Completions("\xE4\xE0", "\xC4\xC0", true), (std::vector<int>{2}));
    EXPECT_EQ(Completions("\xB8", "\xA8", true), (std::vector<int>{1})); // ё and Ё
}

TEST(MatchTriggerByte, EmptyPatternNeverMatches) {
    EXPECT_TRUE(Completions("", "anything").empty());
}

} // namespace
} // namespace apd
