#include "tests/support/farend/FarEnd.h"

#include "tests/support/wine/FarLine.h"

namespace apd::test {

class FarEnd::Line : public FarLine {
public:
    using FarLine::FarLine;
};

FarEnd::FarEnd(unsigned com) : line_(std::make_unique<Line>(com)) {}

FarEnd::~FarEnd() = default;

const std::string& FarEnd::Name() const {
    return line_->Name();
}

std::size_t FarEnd::WriteFar(std::string_view bytes, std::chrono::milliseconds within) {
    return line_->WriteFar(bytes, within);
}

std::vector<std::uint8_t> FarEnd::ReadFar(std::size_t count, std::chrono::milliseconds within) {
    return line_->ReadFar(count, within);
}

std::vector<std::uint8_t> FarEnd::ReadFarUntilQuiet(std::chrono::milliseconds quiet) {
    return line_->ReadFarUntilQuiet(quiet);
}

} // namespace apd::test
