#pragma once
// A device opened on a fresh pseudo-terminal pair, and work started on other threads that
// can never block a failing test: TearDown closes the device, which ends every wait in
// progress, before the threads are joined.

#include "comm/device/SerialDevice.h"

#include "tests/support/pty/PtyPair.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <utility>
#include <vector>

namespace apd::test {

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.Open(pty.DevicePath()), ecOK); }
    void TearDown() override { device.Close(); }

    template <class Work>
    auto Async(Work work) {
        auto future = std::async(std::launch::async, std::move(work)).share();
        joins_.push_back([future] { future.wait(); });
        return future;
    }

private:
    std::vector<std::function<void()>> joins_; // joined after TearDown, device still alive

protected:
    PtyPair pty;
    SerialDevice device;
};

} // namespace apd::test
