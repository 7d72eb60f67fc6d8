#pragma once
// What a SerialDevice keeps whatever the platform: the gate that counts the calls in
// progress on the open device (so that Close can wait until every one has left), the
// device's loss, the event mask and the event wait's record of the input it has reported.
// The backends (SerialBackend.h) work on the operating system's device and read and
// update this state; SerialDevice.cpp runs the open and close protocol over it.

#include "comm/device/SerialDevice.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace apd {

struct SerialDeviceCore {
    // The gate: whether a device is open, and how many calls are using it. The backend's
    // handle is set by Open and Adopt and dropped by Close, all with gateMutex held and no
    // call in progress, so a call that has passed the gate uses it without a lock.
    mutable std::mutex gateMutex;
    std::condition_variable gateIdle;
    bool open = false;
    int inFlight = 0;
    std::string path;
    std::atomic<bool> closing{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> writeRefused{false}; // the last Write took nothing

    // The event mask, and whatever record a backend keeps beside it (its line baselines).
    mutable std::mutex stateMutex;
    std::uint32_t eventMask = 0;
    std::uint64_t maskGeneration = 0;
    // Reads (and input purges) so far. Waiting input is reported when it was not yet, when
    // its length has changed, or when a Read has taken bytes since the last report.
    std::atomic<std::uint64_t> inputTaken{0};
    // The wait's own record of its last input report; only the waiting thread uses it.
    std::uint32_t reportedInput = 0;
    std::uint64_t reportedTaken = 0;

    // Records a failure of a call on the open device: ecDeviceLost marks it lost for good.
    ErrorCode Fail(ErrorCode code);

    // Makes the device the backend has just set up the open one, with no events asked for
    // and nothing reported yet. gateMutex held, nothing open.
    void Opened(std::string devicePath);

    // Stores a new event mask; the backend then ends the wait in progress.
    void StoreMask(std::uint32_t mask);

    // The mask an event wait's round works with.
    struct WaitRound {
        std::uint32_t mask = 0;
        std::uint64_t generation = 0;
    };
    // The checks each round of an event wait starts with: nothing when the wait goes on
    // with `round`, the mask in force, else the result the wait ends with.
    std::optional<EventWaitResult> StartRound(WaitRound& round);
    bool MaskChangedSince(std::uint64_t generation) const;

    // Whether `queued` bytes of waiting input are to be reported now; `sitting` tells
    // that input already reported is still waiting. Only the waiting thread calls it.
    bool ReportInput(std::uint32_t queued, bool& sitting);
    // Records `queued` as reported, when the driver has reported the input itself.
    void NoteInputReported(std::uint32_t queued);
    // Records that input was reported without counting it, as readiness tells that it is
    // new whatever its length. `takenBefore` is inputTaken as it was before the wait
    // looked: a read by another thread since then, even one that raced the report, makes
    // the next look count afresh. Otherwise its length is taken, not reported, at the
    // next look that finds it unread.
    void NoteInputUncounted(std::uint64_t takenBefore);
    // True when any input the device holds now is to be reported: nothing was reported
    // since the device last held none, or a Read has taken bytes since the last report.
    // Such input can be waited for by readiness alone, and counted once it is there.
    bool InputWouldBeNew() const;

    class Call;
};

// One call's use of the open device; Close waits until every Call has ended.
class SerialDeviceCore::Call {
public:
    explicit Call(SerialDeviceCore& core);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool Open() const { return entered_; }
    // ecOK when the call may go on, else the code to return.
    ErrorCode Usable() const;

private:
    SerialDeviceCore& core_;
    bool entered_ = false;
};

} // namespace apd
