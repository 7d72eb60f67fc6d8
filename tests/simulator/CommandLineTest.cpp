#include "tools/simulator/CommandLine.h"

#include <gtest/gtest.h>

namespace vorsilan::sim {
namespace {

using namespace std::chrono_literals;

CommandLineResult Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

TEST(CommandLine, DefaultsAndEveryOption) {
    const CommandLineResult none = Parse({});
    ASSERT_TRUE(none.error.empty());
    EXPECT_EQ(none.options.comNumber, 7u);
    EXPECT_TRUE(none.options.commands.empty());
    EXPECT_EQ(none.options.pacingBaud, 115200u);
    EXPECT_EQ(none.options.pieces, 1u);
    EXPECT_EQ(none.options.noise, NoiseClass::None);

    const CommandLineResult all = Parse({"--port",
                                         "3",
                                         "--port-dir=/tmp/ports",
                                         "-r",
                                         "12345:5,56:serum",
                                         "-e",
                                         "noise 3",
                                         "--script",
                                         "demo.txt",
                                         "-i",
                                         "2s",
                                         "-n",
                                         "5",
                                         "--first-number",
                                         "100",
                                         "--kind",
                                         "urine",
                                         "--kind",
                                         "blood",
                                         "--seed",
                                         "9",
                                         "-b",
                                         "in.bin",
                                         "-o",
                                         "out.bin",
                                         "--read-answer",
                                         "0x15",
                                         "--write-answer",
                                         "aa",
                                         "--write-timeout",
                                         "500ms",
                                         "--pieces",
                                         "3",
                                         "--gap",
                                         "16ms",
                                         "--noise",
                                         "false-header-possible",
                                         "--silent",
                                         "-x",
                                         "-q"});
    ASSERT_TRUE(all.error.empty()) << all.error;
    const ToolOptions& o = all.options;
    EXPECT_EQ(o.comNumber, 3u);
    EXPECT_EQ(o.portDir, "/tmp/ports");
    ASSERT_EQ(o.commands.size(), 2u);
    EXPECT_EQ(o.commands[0].kind, ScriptCommand::Kind::Record);
    EXPECT_EQ(o.commands[0].fields->number, 12345);
    EXPECT_EQ(o.commands[0].fields->valueLow, 0x56);
    EXPECT_EQ(o.commands[1].kind, ScriptCommand::Kind::Noise);
    EXPECT_EQ(o.scriptPath, "demo.txt");
    EXPECT_EQ(o.interval, 2s);
    EXPECT_EQ(o.count, 5u);
    EXPECT_EQ(o.firstNumber, 100);
    EXPECT_EQ(o.kinds, (std::vector<SampleKind>{SampleKind::Urine, SampleKind::WholeBlood}));
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.blockPath, "in.bin");
    EXPECT_EQ(o.saveBlockPath, "out.bin");
    EXPECT_EQ(o.readAnswer, 0x15);
    EXPECT_EQ(o.writeAnswer, 0xAA);
    EXPECT_EQ(o.writeTimeout, 500ms);
    EXPECT_EQ(o.pacingBaud, 0u);
    EXPECT_EQ(o.pieces, 3u);
    EXPECT_EQ(o.pieceGap, 16ms);
    EXPECT_EQ(o.noise, NoiseClass::FalseHeaderPossible);
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.exitWhenDone);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(Parse({"--pace-baud", "9600"}).options.pacingBaud, 9600u);
    // The last of the delivery options holds.
    const ToolOptions whole = Parse({"--pieces", "4", "--whole"}).options;
    EXPECT_EQ(whole.pacingBaud, 0u);
    EXPECT_EQ(whole.pieces, 1u);
    const ToolOptions paced = Parse({"--whole", "--pieces", "4", "--pace"}).options;
    EXPECT_EQ(paced.pacingBaud, 115200u);
    EXPECT_EQ(paced.pieces, 1u);
    EXPECT_TRUE(Parse({"-h"}).options.help);
}

TEST(CommandLine, BadArgumentsAreRefusedWithAMessageNamingThem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"--port"}, "option --port needs a value"},
        {{"--port", "0"}, "bad port number '0'"},
        {{"--port", "COM7"}, "bad port number 'COM7'"},
        {{"-r", "12345:5.56"}, "bad record '12345:5.56'"},
        {{"-r", "1:5.567:serum"}, "bad value '5.567'"},
        {{"-e", "fly away"}, "unknown command 'fly'"},
        {{"-e", ""}, "empty command"},
        {{"-i", "soon"}, "bad interval 'soon'"},
        {{"-i", "0s"}, "bad interval '0s'"},
        {{"-n", "3"}, "--count needs --interval"},
        {{"--kind", "7"}, "bad kind '7'"},
        {{"--read-answer", "1ff"}, "bad byte '1ff'"},
        {{"--pace=1"}, "option --pace takes no value"},
        {{"--pace-baud", "10"}, "bad rate '10'"},
        {{"-s", "a", "-s", "b"}, "only one --script"},
        {{"--pieces", "0"}, "bad piece count '0'"},
        {{"--pieces", "1001"}, "bad piece count '1001'"},
        {{"--gap", "5ms"}, "--gap needs --pieces"},
        {{"--pieces", "3", "--gap", "5ms", "--pace"}, "--gap needs --pieces"},
        {{"--gap", "soon"}, "bad gap 'soon'"},
        {{"--noise", "loud"}, "unknown noise class 'loud'"},
    };
    for (const auto& [arguments, message] : cases) {
        const CommandLineResult result = ParseCommandLine(arguments);
        EXPECT_NE(result.error.find(message), std::string::npos)
            << arguments.front() << ": " << result.error;
    }
}

TEST(CommandLine, HelpDocumentsEveryOptionAndScriptCommand) {
    const std::string help = HelpText();
    for (const char* word :
         {"--port",           "--port-dir",        "--pace",          "--pace-baud",
          "--silent",         "--record",          "--exec",          "--script",
          "--interval",       "--count",           "--first-number",  "--kind",
          "--whole",          "--pieces",          "--gap",           "--noise",
          "pieces COUNT",     "noise-class CLASS", "--seed",          "--block",
          "--save-block",     "--read-answer",     "--write-answer",  "--write-timeout",
          "--exit-when-done", "--quiet",           "--help",          "--version",
          "record NUMBER",    "bcd NUMBER",        "random [COUNT",   "raw HEX",
          "noise COUNT",      "truncated LENGTH",  "inner-header",    "wait DURATION",
          "wait-read",        "wait-write",        "silent [on|off]", "pace [on|off|BAUD]",
          "load FILE",        "save FILE",         "vanish",          "exit",
          "Exit status"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    for (const NoiseClass noise : kNoiseClasses) {
        EXPECT_NE(help.find(NoiseClassName(noise)), std::string::npos) << NoiseClassName(noise);
    }
}

} // namespace
} // namespace vorsilan::sim
