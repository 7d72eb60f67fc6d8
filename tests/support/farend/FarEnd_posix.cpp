#include "tests/support/farend/FarEnd.h"

#include "tests/support/pty/PtyPair.h"

namespace apd::test {

class FarEnd::Line {
public:
    explicit Line(unsigned com) : name(pair.PublishAsCom(com)) {}
    PtyPair pair;
    const std::string name;
};

FarEnd::FarEnd(unsigned com) : line_(std::make_unique<Line>(com)) {}

FarEnd::~FarEnd() = default;

const std::string& FarEnd::Name() const {
    return line_->name;
}

std::size_t FarEnd::WriteFar(std::string_view bytes, std::chrono::milliseconds within) {
    return line_->pair.WriteFar(bytes, within);
}

std::vector<std::uint8_t> FarEnd::ReadFar(std::size_t count, std::chrono::milliseconds within) {
    return line_->pair.ReadFar(count, within);
}

std::vector<std::uint8_t> FarEnd::ReadFarUntilQuiet(std::chrono::milliseconds quiet) {
    return line_->pair.ReadFarUntilQuiet(quiet);
}

} // namespace apd::test
