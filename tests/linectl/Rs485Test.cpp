#include "comm/device/Rs485.h"
#include "comm/device/SerialDevice.h"
#include "tests/support/pty/PtyPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace apd {
namespace {

constexpr std::uint32_t RxDuringTx = 0x10;
constexpr std::uint32_t TerminateBus = 0x20;

TEST(Rs485Flags, ToggleRaisesRtsOnlyWhileSendingAndKeepsTheOtherFlags) {
    EXPECT_EQ(Rs485FlagsFor(0, true), Rs485Enabled | Rs485RtsOnSend);
    EXPECT_EQ(Rs485FlagsFor(Rs485RtsAfterSend, true), Rs485Enabled | Rs485RtsOnSend);
    EXPECT_EQ(Rs485FlagsFor(RxDuringTx | TerminateBus | Rs485RtsAfterSend, true),
              Rs485Enabled | Rs485RtsOnSend | RxDuringTx | TerminateBus);

    EXPECT_EQ(Rs485FlagsFor(Rs485Enabled | Rs485RtsOnSend | TerminateBus, false),
              Rs485RtsOnSend | TerminateBus);
    EXPECT_EQ(Rs485FlagsFor(0, false), 0u);
}

TEST(Rs485Flags, ReadBackMustHoldTheRtsBehaviour) {
    const std::uint32_t wanted = Rs485Enabled | Rs485RtsOnSend;
    EXPECT_TRUE(Rs485FlagsHold(wanted, wanted));
    EXPECT_TRUE(Rs485FlagsHold(wanted, wanted | RxDuringTx)) << "other flags are the driver's";
    EXPECT_FALSE(Rs485FlagsHold(wanted, Rs485RtsOnSend)) << "the driver did not enable it";
    EXPECT_FALSE(Rs485FlagsHold(wanted, Rs485Enabled | Rs485RtsAfterSend));
    EXPECT_TRUE(Rs485FlagsHold(0, RxDuringTx));
}

class FileDescriptor {
public:
    explicit FileDescriptor(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

TEST(Rs485OnAPseudoTerminal, ThereIsNoRs485ModeAndSwitchingItOffIsHarmless) {
    test::PtyPair pty;
    FileDescriptor device(pty.DevicePath());
    ASSERT_GE(device.Get(), 0);
    EXPECT_EQ(Rs485Available(device.Get()), ecNotSupported);
    EXPECT_EQ(SetRs485Toggle(device.Get(), true), ecNotSupported);
    EXPECT_EQ(SetRs485Toggle(device.Get(), false), ecOK);
}

TEST(Rs485OnAPseudoTerminal, TheToggleModeIsRefusedAndNothingOfTheRequestIsApplied) {
    test::PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.DevicePath()), ecOK);
    LineState before;
    ASSERT_EQ(device.GetState(before), ecOK);

    LineState toggle = before;
    toggle.BaudRate = before.BaudRate == 9600 ? 19200 : 9600;
    toggle.fOutX = true;
    toggle.fRtsControl = RtsControlToggle;
    EXPECT_EQ(device.SetState(toggle), ecNotSupported);
    LineState after;
    ASSERT_EQ(device.GetState(after), ecOK);
    EXPECT_EQ(after, before);

    // The same request without the toggle mode is one the line can hold.
    toggle.fRtsControl = RtsControlEnable;
    EXPECT_EQ(device.SetState(toggle), ecOK);
    ASSERT_EQ(device.GetState(after), ecOK);
    EXPECT_EQ(after.BaudRate, toggle.BaudRate);
    EXPECT_TRUE(after.fOutX);
}

} // namespace
} // namespace apd
