#pragma once
// A plain copy of the termios fields the device layer manages. It includes no system
// header, so that code using the Linux kernel's termios2 (asm/termbits.h) and code using
// the C library's <termios.h> can share it; the flag values are the same in both.

#include <cstdint>

namespace apd {

struct TermiosFields {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0; // without the speed bits: the speed is carried below
    std::uint32_t lflag = 0;
    std::uint32_t speed = 0; // bits per second, input and output alike
    std::uint8_t vstart = 17;
    std::uint8_t vstop = 19;
    std::uint8_t vmin = 1;
    std::uint8_t vtime = 0;

    friend bool operator==(const TermiosFields&, const TermiosFields&) = default;
};

} // namespace apd
