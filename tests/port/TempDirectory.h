#pragma once
// A directory of its own for a test's files, removed with everything in it at the end.

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

namespace apd::testing {

class TempDirectory {
public:
    TempDirectory() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("port_test_" + std::to_string(std::random_device{}()) + "_" +
                 std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace apd::testing
