// A terminal that another party opened, taken over by SerialDevice::Adopt: set up as Open
// sets up what it opens, closed by Close, and left untouched with its owner when it
// cannot be taken.

#include "comm/device/SerialDevice.h"

#include "tests/device/DeviceWaits.h"
#include "tests/support/pty/PtyPair.h"
#include "tests/support/pty/ScopedPortDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <limits>
#include <string>

namespace apd {
namespace {

bool DescriptorClosed(int fd) {
    return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

// The descriptor's blocking mode and close-on-exec flag, which Adopt changes.
struct Flags {
    bool nonBlocking;
    bool closeOnExec;
};

Flags FlagsOf(int fd) {
    return {(::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0, (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0};
}

TEST(SerialDeviceAdopt, TakesAnOpenTerminalWorksAsOpenedAndClosesIt) {
    test::PtyPair pty;
    const int fd = ::open(pty.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    SerialDevice device;
    ASSERT_EQ(device.Adopt(fd), ecOK);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.Path(), pty.DevicePath());
    const Flags flags = FlagsOf(fd);
    EXPECT_TRUE(flags.nonBlocking) << "a read of an empty queue would block";
    EXPECT_TRUE(flags.closeOnExec);
    EXPECT_EQ(device.Adopt(fd), ecAlreadyOpen);
    SerialDevice other;
    EXPECT_EQ(other.Open(pty.DevicePath()), ecAlreadyOpen) << "the exclusive lock is taken";

    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), 0);
    ASSERT_EQ(device.Write("out\0\xFF", 5), 5);
    EXPECT_EQ(pty.ReadFar(5), (std::vector<std::uint8_t>{'o', 'u', 't', 0, 0xFF}))
        << "raw mode passes every byte as it is";
    ASSERT_EQ(pty.WriteFar(std::string("in\r\n", 4)), 4u);
    EXPECT_EQ(test::ReadDevice(device, 4), (std::vector<std::uint8_t>{'i', 'n', '\r', '\n'}));

    EXPECT_EQ(device.Close(), ecOK);
    EXPECT_TRUE(DescriptorClosed(fd));
    EXPECT_EQ(other.Open(pty.DevicePath()), ecOK) << "the lock went with the descriptor";
}

TEST(SerialDeviceAdopt, WhatCannotBeTakenStaysOpenWithItsOwnerAsItWas) {
    SerialDevice device;
    EXPECT_EQ(device.Adopt(-1), ecBadHandle);
    EXPECT_EQ(device.Adopt(NativeDeviceHandle{std::numeric_limits<int>::max()} + 1), ecBadHandle);

    test::PtyPair pty;
    const int readOnly = ::open(pty.DevicePath().c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(readOnly, 0);
    EXPECT_EQ(device.Adopt(readOnly), ecBadHandle);
    EXPECT_FALSE(DescriptorClosed(readOnly));
    ::close(readOnly);

    test::ScopedPortDir dir;
    const std::string file = dir.Path() + "/plain-file";
    std::ofstream(file) << "not a terminal";
    const int plain = ::open(file.c_str(), O_RDWR);
    ASSERT_GE(plain, 0);
    EXPECT_EQ(device.Adopt(plain), ecNotSupported);
    EXPECT_FALSE(DescriptorClosed(plain));
    const Flags plainFlags = FlagsOf(plain);
    EXPECT_FALSE(plainFlags.nonBlocking) << "the descriptor's flags were not put back";
    EXPECT_FALSE(plainFlags.closeOnExec);
    ::close(plain);

    // A terminal another open holds: refused, and the second descriptor is as it was.
    const int second = ::open(pty.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(second, 0);
    SerialDevice holder;
    ASSERT_EQ(holder.Open(pty.DevicePath()), ecOK);
    EXPECT_EQ(device.Adopt(second), ecAlreadyOpen);
    EXPECT_FALSE(DescriptorClosed(second));
    EXPECT_FALSE(FlagsOf(second).nonBlocking);
    EXPECT_FALSE(device.IsOpen());
    ::close(second);
}

} // namespace
} // namespace apd
