#include "tools/simulator/ResultRecord.h"
#include "tests/simulator/LineBytes.h"
#include "tools/simulator/FaultyRecords.h"
#include "tools/simulator/PlausibleResults.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vorsilan::sim {
namespace {

TEST(ResultRecordEncoding, ExampleRecordHasHeaderNumberBcdValueAndKindAtTheirOffsets) {
    const auto record = EncodeResultRecord(12345, 556, SampleKind::Serum);
    ASSERT_TRUE(record);
    EXPECT_EQ((*record)[0], 0xAA);
    EXPECT_EQ((*record)[1], 0x55);
    EXPECT_EQ((*record)[2], 0x39);
    EXPECT_EQ((*record)[3], 0x30);
    EXPECT_EQ((*record)[19], 0x56);
    EXPECT_EQ((*record)[20], 0x05);
    EXPECT_EQ((*record)[21], 0x01);
    const DecodedResult decoded = DecodeResultRecord(*record);
    EXPECT_EQ(decoded.number, 12345);
    EXPECT_EQ(decoded.value, 556u);
    EXPECT_EQ(decoded.kind, 1);
}

TEST(ResultRecordEncoding, EveryFourDigitValueSurvivesTheRoundTrip) {
    for (unsigned value = 0; value <= kLargestValue; ++value) {
        const auto record = EncodeResultRecord(65535, value, SampleKind::Urine);
        ASSERT_TRUE(record);
        ASSERT_EQ(DecodeResultRecord(*record).value, value);
        ASSERT_EQ((*record)[2], 0xFF);
        ASSERT_EQ((*record)[3], 0xFF);
    }
    EXPECT_FALSE(EncodeResultRecord(1, 10000, SampleKind::Serum));
}

TEST(ResultRecordEncoding, RawFieldsCarryNonBcdValuesUnknownKindsAndFiller) {
    const ResultRecord record = EncodeRawResultRecord({7, 0x0F, 0x00, 4, 0xEE});
    EXPECT_EQ(DecodeResultRecord(record).value, 15u); // 10 x 0 + 15, as the PC sums it
    EXPECT_EQ(record[21], 4);
    EXPECT_EQ(record[4], 0xEE);
    EXPECT_EQ(record[18], 0xEE);
    EXPECT_EQ(record[22], 0xEE);
    EXPECT_EQ(record[25], 0xEE);
    EXPECT_EQ(DecodeResultRecord(EncodeRawResultRecord({0, 0xFF, 0xFF, 1, 0})).value, 16665u);
}

TEST(ResultRecordText, ValuesAreReadInTheUnitOfTheirKind) {
    EXPECT_EQ(ParseMeasuredValue("5.56", 1), 556u);
    EXPECT_EQ(ParseMeasuredValue("5,56", 2), 556u);
    EXPECT_EQ(ParseMeasuredValue("5.5", 1), 550u);
    EXPECT_EQ(ParseMeasuredValue("5", 1), 500u);
    EXPECT_EQ(ParseMeasuredValue("55.6", 3), 556u);
    EXPECT_EQ(ParseMeasuredValue("0.1", 3), 1u);
    EXPECT_EQ(ParseMeasuredValue("99.99", 1), 9999u);
    EXPECT_EQ(ParseMeasuredValue("999.9", 3), 9999u);
    EXPECT_EQ(ParseMeasuredValue("1.25", 9), 125u); // unknown kinds count in hundredths
    for (const char* bad : {"", ".5", "5.", "5.555", "-1", "1e3", "100", "abc", "5..5", "5.5x"}) {
        EXPECT_FALSE(ParseMeasuredValue(bad, 1)) << bad;
    }
    EXPECT_FALSE(ParseMeasuredValue("5.56", 3));
    EXPECT_FALSE(ParseMeasuredValue("1000", 3));
    EXPECT_EQ(FormatMeasuredValue(556, 1), "5.56");
    EXPECT_EQ(FormatMeasuredValue(5, 1), "0.05");
    EXPECT_EQ(FormatMeasuredValue(556, 3), "55.6");
}

TEST(ResultRecordText, KindsByNameOrCode) {
    EXPECT_EQ(ParseSampleKind("serum"), 1);
    EXPECT_EQ(ParseSampleKind("Blood"), 2);
    EXPECT_EQ(ParseSampleKind("whole-blood"), 2);
    EXPECT_EQ(ParseSampleKind("URINE"), 3);
    EXPECT_EQ(ParseSampleKind("0"), 0);
    EXPECT_EQ(ParseSampleKind("255"), 255);
    EXPECT_FALSE(ParseSampleKind("256"));
    EXPECT_FALSE(ParseSampleKind("plasma"));
    EXPECT_FALSE(ParseSampleKind(""));
}

TEST(FaultyRecords, NoiseNeverHoldsAHeaderByteAndAnInnerHeaderKeepsTheFields) {
    std::mt19937 random(3);
    const auto noise = NoiseBytes(5000, random);
    ASSERT_EQ(noise.size(), 5000u);
    EXPECT_EQ(std::count(noise.begin(), noise.end(), 0xAA), 0);
    EXPECT_GT(std::count(noise.begin(), noise.end(), 0xFF), 0);

    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    const ResultRecord inner = WithHeaderInside(record);
    EXPECT_EQ(inner[10], 0xAA);
    EXPECT_EQ(inner[11], 0x55);
    const DecodedResult decoded = DecodeResultRecord(inner);
    EXPECT_EQ(decoded.number, 12345);
    EXPECT_EQ(decoded.value, 556u);
    // Clamped into the filler, never over the value bytes.
    const ResultRecord late = WithHeaderInside(record, 30);
    EXPECT_EQ(late[17], 0xAA);
    EXPECT_EQ(late[18], 0x55);
    EXPECT_EQ(late[19], 0x56);
}

bool IsPackedBcd(std::uint8_t byte) {
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

TEST(FaultyRecords, EveryNoiseClassLaysOutItsBurstAsNamed) {
    enum class False { None, Impossible, Possible, Behind };
    struct Layout {
        NoiseClass noise;
        const char* name;
        bool recordFirst;
        std::size_t leastNoise, mostNoise;
        False falseHeader;
    };
    const Layout layouts[] = {
        {NoiseClass::None, "none", true, 0, 0, False::None},
        {NoiseClass::Leading, "leading", false, 1, 40, False::None},
        {NoiseClass::Trailing, "trailing", true, 1, 40, False::None},
        {NoiseClass::FalseHeader, "false-header", false, 22, 40, False::Impossible},
        {NoiseClass::FalseHeaderPossible, "false-header-possible", false, 22, 40, False::Possible},
        {NoiseClass::TrailingFalseHeader, "trailing-false-header", true, 22, 40, False::Behind},
        {NoiseClass::Flood, "flood", false, 8192, 8192, False::None},
    };
    ASSERT_EQ(std::size(layouts), kNoiseClasses.size());
    // No 0xAA in the record but its header, so that every other one is the noise's.
    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        EXPECT_EQ(NoiseClassName(layout.noise), layout.name);
        EXPECT_EQ(ParseNoiseClass(layout.name), layout.noise);
        for (std::uint32_t seed = 1; seed <= 300; ++seed) {
            std::mt19937 random(seed);
            const auto burst = NoisyBurst(record, layout.noise, random);
            ASSERT_GE(burst.size(), kResultRecordSize + layout.leastNoise) << seed;
            ASSERT_LE(burst.size(), kResultRecordSize + layout.mostNoise) << seed;
            const std::size_t at = layout.recordFirst ? 0 : burst.size() - kResultRecordSize;
            ASSERT_TRUE(std::equal(record.begin(), record.end(), burst.begin() + at)) << seed;

            std::vector<std::size_t> headers = test::HeaderPositions(burst);
            std::erase(headers, at);
            if (layout.falseHeader == False::None) {
                EXPECT_TRUE(headers.empty()) << seed;
                continue;
            }
            ASSERT_EQ(headers.size(), 1u) << seed;
            const std::size_t false0 = headers.front();
            EXPECT_EQ(burst[false0 + 1], kHeaderSecond) << seed;
            if (layout.falseHeader == False::Behind) {
                // Never a whole record, but its value and kind bytes are there.
                EXPECT_GE(false0, kResultRecordSize) << seed;
                EXPECT_LT(burst.size() - false0 - 2, 24u) << seed;
                EXPECT_GT(burst.size(), false0 + kKindOffset) << seed;
            } else {
                // The 26 bytes from the false header hold the real header whole, and their
                // value and kind bytes lie ahead of it.
                ASSERT_LE(at + 2, false0 + kResultRecordSize) << seed;
                ASSERT_GT(at, false0 + kKindOffset) << seed;
            }
            const std::uint8_t low = burst[false0 + kValueLowOffset];
            const std::uint8_t high = burst[false0 + kValueHighOffset];
            const std::uint8_t kind = burst[false0 + kKindOffset];
            const bool possible = IsPackedBcd(low) && IsPackedBcd(high) && kind >= 1 && kind <= 3;
            EXPECT_EQ(possible, layout.falseHeader == False::Possible)
                << seed << ": " << int(low) << " " << int(high) << " " << int(kind);
        }
    }
    EXPECT_FALSE(ParseNoiseClass("Leading"));
    EXPECT_FALSE(ParseNoiseClass("false_header"));

    // The noise is the seed's: the same seed, the same burst.
    std::mt19937 first(9);
    std::mt19937 second(9);
    EXPECT_EQ(NoisyBurst(record, NoiseClass::FalseHeader, first),
              NoisyBurst(record, NoiseClass::FalseHeader, second));
}

TEST(PlausibleResults, NumbersCountUpAndValuesStayInTheirKindsRange) {
    PlausibleResults results(42, 65534);
    unsigned expectedNumber = 65534;
    for (int i = 0; i < 300; ++i) {
        const auto r = results.Next();
        EXPECT_EQ(r.number, static_cast<std::uint16_t>(expectedNumber++));
        switch (r.kind) {
        case SampleKind::Serum:
            EXPECT_TRUE(r.value >= 330 && r.value <= 610) << r.value;
            break;
        case SampleKind::WholeBlood:
            EXPECT_TRUE(r.value >= 330 && r.value <= 550) << r.value;
            break;
        case SampleKind::Urine:
            EXPECT_TRUE(r.value >= 1 && r.value <= 28) << r.value;
            break;
        }
    }
    PlausibleResults urineOnly(1, 1, {SampleKind::Urine});
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(DecodeResultRecord(urineOnly.NextRecord()).kind, 3);
    }
}

} // namespace
} // namespace vorsilan::sim
