// The dispatch log as the dispatcher keeps it: the entries its reads, writes, trigger checks
// and registrations add, the log's states, its dumps to files, and recording that neither
// allocates nor races with a dump.

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include "comm/dispatch/DispatchLogCodes.h"
#include "tests/support/allocations/AllocationCount.h"
#include "tests/support/memory_device/MemoryDispatcher.h"
#include "tests/tracelog/FileErrorCodes.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

// The lines of a log file without their CR LF; the time column is checked and cut off.
std::vector<std::string> EntryLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    EXPECT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "ZURI v3.02");
    EXPECT_EQ(lines[3], "Time      Type      SubType       Data      OtherData");
    lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(5, lines.size()));
    const std::regex time(R"(\d{4}\.\d{3}  .*)");
    for (auto& line : lines) {
        if (line.starts_with("    ")) {
            continue; // a continuation
        }
        EXPECT_TRUE(std::regex_match(line, time)) << line;
        line.erase(0, 10);
    }
    return lines;
}

class DispatcherLog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(dispatcher.OpenDefault(), ecOK); }

    std::vector<std::string> Dumped() {
        const std::string path = folder.File("dump.log");
        EXPECT_EQ(dispatcher.DumpLog(path, false, false), ecOK);
        EXPECT_FALSE(dispatcher.LoggingOn);
        return EntryLines(ReadWholeFile(path));
    }

    void AddUserEntry(std::uint32_t value) { dispatcher.AddLogEntry(19, 0, value, nullptr, 0); }

    TMemoryDispatcher dispatcher;
    ScratchFolder folder;
};

TEST_F(DispatcherLog, ReadsWritesTriggersAndRegistrationsAddTheirEntries) {
    dispatcher.InitLogging(10000);
    const std::int32_t handle = dispatcher.AddDataTrigger(Bytes("OK"), false, 2);
    dispatcher.SetAvailTriggerLength(2);
    ASSERT_TRUE(dispatcher.Feed("xOK"));
    while (dispatcher.CheckDataTriggers()) {
    }
    ASSERT_EQ(dispatcher.PutBlock(Bytes("AT\r"), 3), ecOK);
    dispatcher.RegisterWindowHandler(0x1234);
    dispatcher.DeregisterWindowHandler(0x1234);

    char handleHex[9];
    std::snprintf(handleHex, sizeof handleHex, "%08X", static_cast<unsigned>(handle));
    const std::vector<std::string> expected = {
        std::string("TrigAllc  Data          ") + handleHex + "  OK",
        "TrDatChg  Avail         00000002  ",
        "Dispatch  ReadCom       00000003  xOK",
        std::string("Trigger   Data          ") + handleHex + "  ",
        "Trigger   Avail         00000003  ", // the bytes waiting after the match
        "Dispatch  WriteCom      00000003  AT[13]",
        "TrgHdAlc  Window        00001234  ",
        "TrgHdDsp  Window        00001234  ",
    };
    EXPECT_EQ(Dumped(), expected);
}

TEST_F(DispatcherLog, AFullReceiveRingReadIsLoggedWhole) {
    // The queues are half the receive ring; one device read still brings 8192 bytes.
    dispatcher.InitLogging(20000);
    std::string bytes;
    for (int i = 0; i < 8192; ++i) {
        bytes.push_back(static_cast<char>('a' + i % 26));
    }
    ASSERT_TRUE(dispatcher.Feed(bytes));
    const auto lines = Dumped();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].starts_with("Dispatch  ReadCom       00002000  abcdefg")) << lines[0];
    std::string logged = lines[0].substr(34);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].starts_with(std::string(44, ' '))) << i;
        logged += lines[i].substr(44);
    }
    EXPECT_EQ(logged, bytes);
}

TEST_F(DispatcherLog, PauseResumeClearAndRestart) {
    dispatcher.StartLogging(); // nothing to resume
    EXPECT_FALSE(dispatcher.LoggingOn);
    dispatcher.InitLogging(1000);
    EXPECT_TRUE(dispatcher.LoggingOn);
    AddUserEntry(1);
    dispatcher.StopLogging();
    AddUserEntry(2); // a caller that tested LoggingOn before the pause
    dispatcher.StartLogging();
    AddUserEntry(3);
    EXPECT_EQ(Dumped(), (std::vector<std::string>{"User                    00000001  ",
                                                  "User                    00000003  "}));

    dispatcher.InitLogging(1000);
    AddUserEntry(4);
    dispatcher.ClearLogging();
    EXPECT_TRUE(dispatcher.LoggingOn);
    AddUserEntry(5);
    dispatcher.StopLogging();
    dispatcher.InitLogging(1000); // restarting a paused log empties and resumes it
    EXPECT_TRUE(dispatcher.LoggingOn);
    AddUserEntry(6);
    EXPECT_EQ(Dumped(), std::vector<std::string>{"User                    00000006  "});
}

TEST_F(DispatcherLog, AbortedLogRecordsNothingEvenWhenACallerStillSawItOn) {
    dispatcher.InitLogging(1000);
    dispatcher.AbortLogging();
    EXPECT_FALSE(dispatcher.LoggingOn);
    // A caller that tested the flag just before the abort.
    dispatcher.LoggingOn = true;
    AddUserEntry(1);
    dispatcher.LoggingOn = false;
    const std::string path = folder.File("never.log");
    EXPECT_EQ(dispatcher.DumpLog(path, false, false), ecOK);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DispatcherLog, EmptyLogIsDiscardedWithoutTouchingAFile) {
    const std::string path = folder.File("never.log");
    EXPECT_EQ(dispatcher.DumpLog(path, false, false), ecOK); // no log at all
    dispatcher.InitLogging(1000);
    EXPECT_EQ(dispatcher.AppendLog(path, false, false), ecOK);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(dispatcher.LoggingOn);
    dispatcher.StartLogging();
    EXPECT_FALSE(dispatcher.LoggingOn); // the log is gone
}

TEST_F(DispatcherLog, FileThatCannotBeOpenedKeepsTheEntriesOfThePausedLog) {
    dispatcher.InitLogging(1000);
    AddUserEntry(1);
    EXPECT_EQ(dispatcher.DumpLog(folder.File("missing/dump.log"), false, false),
              MissingFolderCode());
    EXPECT_FALSE(dispatcher.LoggingOn);
    AddUserEntry(2); // paused: not recorded
    std::filesystem::create_directory(folder.File("folder.log"));
    EXPECT_EQ(dispatcher.AppendLog(folder.File("folder.log"), false, false),
              FolderInPlaceOfFileCode());
    dispatcher.StartLogging();
    AddUserEntry(3);
    EXPECT_EQ(Dumped(), (std::vector<std::string>{"User                    00000001  ",
                                                  "User                    00000003  "}));
}

TEST_F(DispatcherLog, AppendingCreatesAMissingFileAndOtherwiseStartsANewLine) {
    const std::string path = folder.File("appended.log");
    dispatcher.InitLogging(1000);
    AddUserEntry(1);
    ASSERT_EQ(dispatcher.AppendLog(path, false, false), ecOK);
    const std::string first = ReadWholeFile(path);
    EXPECT_EQ(EntryLines(first), std::vector<std::string>{"User                    00000001  "});

    dispatcher.InitLogging(1000);
    AddUserEntry(2);
    ASSERT_EQ(dispatcher.AppendLog(path, false, false), ecOK);
    const std::string both = ReadWholeFile(path);
    ASSERT_TRUE(both.starts_with(first + "\r\nZURI v3.02\r\n")) << both;
    EXPECT_EQ(EntryLines(both.substr(first.size() + 2)),
              std::vector<std::string>{"User                    00000002  "});
}

TEST_F(DispatcherLog, OpeningThePortStartsWithoutALog) {
    dispatcher.InitLogging(1000);
    AddUserEntry(1);
    dispatcher.CloseDevicePort();
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    EXPECT_FALSE(dispatcher.LoggingOn);
    dispatcher.StartLogging();
    EXPECT_FALSE(dispatcher.LoggingOn);
}

TEST_F(DispatcherLog, RecordingDoesNotAllocate) {
    dispatcher.InitLogging(4096);
    ASSERT_EQ(dispatcher.InitTracing(100), ecOK);
    const std::string data(300, 'x');
    const std::uint64_t before = AllocationCount();
    for (int i = 0; i < 1000; ++i) {
        dispatcher.AddLogEntry(1, 1, 300, Bytes(data), 300);
        dispatcher.AddTraceEntry('R', 'x');
    }
    EXPECT_EQ(AllocationCount() - before, 0u);
}

TEST_F(DispatcherLog, EntriesAddedWhileTheLogIsDumpedAndRestartedStayWhole) {
    // The dispatch thread keeps adding entries while the main thread dumps, aborts and
    // restarts the log; every dump must still be a readable log.
    // Stopped and joined when the test ends, also when an assertion ends it early.
    std::jthread dispatchThread([&](std::stop_token stop) {
        const std::string data(40, 'd');
        while (!stop.stop_requested()) {
            if (dispatcher.LoggingOn) {
                dispatcher.AddLogEntry(1, 1, 40, Bytes(data), 40);
            }
        }
    });
    const std::string path = folder.File("busy.log");
    for (int round = 0; round < 200; ++round) {
        dispatcher.InitLogging(2000);
        dispatcher.AddLogEntry(19, 0, static_cast<std::uint32_t>(round), nullptr, 0);
        if (round % 3 == 0) {
            dispatcher.AbortLogging();
            continue;
        }
        ASSERT_EQ(dispatcher.DumpLog(path, false, false), ecOK);
        for (const auto& line : EntryLines(ReadWholeFile(path))) {
            ASSERT_TRUE(line.starts_with("Dispatch  ReadCom       00000028  dddd") ||
                        line.starts_with("User                    ") ||
                        line == std::string(44, ' ') + "ddddddd")
                << line;
        }
    }
}

} // namespace
} // namespace apd::testing
