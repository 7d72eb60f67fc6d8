#pragma once
// The byte stream a far end writes for the throughput benchmarks, so that the reader can
// check every byte.

#include <cstddef>
#include <cstdint>

namespace apd::bench {

// Byte i of the stream.
inline std::uint8_t StreamByte(std::size_t i) {
    return static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
}
// Writes `bytes` stream bytes from the far end as fast as the line takes them.
void WriteStream(int farFd, std::size_t bytes);

} // namespace apd::bench
