// Setters on a port open on the in-memory device: what reaches the dispatcher, what is kept
// when the dispatcher refuses, and the trace state machine.

#include <gtest/gtest.h>

#include <filesystem>

#include "comm/errors/ExceptionClasses.h"
#include "tests/port/MemoryPortFixture.h"
#include "tests/support/files/ScratchFolder.h"

namespace apd::testing {
namespace {

class OpenPortSetters : public MemoryPort {
protected:
    void SetUp() override {
        port->SetOpen(true);
        ASSERT_EQ(port->PortState(), psOpen);
    }
};

TEST_F(OpenPortSetters, LineSettingsAndFlowCharactersAreKeptEvenWhenTheDeviceRefuses) {
    port->SetBaud(9600);
    EXPECT_EQ(device->AppliedBaudValue(), 9600);

    // A rate that cannot be one is refused before it is stored, open or closed.
    for (const std::int32_t bad : {0, -1}) {
        EXPECT_THROW(port->SetBaud(bad), EBaudRate) << bad;
        EXPECT_EQ(port->Baud(), 9600) << bad;
        EXPECT_EQ(device->AppliedBaudValue(), 9600) << bad;
    }
    port->SetOpen(false);
    for (const std::int32_t bad : {0, -1}) {
        EXPECT_THROW(port->SetBaud(bad), EBaudRate) << bad;
        EXPECT_EQ(port->Baud(), 9600) << bad;
    }
    port->SetOpen(true);
    ASSERT_EQ(port->PortState(), psOpen);
    EXPECT_EQ(device->AppliedBaudValue(), 9600) << "the reopened line has the stored rate";

    device->RefuseSetState(-22);
    EXPECT_ANY_THROW(port->SetBaud(2400));
    EXPECT_EQ(port->Baud(), 2400);
    EXPECT_ANY_THROW(port->SetParity(pEven));
    EXPECT_EQ(port->Parity(), pEven);
    EXPECT_ANY_THROW(port->SetXOnChar(0x11 + 1));
    EXPECT_EQ(port->XOnChar(), 0x12);
}

TEST_F(OpenPortSetters, ModemLinesAndFlowModesKeepTheirValueWhenTheDeviceRefuses) {
    port->SetDTR(false);
    EXPECT_FALSE(device->DtrLevel());
    EXPECT_FALSE(port->DTR());

    device->RefuseEscape(true);
    EXPECT_THROW(port->SetDTR(true), EAPDException);
    EXPECT_FALSE(port->DTR());
    EXPECT_THROW(port->SetRTS(false), EAPDException);
    EXPECT_TRUE(port->RTS());
    device->RefuseEscape(false);

    device->RefuseSetState(-22);
    EXPECT_ANY_THROW(port->SetHWFlowOptions(hwfRequireCTS));
    EXPECT_EQ(port->HWFlowOptions(), 0);
    EXPECT_ANY_THROW(port->SetSWFlowOptions(swfReceive));
    EXPECT_EQ(port->SWFlowOptions(), swfNone);
    device->RefuseSetState(0);

    port->SetHWFlowOptions(hwfRequireCTS);
    EXPECT_EQ(port->HWFlowOptions(), hwfRequireCTS);
    EXPECT_TRUE(device->DcbRecord().fOutxCtsFlow);
}

TEST_F(OpenPortSetters, Rs485ModeLowersRtsAndEndsRtsFlowControl) {
    // A driver that drives RTS itself is put in its transmit mode at once, as at an open.
    port->SetRS485Mode(true);
    EXPECT_EQ(device->DcbRecord().fRtsControl, RtsControlToggle);
    EXPECT_TRUE(device->RtsUnderFlow());
    port->SetRS485Mode(false);
    EXPECT_NE(device->DcbRecord().fRtsControl, RtsControlToggle);

    // A driver that leaves RTS to the dispatcher, so that the line is the component's.
    port->SetOpen(false);
    prepare = [](TMemoryDispatcher& d) { d.SetDriverTogglesRts(false); };
    port->SetOpen(true);
    port->SetHWFlowOptions(hwfUseRTS | hwfRequireCTS | hwfUseDTR);
    port->SetRS485Mode(true);
    EXPECT_TRUE(port->RS485Mode());
    EXPECT_EQ(port->HWFlowOptions(), hwfUseDTR);
    EXPECT_FALSE(port->RTS());
    EXPECT_FALSE(device->RtsLevel());
    EXPECT_FALSE(device->DcbRecord().fOutxCtsFlow);

    // Flow control that needs RTS ends RS-485 mode again.
    port->SetHWFlowOptions(hwfUseDTR | hwfUseRTS);
    EXPECT_FALSE(port->RS485Mode());
}

TEST_F(OpenPortSetters, TraceStateMachineFollowsTheCurrentState) {
    port->SetTraceName(files.File("t.trc"));

    port->SetTracing(tlDump); // not active: nothing happens
    EXPECT_EQ(port->Tracing(), tlOff);
    EXPECT_FALSE(std::filesystem::exists(files.File("t.trc")));
    port->SetTracing(tlPause); // not on: nothing
    EXPECT_EQ(port->Tracing(), tlOff);

    port->SetTracing(tlOn);
    EXPECT_TRUE(device->TracingOn);
    port->SetTracing(tlPause);
    EXPECT_EQ(port->Tracing(), tlPause);
    EXPECT_FALSE(device->TracingOn);
    port->SetTracing(tlOn); // resumes
    EXPECT_EQ(port->Tracing(), tlOn);
    EXPECT_TRUE(device->TracingOn);
    port->SetTracing(tlClear);
    EXPECT_EQ(port->Tracing(), tlOn);

    port->PutChar('x');
    port->SetTracing(tlDump);
    EXPECT_EQ(port->Tracing(), tlOff);
    EXPECT_FALSE(device->TracingOn);
    EXPECT_TRUE(std::filesystem::exists(files.File("t.trc")));
}

TEST_F(OpenPortSetters, ANewSizeRestartsAnActiveTraceAndEndsAPausedOne) {
    port->SetTracing(tlOn);
    port->SetTraceSize(50);
    EXPECT_EQ(port->TraceSize(), 50u);
    EXPECT_EQ(port->Tracing(), tlOn);
    EXPECT_TRUE(device->TracingOn);

    port->SetTracing(tlPause);
    port->SetTraceSize(60);
    EXPECT_EQ(port->Tracing(), tlOff);

    port->SetLogging(tlOn);
    port->SetLogSize(20000000);
    EXPECT_EQ(port->LogSize(), 16000000u);
    EXPECT_EQ(port->Logging(), tlOn);
    EXPECT_TRUE(device->LoggingOn);
}

TEST_F(OpenPortSetters, TraceOperationsStoreTheirSizeAndState) {
    port->InitTracing(300);
    EXPECT_EQ(port->TraceSize(), 300u);
    EXPECT_EQ(port->Tracing(), tlOn);
    port->StopTracing();
    EXPECT_EQ(port->Tracing(), tlPause);
    port->AbortTracing();
    EXPECT_EQ(port->Tracing(), tlOff);
    EXPECT_THROW(port->InitTracing(4000001), EAPDException); // refused by the dispatcher

    port->InitLogging(0); // keeps LogSize
    EXPECT_EQ(port->LogSize(), 10000u);
    EXPECT_EQ(port->Logging(), tlOn);
    port->StopLogging();
    EXPECT_EQ(port->Logging(), tlPause);
    port->StartLogging();
    EXPECT_EQ(port->Logging(), tlOn);
}

} // namespace
} // namespace apd::testing
