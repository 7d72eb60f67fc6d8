#include "tests/support/wine/FarLine.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace apd::test {
namespace {

using Clock = std::chrono::steady_clock;

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            throw std::runtime_error("WSAStartup failed");
        }
    });
}

SOCKET Connect() {
    const char* port = std::getenv("APD_LINE_BROKER");
    if (port == nullptr) {
        throw std::runtime_error("APD_LINE_BROKER is not set: start the line broker");
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    // Small buffers: a test that stops reading leaves the line full soon.
    const int small = 4096;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        ::closesocket(s);
        throw std::runtime_error("the line broker does not answer");
    }
    return s;
}

// Waits up to `ms` for the socket to become readable (or writable).
bool Ready(SOCKET s, bool write, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &limit) > 0;
}

long MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<long>(left.count()) : 0;
}

void SendAll(SOCKET s, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const int n = ::send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) {
            throw std::runtime_error("the line broker went away");
        }
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

FarLine::FarLine(unsigned com) : control_(INVALID_SOCKET), data_(INVALID_SOCKET) {
    StartWinsock();
    control_ = Connect();
    const std::string made = Ask("OPEN " + std::to_string(com));
    const std::size_t space = made.find(' ');
    id_ = std::atoi(made.c_str());
    devicePath_ = space == std::string::npos ? std::string() : made.substr(space + 1);
    name_ = "\\\\.\\COM" + std::to_string(com);
    data_ = Connect();
    SendAll(data_, "DATA " + std::to_string(id_) + "\n");
}

FarLine::~FarLine() {
    if (data_ != INVALID_SOCKET) {
        ::closesocket(data_);
    }
    ::closesocket(control_);
}

std::string FarLine::Ask(const std::string& line) {
    SendAll(control_, line + "\n");
    std::string answer;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    char c = 0;
    while (answer.empty() || answer.back() != '\n') {
        if (!Ready(control_, false, MsLeft(deadline)) || ::recv(control_, &c, 1, 0) != 1) {
            throw std::runtime_error("no answer from the line broker to " + line);
        }
        answer.push_back(c);
    }
    answer.pop_back();
    if (answer.rfind("OK", 0) != 0) {
        throw std::runtime_error("line broker: " + line + ": " + answer);
    }
    return answer.size() > 3 ? answer.substr(3) : std::string();
}

std::size_t FarLine::WriteFar(std::string_view bytes, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    std::size_t sent = 0;
    while (sent < bytes.size() && data_ != INVALID_SOCKET) {
        if (!Ready(data_, true, MsLeft(deadline))) {
            break;
        }
        const int n = ::send(data_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    return sent;
}

std::vector<std::uint8_t> FarLine::ReadFar(std::size_t count, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    std::vector<std::uint8_t> got;
    char buffer[4096];
    while (got.size() < count && data_ != INVALID_SOCKET) {
        if (!Ready(data_, false, MsLeft(deadline))) {
            break;
        }
        const int want = static_cast<int>(std::min(sizeof buffer, count - got.size()));
        const int n = ::recv(data_, buffer, want, 0);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

std::vector<std::uint8_t> FarLine::ReadFarUntilQuiet(std::chrono::milliseconds quiet) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::vector<std::uint8_t> got;
    char buffer[4096];
    while (data_ != INVALID_SOCKET && Clock::now() < deadline &&
           Ready(data_, false, static_cast<long>(quiet.count()))) {
        const int n = ::recv(data_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void FarLine::SetLines(std::uint32_t bits) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", bits);
    Ask("LINES " + std::to_string(id_) + " " + hex);
}

std::uint32_t FarLine::OutputLines() {
    return static_cast<std::uint32_t>(
        std::strtoul(Ask("OUTLINES " + std::to_string(id_)).c_str(), nullptr, 16));
}

bool FarLine::HangUp() {
    const bool gone = Ask("HANGUP " + std::to_string(id_)) == "gone";
    ::closesocket(data_);
    data_ = INVALID_SOCKET;
    return gone;
}

} // namespace apd::test
