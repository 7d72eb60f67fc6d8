#include "comm/dispatch/FlowOptions.h"
#include "tests/linectl/LineControlFixture.h"

namespace apd::testing {
namespace {

using HardwareFlow = LineControlTest;
using SoftwareFlow = LineControlTest;
using RS485 = LineControlTest;

struct FlowReport {
    std::uint32_t hw = 0;
    std::uint32_t sw = 0;
    std::uint8_t xon = 0;
    std::uint8_t xoff = 0;
};

FlowReport Report(TMemoryDispatcher& dispatcher) {
    FlowReport r;
    EXPECT_EQ(dispatcher.GetFlowOptions(r.hw, r.sw, r.xon, r.xoff), ecOK);
    return r;
}

TEST_F(HardwareFlow, ThresholdsOutsideTheInputSizeAreRefusedWithoutTouchingTheDevice) {
    const int applies = dispatcher.SetStateCount();
    EXPECT_EQ(dispatcher.SetHWFlowControl(4097, 10, HwFlowRequireCts), ecBadArgument);
    EXPECT_EQ(dispatcher.SetHWFlowControl(100, 101, HwFlowRequireCts), ecBadArgument);
    EXPECT_EQ(dispatcher.SetSWFlowControl(4097, 10, SwFlowBoth), ecBadArgument);
    EXPECT_EQ(dispatcher.SetSWFlowControl(100, 101, SwFlowBoth), ecBadArgument);
    EXPECT_EQ(dispatcher.SetStateCount(), applies);

    EXPECT_EQ(dispatcher.SetHWFlowControl(100, 100, HwFlowRequireCts), ecOK);
    EXPECT_EQ(dispatcher.SetHWFlowControl(4096, 0, HwFlowRequireCts), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().XoffLim, 0);
    EXPECT_EQ(dispatcher.SetSWFlowControl(4096, 4096, SwFlowBoth), ecOK);
}

TEST_F(HardwareFlow, OptionsSetTheLineModesThresholdsAndWhoOwnsDtrAndRts) {
    ASSERT_EQ(dispatcher.SetHWFlowControl(
                  3686, 409, HwFlowUseDtr | HwFlowUseRts | HwFlowRequireDsr | HwFlowRequireCts),
              ecOK);
    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.fDtrControl, DtrControlHandshake);
    EXPECT_EQ(line.fRtsControl, RtsControlHandshake);
    EXPECT_TRUE(line.fOutxDsrFlow);
    EXPECT_TRUE(line.fOutxCtsFlow);
    EXPECT_EQ(line.XoffLim, 4096 - 3686);
    EXPECT_EQ(line.XonLim, 409);
    EXPECT_TRUE(dispatcher.DtrUnderFlow());
    EXPECT_TRUE(dispatcher.RtsUnderFlow());
    EXPECT_EQ(Report(dispatcher).hw, 15u);

    ForgetEscapes();
    EXPECT_EQ(dispatcher.SetDTR(false), 1);
    EXPECT_EQ(dispatcher.SetRTS(false), 1);
    EXPECT_TRUE(NewEscapes().empty());
    EXPECT_TRUE(dispatcher.DtrLevel()) << "the request is not taken while flow control drives";
}

TEST_F(HardwareFlow, NoOptionsSwitchItOffAndRestoreTheRequestedLevels) {
    ASSERT_EQ(dispatcher.SetRTS(false), 0);
    ASSERT_EQ(
        dispatcher.SetHWFlowControl(3686, 409, HwFlowUseDtr | HwFlowUseRts | HwFlowRequireCts),
        ecOK);
    ForgetEscapes();
    ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, 0), ecOK);
    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.fDtrControl, DtrControlEnable);
    EXPECT_EQ(line.fRtsControl, RtsControlDisable);
    EXPECT_FALSE(line.fOutxCtsFlow);
    EXPECT_FALSE(line.fOutxDsrFlow);
    EXPECT_FALSE(dispatcher.DtrUnderFlow());
    EXPECT_FALSE(dispatcher.RtsUnderFlow());
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeSetDtr, EscapeClearRts}));
    EXPECT_EQ(Report(dispatcher).hw, 0u);
}

TEST(HardwareFlowThresholds, AnInputLargerThanSixteenBitsHoldsTheLargestThreshold) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDevicePort("memory", {115200, ParityNone, 8, 1}, 200000, 4096,
                                        OpenRaiseDtr | OpenRaiseRts),
              ecOK);
    ASSERT_EQ(dispatcher.SetHWFlowControl(180000, 70000, HwFlowRequireCts), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().XoffLim, 20000) << "200000 - 180000 fits";
    EXPECT_EQ(dispatcher.DeviceLine().XonLim, 65535) << "70000 does not fit: held, not wrapped";
    ASSERT_EQ(dispatcher.SetSWFlowControl(10000, 100, SwFlowReceive), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().XoffLim, 65535);
    EXPECT_EQ(dispatcher.DeviceLine().XonLim, 100);
}

TEST_F(SoftwareFlow, DirectionsAddUpAndOnlyClearSwitchesThemOff) {
    ASSERT_EQ(dispatcher.SetSWFlowControl(3072, 1024, SwFlowBoth), ecOK);
    ASSERT_EQ(dispatcher.SetSWFlowControl(3072, 1024, SwFlowReceive), ecOK);
    LineState line = dispatcher.DeviceLine();
    EXPECT_TRUE(line.fOutX) << "the transmit direction stays on";
    EXPECT_TRUE(line.fInX);
    EXPECT_EQ(line.XoffLim, 1024);
    EXPECT_EQ(line.XonLim, 1024);
    EXPECT_EQ(Report(dispatcher).sw, SwFlowBoth);

    ASSERT_EQ(dispatcher.ClearSWFlowControl(), ecOK);
    line = dispatcher.DeviceLine();
    EXPECT_FALSE(line.fOutX);
    EXPECT_FALSE(line.fInX);
    EXPECT_EQ(Report(dispatcher).sw, 0u);

    ASSERT_EQ(dispatcher.SetSWFlowControl(3072, 1024, SwFlowTransmit), ecOK);
    line = dispatcher.DeviceLine();
    EXPECT_TRUE(line.fOutX);
    EXPECT_FALSE(line.fInX);
    EXPECT_EQ(line.XoffLim, 1024) << "the transmit direction leaves the thresholds alone";
}

TEST_F(SoftwareFlow, EnablingResetsTheCharactersWhichSetFlowCharsThenChanges) {
    ASSERT_EQ(dispatcher.SetFlowChars('Q', 'S'), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().XonChar, 'Q');
    EXPECT_EQ(dispatcher.DeviceLine().XoffChar, 'S');

    ASSERT_EQ(dispatcher.SetSWFlowControl(3072, 1024, SwFlowTransmit), ecOK);
    FlowReport r = Report(dispatcher);
    EXPECT_EQ(r.xon, DefaultXonChar);
    EXPECT_EQ(r.xoff, DefaultXoffChar);

    ASSERT_EQ(dispatcher.SetFlowChars(0x01, 0x02), ecOK);
    r = Report(dispatcher);
    EXPECT_EQ(r.xon, 0x01);
    EXPECT_EQ(r.xoff, 0x02);
    EXPECT_EQ(r.sw, SwFlowTransmit);
}

TEST_F(SoftwareFlow, ARefusingDriverIsReported) {
    dispatcher.RefuseSetState(-22);
    EXPECT_EQ(dispatcher.SetSWFlowControl(3072, 1024, SwFlowBoth), -22);
    EXPECT_EQ(dispatcher.ClearSWFlowControl(), -22);
    EXPECT_EQ(dispatcher.SetFlowChars(1, 2), -22);
    EXPECT_EQ(dispatcher.SetHWFlowControl(3686, 409, HwFlowRequireCts), -22);
    EXPECT_FALSE(dispatcher.DeviceLine().fOutX);
}

TEST_F(RS485, WhereTheDriverTogglesRtsHardwareFlowPutsRtsInToggleMode) {
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    ASSERT_EQ(dispatcher.SetRTS(false), 0);
    ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, 0), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().fRtsControl, RtsControlToggle);
    EXPECT_TRUE(dispatcher.RtsUnderFlow());
    EXPECT_EQ(dispatcher.SetRTS(true), 1);
    EXPECT_EQ(Report(dispatcher).hw, HwFlowUseRts) << "toggle reads as RTS flow control";

    // Whatever hwfUseRTS says.
    ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, HwFlowUseRts), ecOK);
    EXPECT_EQ(dispatcher.DeviceLine().fRtsControl, RtsControlToggle);

    // The driver drives RTS: no base address is needed, and a write raises nothing.
    EXPECT_EQ(dispatcher.UartBase(), 0);
    ForgetEscapes();
    EXPECT_EQ(Send("frame"), ecOK);
    EXPECT_TRUE(NewEscapes().empty());
}

TEST_F(RS485, SwitchingItOffReturnsRtsFromToggleToItsRequestedLevel) {
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, HwFlowRequireDsr), ecOK);
    ASSERT_EQ(dispatcher.DeviceLine().fRtsControl, RtsControlToggle);

    ForgetEscapes();
    ASSERT_EQ(dispatcher.SetRS485Mode(false), ecOK);
    const LineState line = dispatcher.DeviceLine();
    EXPECT_EQ(line.fRtsControl, RtsControlEnable) << "RTS was requested raised";
    EXPECT_TRUE(line.fOutxDsrFlow) << "the rest of the flow control stays";
    EXPECT_FALSE(dispatcher.RtsUnderFlow());
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeSetDtr, EscapeSetRts}));
    EXPECT_EQ(dispatcher.SetRTS(false), 0);

    // Off again with RTS not in toggle mode: nothing is applied.
    const int applies = dispatcher.SetStateCount();
    ASSERT_EQ(dispatcher.SetRS485Mode(false), ecOK);
    EXPECT_EQ(dispatcher.SetStateCount(), applies);
}

TEST_F(RS485, TheOutputThreadRunsAStepAboveTheOthersWhileItIsOn) {
    dispatcher.SetPriorityBoostValue(2);
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    ASSERT_EQ(dispatcher.SetRS485Mode(false), ecOK);
    EXPECT_EQ(dispatcher.OutputPriorities(), (std::vector<int>{6, 5}));
}

TEST_F(RS485, WhereTheDriverDoesNotToggleRtsTheBaseAddressIsAskedFor) {
    dispatcher.SetDriverTogglesRts(false);
    dispatcher.SetBaseAddressAnswer(0x3F8);
    ForgetEscapes();
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeGetBaseAddress}));
    EXPECT_EQ(dispatcher.UartBase(), 0x3F8);

    // Hardware flow control leaves RTS to the transmit path, which raises it per write.
    ASSERT_EQ(dispatcher.SetHWFlowControl(3686, 409, 0), ecOK);
    EXPECT_NE(dispatcher.DeviceLine().fRtsControl, RtsControlToggle);
    ForgetEscapes();
    EXPECT_EQ(Send("frame"), ecOK);
    EXPECT_EQ(NewEscapes(), (std::vector<int>{EscapeSetRts}));
}

TEST_F(RS485, ADriverWithoutABaseAddressLeavesItUnsetAndWritesAreRefused) {
    dispatcher.SetDriverTogglesRts(false);
    dispatcher.SetBaseAddressAnswer(-1);
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    EXPECT_EQ(dispatcher.UartBase(), 0);
    EXPECT_EQ(Send("frame"), ecBaseAddressNotSet);
    EXPECT_TRUE(dispatcher.Written().empty());
}

TEST_F(RS485, ARefusedToggleModeIsReported) {
    ASSERT_EQ(dispatcher.SetRS485Mode(true), ecOK);
    dispatcher.RefuseSetState(ecNotSupported);
    EXPECT_EQ(dispatcher.SetHWFlowControl(3686, 409, 0), ecNotSupported);
}

} // namespace
} // namespace apd::testing
