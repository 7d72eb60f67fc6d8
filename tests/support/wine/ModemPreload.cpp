// A preload library for the Wine process of the Windows tests: pseudo-terminals have no
// modem lines and refuse every modem-line request with ENOTTY, while Wine's serial code
// needs them for WaitCommEvent with modem events in the mask, EscapeCommFunction and
// GetCommModemStatus. This library answers those requests on /dev/pts/N devices only
// (every other descriptor, and every request the driver accepts, goes through as it is):
//
//   TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC  the lines; DTR and RTS as the device side set
//                                          them, CTS, DSR, DCD and RI as the far end did
//   TIOCGICOUNT                            counters, all 0 (see Answer)
//   TIOCMIWAIT                             waits for a transition of the lines asked for
//
// The far end's record is the shared file "$APD_MODEM_DIR/pts<N>" (ModemState.h) that the
// line broker makes with the pair; without one the lines live in this process, with CTS,
// DSR and DCD on, as a connected analyser would hold them.
//
// The library is loaded into every process Wine starts, so it keeps to the C library.

#include "tests/support/wine/ModemState.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

namespace {

using apd::test::wine::ModemState;
using apd::test::wine::ModemStateMagic;

using IoctlFunction = int (*)(int, unsigned long, ...);

constexpr unsigned PtsMajorFirst = 136; // Unix98 pty slaves use majors 136 to 143
constexpr unsigned PtsMajorLast = 143;
constexpr int MaxLines = 64;

struct Entry {
    dev_t device = 0;
    ModemState* state = nullptr;
    ino_t record = 0; // the shared record's file; 0 for lines of this process
};

// The lines of the pseudo-terminals this process has asked about, by device number. A
// device number comes back with the next pair on the same /dev/pts/N, so each request
// looks for that device's record again: a record that appeared, or another file of the
// same name, replaces what the entry held. Mappings stay for the process's life, since
// another thread may still be answering from one.
pthread_mutex_t tableLock = PTHREAD_MUTEX_INITIALIZER;
Entry table[MaxLines];
ModemState ownStates[MaxLines];
int used = 0;

IoctlFunction RealIoctl() {
    static IoctlFunction real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

bool IsModemRequest(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
           request == TIOCMBIC || request == TIOCGICOUNT || request == TIOCMIWAIT;
}

bool RecordPath(dev_t device, char* path, std::size_t size) {
    const char* dir = getenv(apd::test::wine::ModemDirVariable);
    if (dir == nullptr || *dir == '\0') {
        return false;
    }
    snprintf(path, size, "%s/pts%u", dir, minor(device) + (major(device) - PtsMajorFirst) * 256);
    return true;
}

ModemState* MapShared(const char* path) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    void* at = mmap(nullptr, sizeof(ModemState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (at == MAP_FAILED) {
        return nullptr;
    }
    auto* state = static_cast<ModemState*>(at);
    if (__atomic_load_n(&state->magic, __ATOMIC_ACQUIRE) != ModemStateMagic) {
        munmap(at, sizeof(ModemState));
        return nullptr;
    }
    return state;
}

// The record of the pseudo-terminal behind fd; null for any other descriptor.
ModemState* StateFor(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || major(info.st_rdev) < PtsMajorFirst ||
        major(info.st_rdev) > PtsMajorLast) {
        return nullptr;
    }
    char path[512];
    struct stat file {};
    const bool shared = RecordPath(info.st_rdev, path, sizeof path) && stat(path, &file) == 0;
    pthread_mutex_lock(&tableLock);
    Entry* entry = nullptr;
    for (int i = 0; i < used && entry == nullptr; ++i) {
        if (table[i].device == info.st_rdev) {
            entry = &table[i];
        }
    }
    if (entry == nullptr && used < MaxLines) {
        entry = &table[used];
        *entry = Entry{info.st_rdev, &ownStates[used], 0};
        ownStates[used].magic = ModemStateMagic;
        ownStates[used].lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        ++used;
    }
    ModemState* found = nullptr;
    if (entry != nullptr) {
        if (shared && entry->record != file.st_ino) {
            if (ModemState* mapped = MapShared(path)) {
                entry->state = mapped;
                entry->record = file.st_ino;
            }
        } else if (!shared && entry->record != 0) {
            // The record went with its pair: the lines are this process's again.
            ModemState& own = ownStates[entry - table];
            own.lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            entry->state = &own;
            entry->record = 0;
        }
        found = entry->state;
    }
    pthread_mutex_unlock(&tableLock);
    return found;
}

unsigned Load(const unsigned& field) {
    return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}

void SetOutputLines(ModemState& state, unsigned set, unsigned clear) {
    constexpr unsigned outputs = TIOCM_DTR | TIOCM_RTS;
    unsigned before = Load(state.lines);
    unsigned after = 0;
    do {
        after = (before & ~(clear & outputs)) | (set & outputs);
    } while (!__atomic_compare_exchange_n(&state.lines, &before, after, false, __ATOMIC_ACQ_REL,
                                          __ATOMIC_ACQUIRE));
}

unsigned CountsOf(const ModemState& state, unsigned mask) {
    unsigned sum = 0;
    sum += (mask & TIOCM_CTS) != 0 ? Load(state.cts) : 0;
    sum += (mask & TIOCM_DSR) != 0 ? Load(state.dsr) * 0x100 : 0;
    sum += (mask & TIOCM_RNG) != 0 ? Load(state.rng) * 0x10000 : 0;
    sum += (mask & TIOCM_CAR) != 0 ? Load(state.dcd) * 0x1000000 : 0;
    return sum;
}

// Waits for a transition of a line in `mask`, as the driver's request does; ends with EIO
// when the far end goes away meanwhile. The record has no way to wake a waiter, so the
// wait looks every millisecond.
int WaitForTransition(int fd, ModemState& state, unsigned mask) {
    const unsigned start = CountsOf(state, mask);
    for (;;) {
        if (CountsOf(state, mask) != start) {
            return 0;
        }
        pollfd p{fd, 0, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            return -1;
        }
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
}

int Answer(int fd, ModemState& state, unsigned long request, void* arg) {
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(arg) = static_cast<int>(Load(state.lines));
        return 0;
    case TIOCMSET: {
        const unsigned wanted = static_cast<unsigned>(*static_cast<int*>(arg));
        SetOutputLines(state, wanted, ~wanted);
        return 0;
    }
    case TIOCMBIS:
        SetOutputLines(state, static_cast<unsigned>(*static_cast<int*>(arg)), 0);
        return 0;
    case TIOCMBIC:
        SetOutputLines(state, 0, static_cast<unsigned>(*static_cast<int*>(arg)));
        return 0;
    case TIOCGICOUNT: {
        // All counters stay 0, the line transitions included: Wine 8 finds modem-line
        // changes by comparing TIOCMGET levels, and a pending WaitCommEvent that sees a
        // transition count move as well never completes. A pulse shorter than Wine's
        // polling interval (about a millisecond) is therefore not reported.
        const serial_icounter_struct counts{};
        memcpy(arg, &counts, sizeof counts);
        return 0;
    }
    case TIOCMIWAIT:
        return WaitForTransition(fd, state,
                                 static_cast<unsigned>(reinterpret_cast<unsigned long>(arg)));
    default:
        errno = ENOTTY;
        return -1;
    }
}

// APD_MODEM_LOG set: every request on a pseudo-terminal is written to the standard error
// stream with the driver's answer, to see what a Wine version asks of the device.
bool Logging() {
    static const bool on = getenv("APD_MODEM_LOG") != nullptr;
    return on;
}

void Log(int fd, unsigned long request, int rc) {
    const int error = errno;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= PtsMajorFirst &&
        major(info.st_rdev) <= PtsMajorLast) {
        fprintf(stderr, "modem preload: fd %d request 0x%lx driver %d errno %d\n", fd, request, rc,
                rc == 0 ? 0 : error);
    }
    errno = error;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const IoctlFunction real = RealIoctl();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    const int rc = real(fd, request, arg);
    if (Logging()) {
        Log(fd, request, rc);
    }
    if (rc == 0 || !IsModemRequest(request) || (errno != ENOTTY && errno != EINVAL)) {
        return rc;
    }
    const int refused = errno;
    ModemState* state = StateFor(fd);
    if (state == nullptr) {
        errno = refused;
        return rc;
    }
    return Answer(fd, *state, request, arg);
}
