#include "tests/support/wine/ModemState.h"

#include <sys/ioctl.h>

namespace apd::test::wine {

void SetInputLines(ModemState& state, std::uint32_t wanted) {
    constexpr std::uint32_t inputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
    std::uint32_t before = __atomic_load_n(&state.lines, __ATOMIC_ACQUIRE);
    std::uint32_t after = 0;
    do {
        after = (before & ~inputs) | (wanted & inputs);
    } while (!__atomic_compare_exchange_n(&state.lines, &before, after, false, __ATOMIC_ACQ_REL,
                                          __ATOMIC_ACQUIRE));
    const std::uint32_t changed = before ^ after;
    // The counts move after the lines, so that a reader that sees a new count also sees
    // the new level.
    if ((changed & TIOCM_CTS) != 0) {
        __atomic_add_fetch(&state.cts, 1, __ATOMIC_RELEASE);
    }
    if ((changed & TIOCM_DSR) != 0) {
        __atomic_add_fetch(&state.dsr, 1, __ATOMIC_RELEASE);
    }
    if ((changed & TIOCM_RNG) != 0) {
        __atomic_add_fetch(&state.rng, 1, __ATOMIC_RELEASE);
    }
    if ((changed & TIOCM_CAR) != 0) {
        __atomic_add_fetch(&state.dcd, 1, __ATOMIC_RELEASE);
    }
}

} // namespace apd::test::wine
