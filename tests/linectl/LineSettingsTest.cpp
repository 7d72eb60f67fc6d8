#include "comm/dispatch/LineArithmetic.h"
#include "tests/linectl/LineControlFixture.h"

namespace apd::testing {
namespace {

using LineSettings = LineControlTest;
using OutputLines = LineControlTest;

TEST_F(LineSettings, NothingToChangeReturnsAtOnceWithoutWaitingOrApplying) {
    ASSERT_EQ(Send("pending"), ecOK); // output that never drains: a wait would last 10 s
    const LineState before = dispatcher.DeviceLine();
    const int applies = dispatcher.SetStateCount();
    const int statusReads = dispatcher.StatusReadCount();

    EXPECT_EQ(dispatcher.SetLineSettings({}), ecOK);
    EXPECT_EQ(dispatcher.SetLineSettings({115200, ParityNone, 8, 1}), ecOK);
    EXPECT_EQ(dispatcher.SetLineSettings({115200, ParityNone, 8, 0}), ecOK) << "0 stop bits is 1";

    EXPECT_EQ(dispatcher.SetStateCount(), applies);
    EXPECT_EQ(dispatcher.StatusReadCount(), statusReads) << "the output count was never polled";
    EXPECT_EQ(dispatcher.DeviceLine(), before);
}

TEST_F(LineSettings, AChangeWaitsForPendingOutputAndKeepsWhatIsNotAsked) {
    ASSERT_EQ(Send("abc"), ecOK);
    dispatcher.DrainOnStatusRead(1); // the output side sends a byte per poll
    ASSERT_EQ(dispatcher.SetLineSettings({.Baud = 9600}), ecOK);
    EXPECT_EQ(dispatcher.PendingAtLastSetState(), 0u) << "applied only once the output drained";

    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.BaudRate, 9600u);
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, ParityNone);
    EXPECT_EQ(line.StopBits, StopBitsOne);
    EXPECT_EQ(dispatcher.AppliedBaudValue(), 9600);

    ASSERT_EQ(dispatcher.SetLineSettings({.Parity = ParitySpace, .DataBits = 7, .StopBits = 9}),
              ecOK);
    const LineState framed = dispatcher.DeviceLine();
    EXPECT_EQ(framed.BaudRate, 9600u);
    EXPECT_EQ(framed.Parity, ParitySpace);
    EXPECT_EQ(framed.ByteSize, 7);
    EXPECT_EQ(framed.StopBits, StopBitsTwo);
}

TEST_F(LineSettings, FiveDataBitsApplyOneAndAHalfAndReadBackAsTwo) {
    ASSERT_EQ(dispatcher.SetLineSettings({.DataBits = 5, .StopBits = 2}), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().StopBits, StopBitsOneAndHalf);

    std::uint32_t baud = 0;
    std::uint16_t parity = 99;
    std::uint8_t dataBits = 0;
    std::uint8_t stopBits = 0;
    dispatcher.GetLineSettings(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, 115200u);
    EXPECT_EQ(parity, ParityNone);
    EXPECT_EQ(dataBits, 5);
    EXPECT_EQ(stopBits, 2);

    ASSERT_EQ(dispatcher.SetLineSettings({.DataBits = 8, .StopBits = 1}), ecOK);
    dispatcher.GetLineSettings(baud, parity, dataBits, stopBits);
    EXPECT_EQ(stopBits, 1);
}

TEST_F(LineSettings, ALegacyBaudCodeOnTheDeviceReadsBackAsItsRate) {
    ASSERT_EQ(dispatcher.SetLineSettings({.Baud = 0xFF16}), ecOK);
    std::uint32_t baud = 0;
    std::uint16_t parity = 0;
    std::uint8_t dataBits = 0;
    std::uint8_t stopBits = 0;
    dispatcher.GetLineSettings(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, 9600u);
}

TEST_F(LineSettings, ARejectedLineIsReportedAndItsBaudCountsAsApplied) {
    const LineState before = dispatcher.DeviceLine();
    dispatcher.RefuseSetState(-22);
    EXPECT_EQ(dispatcher.SetLineSettings({.Baud = 57600}), -22);
    EXPECT_EQ(dispatcher.DeviceLine(), before);
    EXPECT_EQ(dispatcher.AppliedBaudValue(), 57600);
}

TEST_F(LineSettings, AChangeAfterARejectedZeroBaudDoesNotDivideByIt) {
    // A record with baud 0 that the device refuses leaves 0 as the applied baud; the next
    // change must still drain and apply rather than divide by it.
    dispatcher.RefuseSetState(-22);
    LineState zero = dispatcher.DeviceLine();
    zero.BaudRate = 0;
    EXPECT_EQ(dispatcher.ApplyLineState(zero), -22);
    ASSERT_EQ(dispatcher.AppliedBaudValue(), 0);

    dispatcher.RefuseSetState(0);
    ASSERT_EQ(Send("x"), ecOK);
    dispatcher.DrainOnStatusRead(1);
    EXPECT_EQ(dispatcher.SetLineSettings({.Baud = 19200}), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().BaudRate, 19200u);
}

TEST_F(LineSettings, ApplyingSetsTheLineModesFromTheRequestedLevelsAndSetsTheLevels) {
    ASSERT_EQ(dispatcher.SetDTR(false), 0);
    ForgetEscapes();
    ASSERT_EQ(dispatcher.SetLineSettings({.Baud = 38400}), ecOK);
    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.fDtrControl, DtrControlDisable);
    EXPECT_EQ(line.fRtsControl, RtsControlEnable);
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeClearDtr, EscapeSetRts}));

    // In RS-485 mode RTS belongs to the transmit control: applying leaves its level alone.
    dispatcher.SetRS485(true, 0x3F8);
    ForgetEscapes();
    ASSERT_EQ(dispatcher.SetLineSettings({.Baud = 9600}), ecOK);
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeClearDtr}));
}

TEST_F(OutputLines, LevelsAreSetThroughTheLineFunctions) {
    ForgetEscapes();
    EXPECT_EQ(dispatcher.SetDTR(false), 0);
    EXPECT_EQ(dispatcher.SetDTR(true), 0);
    EXPECT_EQ(dispatcher.SetRTS(false), 0);
    EXPECT_EQ(dispatcher.SetRTS(true), 0);
    EXPECT_EQ(NewEscapes(),
              (std::vector<int>{EscapeClearDtr, EscapeSetDtr, EscapeClearRts, EscapeSetRts}));
}

TEST_F(OutputLines, ARefusedChangeIsABadArgumentAndTheRequestIsKept) {
    dispatcher.RefuseEscape(true);
    EXPECT_EQ(dispatcher.SetDTR(false), ecBadArgument);
    EXPECT_EQ(dispatcher.SetRTS(false), ecBadArgument);
    EXPECT_FALSE(dispatcher.DtrLevel());
    EXPECT_FALSE(dispatcher.RtsLevel());
    // The kept request is what the next apply asks for.
    dispatcher.RefuseEscape(false);
    ASSERT_EQ(dispatcher.SetLineSettings({.Baud = 9600}), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().fDtrControl, DtrControlDisable);
    EXPECT_EQ(dispatcher.DeviceLine().fRtsControl, RtsControlDisable);
}

TEST(OutputLinesAtOpen, LinesUnderFlowControlAreNotSetByHand) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDevicePort("memory", {115200, ParityNone, 8, 1}, 4096, 4096,
                                        OpenDtrFlowControl | OpenRtsFlowControl),
              ecOK);
    const std::size_t escapes = dispatcher.Escapes().size();
    EXPECT_EQ(dispatcher.SetDTR(true), 1);
    EXPECT_EQ(dispatcher.SetRTS(false), 1);
    EXPECT_EQ(dispatcher.Escapes().size(), escapes) << "the lines were not touched";
    EXPECT_FALSE(dispatcher.DtrLevel()) << "nor the requested levels changed";
}

} // namespace
} // namespace apd::testing
