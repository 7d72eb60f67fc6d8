// The trace as the dispatcher keeps it: the bytes taken by reads and handed to writes, its
// size limit, its states, and that every open starts without one.

#include <filesystem>

#include "tests/support/memory_device/MemoryDispatcher.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

class DispatcherTrace : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dispatcher.OpenDefault(), ecOK); }

    std::string Read(std::size_t count) { return ReadChars(dispatcher, count); }
    ErrorCode Write(const std::string& text) {
        return dispatcher.PutBlock(reinterpret_cast<const std::uint8_t*>(text.data()),
                                   static_cast<std::uint32_t>(text.size()));
    }
    // The dump's text, or "(no file)".
    std::string Dumped() {
        const std::string path = folder.File("dump.trc");
        std::filesystem::remove(path);
        EXPECT_EQ(dispatcher.DumpTrace(path, false, false), ecOK);
        return std::filesystem::exists(path) ? ReadWholeFile(path) : "(no file)";
    }

    TMemoryDispatcher dispatcher;
    ScratchFolder folder;
};

TEST_F(DispatcherTrace, BytesReadAndWrittenAreTracedInOrder) {
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    ASSERT_TRUE(dispatcher.Feed("OK\rmore"));
    EXPECT_EQ(Read(3), "OK\r");
    ASSERT_EQ(Write("AT"), ecOK);
    EXPECT_EQ(Dumped(), "Receive: \r\nOK[13]\r\n\r\nTransmit: \r\nAT");
}

TEST_F(DispatcherTrace, MoreThanFourMillionEntriesAreRefusedWithoutATrace) {
    EXPECT_EQ(dispatcher.InitTracing(MaxTraceEntries + 1), ecBadArgument);
    EXPECT_FALSE(dispatcher.TracingOn);
    dispatcher.StartTracing();
    EXPECT_FALSE(dispatcher.TracingOn);
    EXPECT_EQ(dispatcher.InitTracing(MaxTraceEntries), ecOK);
    EXPECT_TRUE(dispatcher.TracingOn);
    dispatcher.AbortTracing();
}

TEST_F(DispatcherTrace, TraceOfNoEntriesRecordsNothingAndWritesNoFile) {
    EXPECT_EQ(dispatcher.InitTracing(0), ecOK);
    dispatcher.AddTraceEntry('R', 'x');
    dispatcher.TracingOn = true; // even when a caller finds the flag set
    dispatcher.AddTraceEntry('R', 'x');
    dispatcher.TracingOn = false;
    EXPECT_EQ(Dumped(), "(no file)");
}

TEST_F(DispatcherTrace, PauseResumeClearAndRestart) {
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    dispatcher.AddTraceEntry('R', '1');
    dispatcher.StopTracing();
    EXPECT_FALSE(dispatcher.TracingOn);
    dispatcher.AddTraceEntry('R', '2'); // a caller that tested TracingOn before the pause
    dispatcher.StartTracing();
    dispatcher.AddTraceEntry('R', '3');
    EXPECT_EQ(Dumped(), "Receive: \r\n13");

    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    dispatcher.AddTraceEntry('R', '1');
    EXPECT_EQ(dispatcher.ClearTracing(), ecOK);
    EXPECT_TRUE(dispatcher.TracingOn);
    dispatcher.AddTraceEntry('R', '2');
    dispatcher.StopTracing();
    // Restarting a paused trace empties and resumes it, whatever size is asked for.
    EXPECT_EQ(dispatcher.InitTracing(MaxTraceEntries + 1), ecOK);
    EXPECT_TRUE(dispatcher.TracingOn);
    dispatcher.AddTraceEntry('T', '3');
    EXPECT_EQ(Dumped(), "Transmit: \r\n3");
}

TEST_F(DispatcherTrace, OpeningThePortStartsWithoutATrace) {
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    dispatcher.AddTraceEntry('R', '1');
    dispatcher.CloseDevicePort();
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    EXPECT_FALSE(dispatcher.TracingOn);
    dispatcher.StartTracing();
    EXPECT_FALSE(dispatcher.TracingOn);
    EXPECT_EQ(Dumped(), "(no file)");
}

} // namespace
} // namespace apd::testing
