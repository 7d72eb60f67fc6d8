#pragma once
// A port component whose dispatchers are in-memory devices, so that a test scripts the
// device and drives the notifications on its own thread; and the application's exception
// handler captured for the test.

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/platform/Messaging.h"
#include "comm/platform/PumpOneMessage.h"
#include "comm/port/ApplicationExceptions.h"
#include "comm/port/ComPort.h"
#include "tests/support/files/ScratchFolder.h"
#include "tests/support/memory_device/MemoryDispatcher.h"

namespace apd::testing {

// Captures what reaches the application's exception handler while it lives.
class CapturedApplicationErrors {
public:
    CapturedApplicationErrors() {
        SetApplicationExceptionHandler(
            [this](std::exception_ptr error) { messages.push_back(ExceptionMessage(error)); });
    }
    ~CapturedApplicationErrors() { SetApplicationExceptionHandler({}); }
    CapturedApplicationErrors(const CapturedApplicationErrors&) = delete;
    CapturedApplicationErrors& operator=(const CapturedApplicationErrors&) = delete;

    std::vector<std::string> messages;
};

// Serves the thread's messages until done() holds, at most for `within`.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds within = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (!PumpOneMessage()) {
            platform::WaitForQueueActivity(10);
        }
    }
    return true;
}

class MemoryPort : public ::testing::Test {
protected:
    MemoryPort() {
        // A trace or log still on when a test ends is written here at the close.
        port->SetTraceName(files.File("ZURI.TRC"));
        port->SetLogName(files.File("ZURI.LOG"));
        port->SetComNumber(7);
        port->SetDispatcherFactory([this](TApdCustomComPort& owner) {
            auto dispatcher = std::make_unique<TMemoryDispatcher>(&owner);
            device = dispatcher.get();
            ++created;
            if (prepare) {
                prepare(*dispatcher);
            }
            return std::unique_ptr<TApdBaseDispatcher>(std::move(dispatcher));
        });
    }

    // Queues bytes at the device and runs the data checks, as the dispatch thread would.
    void Receive(const std::string& bytes) {
        device->Feed(bytes);
        for (int i = 0; i < 1000 && device->CheckDataTriggers(); ++i) {
        }
    }

    CapturedApplicationErrors errors;
    ScratchFolder files;
    std::unique_ptr<TApdComPort> port = std::make_unique<TApdComPort>();
    TMemoryDispatcher* device = nullptr; // the dispatcher of the current open
    int created = 0;
    std::function<void(TMemoryDispatcher&)> prepare; // runs on each new dispatcher
};

} // namespace apd::testing
