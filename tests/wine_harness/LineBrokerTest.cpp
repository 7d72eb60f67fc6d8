// The line broker as the Windows tests use it: a pair published as a COM link, bytes
// relayed both ways, the far end's lines in the shared record, and the hang-up that
// removes the link.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/pty/ScopedPortDir.h"
#include "tests/support/wine/ModemState.h"

namespace apd::test::wine {
namespace {

// Reads until `count` bytes came or 5 s passed.
std::string ReadSome(int fd, std::size_t count) {
    std::string got;
    char buffer[256];
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            break;
        }
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

class LineBroker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir((prefix.Path() + "/dosdevices").c_str(), 0700), 0);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::execl(APD_LINE_BROKER_PATH, "line-broker", prefix.Path().c_str(),
                    modems.Path().c_str(), nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        const std::string port = ReadSome(out[0], 6);
        ::close(out[0]);
        ASSERT_FALSE(port.empty()) << "the broker did not start";
        control = Connect(std::stoi(port));
        portNumber = std::stoi(port);
    }
    void TearDown() override {
        for (int fd : {control, data}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    static int Connect(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<std::uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        return fd;
    }
    std::string Ask(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(control, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        std::string answer;
        while (answer.empty() || answer.back() != '\n') {
            const std::string c = ReadSome(control, 1);
            if (c.empty()) {
                return "no answer";
            }
            answer += c;
        }
        answer.pop_back();
        return answer;
    }

    ScopedPortDir prefix;
    ScopedPortDir modems;
    pid_t pid = -1;
    int control = -1;
    int data = -1;
    int portNumber = 0;
};

TEST_F(LineBroker, PublishesAPairRelaysBothWaysAndRemovesTheLinkOnHangUp) {
    const std::string made = Ask("OPEN 3");
    ASSERT_EQ(made.rfind("OK 1 /dev/pts/", 0), 0u) << made;
    const std::string device = made.substr(5);
    const std::string link = prefix.Path() + "/dosdevices/com3";
    char target[128] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(device, target);

    data = Connect(portNumber);
    const std::string hello = "DATA 1\nhello";
    ASSERT_EQ(::write(data, hello.data(), hello.size()), static_cast<ssize_t>(hello.size()));
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadSome(fd, 5), "hello");
    ASSERT_EQ(::write(fd, "\xAA\x55world", 7), 7);
    EXPECT_EQ(ReadSome(data, 7), "\xAA\x55world");

    // The far end's lines, in the record the preload reads.
    EXPECT_EQ(Ask("LINES 1 120"), "OK");
    const int record = ::open((modems.Path() + "/" + ModemStateName(device)).c_str(), O_RDWR);
    ASSERT_GE(record, 0);
    ModemState state{};
    ASSERT_EQ(::pread(record, &state, sizeof state, 0), static_cast<ssize_t>(sizeof state));
    EXPECT_EQ(state.magic, ModemStateMagic);
    EXPECT_EQ(state.lines, static_cast<unsigned>(TIOCM_CTS | TIOCM_DSR));
    state.lines |= TIOCM_DTR; // as the preload records the device side's DTR
    ASSERT_EQ(::pwrite(record, &state, sizeof state, 0), static_cast<ssize_t>(sizeof state));
    ::close(record);
    EXPECT_EQ(Ask("OUTLINES 1"), "OK 2");

    EXPECT_EQ(Ask("HANGUP 1"), "OK gone");
    struct stat info {};
    EXPECT_NE(::lstat(link.c_str(), &info), 0);
    EXPECT_EQ(ReadSome(data, 1), "") << "the data connection outlived the pair";
    EXPECT_EQ(::write(fd, "x", 1), -1) << "the device end outlived its far end";
    ::close(fd);
    EXPECT_EQ(Ask("LINES 1 20"), "ERR no such pair");
}

TEST_F(LineBroker, AFarEndThatStopsReadingLeavesTheLineFull) {
    ASSERT_EQ(Ask("OPEN 4").rfind("OK 1 ", 0), 0u);
    data = Connect(portNumber);
    ASSERT_EQ(::write(data, "DATA 1\n", 7), 7);
    EXPECT_EQ(Ask("OUTLINES 1"), "OK 0");
    // Nothing reads the data connection: the device end soon takes no more.
    char target[128] = {};
    ASSERT_GT(::readlink((prefix.Path() + "/dosdevices/com4").c_str(), target, sizeof target - 1),
              0);
    const int end = ::open(target, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(end, 0);
    const std::string block(1024, 'z');
    std::size_t taken = 0;
    for (int round = 0; round < 1000; ++round) {
        pollfd p{end, POLLOUT, 0};
        if (::poll(&p, 1, 500) <= 0) {
            break; // no room for half a second: full
        }
        const ssize_t n = ::write(end, block.data(), block.size());
        if (n <= 0) {
            break;
        }
        taken += static_cast<std::size_t>(n);
    }
    EXPECT_LT(taken, 1000u * 1024u) << "the broker read without passing the bytes on";
    EXPECT_GT(taken, 4096u);
    ::close(end);
}

} // namespace
} // namespace apd::test::wine
