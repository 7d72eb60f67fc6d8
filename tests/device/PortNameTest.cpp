#include "comm/device/PortName.h"

#include "comm/device/SerialDevice.h"
#include "tests/support/pty/PtyPair.h"
#include "tests/support/pty/ScopedPortDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>

namespace apd {
namespace {

namespace fs = std::filesystem;

PortNameEnvironment Environment(std::set<std::string> links) {
    PortNameEnvironment environment;
    environment.linkExists = [links](const std::string& path) { return links.count(path) > 0; };
    return environment;
}

TEST(PortName, RecognisesTheComNamesTheComponentForms) {
    EXPECT_EQ(ComPortNumber("\\\\.\\COM7"), 7u);
    EXPECT_EQ(ComPortNumber("\\\\.\\com15"), 15u);
    EXPECT_EQ(ComPortNumber("COM1"), 1u);
    EXPECT_EQ(ComPortNumber("Com256"), 256u);
    EXPECT_EQ(ComPortNumber("COM0"), 0u);
    EXPECT_EQ(ComPortNumber("COM"), 0u);
    EXPECT_EQ(ComPortNumber("COM7x"), 0u);
    EXPECT_EQ(ComPortNumber("COM-1"), 0u);
    EXPECT_EQ(ComPortNumber("COM123456"), 0u);
    EXPECT_EQ(ComPortNumber("/dev/ttyUSB0"), 0u);
    EXPECT_EQ(ComPortNumber("\\\\.\\LPT1"), 0u);
}

TEST(PortName, FollowsTheLinkRuleInOrder) {
    auto environment =
        Environment({"/ports/COM7", "/home/u/.vorsilan/ports/COM7", "/etc/vorsilan/ports/COM7",
                     "/home/u/.vorsilan/ports/COM3", "/etc/vorsilan/ports/COM4"});
    environment.portDir = "/ports";
    environment.home = "/home/u";
    // The variable's directory first; the home directory is not looked at then.
    EXPECT_EQ(ResolvePortName("\\\\.\\COM7", environment), "/ports/COM7");
    EXPECT_EQ(ResolvePortName("\\\\.\\COM3", environment), "/dev/ttyS2");
    EXPECT_EQ(ResolvePortName("\\\\.\\COM4", environment), "/etc/vorsilan/ports/COM4");

    environment.portDir.reset();
    EXPECT_EQ(ResolvePortName("\\\\.\\COM7", environment), "/home/u/.vorsilan/ports/COM7");
    EXPECT_EQ(ResolvePortName("COM3", environment), "/home/u/.vorsilan/ports/COM3");
    environment.portDir = ""; // set but empty counts as unset
    EXPECT_EQ(ResolvePortName("COM3", environment), "/home/u/.vorsilan/ports/COM3");

    environment.home.reset();
    EXPECT_EQ(ResolvePortName("COM7", environment), "/etc/vorsilan/ports/COM7");
    EXPECT_EQ(ResolvePortName("COM1", environment), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName("COM15", environment), "/dev/ttyS14");
}

TEST(PortName, TakesOtherNamesAsPaths) {
    const auto environment = Environment({"/ports/COM7"});
    EXPECT_EQ(ResolvePortName("/dev/ttyUSB0", environment), "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePortName("relative/pty", environment), "relative/pty");
    EXPECT_EQ(ResolvePortName("COM0", environment), "COM0");
    EXPECT_EQ(ResolvePortName("\\\\.\\PIPE", environment), "\\\\.\\PIPE");
}

TEST(PortName, PublishedLinksAreFoundThroughTheProcessEnvironment) {
    test::ScopedPortDir ports;
    const fs::path dir = fs::path(ports.Path()) / "nested";
    EXPECT_EQ(PublishPortLink(dir.string(), 9, "/dev/first"), ecOK);
    EXPECT_EQ(fs::read_symlink(dir / "COM9"), "/dev/first");
    EXPECT_EQ(PublishPortLink(dir.string(), 9, "/dev/second"), ecOK) << "replacing a link";
    EXPECT_EQ(fs::read_symlink(dir / "COM9"), "/dev/second");
    EXPECT_EQ(PublishPortLink(dir.string(), 0, "/dev/x"), ecBadArgument);
    EXPECT_EQ(PublishPortLink("", 1, "/dev/x"), ecBadArgument);

    // The default directory is the one VORSILAN_PORT_DIR names; a dangling link is still
    // the port's link.
    EXPECT_EQ(UserPortDirectory(), ports.Path());
    EXPECT_EQ(PublishPortLink(12, "/nonexistent/device"), ecOK);
    EXPECT_EQ(ResolvePortName("\\\\.\\COM12"), ports.Path() + "/COM12");
    for (const auto& entry : fs::recursive_directory_iterator(ports.Path())) {
        EXPECT_NE(entry.path().filename().string().front(), '.')
            << "staging link left behind: " << entry.path();
    }
}

TEST(PortName, ANameWithANulCharacterOrAPseudoTerminalMasterIsRefused) {
    EXPECT_EQ(CheckPortName("\\\\.\\COM7"), ecOK);
    EXPECT_EQ(CheckPortName(std::string("COM7\0", 5)), ecBadArgument);

    test::PtyPair pty;
    SerialDevice device;
    // Never the part before the NUL, although that is a port.
    EXPECT_EQ(device.Open(pty.DevicePath() + std::string("\0x", 2)), ecBadArgument);
    EXPECT_FALSE(device.IsOpen());

    // A terminal, but the master side of a new pseudo-terminal: no port, by name or link.
    test::ScopedPortDir ports;
    ASSERT_EQ(PublishPortLink(ports.Path(), 4, "/dev/ptmx"), ecOK);
    for (const std::string name : {"/dev/ptmx", "\\\\.\\COM4", "/dev/pts/ptmx"}) {
        if (name == "/dev/pts/ptmx" && ::access(name.c_str(), R_OK | W_OK) != 0) {
            continue; // mode 000 unless the system opens it up; root may open it anyway
        }
        EXPECT_EQ(device.Open(name), ecBadId) << name;
        EXPECT_FALSE(device.IsOpen()) << name;
    }
    EXPECT_EQ(device.Open(pty.DevicePath()), ecOK) << "the slave side is a port";
}

} // namespace
} // namespace apd
