#pragma once
// A port component on a pseudo-terminal published as COM7, with the serial dispatcher and
// its threads; the test's thread is the thread that opens the port, so events run there
// while the test serves its messages.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comm/port/ComPort.h"
#include "tests/port/MemoryPortFixture.h"
#include "tests/support/pty/PtyPair.h"

namespace apd::testing {

inline const std::string Header("\xAA\x55", 2);

class PtyPort : public ::testing::Test {
protected:
    PtyPort() {
        line.PublishAsCom(7);
        port->SetComNumber(7);
        port->SetBaud(115200);
    }

    apd::test::PtyPair line;
    CapturedApplicationErrors errors;
    std::unique_ptr<TApdComPort> port = std::make_unique<TApdComPort>();
};

} // namespace apd::testing
