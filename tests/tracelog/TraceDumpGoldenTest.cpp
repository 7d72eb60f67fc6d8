// Trace dumps written by the dispatcher, compared byte for byte with the expected files.

#include <cerrno>
#include <filesystem>

#include "comm/dispatch/DispatchLogCodes.h"
#include "tests/support/memory_device/MemoryDispatcher.h"
#include "tests/tracelog/FileErrorCodes.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

class TraceDump : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dispatcher.OpenDefault(), ecOK); }

    void Trace(char kind, const std::string& bytes) {
        for (const char c : bytes) {
            dispatcher.AddTraceEntry(kind, static_cast<std::uint8_t>(c));
        }
    }

    // Dumps into a new file and returns its text.
    std::string Dumped(bool inHex, bool allHex) {
        const std::string path = folder.File("dump.trc");
        EXPECT_EQ(dispatcher.DumpTrace(path, inHex, allHex), ecOK);
        EXPECT_FALSE(dispatcher.TracingOn);
        return ReadWholeFile(path);
    }

    TMemoryDispatcher dispatcher;
    ScratchFolder folder;
};

TEST_F(TraceDump, TransmittedThenReceivedBytesGiveTheFiveLineExample) {
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('T', BytesText({0xAA, 0x00}));
    Trace('R', "OK\r");
    EXPECT_EQ(Dumped(false, false), Golden("example.trc"));
}

TEST_F(TraceDump, EveryChangeOfKindStartsABlockAfterAnEmptyLine) {
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('R', "a");
    Trace('T', "bc");
    Trace('X', BytesText({1}));
    Trace('R', "d");
    EXPECT_EQ(Dumped(false, false), Golden("kinds.trc"));
}

TEST_F(TraceDump, WrappedTraceStartsWithItsOldestSurvivingEntry) {
    ASSERT_EQ(dispatcher.InitTracing(4), ecOK);
    Trace('R', "123");
    Trace('T', "45");
    Trace('R', "6");
    EXPECT_EQ(Dumped(false, false), Golden("wrapped.trc"));
}

TEST_F(TraceDump, TraceOfExactlyItsCapacityIsDumpedWhole) {
    ASSERT_EQ(dispatcher.InitTracing(3), ecOK);
    Trace('R', "xyz");
    EXPECT_EQ(Dumped(false, false), Golden("full.trc"));
}

TEST_F(TraceDump, DataLinesHoldAtMost78Characters) {
    // 78 characters fill a line exactly; a bracketed item that would pass column 78 moves
    // whole to the next line.
    ASSERT_EQ(dispatcher.InitTracing(1000), ecOK);
    Trace('R', std::string(78, 'A') + std::string(75, 'a'));
    Trace('R', BytesText({200}) + std::string(73, 'b') + "c");
    EXPECT_EQ(Dumped(false, false), Golden("lines78.trc"));
}

TEST_F(TraceDump, RenderingsOfTheHexFlags) {
    const std::string bytes = BytesText({0x20, 0x21, 0x0D, 0x7E, 0x7F, 0xFF, 0x00, 'z'});
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('R', bytes);
    EXPECT_EQ(Dumped(true, false), Golden("inhex.trc"));

    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('R', BytesText({0x20, 0x21, 0x0D, 0x7E, 0x7F, 0xFF, 0x00, 0x09, 0x0A, 0x1F}));
    EXPECT_EQ(Dumped(false, false), Golden("decimal.trc"));

    // All-hex wins over the in-hex flag; 19 items of width 4 fill a line.
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    for (int i = 0; i < 20; ++i) {
        dispatcher.AddTraceEntry('T', static_cast<std::uint8_t>(i));
    }
    Trace('R', "A ");
    EXPECT_EQ(Dumped(false, true), Golden("allhex.trc"));
}

TEST_F(TraceDump, AppendingCreatesAMissingFileAndOtherwiseStartsANewLine) {
    const std::string path = folder.File("appended.trc");
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('T', BytesText({0xAA, 0x00}));
    Trace('R', "OK\r");
    ASSERT_EQ(dispatcher.AppendTrace(path, false, false), ecOK);
    EXPECT_EQ(ReadWholeFile(path), Golden("example.trc"));

    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('T', BytesText({0xAA, 0x00}));
    Trace('R', "OK\r");
    ASSERT_EQ(dispatcher.AppendTrace(path, false, false), ecOK);
    EXPECT_EQ(ReadWholeFile(path), Golden("example.trc") + "\r\n" + Golden("example.trc"));

    // The dump form replaces what was there.
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    Trace('R', "xyz");
    ASSERT_EQ(dispatcher.DumpTrace(path, false, false), ecOK);
    EXPECT_EQ(ReadWholeFile(path), Golden("full.trc"));
}

TEST_F(TraceDump, EmptyOrAbsentTraceTouchesNoFile) {
    const std::string path = folder.File("never.trc");
    EXPECT_EQ(dispatcher.DumpTrace(path, false, false), ecOK); // no trace at all
    ASSERT_EQ(dispatcher.InitTracing(10), ecOK);
    EXPECT_EQ(dispatcher.AppendTrace(path, false, false), ecOK);
    EXPECT_FALSE(std::filesystem::exists(path));
    // The empty trace was discarded: nothing is recorded until it is started anew.
    EXPECT_FALSE(dispatcher.TracingOn);
    dispatcher.StartTracing();
    EXPECT_FALSE(dispatcher.TracingOn);
}

TEST_F(TraceDump, FileThatCannotBeOpenedOrWrittenFailsWithTheSystemErrorAndDiscardsTheTrace) {
    ASSERT_EQ(dispatcher.InitTracing(10), ecOK);
    Trace('R', "abc");
    EXPECT_EQ(dispatcher.DumpTrace(folder.File("missing/dump.trc"), false, false),
              MissingFolderCode());
    EXPECT_FALSE(dispatcher.TracingOn);
    const std::string path = folder.File("after.trc");
    EXPECT_EQ(dispatcher.DumpTrace(path, false, false), ecOK);
    EXPECT_FALSE(std::filesystem::exists(path));

    // A folder in place of the file.
    ASSERT_EQ(dispatcher.InitTracing(10), ecOK);
    Trace('R', "abc");
    std::filesystem::create_directory(folder.File("folder.trc"));
    EXPECT_EQ(dispatcher.AppendTrace(folder.File("folder.trc"), false, false),
              FolderInPlaceOfFileCode());

    // A device that takes no data: the failed write is reported, not success.
    if (std::filesystem::exists("/dev/full")) {
        ASSERT_EQ(dispatcher.InitTracing(10), ecOK);
        Trace('R', "abc");
        EXPECT_EQ(dispatcher.DumpTrace("/dev/full", false, false), SystemErrorCode(ENOSPC));
        EXPECT_FALSE(dispatcher.TracingOn);
    }
}

} // namespace
} // namespace apd::testing
