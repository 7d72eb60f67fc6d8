#pragma once
// The far end of a serial line for the Windows tests under Wine: a pseudo-terminal pair
// that the line broker (LineBroker.cpp, a program of the Linux host) makes on request and
// publishes as COMn, and whose far end's bytes it relays over loopback TCP. The test acts
// as the analyser on that far end.
//
// The broker's port is read from the environment variable APD_LINE_BROKER. Every wait is
// bounded by the time given.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace apd::test {

class FarLine {
public:
    // Makes the pair and publishes it as COM`com`; throws std::runtime_error when the
    // broker is missing or refuses.
    explicit FarLine(unsigned com);
    ~FarLine(); // the broker then closes the pair and removes the link
    FarLine(const FarLine&) = delete;
    FarLine& operator=(const FarLine&) = delete;

    // "\\.\COMn".
    const std::string& Name() const { return name_; }
    // The device end's path on the Linux side (/dev/pts/N).
    const std::string& DevicePath() const { return devicePath_; }

    std::size_t WriteFar(std::string_view bytes,
                         std::chrono::milliseconds within = std::chrono::seconds(5));
    // Reads until `count` bytes have come or `within` has passed.
    std::vector<std::uint8_t> ReadFar(std::size_t count,
                                      std::chrono::milliseconds within = std::chrono::seconds(5));
    // Reads what arrives until nothing more comes for `quiet` (at most 10 s in all).
    std::vector<std::uint8_t> ReadFarUntilQuiet(std::chrono::milliseconds quiet);

    // The far end's output lines: TIOCM_CTS 0x20, TIOCM_CAR 0x40, TIOCM_RNG 0x80,
    // TIOCM_DSR 0x100 as a Linux terminal numbers them.
    void SetLines(std::uint32_t bits);
    // The DTR (0x002) and RTS (0x004) levels the device side holds.
    std::uint32_t OutputLines();

    // The far end vanishes. True when the broker reports the COMn link removed.
    bool HangUp();

private:
    std::string Ask(const std::string& line); // one command, its answer after "OK "

    std::uintptr_t control_;
    std::uintptr_t data_;
    int id_ = 0;
    std::string name_;
    std::string devicePath_;
};

} // namespace apd::test
