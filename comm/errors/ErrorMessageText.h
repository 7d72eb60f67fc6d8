#pragma once
// Message texts for error codes and the dispatch log's labels, from the error string table
// "ZURI_ERROR_STRINGS_ENGLISH", with the operating system's messages as the fallback.

#include "comm/errors/StringResource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace apd {

// The longest text ErrorMessageText gives, in bytes.
inline constexpr std::size_t MaxMessageTextLength = 255;

// The message for the id |code|: the error table's text; when the table has no text for
// it, the operating system's message for that id cleaned by CleanSystemMessage; otherwise
// empty. Never longer than MaxMessageTextLength bytes. Thread-safe.
std::string ErrorMessageText(std::int16_t code);

// The operating system's message for its error number `number` (as SystemErrorCode
// carries it), cleaned by CleanSystemMessage, at most MaxMessageTextLength bytes; when the
// system has no message for it, "Operating-system error <number>". Thread-safe.
std::string SystemErrorMessageText(int number);

// Replaces every character below 32 by a space, then collapses each run of spaces into one.
std::string CleanSystemMessage(std::string_view message);

// The process-wide reader over "ZURI_ERROR_STRINGS_ENGLISH", opened on first use.
const TAdStringResource& ErrorStrings();

} // namespace apd
