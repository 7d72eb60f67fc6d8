#pragma once
// The options of vorsilan-sim, their parsing and the help text.

#include "tools/simulator/FaultyRecords.h"
#include "tools/simulator/LineDelivery.h"
#include "tools/simulator/ResultRecord.h"
#include "tools/simulator/Script.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorsilan::sim {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // the line, a file or a script command failed
inline constexpr int kExitUsage = 2;   // bad arguments or a bad script

struct ToolOptions {
    unsigned comNumber = 7;
    std::string portDir;
    // --record and --exec in the order given, then the script file's commands.
    std::vector<ScriptCommand> commands;
    std::string scriptPath; // "-" for standard input; read by the tool
    std::optional<std::chrono::milliseconds> interval;
    std::optional<unsigned long> count;
    std::uint16_t firstNumber = 1;
    std::vector<SampleKind> kinds;
    std::optional<std::uint32_t> seed;
    std::string blockPath;
    std::string saveBlockPath;
    std::uint8_t readAnswer = 0x06;
    std::uint8_t writeAnswer = 0x06;
    std::chrono::milliseconds writeTimeout{2000};
    // As in SimulatorOptions: paced at the analyser's line unless asked otherwise.
    unsigned pacingBaud = kAnalyserBaud;
    std::size_t pieces = 1;
    std::chrono::milliseconds pieceGap{0};
    NoiseClass noise = NoiseClass::None; // of every record the tool sends
    bool silent = false;
    bool exitWhenDone = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct CommandLineResult {
    ToolOptions options;
    std::string error; // empty when the arguments are good
};

CommandLineResult ParseCommandLine(const std::vector<std::string>& arguments);

std::string HelpText();

} // namespace vorsilan::sim
