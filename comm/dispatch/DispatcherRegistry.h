#pragma once
// The process-wide registry of dispatchers. A dispatcher occupies one entry from its
// construction to its destruction; the entry's index is its DispatcherHandle, which
// notifications carry so that a receiver can find the dispatcher again. Empty entries are
// null.

#include <cstdint>
#include <mutex>
#include <vector>

namespace apd {

class TApdBaseDispatcher;

// Guards the registry. The port component's window procedure holds it for the whole
// handling of one notification; creating or destroying a dispatcher takes it.
std::recursive_mutex& RegistryLock();

// The registry itself; use it only while holding RegistryLock.
std::vector<TApdBaseDispatcher*>& DispatcherRegistry();

// The dispatcher of a handle, or null when the handle is past the end or names an empty
// entry. RegistryLock must be held for as long as the result is used.
TApdBaseDispatcher* RegisteredDispatcher(std::int32_t handle);

// Stores the dispatcher in the first empty entry, or appends it; returns its index.
std::int32_t RegisterDispatcher(TApdBaseDispatcher* dispatcher);

// Empties the dispatcher's entry and drops empty entries from the end.
void UnregisterDispatcher(std::int32_t handle);

} // namespace apd
