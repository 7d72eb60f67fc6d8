// The portable part of SerialDevice: every call passes the gate of SerialDeviceCore, so
// that Close can end the waits, wait until every call has left and only then let the
// platform's backend (SerialBackend.h) close the device.

#include "comm/device/SerialDevice.h"

#include "comm/device/PortName.h"
#include "comm/device/SerialBackend.h"
#include "comm/device/SerialDeviceCore.h"

#include <string>
#include <utility>

namespace apd {

struct SerialDevice::Impl {
    SerialDeviceCore core;
    SerialBackend backend{core};

    // Makes the device that `setUp` opens or takes over (giving its path) the open one.
    template <typename SetUp>
    ErrorCode Take(SetUp&& setUp) {
        std::lock_guard gate(core.gateMutex);
        if (core.open) {
            return ecAlreadyOpen;
        }
        std::string path;
        if (const ErrorCode rc = std::forward<SetUp>(setUp)(path); rc != ecOK) {
            return rc;
        }
        core.Opened(std::move(path));
        return ecOK;
    }
};

ErrorCode DeviceLostCode() {
    return ecDeviceLost;
}

SerialDevice::SerialDevice() : impl_(std::make_unique<Impl>()) {}

SerialDevice::~SerialDevice() {
    Close();
}

ErrorCode SerialDevice::Open(std::string_view name) {
    return impl_->Take([&](std::string& path) {
        if (const ErrorCode rc = CheckPortName(name); rc != ecOK) {
            return rc;
        }
        return impl_->backend.Open(name, path);
    });
}

ErrorCode SerialDevice::Adopt(NativeDeviceHandle handle) {
    return impl_->Take([&](std::string& path) { return impl_->backend.Adopt(handle, path); });
}

ErrorCode SerialDevice::Close() {
    SerialDeviceCore& core = impl_->core;
    std::unique_lock gate(core.gateMutex);
    if (!core.open) {
        return ecCommNotOpen;
    }
    if (core.closing) { // another thread is closing: let it finish
        core.gateIdle.wait(gate, [&] { return !core.open; });
        return ecCommNotOpen;
    }
    core.closing = true;
    impl_->backend.EndWaits();
    core.gateIdle.wait(gate, [&] { return core.inFlight == 0; });
    const ErrorCode rc = impl_->backend.Release();
    core.open = false;
    core.path.clear();
    core.closing = false;
    core.lost = false;
    core.gateIdle.notify_all();
    return rc;
}

ErrorCode SerialDevice::SetupQueues(std::uint32_t inSize, std::uint32_t outSize) {
    SerialDeviceCore::Call call(impl_->core);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    return impl_->backend.SetupQueues(inSize, outSize);
}

bool SerialDevice::IsOpen() const {
    std::lock_guard gate(impl_->core.gateMutex);
    return impl_->core.open && !impl_->core.closing;
}

bool SerialDevice::IsLost() const {
    return impl_->core.lost;
}

std::string SerialDevice::Path() const {
    std::lock_guard gate(impl_->core.gateMutex);
    return impl_->core.path;
}

ErrorCode SerialDevice::GetState(LineState& state) {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.GetState(state);
}

ErrorCode SerialDevice::SetState(const LineState& state) {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.SetState(state);
}

ErrorCode SerialDevice::Escape(int function) {
    if (const ErrorCode rc = impl_->backend.CheckEscape(function); rc != ecOK) {
        return rc;
    }
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.Escape(function);
}

ErrorCode SerialDevice::ModemStatus(std::uint8_t& status) {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.ModemStatus(status);
}

ErrorCode SerialDevice::GetStatus(DeviceStatus& status, std::uint32_t& lineErrors) {
    lineErrors = 0;
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.GetStatus(status, lineErrors);
}

ErrorCode SerialDevice::LineErrors(std::uint32_t& lineErrors) {
    lineErrors = 0;
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.LineErrors(lineErrors);
}

ErrorCode SerialDevice::InputWaiting(std::uint32_t& count) {
    count = 0;
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.InputWaiting(count);
}

std::int32_t SerialDevice::Read(void* buffer, std::size_t size) {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (size == 0) {
        return 0;
    }
    const std::int32_t n = impl_->backend.Read(buffer, size);
    if (n > 0) {
        ++impl_->core.inputTaken;
    }
    return n;
}

std::int32_t SerialDevice::Write(const void* buffer, std::size_t size) {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (size == 0) {
        return 0;
    }
    const std::int32_t n = impl_->backend.Write(buffer, size);
    if (n >= 0) {
        impl_->core.writeRefused = n == 0;
    }
    return n;
}

WriteWaitResult SerialDevice::WaitWritable(int timeoutMs) {
    SerialDeviceCore& core = impl_->core;
    SerialDeviceCore::Call call(core);
    if (!call.Open()) {
        return WriteWaitResult::NotOpen;
    }
    if (core.lost) {
        return WriteWaitResult::DeviceLost;
    }
    return impl_->backend.WaitWritable(timeoutMs, core.writeRefused);
}

void SerialDevice::CancelWrite() {
    SerialDeviceCore::Call call(impl_->core);
    if (call.Open()) {
        impl_->backend.CancelWrite();
    }
}

std::int32_t SerialDevice::OutputQueued() {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.OutputQueued();
}

ErrorCode SerialDevice::PurgeInput() {
    SerialDeviceCore::Call call(impl_->core);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (const ErrorCode rc = impl_->backend.PurgeInput(); rc != ecOK) {
        return rc;
    }
    ++impl_->core.inputTaken;
    return ecOK;
}

ErrorCode SerialDevice::PurgeOutput() {
    SerialDeviceCore::Call call(impl_->core);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    impl_->backend.CancelWrite(); // a pending write wait ends whatever the driver says
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    return impl_->backend.PurgeOutput();
}

ErrorCode SerialDevice::SetEventMask(std::uint32_t mask) {
    SerialDeviceCore::Call call(impl_->core);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    impl_->core.StoreMask(mask);
    return impl_->backend.MaskChanged(mask);
}

std::uint32_t SerialDevice::EventMask() const {
    std::lock_guard lock(impl_->core.stateMutex);
    return impl_->core.eventMask;
}

EventWaitResult SerialDevice::WaitEvent(std::uint32_t& events) {
    events = 0;
    SerialDeviceCore::Call call(impl_->core);
    if (!call.Open()) {
        return EventWaitResult::NotOpen;
    }
    return impl_->backend.WaitEvent(events);
}

bool SerialDevice::SleepUntilReadable(int timeoutMs, bool watchInput) {
    SerialDeviceCore::Call call(impl_->core);
    if (!call.Open() || impl_->core.lost) {
        return false;
    }
    return impl_->backend.SleepUntilReadable(timeoutMs, watchInput);
}

void SerialDevice::InterruptSleep() {
    SerialDeviceCore::Call call(impl_->core);
    if (call.Open()) {
        impl_->backend.InterruptSleep();
    }
}

} // namespace apd
