#include "tests/simulator/LineBytes.h"
#include "tests/simulator/PcEnd.h"
#include "tests/simulator/SimulatorFixture.h"

#include "tools/simulator/ExchangeProtocol.h"
#include "tools/simulator/ScriptRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;
using test::OptionsIn;
using test::PcEnd;
using test::ScratchFolder;

class ScriptRunnerTest : public ::testing::Test {
protected:
    ScriptResult Run(const std::string& text) {
        const ParsedScript script = ParseScript(text);
        EXPECT_TRUE(script.errors.empty());
        return runner_.Run(script.commands);
    }

    ScratchFolder dir_;
    AnalyserSimulator sim_{OptionsIn(dir_)};
    PcEnd pc_{sim_.LinkPath()};
    PlausibleResults results_{7, 100};
    StopSignal stop_;
    ScriptRunner runner_{sim_, results_, stop_};
};

TEST_F(ScriptRunnerTest, FaultsReachTheLineAsDescribed) {
    const ScriptResult result = Run("noise 3\n"
                                    "truncated 20 12345 5.56 serum\n"
                                    "inner-header 1 5 serum\n"
                                    "raw aa 55\n"
                                    "bcd 2 0f 00 7\n");
    ASSERT_EQ(result.outcome, ScriptOutcome::Completed) << result.message;
    const auto bytes = pc_.Read(3 + 20 + 26 + 2 + 26);
    ASSERT_EQ(bytes.size(), 77u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 3, 0xAA), 0);
    const ResultRecord full = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + 20, bytes.begin() + 3));
    const auto inner = bytes.begin() + 23;
    EXPECT_EQ(inner[0], 0xAA);
    EXPECT_EQ(inner[10], 0xAA);
    EXPECT_EQ(inner[11], 0x55);
    EXPECT_EQ(inner[20], 0x05);
    EXPECT_EQ(bytes[49], 0xAA);
    EXPECT_EQ(bytes[50], 0x55);
    const auto bcd = bytes.begin() + 51;
    EXPECT_EQ(bcd[19], 0x0F);
    EXPECT_EQ(bcd[20], 0x00);
    EXPECT_EQ(bcd[21], 7);
}

TEST_F(ScriptRunnerTest, RandomRecordsComeWithRisingNumbers) {
    ASSERT_EQ(Run("random 3 1ms\n").outcome, ScriptOutcome::Completed);
    const auto bytes = pc_.Read(3 * kResultRecordSize);
    ASSERT_EQ(bytes.size(), 3 * kResultRecordSize);
    for (std::size_t i = 0; i < 3; ++i) {
        ResultRecord record{};
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(i * kResultRecordSize),
                    kResultRecordSize, record.begin());
        EXPECT_EQ(DecodeResultRecord(record).number, 100 + i);
    }
    EXPECT_EQ(sim_.Counters().recordsSent, 3u);
}

TEST_F(ScriptRunnerTest, NoiseClassAndPiecesHoldForTheRecordsThatFollow) {
    ASSERT_EQ(Run("noise-class trailing\n"
                  "record 1 5 serum\n"
                  "pieces 3 1ms\n"
                  "random 1\n"
                  "noise-class none\n"
                  "pace off\n"
                  "record 2 5 serum\n")
                  .outcome,
              ScriptOutcome::Completed);
    // Everything was on the line once Run returned.
    const auto bytes = pc_.Read(sim_.Counters().bytesSent);
    ASSERT_EQ(bytes.size(), sim_.Counters().bytesSent);
    // Two records with 1..40 noise bytes behind each, then a record alone: three headers.
    const std::vector<std::size_t> headers = test::HeaderPositions(bytes);
    ASSERT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[0], 0u);
    EXPECT_EQ(headers[2], bytes.size() - kResultRecordSize);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::size_t noise = headers[i + 1] - headers[i] - kResultRecordSize;
        EXPECT_TRUE(noise >= 1 && noise <= 40) << i << ": " << noise;
    }
    const std::uint16_t numbers[] = {1, 100, 2};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(DecodeResultRecord(test::RecordAt(bytes, headers[i])).number, numbers[i]);
    }
    EXPECT_EQ(sim_.Counters().recordsSent, 3u);
}

TEST_F(ScriptRunnerTest, WaitWriteEndsWhenThePcHasWrittenAndSaveStoresTheBlock) {
    const std::string path = dir_.File("after.bin");
    auto running =
        std::async(std::launch::async, [&] { return Run("wait-write 20s\nsave " + path + "\n"); });
    ASSERT_TRUE(pc_.Write({kCommandLead, kWriteCommand}));
    SettingsBlock block{};
    block.fill(0x44);
    for (const std::uint8_t byte : block) {
        ASSERT_TRUE(pc_.Write({byte}));
        ASSERT_EQ(pc_.Read(1).size(), 1u);
    }
    ASSERT_EQ(running.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(running.get().outcome, ScriptOutcome::Completed);
    EXPECT_EQ(LoadSettingsBlock(path), block);

    // That write has been waited for: the next wait-write needs another one.
    const ScriptResult late = Run("\n\nwait-write 30ms\n");
    EXPECT_EQ(late.outcome, ScriptOutcome::Failed);
    EXPECT_EQ(late.message, "line 3: the PC did not write the settings block in time");
}

TEST_F(ScriptRunnerTest, StopEndsALongWaitAtOnce) {
    auto running =
        std::async(std::launch::async, [&] { return Run("wait 10m\nrecord 1 5 serum"); });
    auto waiting = std::async(std::launch::async, [&] { return Run("wait-read 10m\n"); });
    stop_.OnRequest([this] { sim_.WakeWaiters(); });
    stop_.Request();
    ASSERT_EQ(running.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(running.get().outcome, ScriptOutcome::Stopped);
    EXPECT_EQ(waiting.get().outcome, ScriptOutcome::Stopped);
    EXPECT_EQ(sim_.Counters().recordsSent, 0u);
}

TEST_F(ScriptRunnerTest, VanishAndExitEndTheScriptAndFailuresNameTheLine) {
    EXPECT_EQ(Run("exit\nrecord 1 5 serum\n").outcome, ScriptOutcome::Exit);
    const ScriptResult missing = Run("load " + dir_.File("none.bin") + "\n");
    EXPECT_EQ(missing.outcome, ScriptOutcome::Failed);
    EXPECT_EQ(missing.message.rfind("line 1: ", 0), 0u) << missing.message;
    EXPECT_EQ(Run("vanish\nrecord 1 5 serum\n").outcome, ScriptOutcome::Vanished);
    EXPECT_TRUE(sim_.Vanished());
    EXPECT_EQ(sim_.Counters().recordsSent, 0u);
    const ScriptResult gone = Run("record 1 5 serum\n");
    EXPECT_EQ(gone.outcome, ScriptOutcome::Failed);
}

} // namespace
} // namespace vorsilan::sim
