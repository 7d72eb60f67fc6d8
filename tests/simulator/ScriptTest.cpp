#include "tools/simulator/Script.h"
#include "tools/simulator/ArgumentText.h"

#include <gtest/gtest.h>

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;
using Kind = ScriptCommand::Kind;

TEST(ScriptParser, EveryCommandWithItsArguments) {
    const ParsedScript script = ParseScript(R"(# a demo
record 12345 5.56 serum
bcd 7 0f 00 4      # not BCD, unknown kind
random 3 250ms
raw aa 55 0x01
noise 3

truncated 20
truncated 5 1 55.6 urine
inner-header 2 4 blood
wait 1.5s
wait-read
wait-write 10s
silent
silent off
pace
pace 9600
pace off
load /tmp/in.bin
save /tmp/out.bin
vanish
exit
pieces 3 16ms
pieces 2
noise-class false-header
)");
    ASSERT_TRUE(script.errors.empty())
        << script.errors.front().line << ": " << script.errors.front().message;
    const auto& c = script.commands;
    ASSERT_EQ(c.size(), 23u);

    EXPECT_EQ(c[0].kind, Kind::Record);
    EXPECT_EQ(c[0].line, 2u);
    EXPECT_EQ(c[0].fields->number, 12345);
    EXPECT_EQ(c[0].fields->valueLow, 0x56);
    EXPECT_EQ(c[0].fields->valueHigh, 0x05);
    EXPECT_EQ(c[0].fields->kind, 1);
    EXPECT_EQ(c[1].kind, Kind::Record);
    EXPECT_EQ(c[1].fields->valueLow, 0x0F);
    EXPECT_EQ(c[1].fields->kind, 4);
    EXPECT_EQ(c[2].kind, Kind::Random);
    EXPECT_EQ(c[2].count, 3u);
    EXPECT_EQ(c[2].duration, 250ms);
    EXPECT_EQ(c[3].bytes, (std::vector<std::uint8_t>{0xAA, 0x55, 0x01}));
    EXPECT_EQ(c[4].kind, Kind::Noise);
    EXPECT_EQ(c[4].count, 3u);
    EXPECT_EQ(c[5].kind, Kind::Truncated);
    EXPECT_EQ(c[5].line, 8u);
    EXPECT_EQ(c[5].count, 20u);
    EXPECT_FALSE(c[5].fields);
    EXPECT_EQ(c[6].fields->valueLow, 0x56); // 55.6 urine is 556 tenths
    EXPECT_EQ(c[6].fields->valueHigh, 0x05);
    EXPECT_EQ(c[7].kind, Kind::InnerHeader);
    EXPECT_EQ(c[7].fields->valueHigh, 0x04);
    EXPECT_EQ(c[8].duration, 1500ms);
    EXPECT_EQ(c[9].kind, Kind::WaitRead);
    EXPECT_EQ(c[9].duration, 60s);
    EXPECT_EQ(c[10].kind, Kind::WaitWrite);
    EXPECT_EQ(c[10].duration, 10s);
    EXPECT_TRUE(c[11].on);
    EXPECT_FALSE(c[12].on);
    EXPECT_EQ(c[13].baud, 115200u);
    EXPECT_EQ(c[14].baud, 9600u);
    EXPECT_EQ(c[15].baud, 0u);
    EXPECT_EQ(c[16].kind, Kind::LoadBlock);
    EXPECT_EQ(c[16].path, "/tmp/in.bin");
    EXPECT_EQ(c[17].kind, Kind::SaveBlock);
    EXPECT_EQ(c[18].kind, Kind::Vanish);
    EXPECT_EQ(c[19].kind, Kind::Exit);
    EXPECT_EQ(c[20].kind, Kind::Pieces);
    EXPECT_EQ(c[20].count, 3u);
    EXPECT_EQ(c[20].duration, 16ms);
    EXPECT_EQ(c[21].duration, 0ms);
    EXPECT_EQ(c[22].kind, Kind::RecordNoise);
    EXPECT_EQ(c[22].noise, NoiseClass::FalseHeader);
}

TEST(ScriptParser, EveryBadLineIsReportedWithItsNumberAndTheGoodOnesKept) {
    const ParsedScript script = ParseScript("record 1 5.56 serum\n"
                                            "recrod 1 5.56 serum\n"
                                            "record 70000 5.56 serum\n"
                                            "record 1 5.567 serum\n"
                                            "record 1 5.56 plasma\n"
                                            "record 1 5.56\n"
                                            "raw aa zz\n"
                                            "noise 0\n"
                                            "truncated 26\n"
                                            "truncated 5 1 2\n"
                                            "wait soon\n"
                                            "silent maybe\n"
                                            "pace 10\n"
                                            "exit now\n"
                                            "random 0\n"
                                            "bcd 1 100 00 serum\n"
                                            "pieces 0\n"
                                            "pieces 3 soon\n"
                                            "noise-class loud\n"
                                            "wait 2s\n");
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[1].kind, Kind::Wait);
    ASSERT_EQ(script.errors.size(), 18u);
    for (std::size_t i = 0; i < script.errors.size(); ++i) {
        EXPECT_EQ(script.errors[i].line, i + 2);
        EXPECT_FALSE(script.errors[i].message.empty());
    }
    EXPECT_NE(script.errors[0].message.find("unknown command 'recrod'"), std::string::npos);
    EXPECT_NE(script.errors[2].message.find("5.567"), std::string::npos);
    EXPECT_NE(script.errors[4].message.find("takes 3 arguments, not 2"), std::string::npos);
}

TEST(ScriptParser, CommentsBlanksCarriageReturnsAndTabs) {
    const ParsedScript script = ParseScript("\r\n   # only a comment\r\n\trecord\t1\t5\tserum\r\n"
                                            "noise 2#glued comment\n");
    ASSERT_TRUE(script.errors.empty());
    ASSERT_EQ(script.commands.size(), 2u);
    EXPECT_EQ(script.commands[0].line, 3u);
    EXPECT_EQ(script.commands[0].fields->valueHigh, 0x05);
    EXPECT_EQ(script.commands[1].count, 2u);
}

TEST(ArgumentText, DurationsCountsAndHexBytes) {
    EXPECT_EQ(ParseDuration("250ms"), 250ms);
    EXPECT_EQ(ParseDuration("2s"), 2s);
    EXPECT_EQ(ParseDuration("1.5s"), 1500ms);
    EXPECT_EQ(ParseDuration("0.25"), 250ms);
    EXPECT_EQ(ParseDuration("3"), 3s);
    EXPECT_EQ(ParseDuration("1m"), 60s);
    for (const char* bad : {"", "s", "ms", "1.s", ".5s", "1.2345s", "-1s", "2h", "1e3", "25h"}) {
        EXPECT_FALSE(ParseDuration(bad)) << bad;
    }
    EXPECT_FALSE(ParseDuration("1441m")); // longer than a day

    EXPECT_EQ(ParseCount("0", 5), 0u);
    EXPECT_EQ(ParseCount("5", 5), 5u);
    EXPECT_FALSE(ParseCount("6", 5));
    EXPECT_FALSE(ParseCount("99999999999", 0xFFFFFFFFul));
    EXPECT_FALSE(ParseCount("+1", 5));

    EXPECT_EQ(ParseHexByte("aa"), 0xAA);
    EXPECT_EQ(ParseHexByte("0x0F"), 0x0F);
    EXPECT_EQ(ParseHexByte("5"), 0x05);
    EXPECT_FALSE(ParseHexByte("100"));
    EXPECT_FALSE(ParseHexByte("0x"));
    EXPECT_FALSE(ParseHexByte("g1"));
}

} // namespace
} // namespace vorsilan::sim
