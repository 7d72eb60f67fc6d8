#include "tools/strtable/StringTableLayout.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace strtable {

namespace {

void PutUint32(std::vector<std::byte>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::byte>((value >> shift) & 0xFF));
    }
}

} // namespace

std::vector<std::byte> BuildStringTable(const std::vector<StringEntry>& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i - 1].id >= entries[i].id) {
            throw std::invalid_argument("string table entries must ascend strictly by id");
        }
    }
    std::uint64_t size = 8 + 12 * std::uint64_t{entries.size()};
    for (const StringEntry& entry : entries) {
        size += 2 * std::uint64_t{entry.text.size()};
    }
    if (size > std::numeric_limits<std::uint32_t>::max() ||
        entries.size() > std::size_t{std::numeric_limits<std::int32_t>::max()}) {
        throw std::length_error("the string table does not fit 32-bit offsets");
    }
    std::vector<std::byte> out;
    out.reserve(static_cast<std::size_t>(size));
    for (const char c : {'S', 'T', 'R', '0'}) {
        out.push_back(static_cast<std::byte>(c));
    }
    PutUint32(out, static_cast<std::uint32_t>(entries.size()));
    auto offset = static_cast<std::uint32_t>(8 + 12 * entries.size());
    for (const StringEntry& entry : entries) {
        PutUint32(out, static_cast<std::uint32_t>(entry.id));
        PutUint32(out, offset);
        PutUint32(out, static_cast<std::uint32_t>(entry.text.size()));
        offset += static_cast<std::uint32_t>(2 * entry.text.size());
    }
    for (const StringEntry& entry : entries) {
        for (const char16_t unit : entry.text) {
            out.push_back(static_cast<std::byte>(unit & 0xFF));
            out.push_back(static_cast<std::byte>(unit >> 8));
        }
    }
    return out;
}

} // namespace strtable
