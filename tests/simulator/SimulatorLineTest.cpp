#include "tests/simulator/PcEnd.h"
#include "tests/simulator/SimulatorFixture.h"

#include "tools/simulator/ExchangeProtocol.h"
#include "tools/simulator/FaultyRecords.h"
#include "tools/simulator/LineDelivery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <random>
#include <tuple>

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;
using test::OptionsIn;
using test::PcEnd;
using test::ScratchFolder;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> list) {
    return std::vector<std::uint8_t>(list);
}

SettingsBlock NumberedBlock(std::uint8_t salt) {
    SettingsBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + salt);
    }
    return block;
}

// Writes the block as the workstation does: one byte, then its answer, 256 times. Returns
// the answers.
std::vector<std::uint8_t> WriteBlock(PcEnd& pc, const SettingsBlock& block, std::size_t count) {
    std::vector<std::uint8_t> answers;
    EXPECT_TRUE(pc.Write(Bytes({kCommandLead, kWriteCommand})));
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_TRUE(pc.Write({block[i]}));
        const auto answer = pc.Read(1);
        if (answer.size() != 1) {
            ADD_FAILURE() << "no answer to byte " << i;
            break;
        }
        answers.push_back(answer[0]);
    }
    return answers;
}

TEST(SimulatorLine, PublishesTheLinkAndDeliversARecordToThePort) {
    ScratchFolder dir;
    AnalyserSimulator sim(OptionsIn(dir, 9));
    EXPECT_EQ(sim.LinkPath(), dir.File("COM9"));
    EXPECT_EQ(sim.PortName(), "\\\\.\\COM9");
    EXPECT_EQ(std::filesystem::read_symlink(sim.LinkPath()).string(), sim.DevicePath());

    PcEnd pc(sim.LinkPath());
    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    ASSERT_TRUE(sim.SendRecord(record));
    const auto received = pc.Read(kResultRecordSize);
    EXPECT_EQ(received, std::vector<std::uint8_t>(record.begin(), record.end()));
    EXPECT_EQ(sim.Counters().recordsSent, 1u);
}

TEST(SimulatorLine, ReadExchangeAnswersOneByteThenTheBlock) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.block = NumberedBlock(3);
    options.readAnswer = 0x5A;
    AnalyserSimulator sim(options);
    PcEnd pc(sim.LinkPath());

    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    const auto answer = pc.Read(1 + kSettingsBlockSize);
    ASSERT_EQ(answer.size(), 1 + kSettingsBlockSize);
    EXPECT_EQ(answer[0], 0x5A);
    EXPECT_TRUE(std::equal(options.block.begin(), options.block.end(), answer.begin() + 1));
    ASSERT_TRUE(sim.WaitForBlockReads(1, 5s));

    // Nothing more follows, and a second read gets the same again.
    EXPECT_TRUE(pc.Read(1, 50ms).empty());
    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    EXPECT_EQ(pc.Read(1 + kSettingsBlockSize), answer);
    EXPECT_TRUE(sim.WaitForBlockReads(2, 5s));
}

TEST(SimulatorLine, WriteExchangeAnswersEachByteKeepsTheBlockAndReadsItBack) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.writeAnswer = 0x33;
    SettingsBlock handed{};
    std::promise<void> handedOn;
    options.blockWritten = [&](const SettingsBlock& block) {
        handed = block;
        SaveSettingsBlock(dir.File("saved.bin"), block);
        handedOn.set_value();
    };
    AnalyserSimulator sim(options);
    PcEnd pc(sim.LinkPath());

    const SettingsBlock block = NumberedBlock(11);
    const auto answers = WriteBlock(pc, block, kSettingsBlockSize);
    ASSERT_EQ(answers, std::vector<std::uint8_t>(kSettingsBlockSize, 0x33));
    // The last answer comes only once the block is kept and handed on.
    EXPECT_EQ(sim.Block(), block);
    ASSERT_EQ(handedOn.get_future().wait_for(0s), std::future_status::ready);
    EXPECT_EQ(handed, block);
    EXPECT_EQ(LoadSettingsBlock(dir.File("saved.bin")), block);
    ASSERT_TRUE(sim.WaitForBlockWrites(1, 5s));
    EXPECT_EQ(sim.Counters().writesAbandoned, 0u);

    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    const auto readBack = pc.Read(1 + kSettingsBlockSize);
    ASSERT_EQ(readBack.size(), 1 + kSettingsBlockSize);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), readBack.begin() + 1));
}

TEST(SimulatorLine, WriteThatStopsHalfwayIsDroppedAndTheOldBlockKept) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.writeByteTimeout = 100ms;
    AnalyserSimulator sim(options);
    const SettingsBlock before = sim.Block();
    PcEnd pc(sim.LinkPath());

    EXPECT_EQ(WriteBlock(pc, NumberedBlock(1), 100).size(), 100u);
    ASSERT_TRUE(
        sim.WaitUntil([](const SimulatorCounters& c) { return c.writesAbandoned == 1; }, 5s));
    EXPECT_EQ(sim.Block(), before);
    EXPECT_EQ(sim.Counters().blockWrites, 0u);

    // The line is free again: a read is answered, with the old block.
    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    const auto answer = pc.Read(1 + kSettingsBlockSize);
    ASSERT_EQ(answer.size(), 1 + kSettingsBlockSize);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), answer.begin() + 1));
}

TEST(SimulatorLine, RecordWaitsForTheLineWhileAWriteExchangeHoldsIt) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.sendTimeout = 150ms;
    options.writeByteTimeout = 10s;
    AnalyserSimulator sim(options);
    PcEnd pc(sim.LinkPath());

    const SettingsBlock block = NumberedBlock(5);
    ASSERT_EQ(WriteBlock(pc, block, 10).size(), 10u);
    // The exchange holds the line: the record may not go out in the middle of it.
    const ResultRecord record = *EncodeResultRecord(1, 500, SampleKind::Serum);
    EXPECT_FALSE(sim.SendRecord(record));
    EXPECT_TRUE(pc.Read(1, 20ms).empty());
    for (std::size_t i = 10; i < kSettingsBlockSize; ++i) {
        ASSERT_TRUE(pc.Write({block[i]}));
        ASSERT_EQ(pc.Read(1), Bytes({0x06})) << i;
    }
    ASSERT_TRUE(sim.WaitForBlockWrites(1, 5s));
    EXPECT_EQ(sim.Block(), block);
    ASSERT_TRUE(sim.SendRecord(record));
    EXPECT_EQ(pc.Read(kResultRecordSize), std::vector<std::uint8_t>(record.begin(), record.end()));
}

TEST(SimulatorLine, LineSurvivesThePortBeingClosedAndOpenedAgain) {
    ScratchFolder dir;
    AnalyserSimulator sim(OptionsIn(dir));
    auto pc = std::make_unique<PcEnd>(sim.LinkPath());
    pc->Close();
    // Sent while nobody has the port open: the line keeps it for the next opener.
    const ResultRecord record = *EncodeResultRecord(2, 1234, SampleKind::WholeBlood);
    ASSERT_TRUE(sim.SendRecord(record));
    pc = std::make_unique<PcEnd>(sim.LinkPath());
    EXPECT_EQ(pc->Read(kResultRecordSize), std::vector<std::uint8_t>(record.begin(), record.end()));
    ASSERT_TRUE(pc->Write(Bytes({0xAA, 0x00})));
    EXPECT_EQ(pc->Read(1 + kSettingsBlockSize).size(), 1 + kSettingsBlockSize);
}

TEST(SimulatorFaults, SilentAnalyserIgnoresCommandsUntilItAnswersAgain) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.silent = true;
    AnalyserSimulator sim(options);
    PcEnd pc(sim.LinkPath());

    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    ASSERT_TRUE(sim.WaitUntil([](const SimulatorCounters& c) { return c.bytesIgnored == 2; }, 5s));
    EXPECT_TRUE(pc.Read(1, 50ms).empty());
    EXPECT_EQ(sim.Counters().blockReads, 0u);

    sim.SetSilent(false);
    ASSERT_TRUE(pc.Write(Bytes({0xAA, 0x00})));
    EXPECT_EQ(pc.Read(1 + kSettingsBlockSize).size(), 1 + kSettingsBlockSize);
    EXPECT_EQ(sim.ReceivedBytes(), Bytes({0xAA, 0x00, 0xAA, 0x00}));
}

TEST(SimulatorFaults, FallingSilentInsideAWriteDropsIt) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.writeByteTimeout = 10s;
    AnalyserSimulator sim(options);
    const SettingsBlock before = sim.Block();
    PcEnd pc(sim.LinkPath());
    ASSERT_EQ(WriteBlock(pc, NumberedBlock(9), 20).size(), 20u);
    sim.SetSilent(true);
    ASSERT_TRUE(pc.Write({0x42}));
    ASSERT_TRUE(
        sim.WaitUntil([](const SimulatorCounters& c) { return c.writesAbandoned == 1; }, 5s));
    EXPECT_TRUE(pc.Read(1, 20ms).empty());
    EXPECT_EQ(sim.Block(), before);
}

TEST(SimulatorFaults, FaultHelpersPutTheirBytesOnTheLine) {
    ScratchFolder dir;
    AnalyserSimulator sim(OptionsIn(dir));
    PcEnd pc(sim.LinkPath());
    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);

    ASSERT_TRUE(sim.SendNoise(40, 5));
    const auto noise = pc.Read(40);
    ASSERT_EQ(noise.size(), 40u);
    EXPECT_EQ(std::count(noise.begin(), noise.end(), 0xAA), 0);
    ASSERT_TRUE(sim.SendNoise(40, 5));
    EXPECT_EQ(pc.Read(40), noise); // the same seed, the same noise

    ASSERT_TRUE(sim.SendTruncated(record, 20));
    ASSERT_TRUE(sim.SendWithHeaderInside(record));
    const auto bytes = pc.Read(20 + kResultRecordSize);
    ASSERT_EQ(bytes.size(), 20 + kResultRecordSize);
    EXPECT_TRUE(std::equal(record.begin(), record.begin() + 20, bytes.begin()));
    EXPECT_EQ(bytes[20 + 10], 0xAA);
    EXPECT_EQ(bytes[20 + 11], 0x55);
    EXPECT_EQ(bytes[20 + 19], 0x56);
    EXPECT_EQ(sim.Counters().recordsSent, 0u); // faults are not records
}

TEST(SimulatorFaults, VanishingRemovesTheLinkAndHangsUpThePort) {
    ScratchFolder dir;
    AnalyserSimulator sim(OptionsIn(dir));
    PcEnd pc(sim.LinkPath());
    const std::string devicePath = sim.DevicePath();

    sim.Vanish();
    EXPECT_TRUE(sim.Vanished());
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("COM7")));
    EXPECT_NE(pc.Poll(POLLIN, 5000ms) & POLLHUP, 0);
    std::uint8_t byte = 0;
    EXPECT_LE(::read(pc.Fd(), &byte, 1), 0);
    EXPECT_FALSE(std::filesystem::exists(devicePath));
    EXPECT_FALSE(sim.SendRecord(*EncodeResultRecord(1, 1, SampleKind::Serum)));
    sim.Vanish(); // again: nothing happens
}

TEST(SimulatorFaults, EndingLeavesAnotherSimulatorsLinkAlone) {
    ScratchFolder dir;
    auto first = std::make_unique<AnalyserSimulator>(OptionsIn(dir));
    AnalyserSimulator second(OptionsIn(dir)); // publishes COM7 over the first one's link
    first.reset();
    ASSERT_TRUE(std::filesystem::is_symlink(dir.File("COM7")));
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("COM7")).string(), second.DevicePath());
}

TEST(SimulatorFaults, PacedSendTakesTheLineTimeOfEveryByte) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.pacingBaud = 115200;
    AnalyserSimulator sim(options);
    PcEnd pc(sim.LinkPath());
    const ResultRecord record = *EncodeResultRecord(3, 610, SampleKind::Serum);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.SendRecord(record));
    const auto took = std::chrono::steady_clock::now() - start;
    // 26 bytes of 10 bits at 115200 baud: 2.26 ms at least.
    EXPECT_GE(took, 26 * 10 * 1'000'000'000LL / 115200 * 1ns);
    EXPECT_EQ(pc.Read(kResultRecordSize), std::vector<std::uint8_t>(record.begin(), record.end()));

    sim.SetPacing(0);
    const auto unpaced = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.SendBytes(std::vector<std::uint8_t>(4000, 0x11)));
    // 4000 paced bytes would take 347 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - unpaced, 300ms);
}

TEST(LineDelivery, PiecesAreAsEvenAsPossibleAndNeverEmpty) {
    using Sizes = std::vector<std::size_t>;
    const std::vector<std::tuple<std::size_t, std::size_t, Sizes>> cases = {
        {26, 1, {26}}, {26, 2, {13, 13}}, {26, 3, {9, 9, 8}}, {26, 4, {7, 7, 6, 6}},
        {26, 0, {26}}, {3, 5, {1, 1, 1}}, {0, 3, {}},         {257, 2, {129, 128}},
    };
    for (const auto& [total, pieces, sizes] : cases) {
        EXPECT_EQ(PieceSizes(total, pieces), sizes) << total << " in " << pieces;
    }
}

TEST(SimulatorLine, PacedAndPiecedRecordsInEveryNoiseClassArriveWholeAndInOrder) {
    ScratchFolder dir;
    AnalyserSimulator sim(OptionsIn(dir)); // paced at the analyser's line unless set
    PcEnd pc(sim.LinkPath());
    const ResultRecord record = *EncodeResultRecord(12345, 556, SampleKind::Serum);
    std::mt19937 random(4);
    std::mt19937 same(4);
    std::size_t sent = 0;
    const std::vector<std::pair<std::size_t, std::chrono::microseconds>> pieced = {
        {0, 0us}, {3, 1ms}, {100, 0us}}; // 0: paced as it starts
    for (const auto& [pieces, gap] : pieced) {
        if (pieces != 0) {
            sim.SetPieces(pieces, gap);
        }
        for (const NoiseClass noise : kNoiseClasses) {
            if (noise == NoiseClass::Flood && pieces == 0) {
                continue; // 8 KB at line speed would only make the test slow
            }
            SCOPED_TRACE(std::string(NoiseClassName(noise)) + " in " + std::to_string(pieces));
            ASSERT_TRUE(sim.SendRecord(record, noise, random));
            ++sent;
            const auto expected = NoisyBurst(record, noise, same);
            EXPECT_EQ(pc.Read(expected.size()), expected);
        }
    }
    EXPECT_EQ(sim.Counters().recordsSent, sent);
    // Another send's bytes after a pieced one: nothing of the last stayed behind.
    sim.SetPacing(0);
    ASSERT_TRUE(sim.SendRecord(record));
    EXPECT_EQ(pc.Read(kResultRecordSize), std::vector<std::uint8_t>(record.begin(), record.end()));
}

TEST(SimulatorFaults, UnreadLineMakesASendFailWithinItsTimeout) {
    ScratchFolder dir;
    SimulatorOptions options = OptionsIn(dir);
    options.sendTimeout = 100ms;
    options.pacingBaud = 0; // the queue fills at once, not at line speed
    AnalyserSimulator sim(options);
    // Nobody reads the port: the line's queue fills up after some kilobytes.
    const std::vector<std::uint8_t> chunk(4096, 0x11);
    bool failed = false;
    for (int i = 0; i < 64 && !failed; ++i) {
        failed = !sim.SendBytes(chunk);
    }
    EXPECT_TRUE(failed);
    // Vanishing is still prompt.
    sim.Vanish();
}

} // namespace
} // namespace vorsilan::sim

namespace vorsilan::sim {
namespace {

TEST(SimulatorLine, DrainedOnlyOnceThePcHasReadEverything) {
    using namespace std::chrono_literals;
    test::ScratchFolder dir;
    AnalyserSimulator sim(test::OptionsIn(dir));
    test::PcEnd pc(sim.LinkPath());
    ASSERT_TRUE(sim.SendRecord(*EncodeResultRecord(4, 400, SampleKind::Serum)));
    EXPECT_FALSE(sim.WaitUntilDrained(60ms));
    EXPECT_EQ(pc.Read(kResultRecordSize).size(), kResultRecordSize);
    EXPECT_TRUE(sim.WaitUntilDrained(5s));
}

} // namespace
} // namespace vorsilan::sim
