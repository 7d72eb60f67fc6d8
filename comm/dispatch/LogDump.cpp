#include "comm/dispatch/LogDump.h"

#include <array>
#include <optional>

namespace apd {

namespace {

constexpr std::int16_t TypeNameBase = 15001;
constexpr std::int16_t SubTypeNameBase = 15100;
constexpr std::int16_t ColumnTitlesId = 15501;
constexpr std::int16_t ColumnRulesId = 15502;
constexpr std::int16_t ModemBitNameBase = 15601;
constexpr std::int16_t TelnetOptionNameBase = 15700;
constexpr std::uint32_t LastTelnetOption = 42;

constexpr std::uint8_t TypeTrigAlloc = 5;
constexpr std::uint8_t TypeTrigDispose = 6;
constexpr std::uint8_t TypeTelnet = 10;
constexpr std::uint8_t TypeUser = 19;
constexpr std::uint8_t SubTypeModemStatus = 4;
constexpr std::uint8_t SubTypeStatusTrigger = 15;

// The column of the first data character, counted so that a data line ends by column 78.
constexpr unsigned FirstDataColumn = LogPrefixWidth + 1;

constexpr std::string_view StatusTriggerTexts[] = {
    "(Not active)",         "(Modem status)",       "(Line status)",
    "(Output buffer free)", "(Output buffer used)", "(Output sent)",
};

// Type and subtype names are looked up once per dump, not once per entry.
class LabelCache {
public:
    explicit LabelCache(const LogLabelLookup& lookup) : lookup_(lookup) {}

    const std::string& TypeName(std::uint8_t type) {
        return Cached(types_[type], static_cast<std::int16_t>(TypeNameBase + type));
    }
    const std::string& SubTypeName(std::uint8_t subType) {
        if (subType == 0) {
            return empty_;
        }
        return Cached(subTypes_[subType], static_cast<std::int16_t>(SubTypeNameBase + subType));
    }
    std::string Text(std::int16_t id) const { return lookup_(id); }

private:
    const std::string& Cached(std::optional<std::string>& slot, std::int16_t id) {
        if (!slot) {
            slot = lookup_(id);
        }
        return *slot;
    }

    const LogLabelLookup& lookup_;
    std::array<std::optional<std::string>, 256> types_;
    std::array<std::optional<std::string>, 256> subTypes_;
    const std::string empty_;
};

void AppendPadded(std::string& line, std::string_view text, std::size_t width, bool right) {
    const std::size_t fill = text.size() < width ? width - text.size() : 0;
    if (right) {
        line.append(fill, ' ');
    }
    line.append(text);
    if (!right) {
        line.append(fill, ' ');
    }
}

void AppendHex8(std::string& line, std::uint32_t value) {
    constexpr char digits[] = "0123456789ABCDEF";
    for (int shift = 28; shift >= 0; shift -= 4) {
        line.push_back(digits[(value >> shift) & 15]);
    }
}

std::string ModemStatusText(std::uint32_t bits, LabelCache& labels) {
    std::string text = "(";
    for (int bit = 0; bit < 8; ++bit) {
        if (bits & (1u << bit)) {
            text += labels.Text(static_cast<std::int16_t>(ModemBitNameBase + bit));
        }
    }
    if (text.size() > 1 && text.back() == ' ') {
        text.pop_back();
    }
    text += ')';
    return text;
}

void WriteDataPart(const LogEntryHeader& entry, const std::uint8_t* data, bool inHex, bool allHex,
                   std::string& line, DumpLineWriter& out) {
    const bool plain = allHex && entry.Type == TypeUser;
    unsigned column = FirstDataColumn;
    for (std::uint32_t i = 0; i < entry.Length; ++i) {
        const RenderedByte item = plain ? PlainByte(data[i]) : RenderByte(data[i], inHex, allHex);
        column += item.Width;
        if (column > LogLineLimit) {
            out.Write(line);
            out.EndLine();
            line.assign(LogPrefixWidth, ' ');
            column = item.Width + FirstDataColumn;
        }
        line.append(item.View());
    }
}

} // namespace

std::string LogTimeText(std::uint32_t ms) {
    // At least seven digits, zero-padded, with the point before the last three.
    char digits[10];
    int count = 0;
    for (std::uint32_t rest = ms; rest != 0 || count < 7; rest /= 10) {
        digits[count++] = static_cast<char>('0' + rest % 10);
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(count) + 1);
    for (int i = count - 1; i >= 0; --i) {
        text.push_back(digits[i]);
        if (i == 3) {
            text.push_back('.');
        }
    }
    return text;
}

void WriteLogText(DispatchLogRing& log, bool inHex, bool allHex, std::string_view osVersion,
                  const LogLabelLookup& labels, DumpLineWriter& out) {
    LabelCache names(labels);
    out.Write("ZURI v3.02");
    out.EndLine();
    out.Write("Compiler : Unknown");
    out.EndLine();
    out.Write("Operating System : ");
    out.Write(osVersion.substr(0, LogOsTextLimit));
    out.EndLine();
    out.Write(names.Text(ColumnTitlesId));
    out.EndLine();
    out.Write(names.Text(ColumnRulesId));
    out.EndLine();

    std::string line;
    line.reserve(256);
    LogEntryHeader entry;
    while (log.Take(entry)) {
        line.clear();
        AppendPadded(line, LogTimeText(entry.Time), 8, true);
        line.append(2, ' ');
        AppendPadded(line, names.TypeName(entry.Type), 8, false);
        line.append(2, ' ');
        AppendPadded(line, names.SubTypeName(entry.SubType), 12, false);
        line.append(2, ' ');
        AppendHex8(line, entry.Data);
        line.append(2, ' ');

        const std::uint8_t* data = log.Scratch();
        if (entry.Length == 0) {
            if (entry.Type == TypeTelnet) {
                line += '[';
                if (entry.Data <= LastTelnetOption) {
                    line +=
                        names.Text(static_cast<std::int16_t>(TelnetOptionNameBase + entry.Data));
                }
                line += ']';
            }
        } else if (entry.SubType == SubTypeStatusTrigger &&
                   (entry.Type == TypeTrigAlloc || entry.Type == TypeTrigDispose)) {
            if (data[0] < std::size(StatusTriggerTexts)) {
                line += StatusTriggerTexts[data[0]];
            }
        } else {
            WriteDataPart(entry, data, inHex, allHex, line, out);
            if (entry.SubType == SubTypeModemStatus) {
                line += ModemStatusText(entry.Data, names);
            }
        }
        out.Write(line);
        out.EndLine();
    }
}

} // namespace apd
