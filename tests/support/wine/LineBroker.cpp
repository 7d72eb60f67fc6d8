// The line broker of the Windows tests under Wine. A Windows program cannot make
// pseudo-terminals, so this native program makes them on request and plays the far end's
// side of each: it links "$WINEPREFIX/dosdevices/comN" to the device end, where Wine opens
// it as COMn, and relays the far end's bytes over a loopback TCP connection to the test.
//
//   line-broker <wine prefix> <modem record folder>
//
// It listens on 127.0.0.1 at a free port, writes the port number as a line to its standard
// output once it listens, and serves until it is terminated. Each test connects a control
// connection and speaks lines of text, each answered by a line starting "OK" or "ERR":
//
//   OPEN <n>           makes a pair, links comN to it      OK <id> <device path>
//   LINES <id> <hex>   sets the far end's CTS, DSR, DCD, RI (TIOCM_* bits)    OK
//   OUTLINES <id>      the DTR and RTS levels the device side set            OK <hex>
//   HANGUP <id>        the far end vanishes: the pair is closed and the link removed
//                      OK gone, once the link no longer exists
//
// A second connection that starts with the line "DATA <id>" carries the far end's bytes
// both ways from then on. The broker reads from the line only while it can pass the bytes
// on, so a test that stops reading leaves the line full, as a far end that stops reading
// does. A pair lives until HANGUP or until its control connection closes.

#include "tests/support/wine/ModemState.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace apd::test::wine {
namespace {

constexpr std::size_t RelayLimit = 4096; // bytes held per direction

void Fail(const char* what) {
    std::fprintf(stderr, "line-broker: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

bool MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Pair {
    int id = 0;
    int control = -1; // the control connection that owns the pair
    int far = -1;     // the master
    int keeper = -1;  // the device end, held open so the line outlives the device's closes
    int data = -1;    // the data connection, once made
    std::string link;
    ModemState* modem = nullptr;
    std::string toTest; // read from the line, not yet sent to the test
    std::string toLine; // from the test, not yet written to the line
};

struct Connection {
    int fd = -1;
    std::string input;
    int dataOf = 0; // the pair this connection carries the bytes of; 0 for control
};

class Broker {
public:
    Broker(std::string prefix, std::string modemDir)
        : prefix_(std::move(prefix)), modemDir_(std::move(modemDir)) {}

    int Listen() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&at), size) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
            Fail("listen");
        }
        return ntohs(at.sin_port);
    }

    void Serve() {
        for (;;) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (const auto& [fd, c] : connections_) {
                short wanted = POLLIN;
                if (c.dataOf != 0) {
                    const Pair* p = Find(c.dataOf);
                    wanted = p != nullptr && p->toLine.size() < RelayLimit ? POLLIN : 0;
                    if (p != nullptr && !p->toTest.empty()) {
                        wanted |= POLLOUT;
                    }
                }
                fds.push_back({fd, wanted, 0});
            }
            for (const auto& [id, p] : pairs_) {
                short wanted = p.toTest.size() < RelayLimit && p.data >= 0 ? POLLIN : 0;
                if (!p.toLine.empty()) {
                    wanted |= POLLOUT;
                }
                fds.push_back({p.far, wanted, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                Fail("poll");
            }
            if ((fds[0].revents & POLLIN) != 0) {
                Accept();
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents != 0) {
                    Serve(fds[i].fd, fds[i].revents);
                }
            }
        }
    }

private:
    Pair* Find(int id) {
        auto at = pairs_.find(id);
        return at == pairs_.end() ? nullptr : &at->second;
    }

    void Accept() {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;
        }
        const int one = 1;
        const int small = static_cast<int>(RelayLimit);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        connections_[fd] = Connection{fd, {}, 0};
    }

    // One descriptor of the poll set is ready; the set was made before this round, so
    // anything may have gone meanwhile.
    void Serve(int fd, short events) {
        if (auto c = connections_.find(fd); c != connections_.end()) {
            if (c->second.dataOf != 0) {
                RelayFromTest(c->second, events);
            } else {
                ServeControl(c->second);
            }
            return;
        }
        for (auto& [id, p] : pairs_) {
            if (p.far == fd) {
                RelayFromLine(p, events);
                return;
            }
        }
    }

    void Drop(int fd) {
        auto c = connections_.find(fd);
        if (c == connections_.end()) {
            return;
        }
        if (c->second.dataOf != 0) {
            if (Pair* p = Find(c->second.dataOf)) {
                p->data = -1;
            }
        } else {
            std::vector<int> owned;
            for (const auto& [id, p] : pairs_) {
                if (p.control == fd) {
                    owned.push_back(id);
                }
            }
            for (int id : owned) {
                Close(id);
            }
        }
        ::close(fd);
        connections_.erase(c);
    }

    void Send(int fd, const std::string& line) {
        const std::string text = line + "\n";
        // Answers are short and the connection's buffer empty: the write is whole.
        (void)!::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }

    void ServeControl(Connection& c) {
        char buffer[512];
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                Drop(c.fd);
            }
            return;
        }
        c.input.append(buffer, static_cast<std::size_t>(n));
        std::size_t end = 0;
        while ((end = c.input.find('\n')) != std::string::npos) {
            const std::string line = c.input.substr(0, end);
            c.input.erase(0, end + 1);
            if (line.rfind("DATA ", 0) == 0) {
                BecomeData(c, std::atoi(line.c_str() + 5));
                return;
            }
            Send(c.fd, Command(c.fd, line));
        }
    }

    void BecomeData(Connection& c, int id) {
        Pair* p = Find(id);
        if (p == nullptr || p->data >= 0) {
            Drop(c.fd);
            return;
        }
        c.dataOf = id;
        p->data = c.fd;
        p->toLine += c.input; // bytes that came with the first line
        c.input.clear();
    }

    std::string Command(int control, const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        int arg = 0;
        words >> verb >> arg;
        if (verb == "OPEN") {
            return Open(control, arg);
        }
        Pair* p = Find(arg);
        if (p == nullptr || p->control != control) {
            return "ERR no such pair";
        }
        if (verb == "LINES") {
            std::uint32_t bits = 0;
            words >> std::hex >> bits;
            SetInputLines(*p->modem, bits);
            return "OK";
        }
        if (verb == "OUTLINES") {
            char text[32];
            std::snprintf(text, sizeof text, "OK %x",
                          __atomic_load_n(&p->modem->lines, __ATOMIC_ACQUIRE) &
                              (TIOCM_DTR | TIOCM_RTS));
            return text;
        }
        if (verb == "HANGUP") {
            const std::string link = p->link;
            Close(arg);
            struct stat info {};
            return ::lstat(link.c_str(), &info) != 0 && errno == ENOENT ? "OK gone"
                                                                        : "ERR link still there";
        }
        return "ERR unknown command";
    }

    ModemState* MakeModemRecord(const std::string& devicePath) {
        const std::string path = modemDir_ + "/" + ModemStateName(devicePath);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, sizeof(ModemState)) != 0) {
            return nullptr;
        }
        void* at = ::mmap(nullptr, sizeof(ModemState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (at == MAP_FAILED) {
            return nullptr;
        }
        // A record left by an earlier pair on the same device is rewritten in place: a
        // Wine process that mapped it then sees this pair's lines.
        auto* state = static_cast<ModemState*>(at);
        __atomic_store_n(&state->lines, TIOCM_CTS | TIOCM_DSR | TIOCM_CAR, __ATOMIC_RELEASE);
        __atomic_store_n(&state->cts, 0, __ATOMIC_RELEASE);
        __atomic_store_n(&state->dsr, 0, __ATOMIC_RELEASE);
        __atomic_store_n(&state->rng, 0, __ATOMIC_RELEASE);
        __atomic_store_n(&state->dcd, 0, __ATOMIC_RELEASE);
        __atomic_store_n(&state->magic, ModemStateMagic, __ATOMIC_RELEASE);
        return state;
    }

    std::string Open(int control, int com) {
        if (com < 1 || com > 256) {
            return "ERR bad port number";
        }
        Pair p;
        p.far = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char name[128];
        if (p.far < 0 || ::grantpt(p.far) != 0 || ::unlockpt(p.far) != 0 ||
            ::ptsname_r(p.far, name, sizeof name) != 0) {
            return "ERR no pseudo-terminal";
        }
        p.keeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        p.modem = MakeModemRecord(name);
        p.link = prefix_ + "/dosdevices/com" + std::to_string(com);
        ::unlink(p.link.c_str());
        if (p.keeper < 0 || !MakeRaw(p.far) || !MakeRaw(p.keeper) || p.modem == nullptr ||
            ::symlink(name, p.link.c_str()) != 0) {
            Release(p);
            return "ERR pair not made";
        }
        p.id = ++lastId_;
        p.control = control;
        pairs_[p.id] = std::move(p);
        return "OK " + std::to_string(lastId_) + " " + name;
    }

    void Release(Pair& p) {
        if (!p.link.empty()) {
            ::unlink(p.link.c_str());
        }
        for (int fd : {p.far, p.keeper}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (p.modem != nullptr) {
            ::munmap(p.modem, sizeof(ModemState));
        }
    }

    void Close(int id) {
        Pair* p = Find(id);
        if (p == nullptr) {
            return;
        }
        const int data = p->data;
        Release(*p);
        pairs_.erase(id);
        if (data >= 0) {
            connections_[data].dataOf = 0;
            ::close(data);
            connections_.erase(data);
        }
    }

    void RelayFromTest(Connection& c, short events) {
        Pair* p = Find(c.dataOf);
        if (p == nullptr) {
            Drop(c.fd);
            return;
        }
        if ((events & POLLOUT) != 0 && !p->toTest.empty()) {
            const ssize_t n = ::send(c.fd, p->toTest.data(), p->toTest.size(), MSG_NOSIGNAL);
            if (n > 0) {
                p->toTest.erase(0, static_cast<std::size_t>(n));
            }
        }
        if ((events & (POLLIN | POLLHUP | POLLERR)) != 0 && p->toLine.size() < RelayLimit) {
            char buffer[RelayLimit];
            const ssize_t n = ::recv(c.fd, buffer, RelayLimit - p->toLine.size(), 0);
            if (n > 0) {
                p->toLine.append(buffer, static_cast<std::size_t>(n));
                FlushToLine(*p);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                Drop(c.fd);
            }
        }
    }

    void FlushToLine(Pair& p) {
        if (p.toLine.empty()) {
            return;
        }
        const ssize_t n = ::write(p.far, p.toLine.data(), p.toLine.size());
        if (n > 0) {
            p.toLine.erase(0, static_cast<std::size_t>(n));
        }
    }

    void RelayFromLine(Pair& p, short events) {
        if ((events & POLLOUT) != 0) {
            FlushToLine(p);
        }
        if ((events & POLLIN) != 0 && p.data >= 0 && p.toTest.size() < RelayLimit) {
            char buffer[RelayLimit];
            const ssize_t n = ::read(p.far, buffer, RelayLimit - p.toTest.size());
            if (n > 0) {
                p.toTest.append(buffer, static_cast<std::size_t>(n));
                const ssize_t sent = ::send(p.data, p.toTest.data(), p.toTest.size(), MSG_NOSIGNAL);
                if (sent > 0) {
                    p.toTest.erase(0, static_cast<std::size_t>(sent));
                }
            }
        }
    }

    std::string prefix_;
    std::string modemDir_;
    int listener_ = -1;
    int lastId_ = 0;
    std::map<int, Connection> connections_;
    std::map<int, Pair> pairs_;
};

} // namespace
} // namespace apd::test::wine

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: line-broker <wine prefix> <modem record folder>\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    apd::test::wine::Broker broker(argv[1], argv[2]);
    std::printf("%d\n", broker.Listen());
    std::fflush(stdout);
    broker.Serve();
}
