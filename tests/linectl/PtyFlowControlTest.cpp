// Software flow control on a real terminal device: what the line discipline does with
// XON and XOFF once the line state asks for it.

#include "comm/device/SerialDevice.h"
#include "tests/device/DeviceFixture.h"
#include "tests/device/DeviceWaits.h"

#include <gtest/gtest.h>

#include <string>

namespace apd {
namespace {

constexpr char Xon = 0x11;
constexpr char Xoff = 0x13;

class PtyFlowControl : public test::DeviceFixture {
protected:
    void ApplyFlow(bool honourXoff, std::uint8_t xon = Xon, std::uint8_t xoff = Xoff) {
        LineState state;
        ASSERT_EQ(device.GetState(state), ecOK);
        state.fOutX = honourXoff;
        state.XonChar = xon;
        state.XoffChar = xoff;
        ASSERT_EQ(device.SetState(state), ecOK);
    }

    // The far end sends `flow` and then a marker; once the marker has arrived the line
    // discipline has acted on what came before it.
    void FarSendsThenMarker(const std::string& flow, char marker) {
        ASSERT_EQ(pty.WriteFar(flow + marker), flow.size() + 1);
        const std::vector<std::uint8_t> got = test::ReadDevice(device, 1);
        ASSERT_EQ(got, std::vector<std::uint8_t>{static_cast<std::uint8_t>(marker)})
            << "the flow character itself must not reach the input";
    }

    std::int32_t Write(const std::string& bytes) {
        return device.Write(bytes.data(), bytes.size());
    }

    std::string FarReceives(std::size_t count) {
        const std::vector<std::uint8_t> got = pty.ReadFar(count);
        return {got.begin(), got.end()};
    }
};

TEST_F(PtyFlowControl, XoffFromTheFarEndStopsOurOutputUntilXon) {
    ApplyFlow(true);
    FarSendsThenMarker(std::string(1, Xoff), 'M');
    EXPECT_EQ(Write("held"), 0) << "output is stopped";
    EXPECT_EQ(device.WaitWritable(50), WriteWaitResult::TimedOut);

    FarSendsThenMarker(std::string(1, Xon), 'N');
    EXPECT_EQ(Write("sent"), 4);
    EXPECT_EQ(FarReceives(4), "sent");
}

TEST_F(PtyFlowControl, TheCharactersOfTheLineStateAreTheOnesHonoured) {
    ApplyFlow(true, 'q', 's');
    ASSERT_EQ(pty.WriteFar(std::string(1, Xoff)), 1u);
    EXPECT_EQ(test::ReadDevice(device, 1), std::vector<std::uint8_t>{Xoff})
        << "the usual XOFF is plain data now";
    ASSERT_EQ(Write("one"), 3);
    EXPECT_EQ(FarReceives(3), "one");

    FarSendsThenMarker("s", 'M');
    EXPECT_EQ(Write("two"), 0);
    FarSendsThenMarker("q", 'N');
    EXPECT_EQ(Write("two"), 3);
    EXPECT_EQ(FarReceives(3), "two");
}

TEST_F(PtyFlowControl, WithoutFlowControlXoffIsData) {
    ApplyFlow(false);
    ASSERT_EQ(pty.WriteFar(std::string(1, Xoff)), 1u);
    EXPECT_EQ(test::ReadDevice(device, 1), std::vector<std::uint8_t>{Xoff});
    EXPECT_EQ(Write("free"), 4);
    EXPECT_EQ(FarReceives(4), "free");
}

} // namespace
} // namespace apd
