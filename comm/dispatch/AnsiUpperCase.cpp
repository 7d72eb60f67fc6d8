#include "comm/dispatch/AnsiUpperCase.h"

#include <array>

namespace apd {

namespace {

constexpr std::array<std::uint8_t, 256> MakeUpperTable() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<std::uint8_t>(i);
    }
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        table[c] = static_cast<std::uint8_t>(c - 0x20);
    }
    // Windows-1251: а..я (0xE0..0xFF) to А..Я (0xC0..0xDF), and the letters outside that
    // block, lower case to upper case.
    for (unsigned c = 0xE0; c <= 0xFF; ++c) {
        table[c] = static_cast<std::uint8_t>(c - 0x20);
    }
    constexpr std::uint8_t pairs[][2] = {
        {0x90, 0x80}, // ђ Ђ
        {0x83, 0x81}, // ѓ Ѓ
        {0x9A, 0x8A}, // љ Љ
        {0x9C, 0x8C}, // њ Њ
        {0x9D, 0x8D}, // ќ Ќ
        {0x9E, 0x8E}, // ћ Ћ
        {0x9F, 0x8F}, // џ Џ
        {0xA2, 0xA1}, // ў Ў
        {0xBC, 0xA3}, // ј Ј
        {0xB4, 0xA5}, // ґ Ґ
        {0xB8, 0xA8}, // ё Ё
        {0xBA, 0xAA}, // є Є
        {0xBF, 0xAF}, // ї Ї
        {0xB3, 0xB2}, // і І
        {0xBE, 0xBD}, // ѕ Ѕ
    };
    for (const auto& pair : pairs) {
        table[pair[0]] = pair[1];
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> upperTable = MakeUpperTable();

} // namespace

std::uint8_t AnsiUpperChar(std::uint8_t c) {
    return upperTable[c];
}

} // namespace apd
