#pragma once
// The emulated modem lines of one pseudo-terminal, shared between the line broker (which
// plays the far end and sets CTS, DSR, DCD and RI) and the preload library inside the
// Wine process (which answers the modem-line requests the terminal driver refuses, and
// keeps DTR and RTS as the device side sets them).
//
// The record lives in a small file, "$APD_MODEM_DIR/pts<N>" for /dev/pts/N, mapped
// shared by both processes; its fields are only touched with atomic operations.

#include <cstdint>
#include <string>

namespace apd::test::wine {

inline constexpr std::uint32_t ModemStateMagic = 0x4D4F444Du; // "MODM"

struct ModemState {
    std::uint32_t magic;
    std::uint32_t lines; // TIOCM_* bits
    // Transitions of each input line since the record was made (the TIOCGICOUNT fields).
    std::uint32_t cts;
    std::uint32_t dsr;
    std::uint32_t rng;
    std::uint32_t dcd;
};

// The environment variable naming the folder of the records.
inline constexpr const char* ModemDirVariable = "APD_MODEM_DIR";

// "pts7" for "/dev/pts/7"; empty for any other path.
inline std::string ModemStateName(const std::string& devicePath) {
    const std::string prefix = "/dev/pts/";
    if (devicePath.compare(0, prefix.size(), prefix) != 0 || devicePath.size() == prefix.size()) {
        return {};
    }
    return "pts" + devicePath.substr(prefix.size());
}

// Sets the input lines in `wanted` (TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG; others are
// ignored) and counts each one that changed.
void SetInputLines(ModemState& state, std::uint32_t wanted);

} // namespace apd::test::wine
