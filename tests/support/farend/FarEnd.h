#pragma once
// The far end of a serial line for the tests that run on both platforms, with the test as
// the analyser: a pseudo-terminal pair on POSIX (tests/support/pty) and a line of the line
// broker under Wine (tests/support/wine). Either way the line is published as COMn, and
// every wait is bounded by the time given.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace apd::test {

class FarEnd {
public:
    // Makes the line and publishes it as COM`com`; throws when the line cannot be made.
    explicit FarEnd(unsigned com);
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // "\\.\COMn", the name the code under test opens.
    const std::string& Name() const;

    // Writes all of `bytes`, waiting for room up to `within`; returns the bytes written.
    std::size_t WriteFar(std::string_view bytes,
                         std::chrono::milliseconds within = std::chrono::seconds(5));
    // Reads until `count` bytes have come or `within` has passed.
    std::vector<std::uint8_t> ReadFar(std::size_t count,
                                      std::chrono::milliseconds within = std::chrono::seconds(5));
    // Reads what arrives until nothing more comes for `quiet`.
    std::vector<std::uint8_t> ReadFarUntilQuiet(std::chrono::milliseconds quiet);

private:
    class Line; // the platform's far end
    std::unique_ptr<Line> line_;
};

} // namespace apd::test
