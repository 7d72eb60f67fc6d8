#pragma once
// A simulator publishing its line in a port directory of the test's own.

#include "tools/simulator/AnalyserSimulator.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace vorsilan::sim::test {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sim-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline SimulatorOptions OptionsIn(const ScratchDir& dir, unsigned comNumber = 7) {
    SimulatorOptions options;
    options.comNumber = comNumber;
    options.portDir = dir.Path();
    return options;
}

} // namespace vorsilan::sim::test
