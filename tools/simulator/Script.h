#pragma once
// The simulator's script: one command a line, words separated by blanks; '#' starts a
// comment; blank lines are skipped. Commands (KIND is serum, blood, urine or a code
// 0..255; VALUE is in mmol with a point or a comma, "5.56"; DURATION as "250ms", "2s",
// "1.5s", "1m" or a bare number of seconds):
//
//   record NUMBER VALUE KIND      a result record ("record 12345 5.56 serum")
//   bcd NUMBER LOW HIGH KIND      a record whose value bytes 19 and 20 are LOW and HIGH in
//                                 hex, BCD or not ("bcd 7 0f 00 serum")
//   random [COUNT [EVERY]]        COUNT plausible records (1), one every EVERY (1s)
//   raw HEX...                    these bytes as they are ("raw aa 55 01")
//   noise COUNT                   COUNT random bytes, none of them 0xAA
//   truncated LENGTH [NUMBER VALUE KIND]
//                                 the first LENGTH (1..25) bytes of a record
//   inner-header [NUMBER VALUE KIND]
//                                 a record with a second 0xAA 0x55 inside its filler
//   wait DURATION                 do nothing for that long
//   wait-read [TIMEOUT]           wait until the PC has read the settings block once more
//   wait-write [TIMEOUT]          the same for a write (TIMEOUT 60s; the script fails
//                                 when it runs out)
//   silent [on|off]               ignore the PC's commands (on), or answer them again
//   pace [on|off|BAUD]            send one byte per character time at 115200 (on, as from
//                                 the start) or BAUD, 8N1; off sends each in one write
//   pieces COUNT [GAP]            send each in COUNT pieces (1..1000), GAP apart (0)
//   noise-class CLASS             the records that follow in noise of CLASS (none,
//                                 leading, trailing, false-header, false-header-possible,
//                                 trailing-false-header, flood)
//   load FILE                     take the settings block from FILE (256 bytes)
//   save FILE                     write the settings block to FILE
//   vanish                        close the line and remove the port link; ends the script
//   exit                          end the simulator

#include "tools/simulator/FaultyRecords.h"
#include "tools/simulator/ResultRecord.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsilan::sim {

struct ScriptCommand {
    enum class Kind {
        Record,      // record, bcd: `fields`
        Random,      // `count` records, `duration` apart
        Raw,         // `bytes`
        Noise,       // `count` bytes
        Truncated,   // `count` bytes of `fields`, or of a plausible record
        InnerHeader, // `fields`, or a plausible record
        Wait,        // `duration`
        WaitRead,    // timeout `duration`
        WaitWrite,   // timeout `duration`
        Silent,      // `on`
        Pace,        // `baud`, 0 for off
        Pieces,      // `count` pieces, `duration` apart
        RecordNoise, // `noise`
        LoadBlock,   // `path`
        SaveBlock,   // `path`
        Vanish,
        Exit,
    };
    Kind kind = Kind::Exit;
    std::size_t line = 0; // 0 for a command given on the command line
    std::optional<RawResultFields> fields;
    std::vector<std::uint8_t> bytes;
    std::size_t count = 0;
    std::chrono::milliseconds duration{0};
    bool on = true;
    unsigned baud = 0;
    NoiseClass noise = NoiseClass::None;
    std::string path;
};

struct ScriptError {
    std::size_t line;
    std::string message;
};

struct ParsedScript {
    std::vector<ScriptCommand> commands;
    std::vector<ScriptError> errors; // every bad line, in order
};

// One line; `lineNumber` is carried into the command and the error. Nothing (and no
// error) for a blank or comment line.
std::optional<ScriptCommand> ParseScriptLine(std::string_view text, std::size_t lineNumber,
                                             std::vector<ScriptError>& errors);
ParsedScript ParseScript(std::string_view text);

// A record given as NUMBER VALUE KIND words; the message says what is wrong.
std::optional<RawResultFields> ParseRecordWords(std::string_view number, std::string_view value,
                                                std::string_view kind, std::string& message);

} // namespace vorsilan::sim
