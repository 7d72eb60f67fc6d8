// The workstation's own device layer reaches the simulator by the port name alone.

#include "tests/device/DeviceWaits.h"
#include "tests/support/pty/ScopedPortDir.h"

#include "comm/device/PortName.h"
#include "comm/device/SerialDevice.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <gtest/gtest.h>

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimulatorThroughDeviceLayer, ComNameInThePortDirectoryOpensTheSimulatorsLine) {
    apd::test::ScopedPortDir portDir; // VORSILAN_PORT_DIR, which the simulator honours
    SimulatorOptions options;
    options.comNumber = 12;
    AnalyserSimulator sim(options);
    EXPECT_EQ(sim.LinkPath(), portDir.Path() + "/COM12");

    apd::SerialDevice device;
    ASSERT_EQ(device.Open("\\\\.\\COM12"), apd::ecOK);
    const std::uint8_t command[] = {0xAA, 0x00};
    ASSERT_EQ(device.Write(command, sizeof command), 2);
    const auto answer = apd::test::ReadDevice(device, 1 + kSettingsBlockSize);
    ASSERT_EQ(answer.size(), 1 + kSettingsBlockSize);
    const SettingsBlock block = sim.Block();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), answer.begin() + 1));

    // Closed and opened again, as the workstation does after an exchange: the line is
    // still there and a record sent meanwhile waits for it.
    ASSERT_EQ(device.Close(), apd::ecOK);
    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    ASSERT_TRUE(sim.SendRecord(record));
    ASSERT_EQ(device.Open("\\\\.\\COM12"), apd::ecOK);
    EXPECT_EQ(apd::test::ReadDevice(device, kResultRecordSize),
              std::vector<std::uint8_t>(record.begin(), record.end()));

    // Vanishing is a lost device to the device layer, and COM12 no longer leads there.
    sim.Vanish();
    const auto outcome = apd::test::WaitEventWithin(device, apd::EventRxChar, 5000ms);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, apd::EventWaitResult::DeviceLost);
    device.Close();
    EXPECT_NE(apd::ResolvePortName("\\\\.\\COM12"), sim.LinkPath());
}

} // namespace
} // namespace vorsilan::sim
