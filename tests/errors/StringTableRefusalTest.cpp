// Tables whose header or index do not fit the resource are refused when they are opened,
// so that no lookup can read outside the resource.

#include "comm/errors/StringResource.h"

#include "StringTableBytes.h"
#include "comm/errors/ApdException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace apd {
namespace {

using test::CountAt;
using test::IdAt;
using test::LengthAt;
using test::OffsetAt;
using test::PutUint32At;
using test::TableOf;

// What opening bytes gives: "opened", or the message it was refused with.
std::string OpenOutcome(std::vector<std::byte> bytes) {
    TResourceModule module;
    module.Add("CANDIDATE", std::move(bytes));
    try {
        TAdStringResource reader(&module, "CANDIDATE");
        return "opened";
    } catch (const EAPDException&) {
        return "<an EAPDException>";
    } catch (const ETpsStringResourceError& e) {
        return e.Message();
    }
}

// Three entries; the last text ends exactly at the end of the resource.
std::vector<std::byte> GoodTable() {
    return TableOf({{10, u"ten"}, {20, u""}, {30, u"thirty"}});
}

const std::string refused = "Invalid TPString resource";

TEST(StringTableRefusal, AcceptsAConsistentTable) {
    EXPECT_EQ(OpenOutcome(GoodTable()), "opened");
    EXPECT_EQ(OpenOutcome(TableOf({})), "opened");
}

TEST(StringTableRefusal, RefusesABadMagicInEachByte) {
    for (std::size_t at = 0; at < 4; ++at) {
        auto table = GoodTable();
        table[at] ^= std::byte{0x20}; // "STR0" -> "sTR0", "StR0", ...
        EXPECT_EQ(OpenOutcome(table), refused) << "byte " << at;
    }
}

TEST(StringTableRefusal, RefusesResourcesTooShortForTheHeader) {
    const auto table = GoodTable();
    for (std::size_t size = 0; size < 8; ++size) {
        EXPECT_EQ(OpenOutcome({table.begin(), table.begin() + static_cast<long>(size)}), refused)
            << size << " bytes";
    }
}

TEST(StringTableRefusal, RefusesACountTheIndexCannotHold) {
    auto negative = GoodTable();
    PutUint32At(negative, CountAt, 0xFFFFFFFF);
    EXPECT_EQ(OpenOutcome(negative), refused);

    auto mostNegative = GoodTable();
    PutUint32At(mostNegative, CountAt, 0x80000000);
    EXPECT_EQ(OpenOutcome(mostNegative), refused);

    // One entry more: the extra entry is read from the texts and points nowhere sensible.
    auto oneMore = GoodTable();
    PutUint32At(oneMore, CountAt, 4);
    EXPECT_EQ(OpenOutcome(oneMore), refused);

    // An index that runs past the end of the resource.
    auto pastTheEnd = GoodTable();
    PutUint32At(pastTheEnd, CountAt, 5);
    EXPECT_EQ(OpenOutcome(pastTheEnd), refused);

    auto huge = GoodTable();
    PutUint32At(huge, CountAt, 0x7FFFFFFF);
    EXPECT_EQ(OpenOutcome(huge), refused);

    // Fewer entries than stored is consistent: the rest is just data.
    auto fewer = GoodTable();
    PutUint32At(fewer, CountAt, 2);
    EXPECT_EQ(OpenOutcome(fewer), "opened");
}

TEST(StringTableRefusal, RefusesTextsOutsideTheResource) {
    const auto table = GoodTable();
    const auto size = static_cast<std::uint32_t>(table.size());

    auto offsetPastEnd = table;
    PutUint32At(offsetPastEnd, OffsetAt(0), size + 1);
    EXPECT_EQ(OpenOutcome(offsetPastEnd), refused);

    auto oneUnitTooLong = table;
    PutUint32At(oneUnitTooLong, LengthAt(2), 7); // "thirty" has 6
    EXPECT_EQ(OpenOutcome(oneUnitTooLong), refused);

    // Offset + 2 * Length would wrap around in 32-bit arithmetic.
    auto wrapping = table;
    PutUint32At(wrapping, OffsetAt(1), 0x80000000);
    PutUint32At(wrapping, LengthAt(1), 0x40000000);
    EXPECT_EQ(OpenOutcome(wrapping), refused);

    auto longest = table;
    PutUint32At(longest, LengthAt(0), 0xFFFFFFFF);
    EXPECT_EQ(OpenOutcome(longest), refused);

    // An empty text may sit right at the end.
    auto emptyAtEnd = table;
    PutUint32At(emptyAtEnd, OffsetAt(1), size);
    EXPECT_EQ(OpenOutcome(emptyAtEnd), "opened");
}

TEST(StringTableRefusal, RefusesIdsOutOfOrderOrRepeated) {
    auto unsorted = GoodTable();
    PutUint32At(unsorted, IdAt(1), 5);
    EXPECT_EQ(OpenOutcome(unsorted), refused);

    auto repeated = GoodTable();
    PutUint32At(repeated, IdAt(2), 20);
    EXPECT_EQ(OpenOutcome(repeated), refused);

    // Ids are signed: -1 sorts before 10.
    auto negativeFirst = GoodTable();
    PutUint32At(negativeFirst, IdAt(0), 0xFFFFFFFF);
    EXPECT_EQ(OpenOutcome(negativeFirst), "opened");
}

} // namespace
} // namespace apd
