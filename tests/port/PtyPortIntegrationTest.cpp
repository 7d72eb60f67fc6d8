// The port component over pseudo-terminals with the serial dispatcher's threads:
// auto-opening, triggers across a reopen, events on the opening thread, reads inside a
// handler, closing and reopening from a handler, messages for no dispatcher, and the
// notification mode.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "comm/device/PortName.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/threads/ThreadedDispatcher.h"
#include "tests/port/PtyPortFixture.h"

namespace apd::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(PtyPort, AddingATriggerOpensThePortUnlessAutoOpenIsOff) {
    port->SetAutoOpen(false);
    EXPECT_THROW(port->AddDataTrigger(Header, false), ECommNotOpen);
    EXPECT_EQ(port->PortState(), psClosed);

    port->SetAutoOpen(true);
    const std::uint16_t handle = port->AddDataTrigger(Header, false);
    EXPECT_NE(handle, 0);
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_NE(dynamic_cast<TApdWin32Dispatcher*>(port->Dispatcher()), nullptr);
    EXPECT_THROW(port->AddDataTrigger(std::string(22, 'x'), false), ETriggerTooLong);
}

TEST_F(PtyPort, AMissingDeviceRaisesBadIdAndLeavesThePortClosed) {
    ASSERT_EQ(PublishPortLink(line.PortDir(), 8, line.PortDir() + "/no-such-tty"), ecOK);
    port->SetComNumber(8);
    EXPECT_THROW(port->SetOpen(true), EBadId);
    EXPECT_EQ(port->PortState(), psClosed);
    EXPECT_EQ(port->NotificationWindow(), 0u);
}

TEST_F(PtyPort, APortInUseRaisesAlreadyOpenAndALostDeviceRaisesDeviceLost) {
    port->SetOpen(true);
    ASSERT_EQ(port->PortState(), psOpen);
    TApdComPort second;
    second.SetComNumber(7);
    EXPECT_THROW(second.SetOpen(true), EAlreadyOpen);
    EXPECT_EQ(second.PortState(), psClosed);

    const auto* serial = dynamic_cast<TApdWin32Dispatcher*>(port->Dispatcher());
    ASSERT_NE(serial, nullptr);
    line.CloseFar();
    ASSERT_TRUE(PumpUntil([&] { return serial->DeviceLost(); })) << "the loss was not seen";
    try {
        port->SetBaud(9600);
        ADD_FAILURE() << "a setting reached a lost device";
    } catch (const EDeviceLost& e) {
        EXPECT_EQ(e.ErrorCode(), ecDeviceLost);
        EXPECT_EQ(e.Message(), "The serial device was disconnected");
    }
    // Emptying the receive buffer is what was asked for, and is done: no error for it.
    EXPECT_NO_THROW(port->FlushInBuffer());
    EXPECT_EQ(port->InBuffUsed(), 0);
    EXPECT_TRUE(serial->DeviceLost()) << "the loss stays recorded";
}

TEST_F(PtyPort, AHandedOverLineKeepsTheSettingsItWasGivenAndThePortReportsThem) {
    // The telephony service opened the line and set it to 9600 baud.
    const int handed = ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(handed, 0);
    termios given{};
    ASSERT_EQ(::tcgetattr(handed, &given), 0);
    ASSERT_EQ(::cfsetspeed(&given, B9600), 0);
    ASSERT_EQ(::tcsetattr(handed, TCSANOW, &given), 0);

    TApdComPort telephony;
    telephony.SetTapiMode(tmOn);
    telephony.SetTapiDeviceId(static_cast<std::uint16_t>(handed));
    ASSERT_EQ(telephony.Baud(), 19200);
    telephony.SetOpen(true);
    ASSERT_EQ(telephony.PortState(), psOpen);
    EXPECT_EQ(telephony.Baud(), 9600);
    EXPECT_EQ(telephony.DataBits(), 8);
    EXPECT_EQ(telephony.StopBits(), 1);
    EXPECT_EQ(telephony.Parity(), pNone);
    termios held{};
    ASSERT_EQ(::tcgetattr(line.FarFd(), &held), 0);
    EXPECT_EQ(::cfgetospeed(&held), speed_t{B9600}) << "the line's settings were overwritten";
    telephony.SetOpen(false);
}

TEST_F(PtyPort, EventsRunOnTheOpeningThreadOnTriggerFirst) {
    std::vector<std::string> order;
    std::thread::id handlerThread;
    port->SetOnTrigger([&](TApdCustomComPort&, std::uint16_t msg, std::uint16_t, std::uint16_t) {
        if (msg == MsgTriggerData) {
            order.push_back("OnTrigger");
        }
    });
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t) {
        handlerThread = std::this_thread::get_id();
        order.push_back("OnTriggerData");
        cp.FlushInBuffer();
    });
    port->SetTriggerLength(0);
    port->AddDataTrigger(Header, false);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return order.size() >= 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"OnTrigger", "OnTriggerData"}));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST_F(PtyPort, ATriggerKeepsItsHandleAcrossACloseAndReopen) {
    std::vector<std::uint16_t> fired;
    port->SetTriggerLength(0);
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t handle) {
        fired.push_back(handle);
        cp.FlushInBuffer();
    });
    const std::uint16_t header = port->AddDataTrigger(Header, false);
    port->SetOpen(false);
    port->SetOpen(true);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return !fired.empty(); }));
    EXPECT_EQ(fired, (std::vector<std::uint16_t>{header}));
}

TEST_F(PtyPort, AHandlerReadsTheMatchAndAnEmptyBufferDoesNotStopLaterNotifications) {
    std::vector<std::string> reads;
    port->SetTriggerLength(0);
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t) {
        std::string read;
        read.push_back(static_cast<char>(cp.GetChar()));
        read.push_back(static_cast<char>(cp.GetChar()));
        reads.push_back(read);
        cp.GetChar(); // past the end: EBufferIsEmpty
    });
    port->AddDataTrigger(Header, false);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return reads.size() == 1; }));
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return reads.size() == 2; }));
    EXPECT_EQ(reads, (std::vector<std::string>{Header, Header}));
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"Buffer is empty", "Buffer is empty"}));
    EXPECT_EQ(port->InBuffUsed(), 0);
}

TEST_F(PtyPort, ACloseFromAHandlerCompletesLaterAndOnTriggerHearsOfIt) {
    std::vector<std::uint16_t> messages;
    port->SetOnTrigger(
        [&](TApdCustomComPort&, std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
            messages.push_back(msg);
            if (msg == MsgClosePending) {
                EXPECT_EQ(handle, 0);
                EXPECT_EQ(data, 0);
            }
        });
    port->SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) { cp.SetOpen(false); });
    port->SetTriggerLength(0);
    port->AddDataTrigger(Header, false);
    const auto window = port->NotificationWindow();
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return port->PortState() == psClosed; }));
    EXPECT_FALSE(platform::IsWindow(window));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], MsgTriggerData);
    EXPECT_EQ(messages[1], MsgClosePending);

    // The device is free again.
    TApdComPort other;
    other.SetComNumber(7);
    EXPECT_NO_THROW(other.SetOpen(true));
}

TEST_F(PtyPort, AReopenWrittenInTheHandlerRunsOnceTheDeferredCloseCompleted) {
    int opens = 0;
    int fired = 0;
    port->SetOnPortOpen([&](TApdCustomComPort&) { ++opens; });
    port->SetTriggerLength(0);
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t) {
        ++fired;
        cp.FlushInBuffer();
        if (fired == 1) {
            cp.SetOpen(false);
            cp.SetOpen(true);
            EXPECT_EQ(cp.PortState(), psShuttingDown);
        }
    });
    const std::uint16_t header = port->AddDataTrigger(Header, false);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return opens == 2; }));
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_FALSE(port->ReopenRequested());

    // The reopened port has the trigger, with its handle, and delivers it.
    std::uint16_t second = 0;
    port->SetOnTriggerData([&](TApdCustomComPort& cp, std::uint16_t handle) {
        second = handle;
        cp.FlushInBuffer();
    });
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return second != 0; }));
    EXPECT_EQ(second, header);
}

TEST_F(PtyPort, AMessageForADispatcherPastTheRegistryIsIgnored) {
    int calls = 0;
    port->SetOnTrigger(
        [&](TApdCustomComPort&, std::uint16_t, std::uint16_t, std::uint16_t) { ++calls; });
    port->SetOpen(true);
    const auto window = port->NotificationWindow();
    std::atomic<bool> answered{false};
    std::thread sender([window, &answered] {
        platform::SendWindowMessageTimeout(
            window, MsgTriggerData, 8, static_cast<platform::LParam>(NotificationLParam(30000, 0)),
            platform::SmtoNormal, 5000, nullptr);
        answered = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return answered.load(); }));
    sender.join();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(port->PortState(), psOpen);
}

// A serial dispatcher whose procedure handler raises on a data notification: the exception
// ends the dispatch thread.
class FailingHandlerDispatcher : public TApdWin32Dispatcher {
public:
    explicit FailingHandlerDispatcher(TApdBaseComponent* owner) : TApdWin32Dispatcher(owner) {
        AddProcedureHandler(&Fail);
    }
    ~FailingHandlerDispatcher() override { ShutDownDispatcher(); }

private:
    static void Fail(std::uint32_t msg, platform::WParam, platform::LParam) {
        if (msg == MsgTriggerData) {
            throw std::runtime_error("procedure handler failed");
        }
    }
};

TEST_F(PtyPort, AnErrorThatEndsADispatcherThreadReachesTheApplicationOnceOnTheOpeningThread) {
    std::mutex lock;
    std::vector<std::string> reported;
    std::vector<std::thread::id> threads;
    SetApplicationExceptionHandler([&](std::exception_ptr error) {
        std::lock_guard hold(lock);
        reported.push_back(ExceptionMessage(error));
        threads.push_back(std::this_thread::get_id());
    });
    port->SetDispatcherFactory([](TApdCustomComPort& owner) {
        return std::make_unique<FailingHandlerDispatcher>(&owner);
    });
    port->SetTriggerLength(0);
    port->AddDataTrigger(Header, false);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard hold(lock);
        return !reported.empty();
    })) << "the thread's error never reached the application";
    port->SetOpen(false);
    std::lock_guard hold(lock);
    EXPECT_EQ(reported, (std::vector<std::string>{"procedure handler failed"}));
    EXPECT_EQ(threads, (std::vector<std::thread::id>{std::this_thread::get_id()}));
}

// Counts the data notifications that reach the window, events or not.
class CountingPort : public TApdComPort {
public:
    int dataNotifications = 0;

protected:
    void DoTriggerData(std::uint16_t handle) override {
        ++dataNotifications;
        TApdComPort::DoTriggerData(handle);
    }
};

TEST_F(PtyPort, WithNoTriggerEventLeftTheWindowIsNotNotified) {
    CountingPort counting;
    counting.SetComNumber(7);
    counting.SetTriggerLength(0);
    counting.SetOnTriggerData([](TApdCustomComPort& cp, std::uint16_t) { cp.FlushInBuffer(); });
    counting.AddDataTrigger(Header, false);
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return counting.dataNotifications == 1; }));

    counting.SetOnTriggerData({});
    ASSERT_EQ(line.WriteFar(Header), 2u);
    ASSERT_TRUE(PumpUntil([&] { return counting.InBuffUsed() == 2; }));
    // Closing waits for the dispatch thread's pass, serving any notification it sends.
    counting.SetOpen(false);
    EXPECT_EQ(counting.PortState(), psClosed);
    EXPECT_EQ(counting.dataNotifications, 1);
}

} // namespace
} // namespace apd::testing
