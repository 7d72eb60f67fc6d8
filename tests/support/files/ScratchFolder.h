#pragma once
// A fresh folder of a test's own for its files, removed with everything in it at the end.
// Portable and free of any test framework, so that tests, benchmarks and tools' tests can
// all use it.

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace apd::testing {

class ScratchFolder {
public:
    // Throws std::system_error when no folder can be made.
    explicit ScratchFolder(const std::string& prefix = "apd-test-") {
        // A name no other folder has: a random part, tried again while it is taken.
        std::random_device random;
        std::error_code ec;
        const auto base = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; !ec && attempt < 100; ++attempt) {
            const auto candidate = base / (prefix + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate;
                return;
            }
            if (!ec) {
                continue; // taken: try another name
            }
        }
        throw std::system_error(ec ? ec : std::make_error_code(std::errc::file_exists),
                                "cannot create a scratch folder");
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace apd::testing
