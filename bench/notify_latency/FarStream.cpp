// The far end's stream, written as fast as the pseudo-terminal takes it.

#include "bench/notify_latency/FarStream.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace apd::bench {

void WriteStream(int farFd, std::size_t bytes) {
    std::uint8_t block[4096];
    std::size_t sent = 0;
    while (sent < bytes) {
        const std::size_t n = std::min(sizeof block, bytes - sent);
        for (std::size_t i = 0; i < n; ++i) {
            block[i] = StreamByte(sent + i);
        }
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(farFd, block + done, n - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
            pollfd p{farFd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        sent += n;
    }
}

} // namespace apd::bench
