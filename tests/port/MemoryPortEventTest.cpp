// Notifications becoming events on the in-memory device, which delivers them on the test's
// own thread: the order of the events, reads inside a handler, status kinds, the exception
// guard, messages for no dispatcher, the notification mode, and a close from a handler.

#include <gtest/gtest.h>

#include "comm/dispatch/NotificationMessages.h"
#include "comm/errors/ExceptionClasses.h"
#include "tests/port/MemoryPortFixture.h"

namespace apd::testing {
namespace {

struct Call {
    std::string event;
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    std::uint16_t c = 0;
    friend bool operator==(const Call&, const Call&) = default;
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
    return out << call.event << "(" << call.a << "," << call.b << "," << call.c << ")";
}

class Events : public MemoryPort {
protected:
    void RecordOnTrigger() {
        port->SetOnTrigger([this](TApdCustomComPort&, std::uint16_t msg, std::uint16_t handle,
                                  std::uint16_t data) {
            calls.push_back({"OnTrigger", msg, handle, data});
        });
    }
    std::vector<Call> calls;
};

TEST_F(Events, ADataTriggerCallsOnTriggerAndThenOnTriggerData) {
    port->SetOnTriggerData([this](TApdCustomComPort& cp, std::uint16_t handle) {
        EXPECT_EQ(&cp, port.get());
        calls.push_back({"OnTriggerData", handle});
    });
    port->SetTriggerLength(0);
    const std::uint16_t header = port->AddDataTrigger("\xAA\x55", false);
    Receive("\x01\xAA\x55");
    EXPECT_EQ(calls, (std::vector<Call>{{"OnTriggerData", header}}));

    calls.clear();
    RecordOnTrigger();
    Receive("\xAA\x55");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].event, "OnTrigger");
    EXPECT_EQ(calls[0].a, MsgTriggerData);
    EXPECT_EQ(calls[0].b, header);
    EXPECT_EQ(calls[1], (Call{"OnTriggerData", header}));
}

TEST_F(Events, AnAvailNotificationPassesTheCountAsHandleAndData) {
    RecordOnTrigger();
    port->SetOnTriggerAvail([this](TApdCustomComPort& cp, std::uint16_t count) {
        calls.push_back({"OnTriggerAvail", count});
        for (int i = 0; i < count; ++i) {
            cp.GetChar();
        }
    });
    port->SetOpen(true);
    Receive("abc");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (Call{"OnTrigger", MsgTriggerAvail, 3, 3}));
    EXPECT_EQ(calls[1], (Call{"OnTriggerAvail", 3}));
}

TEST_F(Events, AHandlerReadsAheadAndReadingPastTheEndIsReportedWithoutStoppingLaterOnes) {
    std::vector<std::string> reads;
    port->SetTriggerLength(0);
    port->SetOnTriggerData([&reads](TApdCustomComPort& cp, std::uint16_t) {
        std::string read;
        read.push_back(static_cast<char>(cp.GetChar()));
        read.push_back(static_cast<char>(cp.GetChar()));
        reads.push_back(read);
        cp.GetChar(); // nothing more: EBufferIsEmpty
    });
    port->AddDataTrigger("\xAA\x55", false);
    Receive("\xAA\x55");
    Receive("\xAA\x55");
    EXPECT_EQ(reads, (std::vector<std::string>{"\xAA\x55", "\xAA\x55"}));
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"Buffer is empty", "Buffer is empty"}));
    EXPECT_EQ(port->InBuffUsed(), 0); // the bytes read in the handlers were consumed
}

TEST_F(Events, ALineErrorAsksForTheBreakFirst) {
    port->SetOnTriggerStatus([this](TApdCustomComPort&, std::uint16_t handle) {
        calls.push_back({"Status", handle});
    });
    port->SetOnTriggerLineError([this](TApdCustomComPort&, std::uint16_t error, bool lineBreak) {
        calls.push_back({"LineError", error, static_cast<std::uint16_t>(lineBreak)});
    });
    port->SetOnTriggerOutSent([this](TApdCustomComPort&) { calls.push_back({"OutSent"}); });
    port->SetOpen(true);
    device->SetLineErrors(LineErrorBreak | LineErrorFrame);
    device->RefreshLineStatus();

    const auto lParam =
        static_cast<platform::LParam>(NotificationLParam(device->DispatcherHandle, 0));
    platform::SendWindowMessage(port->NotificationWindow(), MsgTriggerStatus,
                                16 + StatusKindLineError, lParam);
    platform::SendWindowMessage(port->NotificationWindow(), MsgTriggerStatus,
                                24 + StatusKindOutSent, lParam);
    EXPECT_EQ(calls, (std::vector<Call>{
                         {"Status", 18}, {"LineError", 4, 1}, {"Status", 29}, {"OutSent"}}));
}

TEST_F(Events, MessagesNamingNoDispatcherAreIgnored) {
    RecordOnTrigger();
    port->SetOpen(true);
    const auto window = port->NotificationWindow();
    EXPECT_EQ(platform::SendWindowMessage(window, MsgTriggerData, 8, NotificationLParam(4000, 0)),
              0);
    // Messages the window does not handle go to the default procedure.
    EXPECT_EQ(platform::SendWindowMessage(window, MsgPortOpen, 0,
                                          NotificationLParam(device->DispatcherHandle, 0)),
              0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Events, ClearingTheLastTriggerEventStopsTheWindowNotifications) {
    port->SetOpen(true);
    EXPECT_FALSE(device->PortHandlerActiveFlag());
    port->SetOnTriggerData([](TApdCustomComPort&, std::uint16_t) {});
    port->SetOnTriggerOutSent([](TApdCustomComPort&) {});
    EXPECT_TRUE(device->PortHandlerActiveFlag());
    port->SetOnTriggerData({});
    EXPECT_TRUE(device->PortHandlerActiveFlag());
    port->SetOnTriggerOutSent({});
    EXPECT_FALSE(device->PortHandlerActiveFlag());
    EXPECT_FALSE(device->NotifyNeededFlag());
    port->SetOnWaitChar([](TApdCustomComPort&, std::uint8_t) {}); // not a trigger event
    EXPECT_FALSE(device->PortHandlerActiveFlag());
}

TEST_F(Events, EventsAssignedWhileClosedTakeEffectAtTheOpen) {
    port->SetOnTriggerTimer([](TApdCustomComPort&, std::uint16_t) {});
    port->SetOpen(true);
    EXPECT_TRUE(device->PortHandlerActiveFlag());
}

// Closing from a handler is deferred until the dispatcher's threads have ended. Here no
// thread runs: the test ends the dispatcher's work itself, as its dispatch thread would.
class ClosingInAHandler : public Events {
protected:
    void SetUp() override {
        RecordOnTrigger();
        port->SetTriggerLength(0);
        header = port->AddDataTrigger("\xAA\x55", false);
        ASSERT_EQ(port->PortState(), psOpen);
    }
    // What the ending dispatch thread does, then the thread's messages until the close is
    // complete.
    void EndDispatcherThreads() {
        device->FreePortResources();
        ASSERT_TRUE(PumpUntil([this] { return port->PortState() != psShuttingDown; }));
    }
    std::uint16_t header = 0;
};

TEST_F(ClosingInAHandler, CompletesOnceTheThreadsHaveEndedAndTellsOnTrigger) {
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) { cp.SetOpen(false); });
    Receive("\xAA\x55");
    EXPECT_EQ(port->PortState(), psShuttingDown);
    EXPECT_FALSE(port->Open());
    // Operations while shutting down answer neutrally.
    EXPECT_EQ(port->GetChar(), 0);
    EXPECT_FALSE(port->CharReady());
    EXPECT_EQ(port->AddDataTrigger("x", false), 0);
    const auto window = port->NotificationWindow();
    EXPECT_TRUE(platform::IsWindow(window));

    EndDispatcherThreads();
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_FALSE(platform::IsWindow(window));
    const Call closePending{"OnTrigger", MsgClosePending, 0, 0};
    EXPECT_NE(std::find(calls.begin(), calls.end(), closePending), calls.end());
    EXPECT_EQ(created, 1);
}

TEST_F(ClosingInAHandler, AnOpenWrittenRightAfterReopensOnceTheCloseCompleted) {
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) {
        cp.SetOpen(false);
        cp.SetOpen(true);
    });
    Receive("\xAA\x55");
    EXPECT_EQ(port->PortState(), psShuttingDown);
    EXPECT_TRUE(port->ReopenRequested());
    EndDispatcherThreads();
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_FALSE(port->ReopenRequested());
    EXPECT_EQ(created, 2);
    ASSERT_EQ(device->DataTriggerRecords().size(), 1u);
    EXPECT_EQ(device->DataTriggerRecords()[0].Handle, header);
}

TEST_F(ClosingInAHandler, AReopenThatFailsIsReportedAndNotRequestedAgain) {
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) {
        cp.SetOpen(false);
        cp.SetOpen(true);
    });
    prepare = [](TMemoryDispatcher& d) { d.FailOpen(-1, -ecAlreadyOpen); };
    Receive("\xAA\x55");
    EndDispatcherThreads();
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_FALSE(port->ReopenRequested());
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"ie_Open - device already open"}));
    EXPECT_EQ(created, 2);
}

TEST_F(ClosingInAHandler, ACloseWrittenAfterTheReopenRequestCancelsIt) {
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) {
        cp.SetOpen(false);
        cp.SetOpen(true);
        cp.SetOpen(false);
    });
    Receive("\xAA\x55");
    EXPECT_FALSE(port->ReopenRequested());
    EndDispatcherThreads();
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_EQ(created, 1);
}

TEST_F(ClosingInAHandler, DestroyingThePortMeanwhileCompletesTheClose) {
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) { cp.SetOpen(false); });
    Receive("\xAA\x55");
    ASSERT_EQ(port->PortState(), psShuttingDown);
    const auto window = port->NotificationWindow();
    port.reset();
    EXPECT_FALSE(platform::IsWindow(window));
    // Nothing is left for the gone component.
    EXPECT_FALSE(PumpOneMessage());
}

} // namespace
} // namespace apd::testing
