#pragma once
// A descriptor that can be made readable from any thread, to end a poll() that waits on a
// device together with it (an eventfd on Linux, a pipe elsewhere). It stays signalled
// until drained.

#include "comm/device/UniqueFd.h"
#include "comm/errors/ErrorCodes.h"

namespace apd {

class WakeSignal {
public:
    // 0, or ErrorCodeFromErrno of errno.
    ErrorCode Create();
    void Destroy();

    // The descriptor to poll for reading; -1 when not created.
    int PollFd() const { return read_.Get(); }

    void Signal();
    // Clears the signal; true when it was set.
    bool Drain();

private:
    UniqueFd read_;
    UniqueFd write_; // the pipe's write end; unused with an eventfd
};

} // namespace apd
