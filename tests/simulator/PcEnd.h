#pragma once
// The workstation's end of the simulator's line for tests: opens the port's link the way
// the workstation does (raw, non-blocking) and reads and writes with bounded waits.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace vorsilan::sim::test {

class PcEnd {
public:
    explicit PcEnd(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "open " + path);
        }
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~PcEnd() { Close(); }
    PcEnd(const PcEnd&) = delete;
    PcEnd& operator=(const PcEnd&) = delete;

    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    int Fd() const { return fd_; }

    bool Write(const std::vector<std::uint8_t>& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `count` bytes have come, the line fails, or `within` has passed.
    std::vector<std::uint8_t> Read(std::size_t count,
                                   std::chrono::milliseconds within = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        std::vector<std::uint8_t> data;
        std::uint8_t buffer[512];
        while (data.size() < count) {
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - data.size()));
            if (n > 0) {
                data.insert(data.end(), buffer, buffer + n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        }
        return data;
    }

    // Events poll() reports within `within` (0 when none).
    short Poll(short events, std::chrono::milliseconds within) const {
        pollfd p{fd_, events, 0};
        return ::poll(&p, 1, static_cast<int>(within.count())) > 0 ? p.revents : 0;
    }

private:
    int fd_ = -1;
};

} // namespace vorsilan::sim::test
