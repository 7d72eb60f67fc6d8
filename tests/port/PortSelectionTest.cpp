// Which ports the selection list offers: the probing range, the entries, the first
// selection, and availability through the port-name rule on pseudo-terminals (a port held
// by another process counts as present).

#include "comm/port/PortSelection.h"
#include "comm/device/PortName.h"
#include "comm/device/SerialDevice.h"
#include "comm/errors/IntegerConversion.h"
#include "tests/support/pty/PtyPair.h"
#include "tests/support/pty/ScopedPortDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace apd {
namespace {

using Entries = std::vector<std::string>;

TEST(PortSelectionList, ProbesOneToFiftyInOrderAndSelectsTheFirstEntry) {
    std::vector<int> probed;
    const PortList list = ListAvailablePorts([&probed](int n) {
        probed.push_back(n);
        return n == 1 || n == 3 || n == 12 || n == 50;
    });
    std::vector<int> expected;
    for (int n = 1; n <= 50; ++n) {
        expected.push_back(n);
    }
    EXPECT_EQ(probed, expected); // never 0, never 51, each once
    EXPECT_EQ(list.entries, (Entries{"COM1", "COM3", "COM12", "COM50"}));
    EXPECT_EQ(list.itemIndex, 0);
    EXPECT_EQ(SelectedPortNumber(list), 1);

    PortList later = list;
    later.itemIndex = 2;
    EXPECT_EQ(SelectedPortNumber(later), 12);
    later.itemIndex = 3;
    EXPECT_EQ(SelectedPortNumber(later), 50);
}

TEST(PortSelectionList, AnEmptyListSelectsNothingAndItsNumberIsAConversionError) {
    const PortList list = ListAvailablePorts([](int) { return false; });
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.itemIndex, -1);
    try {
        SelectedPortNumber(list);
        FAIL() << "an empty list gave a number";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    // Entries are read after their three letters, whatever they are.
    EXPECT_EQ(EntryPortNumber("COM7"), 7);
    EXPECT_THROW(EntryPortNumber("COM"), EConvertError);
    EXPECT_THROW(EntryPortNumber("COM7x"), EConvertError);
}

// A port directory with pseudo-terminals behind some numbers and links to nowhere behind
// every other number the probes reach, so that nothing on the machine (a /dev/ttyS node, a
// system-wide link) takes part.
class PortAvailability : public ::testing::Test {
protected:
    void Link(unsigned n) {
        lines.push_back(std::make_unique<test::PtyPair>());
        ASSERT_EQ(PublishPortLink(dir.Path(), n, lines.back()->DevicePath()), ecOK);
    }
    void LinkNowhere(unsigned n) {
        ASSERT_EQ(PublishPortLink(dir.Path(), n, dir.Path() + "/gone/tty" + std::to_string(n)),
                  ecOK);
    }
    void LinkEverythingElseNowhere(const std::vector<unsigned>& present) {
        for (unsigned n = 1; n <= 51; ++n) {
            if (std::find(present.begin(), present.end(), n) == present.end()) {
                LinkNowhere(n);
            }
        }
    }

    test::ScopedPortDir dir;
    std::vector<std::unique_ptr<test::PtyPair>> lines;
};

TEST_F(PortAvailability, ListsTheLinkedPortsUpToFifty) {
    Link(1);
    Link(3);
    Link(50);
    Link(51);
    LinkEverythingElseNowhere({1, 3, 50, 51});
    const PortList list = ListAvailablePorts();
    EXPECT_EQ(list.entries, (Entries{"COM1", "COM3", "COM50"}));
    EXPECT_EQ(SelectedPortNumber(list), 1);
    EXPECT_TRUE(IsPortAvailable(51)); // it exists; the list just never looks that far
}

TEST_F(PortAvailability, MissingPortsAndPortZeroAreNotAvailable) {
    LinkNowhere(2);
    EXPECT_FALSE(IsPortAvailable(2));
    EXPECT_FALSE(IsPortAvailable(0));
    EXPECT_FALSE(IsPortAvailable(-3));
}

TEST_F(PortAvailability, AProbeLeavesThePortFreeForTheNextOpen) {
    Link(5);
    ASSERT_TRUE(IsPortAvailable(5));
    ASSERT_TRUE(IsPortAvailable(5));
    SerialDevice device;
    EXPECT_EQ(device.Open("\\\\.\\COM5"), ecOK);
}

TEST_F(PortAvailability, APortHeldByAnotherProcessIsAvailable) {
    Link(4);
    const std::string path = lines.back()->DevicePath();
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other program: holds the device until the test lets it go.
        ::close(ready[0]);
        ::close(release[1]);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        char ignored = 0;
        (void)!::read(release[0], &ignored, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char held = 0;
    pollfd wait{ready[0], POLLIN, 0};
    const bool answered = ::poll(&wait, 1, 10000) == 1 && ::read(ready[0], &held, 1) == 1;

    bool available = false;
    ErrorCode ownOpen = ecOK;
    if (answered && held == 'y') {
        available = IsPortAvailable(4);
        SerialDevice device;
        ownOpen = device.Open("\\\\.\\COM4");
    }
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    ASSERT_TRUE(answered);
    ASSERT_EQ(held, 'y');
    EXPECT_EQ(ownOpen, ecAlreadyOpen); // really held: this process cannot have it
    EXPECT_TRUE(available);
}

} // namespace
} // namespace apd
