// The modem-line preload on pseudo-terminals: the lines the device side sets, the lines
// the far end's shared record holds, the wait for a transition, and descriptors it must
// leave alone.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <future>

#include "comm/device/SerialDevice.h"
#include "tests/support/pty/PtyPair.h"
#include "tests/support/pty/ScopedPortDir.h"
#include "tests/support/wine/ModemState.h"

namespace apd::test::wine {
namespace {

using namespace std::chrono_literals;

int Lines(int fd) {
    int lines = -1;
    EXPECT_EQ(::ioctl(fd, TIOCMGET, &lines), 0);
    return lines;
}

TEST(ModemPreload, LinesOfThisProcessStartAsAConnectedAnalyserAndFollowTheDeviceSide) {
    ::unsetenv(ModemDirVariable);
    PtyPair line;
    const int fd = ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    // An earlier pair on the same device number may have left DTR and RTS set.
    int none = 0;
    ASSERT_EQ(::ioctl(fd, TIOCMSET, &none), 0);
    EXPECT_EQ(Lines(fd), TIOCM_CTS | TIOCM_DSR | TIOCM_CAR);
    int bits = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS; // input lines are not the device's to set
    ASSERT_EQ(::ioctl(fd, TIOCMBIS, &bits), 0);
    EXPECT_EQ(Lines(fd), TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS);
    bits = TIOCM_RTS | TIOCM_DSR;
    ASSERT_EQ(::ioctl(fd, TIOCMBIC, &bits), 0);
    EXPECT_EQ(Lines(fd), TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR);
    bits = TIOCM_RTS;
    ASSERT_EQ(::ioctl(fd, TIOCMSET, &bits), 0);
    EXPECT_EQ(Lines(fd), TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RTS);
    // Another descriptor of the same device sees the same lines.
    const int other = ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(Lines(other), TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RTS);
    ::close(other);
    ::close(fd);

    // Anything that is not a pseudo-terminal's device end is refused as before.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    int lines = 0;
    EXPECT_EQ(::ioctl(pipeEnds[0], TIOCMGET, &lines), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(::ioctl(line.FarFd(), TIOCMGET, &lines), -1) << "the far end has no lines";
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

class SharedRecord : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv(ModemDirVariable, dir.Path().c_str(), 1);
        const std::string path = dir.Path() + "/" + ModemStateName(line.DevicePath());
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, sizeof(ModemState)), 0);
        void* at = ::mmap(nullptr, sizeof(ModemState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        ASSERT_NE(at, MAP_FAILED);
        record = static_cast<ModemState*>(at);
        record->lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        __atomic_store_n(&record->magic, ModemStateMagic, __ATOMIC_RELEASE);
    }
    void TearDown() override {
        ::unsetenv(ModemDirVariable);
        if (record != nullptr) {
            ::munmap(record, sizeof(ModemState));
        }
    }
    ScopedPortDir dir;
    PtyPair line;
    ModemState* record = nullptr;
};

TEST_F(SharedRecord, TheFarEndsLinesReachTheDeviceLayerAndItsLevelsReachTheFarEnd) {
    SerialDevice device;
    ASSERT_EQ(device.Open(line.DevicePath()), ecOK);
    std::uint8_t status = 0;
    ASSERT_EQ(device.ModemStatus(status), ecOK);
    EXPECT_EQ(status & 0xF0, 0x10 | 0x20 | 0x80); // CTS, DSR, DCD in the UART's layout
    SetInputLines(*record, TIOCM_DSR | TIOCM_RNG);
    ASSERT_EQ(device.ModemStatus(status), ecOK);
    EXPECT_EQ(status & 0xF0, 0x20 | 0x40);
    EXPECT_EQ(record->cts, 1u);
    EXPECT_EQ(record->rng, 1u);
    EXPECT_EQ(record->dsr, 0u);

    ASSERT_EQ(device.Escape(EscapeSetDtr), ecOK);
    ASSERT_EQ(device.Escape(EscapeSetRts), ecOK);
    ASSERT_EQ(device.Escape(EscapeClearRts), ecOK);
    EXPECT_EQ(record->lines & (TIOCM_DTR | TIOCM_RTS), static_cast<unsigned>(TIOCM_DTR));
}

TEST_F(SharedRecord, TheTransitionWaitEndsOnAChangeOfAWantedLineOrOnAHangUp) {
    const int fd = ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    auto wait = std::async(std::launch::async, [&] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_CAR); });
    SetInputLines(*record, TIOCM_CAR | TIOCM_DSR); // CTS is not waited for
    EXPECT_EQ(wait.wait_for(50ms), std::future_status::timeout);
    SetInputLines(*record, TIOCM_DSR);
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready) << "the DCD change was missed";
    EXPECT_EQ(wait.get(), 0);

    auto lost = std::async(std::launch::async, [&] {
        const int rc = ::ioctl(fd, TIOCMIWAIT, TIOCM_CTS);
        return rc == 0 ? 0 : errno;
    });
    line.CloseFar();
    ASSERT_EQ(lost.wait_for(5s), std::future_status::ready) << "the wait outlived the line";
    EXPECT_EQ(lost.get(), EIO);
    ::close(fd);
}

TEST(ModemState, NamesOnlyPseudoTerminalDevices) {
    EXPECT_EQ(ModemStateName("/dev/pts/17"), "pts17");
    EXPECT_EQ(ModemStateName("/dev/pts/"), "");
    EXPECT_EQ(ModemStateName("/dev/ttyS0"), "");
}

} // namespace
} // namespace apd::test::wine
