#include "tools/strtable/StringTableSource.h"

#include <algorithm>
#include <charconv>

namespace strtable {

namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
    throw SourceError("line " + std::to_string(line) + ": " + what);
}

bool ParseId(std::string_view text, std::int32_t& id) {
    if (text.empty() || text.front() == '+') {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

bool Utf16FromUtf8(std::string_view utf8, std::u16string& utf16) {
    utf16.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        // Continuation bytes that follow the lead byte, and the least code point that
        // needs that many (anything smaller is an overlong form).
        std::size_t extra = 0;
        char32_t least = 0;
        char32_t c = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            least = 0x80;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            least = 0x800;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            least = 0x10000;
            c = lead & 0x07;
        } else if (lead >= 0x80) {
            return false;
        }
        if (utf8.size() - i - 1 < extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            utf16.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            utf16.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            utf16.push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return true;
}

std::vector<StringEntry> ParseStringTableSource(std::string_view source) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (source.starts_with(byteOrderMark)) {
        source.remove_prefix(byteOrderMark.size());
    }
    std::vector<StringEntry> entries;
    std::vector<std::size_t> lineOf; // source line of each entry, for the duplicate message
    std::size_t lineNumber = 0;
    while (!source.empty()) {
        ++lineNumber;
        const std::size_t end = std::min(source.find('\n'), source.size());
        const std::string_view line = source.substr(0, end);
        source.remove_prefix(std::min(end + 1, source.size()));
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            Fail(lineNumber, "expected <id><TAB><text>");
        }
        StringEntry entry{};
        if (!ParseId(line.substr(0, tab), entry.id)) {
            Fail(lineNumber, "the id is not a decimal 32-bit number");
        }
        const std::string_view text = line.substr(tab + 1);
        if (!Utf16FromUtf8(text, entry.text)) {
            Fail(lineNumber, "the text is not valid UTF-8");
        }
        if (std::any_of(text.begin(), text.end(), [](char c) {
                return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
            })) {
            Fail(lineNumber, "the text holds a control character");
        }
        entries.push_back(std::move(entry));
        lineOf.push_back(lineNumber);
    }
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].id < entries[b].id; });
    std::vector<StringEntry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && entries[order[k]].id == entries[order[k - 1]].id) {
            Fail(lineOf[order[k]], "id " + std::to_string(entries[order[k]].id) +
                                       " was already given on line " +
                                       std::to_string(lineOf[order[k - 1]]));
        }
        sorted.push_back(std::move(entries[order[k]]));
    }
    return sorted;
}

} // namespace strtable
