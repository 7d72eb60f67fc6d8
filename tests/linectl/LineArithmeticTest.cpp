#include <optional>

#include "comm/dispatch/LineArithmetic.h"

#include <gtest/gtest.h>

namespace apd {
namespace {

LineState Framing(std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopCode) {
    LineState s;
    s.ByteSize = byteSize;
    s.Parity = parity;
    s.StopBits = stopCode;
    return s;
}

TEST(TranslateBaud, LegacyIndexCodesGiveTheirRatesAndEverythingElseStays) {
    EXPECT_EQ(TranslateBaud(0xFEFF), 115200);
    const std::pair<std::int32_t, std::int32_t> table[] = {
        {0xFF10, 110},   {0xFF11, 300},    {0xFF12, 600},    {0xFF13, 1200},  {0xFF14, 2400},
        {0xFF15, 4800},  {0xFF16, 9600},   {0xFF17, 14400},  {0xFF18, 19200}, {0xFF1B, 38400},
        {0xFF1F, 56000}, {0xFF23, 128000}, {0xFF27, 256000},
    };
    for (const auto& [code, rate] : table) {
        EXPECT_EQ(TranslateBaud(code), rate) << std::hex << code;
    }
    // Codes of the range without a rate, codes just outside it and ordinary rates.
    for (std::int32_t unchanged :
         {0xFF19, 0xFF1A, 0xFF20, 0xFF26, 0xFF0F, 0xFF28, 0xFEFE, 0, -5, 9600, 115200, 250000}) {
        EXPECT_EQ(TranslateBaud(unchanged), unchanged) << std::hex << unchanged;
    }
}

TEST(DrainSleep, EighteenCharactersAtTheAppliedSpeedRoundedUp) {
    const LineState n81 = Framing(8, ParityNone, StopBitsOne);
    EXPECT_EQ(DrainSleepMilliseconds(n81, 115200), 2u);
    EXPECT_EQ(DrainSleepMilliseconds(n81, 9600), 19u);
    EXPECT_EQ(DrainSleepMilliseconds(n81, 0xFF16), 19u) << "a legacy code counts as its rate";
    // Parity and a longer stop setting add a bit each: 7E2 has 11 bits, 1041 * 11 * 18.
    EXPECT_EQ(DrainSleepMilliseconds(Framing(7, ParityEven, StopBitsTwo), 9600), 21u);
    EXPECT_EQ(DrainSleepMilliseconds(Framing(5, ParityNone, StopBitsOneAndHalf), 9600), 15u);
    // Under a millisecond the time is doubled: 43 * 10 * 18 = 7740 ticks become 15480.
    EXPECT_EQ(DrainSleepMilliseconds(n81, 230400), 2u);
    // Faster than one bit per 100 ns: no time at all.
    EXPECT_EQ(DrainSleepMilliseconds(n81, 20'000'000), 0u);
}

TEST(DrainSleep, NoSleepForAnUnusableBaudAndNoneLongerThanTheCap) {
    const LineState n81 = Framing(8, ParityNone, StopBitsOne);
    // After a rejected line state the applied baud may be 0 or negative.
    EXPECT_EQ(DrainSleepMilliseconds(n81, 0), 0u);
    EXPECT_EQ(DrainSleepMilliseconds(n81, -1), 0u);
    EXPECT_EQ(DrainSleepMilliseconds(n81, std::numeric_limits<std::int32_t>::min()), 0u);
    // 110 baud would be 1637 ms; 1 baud with 12-bit characters is beyond 32 bits of ticks.
    EXPECT_EQ(DrainSleepMilliseconds(n81, 110), MaxDrainSleepMs);
    EXPECT_EQ(DrainSleepMilliseconds(Framing(8, ParityOdd, StopBitsTwo), 1), MaxDrainSleepMs);
    EXPECT_EQ(DrainSleepMilliseconds(n81, 1200), 150u) << "below the cap stays exact";
}

TEST(CloseDrain, LineTimeOfThePendingBytesPlusTheMarginAndNeverBeyondTheCap) {
    const LineState n81 = Framing(8, ParityNone, StopBitsOne);
    EXPECT_EQ(CharacterMicroseconds(n81, 115200), 87u); // 10 bits, rounded up
    EXPECT_EQ(CharacterMicroseconds(Framing(7, ParityEven, StopBitsTwo), 9600), 1146u);
    EXPECT_EQ(CharacterMicroseconds(n81, 0), 0u);
    // 4096 bytes at 115200 8N1 take 357 ms.
    EXPECT_EQ(CloseDrainBoundMs(4096, 87), 357u + CloseDrainMarginMs);
    EXPECT_EQ(CloseDrainBoundMs(0, 87), CloseDrainMarginMs);
    // At 110 baud, or at an unknown speed, the close waits the longest time and no more.
    EXPECT_EQ(CloseDrainBoundMs(4096, CharacterMicroseconds(n81, 110)), MaxCloseDrainMs);
    EXPECT_EQ(CloseDrainBoundMs(~std::uint64_t{0}, 1), MaxCloseDrainMs);
    EXPECT_EQ(CloseDrainBoundMs(16, 0), MaxCloseDrainMs);
}

TEST(LineTarget, KeepValuesTakeTheCurrentLine) {
    LineState current = Framing(7, ParityOdd, StopBitsTwo);
    current.BaudRate = 4800;
    EXPECT_EQ(LineTargetFor(current, LineRequest{}), LineOf(current));
    EXPECT_EQ(LineTargetFor(current, LineRequestFromSettings(0, 5, 9, 3)), LineOf(current));
    EXPECT_EQ(LineTargetFor(current, LineRequest{9600, ParityMark, 8, 1}),
              (LineTarget{9600, ParityMark, 8, StopBitsOne}));
}

TEST(LineTarget, StopBitsAreNormalisedAndFiveDataBitsTakeOneAndAHalf) {
    EXPECT_EQ(NormaliseStopBits(0), 1);
    EXPECT_EQ(NormaliseStopBits(1), 1);
    EXPECT_EQ(NormaliseStopBits(2), 2);
    EXPECT_EQ(NormaliseStopBits(3), 3);
    EXPECT_EQ(NormaliseStopBits(4), 2);
    EXPECT_EQ(NormaliseStopBits(7), 2);
    EXPECT_EQ(NormaliseStopBits(255), 2);

    LineState n81 = Framing(8, ParityNone, StopBitsOne);
    n81.BaudRate = 9600;
    auto stopCode = [](const LineState& from, std::optional<std::uint8_t> dataBits,
                       std::optional<std::uint8_t> stopBits) {
        if (stopBits) {
            stopBits = NormaliseStopBits(*stopBits);
        }
        return LineTargetFor(from, LineRequest{.DataBits = dataBits, .StopBits = stopBits})
            .StopBits;
    };
    EXPECT_EQ(stopCode(n81, 5, 2), StopBitsOneAndHalf);
    EXPECT_EQ(stopCode(n81, 5, 1), StopBitsOneAndHalf);
    EXPECT_EQ(stopCode(n81, 5, std::nullopt), StopBitsOneAndHalf);
    EXPECT_EQ(stopCode(n81, 8, 7), StopBitsTwo);
    EXPECT_EQ(stopCode(n81, 8, 0), StopBitsOne);
    EXPECT_EQ(stopCode(n81, std::nullopt, 2), StopBitsTwo);

    // A line already at five data bits: a stop setting gives one and a half, keeping the
    // stop setting keeps whatever code the device has.
    LineState five = Framing(5, ParityNone, StopBitsOne);
    EXPECT_EQ(stopCode(five, std::nullopt, 1), StopBitsOneAndHalf);
    EXPECT_EQ(stopCode(five, std::nullopt, std::nullopt), StopBitsOne);
    EXPECT_EQ(stopCode(five, 6, 2), StopBitsTwo);
}

} // namespace
} // namespace apd
