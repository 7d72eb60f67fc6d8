#pragma once
// The C++ source file that embeds a string table in the program.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace strtable {

// Whether name can be used as the C++ function name: a letter or '_', then letters,
// digits or '_'.
bool IsIdentifier(std::string_view name);

// A source file defining apd::<functionName>(), which returns the table as
// std::span<const std::byte>. sourceName only goes into the file's heading comment.
std::string GenerateTableSource(std::span<const std::byte> table, std::string_view functionName,
                                std::string_view sourceName);

} // namespace strtable
