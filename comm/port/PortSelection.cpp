#include "comm/port/PortSelection.h"

#include "comm/errors/IntegerConversion.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd {
namespace {

// The device exists and another program holds it (LastSystemError is the failure's
// magnitude).
constexpr std::int32_t HeldByAnother = -ecAlreadyOpen;

// Queue sizes of a probe; the device is closed again at once.
constexpr std::uint32_t ProbeQueueSize = 64;

// A device-layer dispatcher that only opens and closes its device, and tells why an open
// failed.
class ProbeDispatcher : public TApdWin32Dispatcher {
public:
    ProbeDispatcher() : TApdWin32Dispatcher(nullptr) {}
    ~ProbeDispatcher() override { ShutDownDispatcher(); }
    ProbeDispatcher(const ProbeDispatcher&) = delete;
    ProbeDispatcher& operator=(const ProbeDispatcher&) = delete;

    std::int32_t OpenFailure() const { return LastSystemError; }
};

} // namespace

bool IsPortAvailable(int n) {
    if (n <= 0) {
        return false;
    }
    ProbeDispatcher probe;
    const std::string name = "\\\\.\\COM" + std::to_string(n);
    if (probe.DeviceOpen(name, ProbeQueueSize, ProbeQueueSize) >= 0) {
        probe.DeviceClose();
        return true;
    }
    return probe.OpenFailure() == HeldByAnother;
}

std::string PortEntryText(int n) {
    return "COM" + std::to_string(n);
}

PortList ListAvailablePorts(const PortAvailabilityProbe& probe) {
    PortList list;
    for (int n = 1; n <= HighestProbedPort; ++n) {
        if (probe(n)) {
            list.entries.push_back(PortEntryText(n));
        }
    }
    if (!list.entries.empty()) {
        list.itemIndex = 0;
    }
    return list;
}

int EntryPortNumber(std::string_view entry) {
    return StrToInt(entry.size() > 3 ? entry.substr(3) : std::string_view());
}

int SelectedPortNumber(const PortList& list) {
    if (list.itemIndex < 0 || static_cast<std::size_t>(list.itemIndex) >= list.entries.size()) {
        return EntryPortNumber({});
    }
    return EntryPortNumber(list.entries[static_cast<std::size_t>(list.itemIndex)]);
}

} // namespace apd
