#pragma once
// The POSIX-only counter of the notification benchmark; Measure.h stays portable, since the
// Windows build of the benchmark shares it.

#include <sys/resource.h>

namespace apd::bench {

// The times a thread of this process went to sleep so far: each is one wake-up later, the
// cost that the machine's load does not blur.
inline long VoluntarySwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

} // namespace apd::bench
