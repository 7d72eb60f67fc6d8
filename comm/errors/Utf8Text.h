#pragma once
// UTF-8 helpers that do not depend on the platform.

#include <cstddef>
#include <span>
#include <string>

namespace apd {

// Converts UTF-16LE text (two bytes per code unit) to UTF-8. A surrogate pair becomes one
// four-byte character; an unpaired surrogate becomes U+FFFD. A trailing odd byte is ignored.
std::string Utf8FromUtf16Le(std::span<const std::byte> utf16le);

// Shortens UTF-8 text to at most maxBytes bytes without splitting a character.
void CutUtf8Text(std::string& text, std::size_t maxBytes);

} // namespace apd
