// The telephony dispatcher over a terminal that was opened elsewhere and handed over as a
// descriptor: it adopts the descriptor, carries bytes both ways through its threads, and
// closes the descriptor when the port closes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "comm/device/Tapi32Dispatcher.h"
#include "tests/device_threads/ThreadTestSupport.h"
#include "tests/support/pty/PtyPair.h"

namespace apd::test {
namespace {

TEST(TelephonyHandover, TheHandedOverTerminalCarriesBytesBothWaysAndClosesWithThePort) {
    PtyPair line;
    const int fd = ::open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    TApdTAPI32Dispatcher d(nullptr, fd);
    ASSERT_EQ(d.OpenDevicePort("ignored", 115200, ParityNone, 8, 1, 4096, 4096, 0), ecOK);
    EXPECT_EQ(d.LiveThreads(), 3);
    LineState state;
    ASSERT_EQ(d.DeviceGetState(state), 0);
    EXPECT_EQ(state.BaudRate, 115200u);

    const std::string in = Pattern(1500);
    ASSERT_EQ(line.WriteFar(in), in.size());
    ASSERT_TRUE(PumpUntil([&] { return d.InBuffUsed() == in.size(); }))
        << "received " << d.InBuffUsed() << " of " << in.size();
    std::string got(in.size(), '\0');
    ASSERT_EQ(d.GetBlock(reinterpret_cast<std::uint8_t*>(got.data()),
                         static_cast<std::uint32_t>(got.size())),
              static_cast<std::int32_t>(in.size()));
    EXPECT_EQ(got, in);

    const std::string out = Pattern(2000, 9);
    ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(out.data()),
                         static_cast<std::uint32_t>(out.size())),
              ecOK);
    const std::vector<std::uint8_t> arrived = line.ReadFar(out.size());
    EXPECT_EQ(std::string(arrived.begin(), arrived.end()), out);

    d.CloseDevicePort();
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) == -1 && errno == EBADF) << "the descriptor was left open";
    // Once closed, the number may stand for another file: it is not adopted again.
    EXPECT_EQ(d.DeviceOpen("ignored", 64, 64), ecCommNotOpen);
}

} // namespace
} // namespace apd::test
