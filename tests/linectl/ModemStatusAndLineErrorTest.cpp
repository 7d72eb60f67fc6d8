#include "tests/linectl/LineControlFixture.h"

namespace apd::testing {
namespace {

constexpr std::uint32_t Cts = 0x10;
constexpr std::uint32_t Dsr = 0x20;
constexpr std::uint32_t Ri = 0x40;
constexpr std::uint32_t Dcd = 0x80;

using ModemStatus = LineControlTest;
using LineErrors = LineControlTest;

TEST(ModemStatusAtOpen, TheShadowStartsWithTheLinesAndNoChangeBits) {
    TMemoryDispatcher dispatcher;
    dispatcher.SetModemLines(Cts | Dcd | 0x0F); // change bits from the device are not kept
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    EXPECT_EQ(dispatcher.ModemShadow(), Cts | Dcd);
}

TEST_F(ModemStatus, EachLineChangeSetsItsChangeBitUntilMaskedAway) {
    dispatcher.SetModemLines(Cts);
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ModemShadow(), Cts | 0x01);

    // Changes accumulate over refreshes; a line that changes back keeps its change bit.
    dispatcher.SetModemLines(Dsr | Dcd);
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ModemShadow(), Dsr | Dcd | 0x01 | 0x02 | 0x08);
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ModemShadow(), Dsr | Dcd | 0x01 | 0x02 | 0x08) << "no change, no bit";

    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), Dsr | Dcd | 0x0B);
    EXPECT_EQ(dispatcher.ModemShadow(), Dsr | Dcd);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), Dsr | Dcd);
}

TEST_F(ModemStatus, AMaskKeepsOnlyItsBitsAfterTheRead) {
    dispatcher.SetModemLines(Cts);
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ReadModemStatus(0xFF), Cts | 0x01);
    EXPECT_EQ(dispatcher.ModemShadow(), Cts | 0x01) << "mask 0xFF keeps the change bits";
    EXPECT_EQ(dispatcher.ReadModemStatus(0x0F), Cts | 0x01);
    EXPECT_EQ(dispatcher.ModemShadow(), 0x01u);
    // The next read takes the line states from the device again.
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), Cts | 0x01);
}

TEST_F(ModemStatus, ARingIsReportedOnceWhetherSeenAsAnEventOrAsALineChange) {
    dispatcher.RingEventSeen = true;
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), 0x04);
    EXPECT_FALSE(dispatcher.RingEventSeen);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), 0x00);

    dispatcher.SetModemLines(Ri);
    dispatcher.RefreshModemStatus();
    EXPECT_EQ(dispatcher.ModemShadow(), Ri | 0x04);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), Ri | 0x04);
    EXPECT_EQ(dispatcher.ReadModemStatus(0xF0), Ri);
}

TEST_F(LineErrors, TheFirstErrorInOrderIsReportedAndAllFourAreCleared) {
    dispatcher.SetLineErrors(LineErrorOverrun | LineErrorParity);
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.GetLineError(), 2);
    EXPECT_EQ(dispatcher.GetLineError(), 0);

    const std::pair<std::uint32_t, std::int32_t> codes[] = {
        {LineErrorRxOver, 1}, {LineErrorOverrun, 2}, {LineErrorParity, 3},
        {LineErrorFrame, 4},  {LineErrorBreak, 9},
    };
    for (const auto& [bit, code] : codes) {
        dispatcher.SetLineErrors(bit);
        dispatcher.RefreshLineStatus();
        EXPECT_EQ(dispatcher.GetLineError(), code) << bit;
        dispatcher.CheckLineBreak();
    }

    dispatcher.SetLineErrors(0x1F);
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.GetLineError(), 1);
    EXPECT_EQ(dispatcher.LineErrorFlags, LineErrorBreak);
}

TEST_F(LineErrors, ErrorsAccumulateOverStatusReadsUntilAskedFor) {
    dispatcher.SetLineErrors(LineErrorFrame);
    dispatcher.RefreshLineStatus();
    dispatcher.SetLineErrors(LineErrorParity | 0x100); // bits beyond the five are dropped
    dispatcher.RefreshLineStatus();
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.LineErrorFlags, LineErrorFrame | LineErrorParity);
    EXPECT_EQ(dispatcher.GetLineError(), 3);
    EXPECT_EQ(dispatcher.LineErrorFlags, 0u);
}

TEST_F(LineErrors, ABreakStaysUntilCheckLineBreakTakesIt) {
    dispatcher.SetLineErrors(LineErrorBreak);
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.GetLineError(), 9);
    EXPECT_EQ(dispatcher.GetLineError(), 9);
    EXPECT_TRUE(dispatcher.CheckLineBreak());
    EXPECT_FALSE(dispatcher.CheckLineBreak());
    EXPECT_EQ(dispatcher.GetLineError(), 0);

    // Taking the break leaves the other errors for GetLineError.
    dispatcher.SetLineErrors(LineErrorBreak | LineErrorFrame);
    dispatcher.RefreshLineStatus();
    EXPECT_TRUE(dispatcher.CheckLineBreak());
    EXPECT_EQ(dispatcher.GetLineError(), 4);
}

} // namespace
} // namespace apd::testing
