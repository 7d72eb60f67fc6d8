#include "tests/support/pty/ScopedPortDir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace apd::test {

namespace {
constexpr const char* Variable = "VORSILAN_PORT_DIR";
}

ScopedPortDir::ScopedPortDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vorsilan-ports-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = buffer.data();
    if (const char* value = std::getenv(Variable)) {
        previous_ = value;
    }
    ::setenv(Variable, path_.c_str(), 1);
}

ScopedPortDir::~ScopedPortDir() {
    if (previous_) {
        ::setenv(Variable, previous_->c_str(), 1);
    } else {
        ::unsetenv(Variable);
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace apd::test
