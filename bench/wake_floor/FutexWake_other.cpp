#include "bench/wake_floor/FutexWake.h"

namespace apd::bench {

bool FutexAvailable() {
    return false;
}

void FutexWait(std::atomic<std::uint32_t>&, std::uint32_t) {}

void FutexWakeOne(std::atomic<std::uint32_t>&) {}

} // namespace apd::bench
