#pragma once
// Text in the platform's narrow encoding, the one std::string carries through the
// library: UTF-8 on POSIX, the ANSI code page on Windows.

#include <cstddef>
#include <span>
#include <string>

namespace apd {

// Converts UTF-16LE text (two bytes per code unit, no terminator) to the narrow encoding.
// Characters the encoding cannot hold, and unpaired surrogates, come out as the
// encoding's replacement character.
std::string NarrowFromUtf16Le(std::span<const std::byte> utf16le);

// Shortens text to at most maxBytes bytes, never leaving a partial character behind.
void CutNarrowText(std::string& text, std::size_t maxBytes);

} // namespace apd
