#include "comm/device/SerialDeviceCore.h"

#include "comm/device/DeviceEvents.h"

#include <utility>

namespace apd {

namespace {
// The record of input reported without its length.
constexpr std::uint32_t UncountedInput = 0xFFFFFFFF;
} // namespace

ErrorCode SerialDeviceCore::Fail(ErrorCode code) {
    if (code == ecDeviceLost) {
        lost = true;
    }
    return code;
}

void SerialDeviceCore::Opened(std::string devicePath) {
    {
        std::lock_guard lock(stateMutex);
        eventMask = 0;
        ++maskGeneration;
        reportedInput = 0;
        reportedTaken = inputTaken;
    }
    lost = false;
    closing = false;
    writeRefused = false;
    path = std::move(devicePath);
    open = true;
}

void SerialDeviceCore::StoreMask(std::uint32_t mask) {
    std::lock_guard lock(stateMutex);
    eventMask = mask;
    ++maskGeneration;
}

std::optional<EventWaitResult> SerialDeviceCore::StartRound(WaitRound& round) {
    if (lost) {
        return EventWaitResult::DeviceLost;
    }
    if (closing) {
        return EventWaitResult::Cancelled;
    }
    {
        std::lock_guard lock(stateMutex);
        round.mask = eventMask;
        round.generation = maskGeneration;
    }
    if (round.mask == 0) {
        return EventWaitResult::Cancelled;
    }
    if ((round.mask & ~EventsSupported) != 0) {
        return EventWaitResult::InvalidParameter;
    }
    return std::nullopt;
}

bool SerialDeviceCore::MaskChangedSince(std::uint64_t generation) const {
    std::lock_guard lock(stateMutex);
    return maskGeneration != generation;
}

bool SerialDeviceCore::ReportInput(std::uint32_t queued, bool& sitting) {
    sitting = false;
    const std::uint64_t taken = inputTaken;
    if (queued == 0) {
        reportedInput = 0;
        return false;
    }
    if (reportedInput == UncountedInput && taken == reportedTaken) {
        // Reported by readiness and not read since: the same input, now counted.
        reportedInput = queued;
        sitting = true;
        return false;
    }
    if (queued != reportedInput || taken != reportedTaken) {
        reportedInput = queued;
        reportedTaken = taken;
        return true;
    }
    sitting = true;
    return false;
}

bool SerialDeviceCore::InputWouldBeNew() const {
    return reportedInput == 0 || inputTaken != reportedTaken;
}

void SerialDeviceCore::NoteInputReported(std::uint32_t queued) {
    reportedInput = queued;
    reportedTaken = inputTaken;
}

void SerialDeviceCore::NoteInputUncounted(std::uint64_t takenBefore) {
    reportedInput = UncountedInput;
    reportedTaken = takenBefore;
}

SerialDeviceCore::Call::Call(SerialDeviceCore& core) : core_(core) {
    std::lock_guard lock(core_.gateMutex);
    if (core_.open && !core_.closing) {
        entered_ = true;
        ++core_.inFlight;
    }
}

SerialDeviceCore::Call::~Call() {
    if (entered_) {
        std::lock_guard lock(core_.gateMutex);
        if (--core_.inFlight == 0) {
            core_.gateIdle.notify_all();
        }
    }
}

ErrorCode SerialDeviceCore::Call::Usable() const {
    if (!entered_) {
        return ecCommNotOpen;
    }
    return core_.lost ? DeviceLostCode() : ecOK;
}

} // namespace apd
