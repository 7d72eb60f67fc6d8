#pragma once
// The portable part of the port selection a user is offered when a port is to be opened and
// no port number is configured: which of COM1 ... COM50 exist on this machine, the list
// entries, the entry selected first and the number of the chosen entry. The window that
// shows the list belongs to the program.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace apd {

inline constexpr int HighestProbedPort = 50;

// Whether port n exists: the device opens, or it exists but another program holds it. Port 0
// never exists. Each call opens and closes the device once, through a device-layer dispatcher
// that belongs to no component.
bool IsPortAvailable(int n);

// The test a port list is built with; IsPortAvailable in production.
using PortAvailabilityProbe = std::function<bool(int n)>;

// The entries of a port list and the one selected (-1: none).
struct PortList {
    std::vector<std::string> entries;
    int itemIndex = -1;
};

// "COM" followed by the decimal number.
std::string PortEntryText(int n);

// One entry per available port, probing 1 ... HighestProbedPort in ascending order; the first
// entry is selected.
PortList ListAvailablePorts(const PortAvailabilityProbe& probe = IsPortAvailable);

// The number of an entry: its text after the three letters "COM". EConvertError when that is
// not a whole number (an empty list gives an empty text).
int EntryPortNumber(std::string_view entry);

// EntryPortNumber of the selected entry, or of an empty text when none is selected.
int SelectedPortNumber(const PortList& list);

} // namespace apd
