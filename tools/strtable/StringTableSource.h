#pragma once
// The readable source of a string table: one entry per line, "<id><TAB><text>", the text
// taken verbatim up to the end of the line. Lines that start with '#' and empty lines are
// ignored. The file is UTF-8 with LF line ends.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace strtable {

struct StringEntry {
    std::int32_t id;
    std::u16string text;
};

// A source that cannot be turned into a table; the message names the line.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entries of source sorted by id. Raises SourceError for a line without a TAB, an id
// that is not a decimal 32-bit number, an id given twice, text that is not valid UTF-8, or
// a control character other than TAB in a text (a CR, for instance, from CR LF line ends).
std::vector<StringEntry> ParseStringTableSource(std::string_view source);

// Decodes UTF-8 text to UTF-16; false when it is not valid UTF-8 (overlong forms,
// surrogates, code points above U+10FFFF and truncated sequences are invalid).
bool Utf16FromUtf8(std::string_view utf8, std::u16string& utf16);

} // namespace strtable
