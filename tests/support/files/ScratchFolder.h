#pragma once
// A fresh folder of a test's own for its files, removed with everything in it at the end.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace apd::testing {

class ScratchFolder {
public:
    ScratchFolder() {
        // A name no other folder has: a random part, tried again while it is taken.
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("apd-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate;
                return;
            }
        }
        ADD_FAILURE() << "cannot create a scratch folder";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace apd::testing
