#include "tools/simulator/CommandLine.h"

#include "tools/simulator/ArgumentText.h"

#include <functional>
#include <map>

namespace vorsilan::sim {
namespace {

// Splits "12345:5.56:serum".
std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) {
            return parts;
        }
        start = colon + 1;
    }
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    CommandLineResult Run();

private:
    // The option's value: "--name=value" or the next argument.
    bool Value(const std::string& name, std::string& value) {
        if (inlineValue_) {
            value = *inlineValue_;
            inlineValue_.reset();
            return true;
        }
        if (next_ >= arguments_.size()) {
            error_ = "option " + name + " needs a value";
            return false;
        }
        value = arguments_[next_++];
        return true;
    }
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    bool Option(const std::string& name);

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    std::optional<std::string> inlineValue_;
    bool gapGiven_ = false;
    ToolOptions options_;
    std::string error_;
};

bool Parser::Option(const std::string& name) {
    std::string value;
    if (name == "-h" || name == "--help") {
        options_.help = true;
    } else if (name == "--version") {
        options_.version = true;
    } else if (name == "-p" || name == "--port") {
        if (!Value(name, value)) {
            return false;
        }
        const auto n = ParseCount(value, 255);
        if (!n || *n == 0) {
            return Fail("bad port number '" + value + "' (1 to 255)");
        }
        options_.comNumber = static_cast<unsigned>(*n);
    } else if (name == "--port-dir") {
        if (!Value(name, value)) {
            return false;
        }
        if (value.empty()) {
            return Fail("--port-dir needs a directory");
        }
        options_.portDir = value;
    } else if (name == "-r" || name == "--record") {
        if (!Value(name, value)) {
            return false;
        }
        const auto parts = SplitColons(value);
        if (parts.size() != 3) {
            return Fail("bad record '" + value + "': give NUMBER:VALUE:KIND, as 12345:5.56:serum");
        }
        std::string message;
        const auto fields = ParseRecordWords(parts[0], parts[1], parts[2], message);
        if (!fields) {
            return Fail("bad record '" + value + "': " + message);
        }
        ScriptCommand command;
        command.kind = ScriptCommand::Kind::Record;
        command.fields = fields;
        options_.commands.push_back(command);
    } else if (name == "-e" || name == "--exec") {
        if (!Value(name, value)) {
            return false;
        }
        std::vector<ScriptError> errors;
        auto command = ParseScriptLine(value, 0, errors);
        if (!errors.empty()) {
            return Fail("bad command '" + value + "': " + errors.front().message);
        }
        if (!command) {
            return Fail("empty command for " + name);
        }
        options_.commands.push_back(std::move(*command));
    } else if (name == "-s" || name == "--script") {
        if (!Value(name, value)) {
            return false;
        }
        if (!options_.scriptPath.empty()) {
            return Fail("only one --script");
        }
        if (value.empty()) {
            return Fail("--script needs a file");
        }
        options_.scriptPath = value;
    } else if (name == "-i" || name == "--interval") {
        if (!Value(name, value)) {
            return false;
        }
        const auto d = ParseDuration(value);
        if (!d || d->count() == 0) {
            return Fail("bad interval '" + value + "'");
        }
        options_.interval = *d;
    } else if (name == "-n" || name == "--count") {
        if (!Value(name, value)) {
            return false;
        }
        const auto n = ParseCount(value, 1'000'000'000);
        if (!n || *n == 0) {
            return Fail("bad count '" + value + "'");
        }
        options_.count = *n;
    } else if (name == "--first-number") {
        if (!Value(name, value)) {
            return false;
        }
        const auto n = ParseCount(value, 65535);
        if (!n) {
            return Fail("bad analysis number '" + value + "' (0 to 65535)");
        }
        options_.firstNumber = static_cast<std::uint16_t>(*n);
    } else if (name == "--kind") {
        if (!Value(name, value)) {
            return false;
        }
        const auto code = ParseSampleKind(value);
        if (!code || *code < 1 || *code > 3) {
            return Fail("bad kind '" + value + "' (serum, blood or urine)");
        }
        options_.kinds.push_back(static_cast<SampleKind>(*code));
    } else if (name == "--seed") {
        if (!Value(name, value)) {
            return false;
        }
        const auto n = ParseCount(value, 0xFFFFFFFFul);
        if (!n) {
            return Fail("bad seed '" + value + "'");
        }
        options_.seed = static_cast<std::uint32_t>(*n);
    } else if (name == "-b" || name == "--block") {
        if (!Value(name, value)) {
            return false;
        }
        options_.blockPath = value;
    } else if (name == "-o" || name == "--save-block") {
        if (!Value(name, value)) {
            return false;
        }
        options_.saveBlockPath = value;
    } else if (name == "--read-answer" || name == "--write-answer") {
        if (!Value(name, value)) {
            return false;
        }
        const auto byte = ParseHexByte(value);
        if (!byte) {
            return Fail("bad byte '" + value + "' for " + name + " (hex, as 06)");
        }
        (name == "--read-answer" ? options_.readAnswer : options_.writeAnswer) = *byte;
    } else if (name == "--write-timeout") {
        if (!Value(name, value)) {
            return false;
        }
        const auto d = ParseDuration(value);
        if (!d || d->count() == 0) {
            return Fail("bad timeout '" + value + "'");
        }
        options_.writeTimeout = *d;
    } else if (name == "--pace") {
        options_.pacingBaud = kAnalyserBaud;
        options_.pieces = 1;
    } else if (name == "--pace-baud") {
        if (!Value(name, value)) {
            return false;
        }
        const auto baud = ParseCount(value, 4'000'000);
        if (!baud || *baud < 50) {
            return Fail("bad rate '" + value + "' (50 to 4000000 baud)");
        }
        options_.pacingBaud = static_cast<unsigned>(*baud);
        options_.pieces = 1;
    } else if (name == "--whole") {
        options_.pacingBaud = 0;
        options_.pieces = 1;
    } else if (name == "--pieces") {
        if (!Value(name, value)) {
            return false;
        }
        const auto pieces = ParseCount(value, kMostPieces);
        if (!pieces || *pieces == 0) {
            return Fail("bad piece count '" + value + "' (1 to " + std::to_string(kMostPieces) +
                        ")");
        }
        options_.pacingBaud = 0;
        options_.pieces = *pieces;
    } else if (name == "--gap") {
        if (!Value(name, value)) {
            return false;
        }
        const auto gap = ParseDuration(value);
        if (!gap) {
            return Fail("bad gap '" + value + "'");
        }
        options_.pieceGap = *gap;
        gapGiven_ = true;
    } else if (name == "--noise") {
        if (!Value(name, value)) {
            return false;
        }
        const auto noise = ParseNoiseClass(value);
        if (!noise) {
            return Fail("unknown noise class '" + value + "'");
        }
        options_.noise = *noise;
    } else if (name == "--silent") {
        options_.silent = true;
    } else if (name == "-x" || name == "--exit-when-done") {
        options_.exitWhenDone = true;
    } else if (name == "-q" || name == "--quiet") {
        options_.quiet = true;
    } else {
        return Fail("unknown option '" + name + "'");
    }
    if (inlineValue_) {
        return Fail("option " + name + " takes no value");
    }
    return true;
}

CommandLineResult Parser::Run() {
    while (next_ < arguments_.size()) {
        std::string name = arguments_[next_++];
        if (name.rfind("--", 0) == 0) {
            if (const std::size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue_ = name.substr(eq + 1);
                name.resize(eq);
            }
        } else if (name.size() < 2 || name[0] != '-') {
            error_ = "unexpected argument '" + name + "'";
            break;
        }
        if (!Option(name)) {
            break;
        }
    }
    if (error_.empty() && options_.count && !options_.interval) {
        error_ = "--count needs --interval";
    }
    if (error_.empty() && gapGiven_ && options_.pieces < 2) {
        error_ = "--gap needs --pieces of 2 or more";
    }
    return {options_, error_};
}

} // namespace

CommandLineResult ParseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).Run();
}

std::string HelpText() {
    return R"(Usage: vorsilan-sim [OPTION]...
Plays the "Ворсилан" glucose analyser at the far end of a pseudo-terminal, which it
publishes as the serial port COMn for the workstation. It sends result records
(26 bytes: 0xAA 0x55, analysis number, BCD value, sample kind) and answers the
settings exchanges: on 0xAA 0x00 it sends one byte and its 256-byte settings block;
on 0xAA 0x01 it takes 256 bytes, answering one byte after each, and keeps them.

Records are sent in this order: --record and --exec in the order given, then the
--script, then one plausible record every --interval. Afterwards the simulator goes on
answering the settings exchanges until it is interrupted (Ctrl-C, SIGTERM), unless
--exit-when-done is given.

Line:
  -p, --port N             publish as COMn (1 to 255; default 7)
      --port-dir DIR       directory of the port links (default $VORSILAN_PORT_DIR,
                           else ~/.vorsilan/ports); the link is removed at the end
      --pace               send one byte per character time at 115200 baud 8N1
                           (about 87 us a byte), as a real line delivers them; the
                           default
      --pace-baud N        the same at N baud
      --whole              send each record (each send) in one write instead
      --pieces N           send each in N pieces (1 to 1000) as even as possible, each
                           written at once, as a USB adapter hands them over
      --gap DURATION       with --pieces: the time between pieces (default 0)
      --silent             start as an analyser that ignores every command

Records:
  -r, --record N:VALUE:KIND
                           send a record: analysis number N (0 to 65535), VALUE in
                           mmol ("5.56"), KIND serum, blood, urine or a code 0 to 255
                           (for example 12345:5.56:serum)
  -e, --exec LINE          run one script command (see below), as --exec 'noise 3'
  -s, --script FILE        run the script in FILE; '-' reads standard input
  -i, --interval DURATION  after the script, send a plausible record every DURATION
                           (serum 3.30-6.10, blood 3.30-5.50, urine 0.1-2.8 mmol;
                           analysis numbers counting up)
  -n, --count N            with --interval: stop after N records
      --first-number N     first analysis number of plausible records (default 1)
      --kind KIND          plausible records of this kind only (may be repeated;
                           default serum, blood and urine in turn)
      --seed N             seed of plausible values and noise (default: the clock)
      --noise CLASS        send every record (--record, record, bcd, random, --interval)
                           in noise of CLASS, in the same write:
                             none                   the record alone (default)
                             leading                1-40 noise bytes, then the record
                             trailing               the record, then 1-40 noise bytes
                             false-header           noise with a false 0xAA 0x55 22-24
                                                    bytes ahead of the record: the 26
                                                    bytes from it are an impossible record
                             false-header-possible  the same, but a plausible one
                             trailing-false-header  the record, then noise with a false
                                                    header and 20-23 bytes after it: an
                                                    impossible record that never ends
                             flood                  8192 noise bytes, then the record
                           Noise is never 0xAA outside a false header.

Settings block:
  -b, --block FILE         take the initial block from FILE (exactly 256 bytes);
                           default: mode 0, current 1, divider 1, codes 40/23/14/30,
                           times 32/20/32/32 s, backlight 180 s, speaker on
  -o, --save-block FILE    save the block to FILE after each write by the PC, on
                           SIGUSR1 and at exit
      --read-answer HEX    the byte sent ahead of the block in a read (default 06)
      --write-answer HEX   the answer to each byte of a write (default 06)
      --write-timeout DURATION
                           drop a write whose next byte has not come within DURATION,
                           keeping the old block (default 2s)

Other:
  -x, --exit-when-done     end once the records are sent instead of going on
  -q, --quiet              print only errors
  -h, --help               print this help and end
      --version            print the version and end

Script: one command a line; '#' starts a comment; blank lines are skipped.
DURATION is "250ms", "2s", "1.5s", "1m" or a number of seconds. VALUE and KIND as
for --record.
  record NUMBER VALUE KIND      a result record: record 12345 5.56 serum
  bcd NUMBER LOW HIGH KIND      a record with value bytes LOW, HIGH (offsets 19, 20) in
                                hex, BCD or not: bcd 7 0f 00 serum
  random [COUNT [EVERY]]        COUNT plausible records (default 1), EVERY apart (1s)
  raw HEX...                    these bytes as they are: raw aa 55 01
  noise COUNT                   COUNT random bytes, none of them 0xAA
  truncated LENGTH [NUMBER VALUE KIND]
                                only the first LENGTH (1 to 25) bytes of a record
                                (a plausible one when none is given)
  inner-header [NUMBER VALUE KIND]
                                a record with a second 0xAA 0x55 inside it
  wait DURATION                 do nothing for that long
  wait-read [TIMEOUT]           wait until the PC has read the block once more than
                                at the previous wait-read (default 60s); the script
                                fails when the time runs out
  wait-write [TIMEOUT]          the same for a write of the block
  silent [on|off]               ignore the PC's commands, or answer them again
  pace [on|off|BAUD]            line pacing at 115200 baud (as from the start), off
                                (each send in one write), or at BAUD
  pieces COUNT [GAP]            each send in COUNT pieces (1 to 1000), GAP apart
                                (default 0), unpaced
  noise-class CLASS             the records that follow in noise of CLASS, as --noise
  load FILE                     take the settings block from FILE
  save FILE                     write the settings block to FILE
  vanish                        close the line and remove the port link, as an analyser
                                that is switched off; ends the simulator
  exit                          end the simulator

Exit status: 0 when done or interrupted, 1 when the line, a file or a script command
failed, 2 for bad arguments or a bad script.
)";
}

} // namespace vorsilan::sim
