// Property rules of a port that is closed: defaults, clamping, the flow thresholds, the
// RS-485 side effects, the values a closed port refuses to keep, and opening without a port
// number.

#include <gtest/gtest.h>

#include "comm/errors/ExceptionClasses.h"
#include "comm/port/ComPort.h"
#include "tests/port/MemoryPortFixture.h"

namespace apd::testing {
namespace {

TEST(ClosedPort, StartsWithTheDefaultsOfAStoredFormThatOmitsEveryValue) {
    TApdComPort port;
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.Parity(), pNone);
    EXPECT_EQ(port.DataBits(), 8);
    EXPECT_EQ(port.StopBits(), 1);
    EXPECT_EQ(port.InSize(), 4096);
    EXPECT_EQ(port.OutSize(), 4096);
    EXPECT_TRUE(port.AutoOpen());
    EXPECT_TRUE(port.PromptForPort());
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_EQ(port.HWFlowOptions(), 0);
    EXPECT_EQ(port.SWFlowOptions(), swfNone);
    EXPECT_EQ(port.XOnChar(), 17);
    EXPECT_EQ(port.XOffChar(), 19);
    EXPECT_EQ(port.BufferFull(), 0);
    EXPECT_EQ(port.BufferResume(), 0);
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(port.TraceSize(), 10000u);
    EXPECT_EQ(port.TraceName(), "ZURI.TRC");
    EXPECT_TRUE(port.TraceHex());
    EXPECT_FALSE(port.TraceAllHex());
    EXPECT_EQ(port.Logging(), tlOff);
    EXPECT_EQ(port.LogSize(), 10000u);
    EXPECT_EQ(port.LogName(), "ZURI.LOG");
    EXPECT_TRUE(port.UseMSRShadow());
    EXPECT_TRUE(port.UseEventWord());
    EXPECT_EQ(port.CommNotificationLevel(), 10);
    EXPECT_EQ(port.TapiMode(), tmAuto);
    EXPECT_FALSE(port.RS485Mode());
    EXPECT_EQ(port.TriggerLength(), 1);
    EXPECT_EQ(port.ThreadBoost(), 0);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);
    EXPECT_EQ(port.PortState(), psClosed);
    EXPECT_EQ(port.Tag(), 0);
    EXPECT_EQ(port.NotificationWindow(), 0u);

    port.SetVersion("v9");
    EXPECT_EQ(port.Version(), "v3.02");
}

TEST(ClosedPort, KeepsOnlyOffOrOnForTraceAndLogAndClampsTheirSizes) {
    TApdComPort port;
    port.SetTracing(tlDump);
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetTracing(tlOn);
    EXPECT_EQ(port.Tracing(), tlOn);
    port.SetTracing(tlPause);
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetLogging(tlAppend);
    EXPECT_EQ(port.Logging(), tlOff);
    port.SetLogging(tlOn);
    EXPECT_EQ(port.Logging(), tlOn);

    port.SetTraceSize(4000001);
    EXPECT_EQ(port.TraceSize(), 4000000u);
    port.SetTraceSize(0xFFFFFFFFu);
    EXPECT_EQ(port.TraceSize(), 4000000u);
    port.SetLogSize(16000001);
    EXPECT_EQ(port.LogSize(), 16000000u);
    port.SetLogSize(500);
    EXPECT_EQ(port.LogSize(), 500u);
    EXPECT_EQ(port.PortState(), psClosed); // none of this opened the port
}

TEST(ClosedPort, FlowModesChooseThresholdsFromTheInputSize) {
    TApdComPort port;
    port.SetRS485Mode(true);
    port.SetHWFlowOptions(hwfRequireCTS);
    EXPECT_EQ(port.BufferFull(), 3686);
    EXPECT_EQ(port.BufferResume(), 409);
    EXPECT_FALSE(port.RS485Mode());
    EXPECT_EQ(port.HWFlowOptions(), hwfRequireCTS);

    TApdComPort software;
    software.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(software.BufferFull(), 3072);
    EXPECT_EQ(software.BufferResume(), 1024);

    // Thresholds already in range are kept.
    TApdComPort kept;
    kept.SetBufferFull(2000);
    kept.SetBufferResume(100);
    kept.SetHWFlowOptions(hwfUseDTR);
    EXPECT_EQ(kept.BufferFull(), 2000);
    EXPECT_EQ(kept.BufferResume(), 100);
}

TEST(ClosedPort, ThresholdsOutOfRangeAreLowered) {
    TApdComPort port;
    port.SetBufferFull(5000); // above InSize, no flow control: 90% of the value
    EXPECT_EQ(port.BufferFull(), 4500);
    port.SetBufferResume(4600); // above BufferFull: 10% of BufferFull
    EXPECT_EQ(port.BufferResume(), 450);

    // With hardware flow control on, the re-application brings BufferFull within InSize.
    port.SetHWFlowOptions(hwfUseRTS);
    port.SetBufferFull(6000);
    EXPECT_EQ(port.BufferFull(), 3686);
}

TEST(ClosedPort, Rs485ModeTakesRtsAwayFromFlowControl) {
    TApdComPort port;
    port.SetHWFlowOptions(hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS);
    port.SetRS485Mode(true);
    EXPECT_TRUE(port.RS485Mode());
    EXPECT_EQ(port.HWFlowOptions(), hwfUseDTR | hwfRequireDSR);
    EXPECT_FALSE(port.RTS());
}

TEST(ClosedPort, RefusesUnsupportedDeviceLayersAndKeepsTheModemShadow) {
    TApdComPort port;
    port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);
    port.SetDeviceLayer(dlFossil);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);
    port.SetUseMSRShadow(false);
    EXPECT_TRUE(port.UseMSRShadow());
}

TEST(ClosedPort, WithoutAPortNumberOpeningNeedsAnAnswerFromThePrompt) {
    TApdComPort port;
    int created = 0;
    port.SetDispatcherFactory([&created](TApdCustomComPort& owner) {
        ++created;
        return std::unique_ptr<TApdBaseDispatcher>(std::make_unique<TMemoryDispatcher>(&owner));
    });

    port.SetPromptForPort(false);
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_FALSE(port.Open());

    port.SetPromptForPort(true); // no prompt installed: as a cancelled one
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);

    int asked = 0;
    port.SetPortSelectionPrompt([&asked](TApdCustomComPort&) -> std::optional<int> {
        ++asked;
        return std::nullopt;
    });
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(created, 0);
    EXPECT_EQ(port.PortState(), psClosed);

    port.SetPortSelectionPrompt([](TApdCustomComPort&) -> std::optional<int> { return 3; });
    port.SetOpen(true);
    EXPECT_EQ(port.ComNumber(), 3);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(created, 1);
}

TEST(ClosedPort, QueriesAnswerNeutrallyAndOperationsWithoutAutoOpenRaise) {
    TApdComPort port;
    port.SetComNumber(7);
    port.SetAutoOpen(false);
    EXPECT_EQ(port.InBuffUsed(), 0);
    EXPECT_EQ(port.LineError(), 0);
    EXPECT_FALSE(port.LineBreak());
    port.RemoveAllTriggers();
    EXPECT_EQ(port.TriggerLength(), 1);
    EXPECT_THROW(port.AddDataTrigger("\xAA\x55", false), ECommNotOpen);
    EXPECT_THROW(port.GetChar(), ECommNotOpen);
    EXPECT_THROW(port.PutChar('x'), ECommNotOpen);
    std::uint8_t block[1] = {'x'};
    EXPECT_THROW(port.GetBlock(block), ECommNotOpen);
    EXPECT_THROW(port.PeekBlock(block), ECommNotOpen);
    EXPECT_THROW(port.PutBlock(block), ECommNotOpen);
    EXPECT_THROW(port.InitTracing(10), ECommNotOpen);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    EXPECT_EQ(port.PortState(), psClosed);
}

TEST(ClosedPort, WhileLoadingOpenIsRecordedAndLoadedOpensIt) {
    CapturedApplicationErrors errors;
    TApdComPort port;
    int created = 0;
    port.SetDispatcherFactory([&created](TApdCustomComPort& owner) {
        ++created;
        return std::unique_ptr<TApdBaseDispatcher>(std::make_unique<TMemoryDispatcher>(&owner));
    });
    port.BeginLoading();
    port.SetComNumber(7);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.PortState(), psClosed);
    // No auto-open while loading, and nothing to call through: raised all the same.
    EXPECT_THROW(port.RequireDispatcher(), ECommNotOpen);
    EXPECT_EQ(created, 0);

    port.Loaded();
    EXPECT_EQ(port.PortState(), psOpen);
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(errors.messages.empty());
}

TEST(ClosedPort, AFailedOpenAfterLoadingIsReportedAndLoadingGoesOn) {
    CapturedApplicationErrors errors;
    TApdComPort port;
    port.SetPromptForPort(false); // no port number: the open fails
    port.BeginLoading();
    port.SetOpen(true);
    port.Loaded();
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.PortState(), psClosed);
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0], "The ComNumber property of the TApdComPort has not been set");
}

} // namespace
} // namespace apd::testing

namespace apd::testing {
namespace {

TEST(ClosedPort, TelephonyModeNeedsAHandedOverDevice) {
    TApdComPort port; // no port number: the telephony mode asks for none
    port.SetTapiMode(tmOn);
    EXPECT_THROW(port.SetOpen(true), ENotOpenedByTapi);
    EXPECT_EQ(port.PortState(), psClosed);
    EXPECT_FALSE(port.Open());
}

} // namespace
} // namespace apd::testing
