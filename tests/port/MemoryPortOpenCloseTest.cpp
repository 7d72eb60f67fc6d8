// Opening and closing a port on the in-memory device: failures, the re-application of the
// settings, triggers kept across a close, port users, trace and log files at the close,
// copying a port and destroying one.

#include <gtest/gtest.h>

#include <filesystem>

#include "comm/dispatch/NotificationMessages.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/errors/RuntimeErrors.h"
#include "tests/port/MemoryPortFixture.h"
#include "tests/support/files/ScratchFolder.h"

namespace apd::testing {
namespace {

using OpenClose = MemoryPort;

TEST_F(OpenClose, DeviceFailuresBecomeThePortErrorsAndLeaveNothingBehind) {
    struct Case {
        std::int32_t systemError;
        ErrorCode expected;
    };
    // The device layer reports a port in use as ecAlreadyOpen and a missing one as a file
    // or path not found.
    for (const Case c : {Case{-ecAlreadyOpen, ecAlreadyOpen}, Case{2, ecBadId}, Case{3, ecBadId}}) {
        prepare = [c](TMemoryDispatcher& d) { d.FailOpen(-1, c.systemError); };
        try {
            port->SetOpen(true);
            ADD_FAILURE() << "no exception for system error " << c.systemError;
        } catch (const EAPDException& e) {
            EXPECT_EQ(e.ErrorCode(), c.expected);
        }
        EXPECT_FALSE(port->Open());
        EXPECT_EQ(port->PortState(), psClosed);
        EXPECT_EQ(port->NotificationWindow(), 0u);
    }
    EXPECT_EQ(created, 3);
    // Threads that cannot start fail the open as well.
    prepare = [](TMemoryDispatcher& d) { d.FailStart(ecNoHandles); };
    EXPECT_THROW(port->SetOpen(true), ENoHandles);
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_EQ(port->NotificationWindow(), 0u);
    EXPECT_EQ(created, 4);

    // Permission denied is not a port in use: it says that access was denied.
    prepare = [](TMemoryDispatcher& d) { d.FailOpen(-1, -ecAccessDenied); };
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception for a denied open";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), -ecAccessDenied);
        EXPECT_EQ(e.Message(), "File access denied");
    }
    EXPECT_EQ(port->PortState(), psClosed);
}

TEST_F(OpenClose, OpeningAppliesTheStoredSettingsAndHooksTheWindow) {
    port->SetTracing(tlOn);
    port->SetLogging(tlOn);
    port->SetTriggerLength(5);
    port->SetDTR(false);
    port->SetBaud(115200);
    port->SetOpen(true);

    ASSERT_EQ(port->PortState(), psOpen);
    EXPECT_TRUE(port->Open());
    EXPECT_FALSE(port->ForceApply());
    EXPECT_TRUE(device->TracingOn);
    EXPECT_TRUE(device->LoggingOn);
    EXPECT_EQ(port->Tracing(), tlOn);
    EXPECT_EQ(device->AvailTriggerLengthValue(), 5);
    EXPECT_FALSE(device->DtrLevel());
    EXPECT_TRUE(device->RtsLevel());
    EXPECT_EQ(device->AppliedBaudValue(), 115200);
    EXPECT_TRUE(platform::IsWindow(port->NotificationWindow()));
    EXPECT_EQ(device->WindowHandlerCount(), 1u);
    EXPECT_EQ(device->Owner, port.get());
}

TEST_F(OpenClose, ClosingRemovesTheWindowAndReleasesTheDispatcher) {
    port->SetOpen(true);
    const auto window = port->NotificationWindow();
    port->SetOpen(false);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_EQ(port->NotificationWindow(), 0u);
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
}

TEST_F(OpenClose, TriggersAndTheirHandlesSurviveACloseAndAReopen) {
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false); // auto-opens
    ASSERT_EQ(port->PortState(), psOpen);
    ASSERT_NE(header, 0);
    port->SetOpen(false);
    EXPECT_TRUE(port->TriggersSaved());
    port->SetOpen(true);
    EXPECT_FALSE(port->TriggersSaved());
    ASSERT_EQ(device->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(device->DataTriggerRecords()[0].Handle, header);

    const std::uint16_t second = port->AddDataTrigger("\x0D", false);
    EXPECT_NE(second, header);
    EXPECT_EQ(device->DataTriggerRecords().size(), 2u);
    EXPECT_EQ(created, 2);
}

TEST_F(OpenClose, DiscardedTriggersAreNotRestoredAndTheAvailThresholdStays) {
    port->AddDataTrigger("\xAA", false);
    port->AddDataTrigger("\x0D", false);
    port->SetOpen(false);
    port->DiscardSavedTriggers();
    EXPECT_FALSE(port->TriggersSaved());
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false); // reopens
    ASSERT_EQ(port->PortState(), psOpen);
    ASSERT_EQ(device->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(device->DataTriggerRecords()[0].Handle, header);
    EXPECT_EQ(device->AvailTriggerLengthValue(), port->TriggerLength());
    EXPECT_EQ(port->TriggerLength(), 1);

    // A close after that keeps the one trigger again.
    port->SetOpen(false);
    port->SetOpen(true);
    EXPECT_EQ(device->DataTriggerRecords().size(), 1u);
}

TEST_F(OpenClose, ANewPortNumberReopensWithTheTriggersAndTheTrace) {
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false);
    port->SetTracing(tlOn);
    port->SetTraceName(files.File("moved.trc"));

    port->SetComNumber(3);
    EXPECT_EQ(port->ComNumber(), 3);
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_EQ(created, 2);
    ASSERT_EQ(device->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(device->DataTriggerRecords()[0].Handle, header);
    EXPECT_EQ(port->Tracing(), tlOn);
    EXPECT_TRUE(device->TracingOn);
}

TEST_F(OpenClose, PortUsersAreToldFromTheLastToTheFirstBeforeTheEvent) {
    std::vector<std::string> told;
    port->AddPortUser(TPortUser{0, 0, [&told](TApdCustomComPort&, bool opening) {
                                    told.push_back(opening ? "first open" : "first close");
                                }});
    port->AddPortUser(TPortUser{0, 0, [&told](TApdCustomComPort&, bool opening) {
                                    told.push_back(opening ? "second open" : "second close");
                                }});
    port->SetOnPortOpen([&told](TApdCustomComPort& p) {
        EXPECT_EQ(p.PortState(), psOpen);
        told.push_back("OnPortOpen");
    });
    port->SetOnPortClose([&told](TApdCustomComPort& p) {
        EXPECT_EQ(p.PortState(), psShuttingDown);
        told.push_back("OnPortClose");
    });
    port->SetOpen(true);
    port->SetOpen(false);
    EXPECT_EQ(told, (std::vector<std::string>{"second open", "first open", "OnPortOpen",
                                              "second close", "first close", "OnPortClose"}));
}

TEST_F(OpenClose, AnOpenThatFailsAfterHookingTheWindowRemovesItAndKeepsTheSavedTriggers) {
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false);
    port->SetOpen(false);
    platform::WindowHandle window = 0;
    port->SetOnPortOpen([&window](TApdCustomComPort& p) {
        window = p.NotificationWindow();
        throw EAPDException("refused by the test");
    });
    EXPECT_THROW(port->SetOpen(true), EAPDException);
    EXPECT_NE(window, 0u);
    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_EQ(port->NotificationWindow(), 0u);
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_FALSE(port->Open());
    EXPECT_TRUE(port->TriggersSaved());

    port->SetOnPortOpen({});
    port->SetOpen(true);
    ASSERT_EQ(device->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(device->DataTriggerRecords()[0].Handle, header);
}

TEST_F(OpenClose, ClosingWritesAnActiveTraceAndLogAndLeavesThemOff) {
    port->SetTraceName(files.File("port.trc"));
    port->SetLogName(files.File("port.log"));
    port->SetTracing(tlOn);
    port->SetLogging(tlOn);
    port->SetOpen(true);
    port->PutChar('a'); // recorded in both
    port->SetOpen(false);
    EXPECT_TRUE(std::filesystem::exists(files.File("port.trc")));
    EXPECT_TRUE(std::filesystem::exists(files.File("port.log")));
    EXPECT_EQ(port->Tracing(), tlOff);
    EXPECT_EQ(port->Logging(), tlOff);
    port->SetOpen(true);
    EXPECT_EQ(port->Tracing(), tlOff);
    EXPECT_FALSE(device->TracingOn);
}

TEST_F(OpenClose, ATraceThatCannotBeWrittenStillLetsThePortClose) {
    port->SetTraceName(files.File("missing/dir/port.trc"));
    port->SetLogName(files.File("port.log"));
    port->SetTracing(tlOn);
    port->SetLogging(tlOn);
    port->AddDataTrigger("\xAA\x55", false);
    port->PutChar('a');
    const auto window = port->NotificationWindow();

    EXPECT_THROW(port->SetOpen(false), EInOutError);
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_FALSE(port->Open());
    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_TRUE(port->TriggersSaved());
    EXPECT_EQ(port->Tracing(), tlOff);
    // The log after the failed trace was still written.
    EXPECT_TRUE(std::filesystem::exists(files.File("port.log")));

    // Reopening works, and destroying a port whose trace cannot be written raises nothing.
    port->SetTracing(tlOn);
    port->SetOpen(true);
    port->PutChar('b');
    EXPECT_NO_THROW(port.reset());
}

TEST_F(OpenClose, AssignCopiesTheConfigurationAndTheTriggersOfAnOpenPort) {
    port->SetBaud(115200);
    port->SetHWFlowOptions(hwfUseDTR);
    port->SetTraceName("copy.trc");
    port->SetCommNotificationLevel(3);
    port->SetUseEventWord(false);
    int dataEvents = 0;
    port->SetOnTriggerData([&dataEvents](TApdCustomComPort&, std::uint16_t) { ++dataEvents; });
    port->SetOnTriggerLineError([](TApdCustomComPort&, std::uint16_t, bool) {});
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false);

    TApdComPort copy;
    copy.Assign(*port);
    EXPECT_EQ(copy.ComNumber(), 7);
    EXPECT_EQ(copy.Baud(), 115200);
    EXPECT_EQ(copy.HWFlowOptions(), hwfUseDTR);
    EXPECT_EQ(copy.BufferFull(), port->BufferFull());
    EXPECT_EQ(copy.TraceName(), "copy.trc");
    EXPECT_EQ(copy.CommNotificationLevel(), 10); // not copied
    EXPECT_TRUE(copy.UseEventWord());            // not copied
    EXPECT_FALSE(copy.Open());
    EXPECT_TRUE(copy.TriggersSaved());
    EXPECT_TRUE(static_cast<bool>(copy.OnTriggerData()));
    EXPECT_FALSE(static_cast<bool>(copy.OnTriggerLineError()));

    // The copy opens with the source's triggers.
    TMemoryDispatcher* copied = nullptr;
    copy.SetDispatcherFactory([&copied](TApdCustomComPort& owner) {
        auto d = std::make_unique<TMemoryDispatcher>(&owner);
        copied = d.get();
        return std::unique_ptr<TApdBaseDispatcher>(std::move(d));
    });
    copy.SetOpen(true);
    ASSERT_EQ(copied->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(copied->DataTriggerRecords()[0].Handle, header);
}

} // namespace
} // namespace apd::testing

namespace apd::testing {
namespace {

TEST_F(OpenClose, ADeviceThatCannotDriveTheModemLinesStillOpens) {
    prepare = [](TMemoryDispatcher& d) { d.RefuseEscape(true); };
    port->SetOpen(true);
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_TRUE(port->DTR());
    // Outside the open a refused line is raised.
    EXPECT_THROW(port->SetDTR(false), EAPDException);
    EXPECT_TRUE(port->DTR());
}

} // namespace
} // namespace apd::testing
