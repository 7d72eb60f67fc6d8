// The send path: free-space check, exact fill, refused writes, RS-485 without a base
// address.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

class SendPath : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dispatcher.OpenDefault(16), ecOK); }
    TMemoryDispatcher dispatcher;
};

TEST_F(SendPath, EmptyBlockTouchesNothing) {
    dispatcher.SetLineErrors(LineErrorFrame);
    EXPECT_EQ(dispatcher.PutBlock(nullptr, 0), ecOK);
    EXPECT_FALSE(dispatcher.OutputSentFlag);
    EXPECT_TRUE(dispatcher.Written().empty());
    dispatcher.RefreshLineStatus();
    EXPECT_EQ(dispatcher.LineErrorFlags & LineErrorFrame, LineErrorFrame); // still pending
}

TEST_F(SendPath, BlockThatFillsTheFreeSpaceExactlyIsSentAndMarksTheBufferFull) {
    const std::string first(10, 'a');
    ASSERT_EQ(dispatcher.PutBlock(Bytes(first), 10), ecOK);
    EXPECT_EQ(dispatcher.OutBuffUsed(), 10u);
    EXPECT_EQ(dispatcher.OutBuffFree(), 6u);

    const std::string tooBig(7, 'b');
    dispatcher.OutputSentFlag = false;
    EXPECT_EQ(dispatcher.PutBlock(Bytes(tooBig), 7), ecOutputBufferTooSmall);
    EXPECT_EQ(dispatcher.Written().size(), 10u); // nothing of it was sent
    EXPECT_FALSE(dispatcher.OutputSentFlag);

    const std::string exact(6, 'c');
    EXPECT_EQ(dispatcher.PutBlock(Bytes(exact), 6), ecOK);
    EXPECT_TRUE(dispatcher.OutputRing().full);
    EXPECT_EQ(dispatcher.OutBuffUsed(), 16u);
    EXPECT_EQ(dispatcher.OutBuffFree(), 0u);
    EXPECT_EQ(dispatcher.PutChar('d'), ecOutputBufferTooSmall);

    dispatcher.DrainOutput(16);
    EXPECT_EQ(dispatcher.OutBuffFree(), 16u);
    const auto written = dispatcher.Written();
    EXPECT_EQ(std::string(written.begin(), written.end()), first + exact);
}

TEST_F(SendPath, RefusedWriteFailsWithTheDevicesCurrentErrors) {
    dispatcher.RefuseWrites(-5);
    dispatcher.SetLineErrors(LineErrorOverrun);
    dispatcher.LineErrorFlags = LineErrorBreak; // accumulated earlier
    EXPECT_EQ(dispatcher.PutChar('x'), ecPutBlockFail);
    // The device's bits replace the accumulated ones.
    EXPECT_EQ(dispatcher.LineErrorFlags, 0u);
    EXPECT_TRUE(dispatcher.OutputSentFlag);

    dispatcher.RefuseWrites(0);
    dispatcher.SetLineErrors(LineErrorOverrun);
    EXPECT_EQ(dispatcher.PutChar('y'), ecOK);
    EXPECT_EQ(dispatcher.LineErrorFlags, LineErrorOverrun);
}

TEST_F(SendPath, Rs485WithoutDriverToggleNeedsABaseAddressAndRaisesRts) {
    dispatcher.SetDriverTogglesRts(false);
    dispatcher.SetRS485(true, 0);
    EXPECT_EQ(dispatcher.PutChar('x'), ecBaseAddressNotSet);
    EXPECT_TRUE(dispatcher.Written().empty());

    dispatcher.SetRS485(true, 0x3F8);
    const auto escapesBefore = dispatcher.Escapes().size();
    EXPECT_EQ(dispatcher.PutChar('x'), ecOK);
    const auto escapes = dispatcher.Escapes();
    ASSERT_EQ(escapes.size(), escapesBefore + 1);
    EXPECT_EQ(escapes.back(), EscapeSetRts);
}

} // namespace
} // namespace apd::testing
