// The I/O operations and the dispatcher accessors.

#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"

#include <algorithm>
#include <utility>

namespace apd {

TApdBaseDispatcher* TApdCustomComPort::Dispatcher() {
    if (!impl_->dispatcher && !IsDesigning() && impl_->portState != psOpen && !IsLoading() &&
        impl_->autoOpen) {
        SetOpen(true);
    }
    return impl_->dispatcher.get();
}

TApdBaseDispatcher& TApdCustomComPort::RequireDispatcher() {
    TApdBaseDispatcher* dispatcher = Dispatcher();
    if (dispatcher == nullptr) {
        // Raised even while loading: there is nothing to call through.
        CheckErrorCode(nullptr, ecCommNotOpen);
    }
    return *dispatcher;
}

std::uint16_t TApdCustomComPort::InBuffUsed() {
    if (!PortIsOpen()) {
        return 0;
    }
    return static_cast<std::uint16_t>(
        std::min<std::uint32_t>(impl_->dispatcher->InBuffUsed(), 0xFFFF));
}

bool TApdCustomComPort::CharReady() {
    if (ShuttingDown()) {
        return false;
    }
    return RequireDispatcher().CharReady();
}

std::uint8_t TApdCustomComPort::GetChar() {
    if (ShuttingDown()) {
        return 0;
    }
    std::uint8_t c = 0;
    Check(RequireDispatcher().GetChar(c));
    return c;
}

void TApdCustomComPort::PutChar(std::uint8_t c) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().PutChar(c));
}

// The dispatcher takes 32-bit lengths. A longer block fits none of its buffers: it is
// refused with the code the dispatcher gives any block too long for them, never cut short.

std::size_t TApdCustomComPort::GetBlock(std::span<std::uint8_t> block) {
    if (ShuttingDown()) {
        return 0;
    }
    auto& dispatcher = RequireDispatcher();
    const ErrorCode got =
        Check(std::in_range<std::uint32_t>(block.size())
                  ? dispatcher.GetBlock(block.data(), static_cast<std::uint32_t>(block.size()))
                  : ecGetBlockFail);
    return got >= 0 ? block.size() : 0;
}

std::size_t TApdCustomComPort::PeekBlock(std::span<std::uint8_t> block) {
    if (ShuttingDown()) {
        return 0;
    }
    auto& dispatcher = RequireDispatcher();
    const ErrorCode got =
        Check(std::in_range<std::uint32_t>(block.size())
                  ? dispatcher.PeekBlock(block.data(), static_cast<std::uint32_t>(block.size()))
                  : ecGetBlockFail);
    return got >= 0 ? block.size() : 0;
}

void TApdCustomComPort::PutBlock(std::span<const std::uint8_t> block) {
    if (ShuttingDown()) {
        return;
    }
    auto& dispatcher = RequireDispatcher();
    Check(std::in_range<std::uint32_t>(block.size())
              ? dispatcher.PutBlock(block.data(), static_cast<std::uint32_t>(block.size()))
              : ecOutputBufferTooSmall);
}

void TApdCustomComPort::FlushInBuffer() {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().FlushInBuffer());
}

std::uint16_t TApdCustomComPort::AddDataTrigger(const std::string& data, bool ignoreCase) {
    if (ShuttingDown()) {
        return 0;
    }
    auto& dispatcher = RequireDispatcher();
    const std::size_t length = std::min(data.size(), MaxShortStringLength);
    std::uint8_t text[MaxShortStringLength] = {};
    std::copy_n(data.begin(), length, text);
    const ErrorCode handle =
        Check(dispatcher.AddDataTrigger(text, ignoreCase, static_cast<std::uint32_t>(length)));
    return static_cast<std::uint16_t>(handle);
}

void TApdCustomComPort::RemoveAllTriggers() {
    if (!PortIsOpen()) {
        return;
    }
    impl_->dispatcher->RemoveAllTriggers();
    impl_->triggerLength = 0;
}

std::uint16_t TApdCustomComPort::LineError() {
    if (!PortIsOpen()) {
        return 0;
    }
    return static_cast<std::uint16_t>(Check(impl_->dispatcher->GetLineError()));
}

bool TApdCustomComPort::LineBreak() {
    if (!PortIsOpen()) {
        return false;
    }
    return impl_->dispatcher->CheckLineBreak();
}

void TApdCustomComPort::YieldComm() {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().YieldTime());
}

} // namespace apd
