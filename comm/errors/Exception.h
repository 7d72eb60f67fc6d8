#pragma once
// The base of every exception the library and its runtime helpers raise: it carries the
// message text shown to the user.

#include <stdexcept>
#include <string>

namespace apd {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}

    std::string Message() const { return what(); }
};

} // namespace apd
