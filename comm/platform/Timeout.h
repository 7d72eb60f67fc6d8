#pragma once
// Time limits of the waits in this layer, in milliseconds.

namespace apd::platform {

// A time limit that never passes.
inline constexpr unsigned InfiniteTimeout = 0xFFFFFFFFu;

} // namespace apd::platform
