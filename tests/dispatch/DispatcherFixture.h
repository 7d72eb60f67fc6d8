#pragma once
// An opened in-memory dispatcher with one recording method handler.

#include <gtest/gtest.h>

#include <string>

#include "comm/dispatch/NotificationMessages.h"
#include "tests/support/memory_device/MemoryDispatcher.h"
#include "tests/support/memory_device/NotificationRecorder.h"

namespace apd::testing {

inline const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
        dispatcher.AddMethodHandler(recorder.Method(), false);
    }

    std::int32_t AddTrigger(const std::string& pattern, bool ignoreCase = false) {
        return dispatcher.AddDataTrigger(Bytes(pattern), ignoreCase,
                                         static_cast<std::uint32_t>(pattern.size()));
    }

    // Reads up to count bytes the way an application does.
    std::string Read(std::size_t count) { return ReadChars(dispatcher, count); }

    // Runs the data check until it delivers nothing more.
    void CheckAllData() {
        for (int i = 0; i < 10000 && dispatcher.CheckDataTriggers(); ++i) {
        }
    }

    // Notifications of one kind, as (wParam) values.
    std::vector<std::uint32_t> Received(std::uint32_t msg) const {
        std::vector<std::uint32_t> values;
        for (const auto& note : recorder.received) {
            if (note.msg == msg) {
                values.push_back(note.wParam);
            }
        }
        return values;
    }

    TMemoryDispatcher dispatcher;
    NotificationRecorder recorder;
};

} // namespace apd::testing
