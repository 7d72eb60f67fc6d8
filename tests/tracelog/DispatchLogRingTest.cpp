// The log ring: what is kept when an entry does not fit, dropping whole entries from the
// oldest end, and a log under pressure that stays readable from its first line to its last.

#include <algorithm>
#include <cstdio>
#include <random>
#include <regex>
#include <sstream>
#include <vector>

#include "comm/dispatch/DispatchLogRing.h"
#include "comm/dispatch/LogDump.h"
#include "comm/errors/ErrorMessageText.h"
#include "tests/tracelog/TraceLogTestSupport.h"

namespace apd::testing {
namespace {

LogEntryHeader Header(std::uint32_t data, std::uint32_t length, std::uint8_t type = 1) {
    LogEntryHeader header;
    header.Type = type;
    header.SubType = 1;
    header.Time = data;
    header.Data = data;
    header.Length = length;
    return header;
}

std::vector<std::uint8_t> Pattern(std::uint32_t seed, std::uint32_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed * 31 + i);
    }
    return bytes;
}

struct Taken {
    LogEntryHeader header;
    std::vector<std::uint8_t> data;
};

std::vector<Taken> TakeAll(DispatchLogRing& log) {
    std::vector<Taken> entries;
    LogEntryHeader header;
    while (log.Take(header)) {
        entries.push_back({header, {log.Scratch(), log.Scratch() + header.Length}});
        EXPECT_LE(log.LogFree, log.LogCapacity);
    }
    EXPECT_EQ(log.LogFree, log.LogCapacity);
    return entries;
}

TEST(LogRing, EntryThatWouldFillTheRingKeepsItsHeaderAndCountButNotItsData) {
    DispatchLogRing log;
    log.Allocate(100, 0);
    const auto small = Pattern(1, 10);
    log.Add(Header(1, 10), small.data());
    const auto big = Pattern(2, 84); // header and data would take the whole ring
    log.Add(Header(84, 84), big.data());
    const auto fits = Pattern(3, 83); // leaves one byte free
    log.Add(Header(83, 83), fits.data());

    const auto entries = TakeAll(log);
    ASSERT_EQ(entries.size(), 1u); // the first two made room for the last
    EXPECT_EQ(entries[0].header.Data, 83u);
    EXPECT_EQ(entries[0].data, fits);

    log.Add(Header(1, 10), small.data());
    log.Add(Header(84, 84), big.data());
    const auto kept = TakeAll(log);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].header.Data, 84u);
    EXPECT_EQ(kept[1].header.Length, 0u);
}

TEST(LogRing, DataLargerThanAlmostTheWholeRingNeverDropsItsOwnHeader) {
    // Storing the header first and then making room for the data would drop the new header
    // itself and lose track of the ring.
    DispatchLogRing log;
    log.Allocate(64, 0);
    log.Add(Header(7, 0), nullptr);
    const auto data = Pattern(9, 60);
    log.Add(Header(60, 60), data.data());
    const auto entries = TakeAll(log);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].header.Data, 7u);
    EXPECT_EQ(entries[1].header.Data, 60u);
    EXPECT_EQ(entries[1].header.Length, 0u);
}

TEST(LogRing, ScratchHoldsAWholeReceiveRingAndLargerDataIsLeftOut) {
    DispatchLogRing log;
    log.Allocate(40000, 4096); // queues smaller than the receive ring
    EXPECT_GE(log.LogScratchSize, 8192u);
    const auto read = Pattern(5, 8192);
    log.Add(Header(8192, 8192), read.data());
    const auto tooBig = Pattern(6, log.LogScratchSize + 1);
    log.Add(Header(1, log.LogScratchSize + 1), tooBig.data());
    const auto entries = TakeAll(log);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].data, read);
    EXPECT_EQ(entries[1].header.Length, 0u);
}

TEST(LogRing, RingNoLargerThanAHeaderStoresNothing) {
    for (const std::uint32_t size : {0u, 1u, 16u}) {
        DispatchLogRing log;
        log.Allocate(size, 0);
        log.Add(Header(1, 0), nullptr);
        EXPECT_TRUE(log.Empty()) << size;
        EXPECT_TRUE(TakeAll(log).empty());
    }
    DispatchLogRing log;
    log.Allocate(17, 0);
    log.Add(Header(1, 0), nullptr);
    EXPECT_EQ(TakeAll(log).size(), 1u);
}

// Entries of random size go into small rings of odd sizes, so that headers and data parts
// split at the end of the ring in every way. What survives must be the newest entries,
// whole and in order, and the dump must be readable from its first line to its last.
TEST(LogRing, UnderPressureTheNewestEntriesSurviveWholeAndTheDumpStaysParseable) {
    const std::regex entryLine(R"(\d{4,}\.\d{3}  Dispatch  ReadCom       [0-9A-F]{8}  .*)");
    const std::regex continuation(R"( {44}.+)");
    for (const std::uint32_t size : {97u, 256u, 1001u}) {
        std::mt19937 random(size);
        DispatchLogRing log;
        log.Allocate(size, 0);
        std::vector<std::uint32_t> lengths;
        const std::uint32_t count = 2000;
        for (std::uint32_t n = 0; n < count; ++n) {
            const std::uint32_t length = random() % (size / 2);
            lengths.push_back(length);
            const auto data = Pattern(n, length);
            log.Add(Header(n, length), data.data());
            ASSERT_LE(log.LogFree, log.LogCapacity);
        }
        // A copy of the ring for the dump, the original for the entry check.
        DispatchLogRing copy;
        copy.Allocate(size, 0);
        std::copy_n(log.LogBuffer.get(), size, copy.LogBuffer.get());
        copy.LogHead = log.LogHead;
        copy.LogTail = log.LogTail;
        copy.LogFree = log.LogFree;

        const auto entries = TakeAll(log);
        ASSERT_FALSE(entries.empty());
        std::uint32_t used = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::uint32_t n = count - static_cast<std::uint32_t>(entries.size() - i);
            EXPECT_EQ(entries[i].header.Data, n);
            EXPECT_EQ(entries[i].data, Pattern(n, lengths[n]));
            used += LogHeaderSize + lengths[n];
        }
        // Only as many were dropped as needed: the next older one would not have fitted.
        const std::uint32_t older = count - static_cast<std::uint32_t>(entries.size()) - 1;
        EXPECT_GT(used + LogHeaderSize + lengths[older], size);

        StringSink sink;
        DumpLineWriter out(sink);
        WriteLogText(copy, false, false, "Test 1.0 x", LogLabelLookup(ErrorMessageText), out);
        std::istringstream lines(sink.Text());
        std::string line;
        int lineNumber = 0;
        std::size_t entryLines = 0;
        while (std::getline(lines, line)) {
            ++lineNumber;
            const bool last = lines.peek() == EOF;
            if (!last) {
                ASSERT_TRUE(!line.empty() && line.back() == '\r') << lineNumber;
                line.pop_back();
            }
            ASSERT_EQ(line.find('\r'), std::string::npos) << lineNumber;
            ASSERT_LE(line.size(), 77u) << lineNumber << ": " << line;
            if (lineNumber <= 5) {
                continue;
            }
            if (std::regex_match(line, entryLine)) {
                ++entryLines;
            } else {
                ASSERT_TRUE(std::regex_match(line, continuation)) << lineNumber << ": " << line;
            }
        }
        EXPECT_EQ(entryLines, entries.size());
    }
}

} // namespace
} // namespace apd::testing
