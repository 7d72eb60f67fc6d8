#pragma once
// Owns a POSIX file descriptor and closes it when it goes.

#include <unistd.h>

#include <utility>

namespace apd {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (if any) and takes `fd`. Returns the result of close.
    int Reset(int fd = -1) {
        int rc = 0;
        if (fd_ >= 0) {
            rc = ::close(fd_);
        }
        fd_ = fd;
        return rc;
    }

private:
    int fd_ = -1;
};

} // namespace apd
