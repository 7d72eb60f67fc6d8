#include "tools/simulator/Script.h"

#include "tools/simulator/ArgumentText.h"
#include "tools/simulator/LineDelivery.h"

namespace vorsilan::sim {
namespace {

constexpr auto kDefaultExchangeTimeout = std::chrono::seconds(60);
constexpr auto kDefaultRandomInterval = std::chrono::seconds(1);
constexpr std::size_t kLargestNoise = 1 << 20;
constexpr unsigned long kLargestRandomCount = 1'000'000;

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) {
            ++i;
        }
        if (i >= text.size() || text[i] == '#') {
            break;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' &&
               text[i] != '#') {
            ++i;
        }
        words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<std::uint16_t> ParseNumber(std::string_view text) {
    const auto n = ParseCount(text, 65535);
    if (!n) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*n);
}

// What one command's words mean; the message explains a refusal.
class LineParser {
public:
    LineParser(std::vector<std::string_view> words, std::size_t line) : words_(std::move(words)) {
        command_.line = line;
    }

    std::optional<ScriptCommand> Parse(std::string& message);

private:
    bool Arity(std::size_t least, std::size_t most, std::string& message) const {
        const std::size_t given = words_.size() - 1;
        if (given < least || given > most) {
            message = std::string(words_[0]) + " takes " +
                      (least == most ? std::to_string(least)
                                     : std::to_string(least) + " to " + std::to_string(most)) +
                      (most == 1 ? " argument" : " arguments") + ", not " + std::to_string(given);
            return false;
        }
        return true;
    }
    bool OptionalRecord(std::size_t from, std::string& message) {
        if (words_.size() == from) {
            return true;
        }
        if (words_.size() != from + 3) {
            message = std::string(words_[0]) + ": a record is NUMBER VALUE KIND";
            return false;
        }
        command_.fields =
            ParseRecordWords(words_[from], words_[from + 1], words_[from + 2], message);
        return command_.fields.has_value();
    }
    bool TimeoutArgument(std::string& message) {
        command_.duration = kDefaultExchangeTimeout;
        if (words_.size() == 2) {
            const auto d = ParseDuration(words_[1]);
            if (!d) {
                message = "bad timeout '" + std::string(words_[1]) + "'";
                return false;
            }
            command_.duration = *d;
        }
        return true;
    }

    std::vector<std::string_view> words_;
    ScriptCommand command_;
};

std::optional<ScriptCommand> LineParser::Parse(std::string& message) {
    using Kind = ScriptCommand::Kind;
    const std::string_view name = words_[0];
    if (name == "record") {
        if (!Arity(3, 3, message)) {
            return std::nullopt;
        }
        command_.kind = Kind::Record;
        command_.fields = ParseRecordWords(words_[1], words_[2], words_[3], message);
        if (!command_.fields) {
            return std::nullopt;
        }
    } else if (name == "bcd") {
        if (!Arity(4, 4, message)) {
            return std::nullopt;
        }
        const auto number = ParseNumber(words_[1]);
        const auto low = ParseHexByte(words_[2]);
        const auto high = ParseHexByte(words_[3]);
        const auto kind = ParseSampleKind(words_[4]);
        if (!number || !low || !high || !kind) {
            message = !number ? "bad analysis number '" + std::string(words_[1]) + "'"
                      : !kind ? "bad sample kind '" + std::string(words_[4]) + "'"
                              : "value bytes are two hex bytes, as 0f 00";
            return std::nullopt;
        }
        command_.kind = Kind::Record;
        command_.fields = RawResultFields{*number, *low, *high, *kind, 0};
    } else if (name == "random") {
        if (!Arity(0, 2, message)) {
            return std::nullopt;
        }
        command_.kind = Kind::Random;
        command_.count = 1;
        command_.duration = kDefaultRandomInterval;
        if (words_.size() >= 2) {
            const auto count = ParseCount(words_[1], kLargestRandomCount);
            if (!count || *count == 0) {
                message = "bad record count '" + std::string(words_[1]) + "'";
                return std::nullopt;
            }
            command_.count = *count;
        }
        if (words_.size() == 3) {
            const auto every = ParseDuration(words_[2]);
            if (!every) {
                message = "bad interval '" + std::string(words_[2]) + "'";
                return std::nullopt;
            }
            command_.duration = *every;
        }
    } else if (name == "raw") {
        if (words_.size() < 2) {
            message = "raw takes at least one byte";
            return std::nullopt;
        }
        command_.kind = Kind::Raw;
        for (std::size_t i = 1; i < words_.size(); ++i) {
            const auto byte = ParseHexByte(words_[i]);
            if (!byte) {
                message = "bad hex byte '" + std::string(words_[i]) + "'";
                return std::nullopt;
            }
            command_.bytes.push_back(*byte);
        }
    } else if (name == "noise") {
        if (!Arity(1, 1, message)) {
            return std::nullopt;
        }
        const auto count = ParseCount(words_[1], kLargestNoise);
        if (!count || *count == 0) {
            message = "bad byte count '" + std::string(words_[1]) + "'";
            return std::nullopt;
        }
        command_.kind = Kind::Noise;
        command_.count = *count;
    } else if (name == "truncated") {
        if (words_.size() < 2) {
            message = "truncated takes LENGTH [NUMBER VALUE KIND]";
            return std::nullopt;
        }
        const auto length = ParseCount(words_[1], kResultRecordSize - 1);
        if (!length || *length == 0) {
            message = "a truncated record has 1 to 25 bytes, not '" + std::string(words_[1]) + "'";
            return std::nullopt;
        }
        command_.kind = Kind::Truncated;
        command_.count = *length;
        if (!OptionalRecord(2, message)) {
            return std::nullopt;
        }
    } else if (name == "inner-header") {
        command_.kind = Kind::InnerHeader;
        if (!OptionalRecord(1, message)) {
            return std::nullopt;
        }
    } else if (name == "wait") {
        if (!Arity(1, 1, message)) {
            return std::nullopt;
        }
        const auto d = ParseDuration(words_[1]);
        if (!d) {
            message = "bad duration '" + std::string(words_[1]) + "'";
            return std::nullopt;
        }
        command_.kind = Kind::Wait;
        command_.duration = *d;
    } else if (name == "wait-read" || name == "wait-write") {
        if (!Arity(0, 1, message) || !TimeoutArgument(message)) {
            return std::nullopt;
        }
        command_.kind = name == "wait-read" ? Kind::WaitRead : Kind::WaitWrite;
    } else if (name == "silent") {
        if (!Arity(0, 1, message)) {
            return std::nullopt;
        }
        command_.kind = Kind::Silent;
        if (words_.size() == 2) {
            if (words_[1] != "on" && words_[1] != "off") {
                message = "silent takes on or off";
                return std::nullopt;
            }
            command_.on = words_[1] == "on";
        }
    } else if (name == "pace") {
        if (!Arity(0, 1, message)) {
            return std::nullopt;
        }
        command_.kind = Kind::Pace;
        command_.baud = kAnalyserBaud;
        if (words_.size() == 2 && words_[1] == "off") {
            command_.baud = 0;
        } else if (words_.size() == 2 && words_[1] != "on") {
            const auto baud = ParseCount(words_[1], 4'000'000);
            if (!baud || *baud < 50) {
                message = "pace takes on, off or a rate of 50 to 4000000 baud";
                return std::nullopt;
            }
            command_.baud = static_cast<unsigned>(*baud);
        }
    } else if (name == "pieces") {
        if (!Arity(1, 2, message)) {
            return std::nullopt;
        }
        const auto count = ParseCount(words_[1], kMostPieces);
        if (!count || *count == 0) {
            message = "pieces takes a count of 1 to " + std::to_string(kMostPieces) + ", not '" +
                      std::string(words_[1]) + "'";
            return std::nullopt;
        }
        command_.kind = Kind::Pieces;
        command_.count = *count;
        if (words_.size() == 3) {
            const auto gap = ParseDuration(words_[2]);
            if (!gap) {
                message = "bad gap '" + std::string(words_[2]) + "'";
                return std::nullopt;
            }
            command_.duration = *gap;
        }
    } else if (name == "noise-class") {
        if (!Arity(1, 1, message)) {
            return std::nullopt;
        }
        const auto noise = ParseNoiseClass(words_[1]);
        if (!noise) {
            message = "unknown noise class '" + std::string(words_[1]) + "'";
            return std::nullopt;
        }
        command_.kind = Kind::RecordNoise;
        command_.noise = *noise;
    } else if (name == "load" || name == "save") {
        if (!Arity(1, 1, message)) {
            return std::nullopt;
        }
        command_.kind = name == "load" ? Kind::LoadBlock : Kind::SaveBlock;
        command_.path = std::string(words_[1]);
    } else if (name == "vanish" || name == "exit") {
        if (!Arity(0, 0, message)) {
            return std::nullopt;
        }
        command_.kind = name == "vanish" ? Kind::Vanish : Kind::Exit;
    } else {
        message = "unknown command '" + std::string(name) + "'";
        return std::nullopt;
    }
    return command_;
}

} // namespace

std::optional<RawResultFields> ParseRecordWords(std::string_view number, std::string_view value,
                                                std::string_view kind, std::string& message) {
    const auto analysis = ParseNumber(number);
    if (!analysis) {
        message = "bad analysis number '" + std::string(number) + "' (0 to 65535)";
        return std::nullopt;
    }
    const auto code = ParseSampleKind(kind);
    if (!code) {
        message =
            "bad sample kind '" + std::string(kind) + "' (serum, blood, urine or a code 0 to 255)";
        return std::nullopt;
    }
    const auto units = ParseMeasuredValue(value, *code);
    if (!units) {
        message = "bad value '" + std::string(value) + "' for " + SampleKindName(*code) +
                  " (mmol, up to " + std::to_string(DecimalsOf(*code)) + " decimals, at most " +
                  FormatMeasuredValue(kLargestValue, *code) + ")";
        return std::nullopt;
    }
    return RawResultFields{*analysis, PackedBcd(*units % 100), PackedBcd(*units / 100), *code, 0};
}

std::optional<ScriptCommand> ParseScriptLine(std::string_view text, std::size_t lineNumber,
                                             std::vector<ScriptError>& errors) {
    std::vector<std::string_view> words = Words(text);
    if (words.empty()) {
        return std::nullopt;
    }
    std::string message;
    LineParser parser(std::move(words), lineNumber);
    auto command = parser.Parse(message);
    if (!command) {
        errors.push_back({lineNumber, message});
    }
    return command;
}

ParsedScript ParseScript(std::string_view text) {
    ParsedScript script;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (auto command = ParseScriptLine(line, lineNumber, script.errors)) {
            script.commands.push_back(std::move(*command));
        }
    }
    return script;
}

} // namespace vorsilan::sim
