#pragma once
// A pseudo-terminal pair standing in for a serial line: the device end (the slave, which
// the code under test opens by its path or as a published "\\.\COMn") and the far end (the
// master), driven by the test. Both ends are in raw mode. The pair keeps a descriptor of
// the device end open, never read, so that the line survives the code under test closing
// and reopening it; closing the far end simulates a line that vanishes.

#include "tests/support/pty/ScopedPortDir.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace apd::test {

class PtyPair {
public:
    PtyPair(); // throws std::system_error
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The device end's path (/dev/pts/N).
    const std::string& DevicePath() const { return devicePath_; }

    // Links COMn to the device end in a temporary port directory the pair owns and points
    // VORSILAN_PORT_DIR at it while the pair lives. Returns the name "\\.\COMn".
    std::string PublishAsCom(unsigned n);
    // The port directory; empty before PublishAsCom.
    std::string PortDir() const;

    // Writes all of `bytes` from the far end, waiting for room up to `within`; returns the
    // bytes written.
    std::size_t WriteFar(const void* bytes, std::size_t size,
                         std::chrono::milliseconds within = std::chrono::seconds(5));
    std::size_t WriteFar(std::string_view bytes,
                         std::chrono::milliseconds within = std::chrono::seconds(5));

    // Reads at the far end until `count` bytes have come or `within` has passed.
    std::vector<std::uint8_t> ReadFar(std::size_t count,
                                      std::chrono::milliseconds within = std::chrono::seconds(5));
    // Reads what arrives at the far end until nothing more comes for `quiet`.
    std::vector<std::uint8_t> ReadFarUntilQuiet(std::chrono::milliseconds quiet);

    // Closes the far end: the device end sees a hang-up.
    void CloseFar();
    bool FarOpen() const { return far_ >= 0; }
    int FarFd() const { return far_; }

private:
    int far_ = -1;
    int keeper_ = -1; // the device end, held open
    std::string devicePath_;
    std::unique_ptr<ScopedPortDir> portDir_;
};

} // namespace apd::test
