// Dispatch log dumps from known entries with fixed times, compared byte for byte with the
// expected files. The labels come from the error string table.

#include "comm/dispatch/LogDump.h"
#include "comm/errors/ErrorMessageText.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

constexpr std::string_view FixedOs = "Linux 6.1 #1 SMP Debian 6.1.90-1";

class LogDumpText : public ::testing::Test {
protected:
    void SetUp() override { log.Allocate(64 * 1024, 0); }

    void Add(std::uint32_t time, std::uint8_t type, std::uint8_t subType, std::uint32_t data,
             const std::string& bytes = {}) {
        LogEntryHeader header;
        header.Type = type;
        header.SubType = subType;
        header.Time = time;
        header.Data = data;
        header.Length = static_cast<std::uint32_t>(bytes.size());
        log.Add(header, reinterpret_cast<const std::uint8_t*>(bytes.data()));
    }

    std::string Dumped(bool inHex, bool allHex) {
        StringSink sink;
        DumpLineWriter out(sink);
        WriteLogText(log, inHex, allHex, FixedOs, LogLabelLookup(ErrorMessageText), out);
        EXPECT_TRUE(log.Empty());
        return sink.Text();
    }

    DispatchLogRing log;
};

TEST_F(LogDumpText, EntriesOfTheDispatcherWithTheirTimes) {
    Add(5, 1, 1, 3, "OK\r");
    Add(12345, 1, 2, 2, BytesText({0xAA, 0x00}));
    Add(12345, 2, 5, 24);
    Add(12345, 2, 7, 8);
    Add(12345, 2, 6, 16);
    Add(12345, 2, 8, 0x19);
    Add(12345, 5, 13, 8, BytesText({0xAA, 0x55}));
    Add(12345, 7, 17, 0xABCDEF);
    Add(12345, 8, 17, 0xABCDEF);
    Add(12345, 9, 16, 24);
    Add(0, 1, 1, 0);
    Add(9999999, 1, 1, 0);
    // From 10000 s on the time is wider than its column; unsigned up to the clock's end.
    Add(10000000, 0, 0, 0);
    Add(4294967295u, 3, 3, 0xFFFFFFFFu);
    EXPECT_EQ(Dumped(false, false), Golden("entries.log"));
}

TEST_F(LogDumpText, DataLinesHoldAtMost77CharactersAndContinueUnderTheDataColumn) {
    std::string letters;
    for (int i = 0; i < 70; ++i) {
        letters.push_back(static_cast<char>('A' + i % 26));
    }
    Add(1, 1, 1, 70, letters);
    Add(2, 1, 2, 60, std::string(30, 'x') + BytesText({200}) + std::string(28, 'y') + "z");
    EXPECT_EQ(Dumped(false, false), Golden("wrap77.log"));
}

TEST_F(LogDumpText, RenderingsOfTheHexFlagsAndUserEntries) {
    const std::string bytes = BytesText({0x20, 0x21, 0x0D, 0x7E, 0x7F, 0xFF});
    Add(1, 1, 1, 6, bytes);
    Add(2, 19, 0, 7, "Hi [x]!");
    EXPECT_EQ(Dumped(true, false), Golden("inhex.log"));

    // With all-hex, the bytes of user entries stay plain characters.
    Add(1, 1, 1, 6, bytes);
    Add(2, 19, 0, 7, "Hi [x]!");
    std::string alphabet;
    for (int i = 0; i < 40; ++i) {
        alphabet.push_back(static_cast<char>('a' + i % 26));
    }
    Add(3, 19, 1, 40, alphabet);
    EXPECT_EQ(Dumped(false, true), Golden("allhex.log"));
}

TEST_F(LogDumpText, StatusTriggerTextsAndModemStatusBitNames) {
    for (int kind = 0; kind <= 6; ++kind) {
        Add(0, 5, 15, 0x19, BytesText({kind}));
    }
    Add(0, 6, 15, 0x1A, BytesText({2}));
    Add(0, 1, 4, 0xFF, BytesText({0xF0}));
    Add(0, 1, 4, 0x00, BytesText({0x00}));
    Add(0, 1, 4, 0x30, BytesText({0x30}));
    Add(0, 1, 4, 0x81, BytesText({0x01}));
    EXPECT_EQ(Dumped(false, false), Golden("status.log"));
}

} // namespace
} // namespace apd::testing
