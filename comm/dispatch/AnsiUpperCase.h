#pragma once
// Upper-casing of single bytes in the program's 8-bit character set, Windows-1251:
// Latin a-z and the Cyrillic letters; every other byte is left as it is.

#include <cstdint>

namespace apd {

std::uint8_t AnsiUpperChar(std::uint8_t c);

} // namespace apd
