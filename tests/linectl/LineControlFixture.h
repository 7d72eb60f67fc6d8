#pragma once
// An opened in-memory dispatcher (115200 8N1, DTR and RTS raised, queues of 4096) for the
// line control tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/memory_device/MemoryDispatcher.h"

namespace apd::testing {

class LineControlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dispatcher.OpenDefault(), ecOK); }

    // The escape functions the dispatcher asked for from now on.
    void ForgetEscapes() { escapesSeen_ = dispatcher.Escapes().size(); }
    std::vector<int> NewEscapes() {
        const std::vector<int> all = dispatcher.Escapes();
        return {all.begin() + static_cast<std::ptrdiff_t>(escapesSeen_), all.end()};
    }

    ErrorCode Send(const std::string& bytes) {
        return dispatcher.PutBlock(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   static_cast<std::uint32_t>(bytes.size()));
    }

    TMemoryDispatcher dispatcher;

private:
    std::size_t escapesSeen_ = 0;
};

} // namespace apd::testing
