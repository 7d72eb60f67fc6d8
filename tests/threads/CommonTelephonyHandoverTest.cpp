// The telephony dispatcher over a serial port that was opened elsewhere and handed over;
// compiled into the POSIX and the Windows program. It adopts the port, carries bytes both
// ways through its threads, and closes the port when it closes.

#include <gtest/gtest.h>

#include "comm/threads/Tapi32Dispatcher.h"
#include "tests/support/farend/FarEnd.h"
#include "tests/threads/HandedOverPort.h"
#include "tests/threads/ThreadTestSupport.h"

namespace apd::test {
namespace {

TEST(TelephonyHandover, TheHandedOverTerminalCarriesBytesBothWaysAndClosesWithThePort) {
    FarEnd line(2);
    const std::intptr_t handle = OpenForHandover(line.Name());
    ASSERT_NE(handle, -1);
    TApdTAPI32Dispatcher d(nullptr, handle);
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
    EXPECT_FALSE(StillASerialDevice(handle)) << "the handed-over port was left open";
    // Once closed, the number may stand for another file: it is not adopted again.
    EXPECT_EQ(d.DeviceOpen("ignored", 64, 64), ecCommNotOpen);
}

} // namespace
} // namespace apd::test
