#include "comm/errors/IntegerConversion.h"

#include <charconv>
#include <string>

namespace apd {

std::int32_t StrToInt(std::string_view text) {
    // from_chars takes a leading '-' but no '+'; a '+' followed by another sign stays
    // invalid because from_chars then sees that sign.
    std::string_view digits = text;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('-')) {
            digits = {};
        }
    }
    std::int32_t value = 0;
    if (!digits.empty()) {
        const char* const end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, value, 10);
        if (error == std::errc() && stop == end) {
            return value;
        }
    }
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace apd
