#pragma once
// The operating system's part of a SerialDevice, declared once here and defined by one
// file per platform (SerialDevice_posix.cpp, SerialDevice_win.cpp) together with its
// Native record (descriptor or handle, wait signals, driver records). The portable
// SerialDevice.cpp passes every call through the gate of SerialDeviceCore first.
//
// Open, Adopt, EndWaits and Release run with the gate's lock held: Open and Adopt with
// nothing open, EndWaits while Close waits for the calls in progress to leave, Release
// once none is left. Every other function runs inside a SerialDeviceCore::Call on an
// open device that is not lost, unless its comment says otherwise.

#include "comm/device/SerialDevice.h"
#include "comm/device/SerialDeviceCore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace apd {

class SerialBackend {
public:
    explicit SerialBackend(SerialDeviceCore& core); // `core` outlives the backend
    ~SerialBackend();
    SerialBackend(const SerialBackend&) = delete;
    SerialBackend& operator=(const SerialBackend&) = delete;

    // Opens and sets up the device `name` (CheckPortName has passed it); on success
    // `path` is the path opened.
    ErrorCode Open(std::string_view name, std::string& path);
    // Takes over `handle` as SerialDevice::Adopt says; on success `path` is its name
    // where the platform can tell it.
    ErrorCode Adopt(NativeDeviceHandle handle, std::string& path);
    // Ends the waits in progress at once: Close has begun.
    void EndWaits();
    // Closes the device; its result is Close's.
    ErrorCode Release();

    // Inside a Call on an open device, also one that is lost.
    ErrorCode SetupQueues(std::uint32_t inSize, std::uint32_t outSize);
    ErrorCode GetState(LineState& state);
    ErrorCode SetState(const LineState& state);
    // Outside any Call: ecOK for a line function, else the code Escape fails with.
    ErrorCode CheckEscape(int function) const;
    ErrorCode Escape(int function);
    ErrorCode ModemStatus(std::uint8_t& status);
    ErrorCode GetStatus(DeviceStatus& status, std::uint32_t& lineErrors);
    ErrorCode LineErrors(std::uint32_t& lineErrors);
    ErrorCode InputWaiting(std::uint32_t& count);
    // `size` is not 0.
    std::int32_t Read(void* buffer, std::size_t size);
    // `size` is not 0.
    std::int32_t Write(const void* buffer, std::size_t size);
    // `refusedBefore`: the last Write took nothing.
    WriteWaitResult WaitWritable(int timeoutMs, bool refusedBefore);
    // Inside a Call on an open device, also one that is lost.
    void CancelWrite();
    std::int32_t OutputQueued();
    ErrorCode PurgeInput();
    // CancelWrite has been called already.
    ErrorCode PurgeOutput();
    // Inside a Call on an open device, also one that is lost: the mask has been stored.
    ErrorCode MaskChanged(std::uint32_t mask);
    // Inside a Call on an open device, also one that is lost; `events` is 0.
    EventWaitResult WaitEvent(std::uint32_t& events);
    // False where the platform cannot sleep so.
    bool SleepUntilReadable(int timeoutMs, bool watchInput);
    void InterruptSleep();

    struct Native; // this platform's record of the open device

private:
    std::unique_ptr<Native> os_;
};

} // namespace apd
