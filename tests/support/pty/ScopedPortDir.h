#pragma once
// A temporary port directory for the life of the object: it is created empty,
// VORSILAN_PORT_DIR names it (so "\\.\COMn" resolves to the links published in it), and at
// the end the variable gets its previous value back and the directory is removed.
// Create it before any thread that resolves port names starts.

#include "tests/support/files/ScratchFolder.h"

#include <optional>
#include <string>

namespace apd::test {

class ScopedPortDir {
public:
    ScopedPortDir(); // throws std::system_error when the directory cannot be made
    ~ScopedPortDir();
    ScopedPortDir(const ScopedPortDir&) = delete;
    ScopedPortDir& operator=(const ScopedPortDir&) = delete;

    std::string Path() const { return folder_.Path(); }

private:
    testing::ScratchFolder folder_{"vorsilan-ports-"};
    std::optional<std::string> previous_;
};

} // namespace apd::test
