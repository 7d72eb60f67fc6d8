#pragma once
// The operating system's own message texts.

#include <cstdint>
#include <string>

namespace apd {

// The operating system's message for the given error number, as it gives it (line breaks
// and all), in the platform's narrow encoding; empty when it has no message for it.
// Thread-safe.
std::string SystemMessageText(std::uint32_t id);

} // namespace apd
