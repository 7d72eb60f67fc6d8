#include "bench/notify_latency/Placement.h"

#include <sched.h>
#include <unistd.h>

namespace apd::bench {

namespace {

// CPU `cpu`, or every CPU when cpu is negative.
void RunCallingThreadOn(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < cpus; ++i) {
        if (cpu < 0 || i == cpu) {
            CPU_SET(static_cast<int>(i), &set);
        }
    }
    ::sched_setaffinity(0, sizeof set, &set);
}

bool TwoCpus() {
    return ::sysconf(_SC_NPROCESSORS_ONLN) >= 2;
}

} // namespace

void Placement::ReceiverSide() const {
    RunCallingThreadOn(pinned_ && TwoCpus() ? 1 : -1);
}

void Placement::FarSide() const {
    RunCallingThreadOn(pinned_ && TwoCpus() ? 0 : -1);
}

} // namespace apd::bench
