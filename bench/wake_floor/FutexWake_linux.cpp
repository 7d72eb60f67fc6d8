#include "bench/wake_floor/FutexWake.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace apd::bench {

namespace {
long Futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value) {
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op | FUTEX_PRIVATE_FLAG,
                     value, nullptr, nullptr, 0);
}
} // namespace

bool FutexAvailable() {
    return true;
}

void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t seen) {
    while (word.load(std::memory_order_acquire) == seen) {
        Futex(word, FUTEX_WAIT, seen);
    }
}

void FutexWakeOne(std::atomic<std::uint32_t>& word) {
    Futex(word, FUTEX_WAKE, 1);
}

} // namespace apd::bench
