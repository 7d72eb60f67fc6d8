// The trace and the dispatch log: their state machines, sizes and operations.

#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"

#include <algorithm>

namespace apd {

// What differs between the trace and the log.
struct TApdCustomComPort::TraceLogOps {
    TTraceLogState Impl::*state;
    std::uint32_t Impl::*size;
    std::uint32_t maxSize;
    std::string Impl::*name;
    bool Impl::*hex;
    void (TApdCustomComPort::*init)(std::uint32_t);
    void (TApdCustomComPort::*abort)();
    void (TApdCustomComPort::*start)();
    void (TApdCustomComPort::*stop)();
    void (TApdCustomComPort::*clear)();
    void (TApdCustomComPort::*dump)(const std::string&, bool);
    void (TApdCustomComPort::*append)(const std::string&, bool);
};

void TApdCustomComPort::ApplyTraceLogState(const TraceLogOps& ops, TTraceLogState state) {
    TTraceLogState& current = impl_.get()->*ops.state;
    if (state == current && !impl_->forceApply) {
        return;
    }
    if (!PortIsOpen()) {
        current = state == tlOn ? tlOn : tlOff;
        return;
    }
    const bool active = current == tlOn || current == tlPause;
    switch (state) {
    case tlOff:
        if (active) {
            (this->*ops.abort)();
        }
        break;
    case tlOn:
        if (current == tlPause) {
            (this->*ops.start)();
        } else {
            (this->*ops.init)(impl_.get()->*ops.size);
        }
        break;
    case tlDump:
        if (active) {
            (this->*ops.start)();
            (this->*ops.dump)(impl_.get()->*ops.name, impl_.get()->*ops.hex);
        }
        break;
    case tlAppend:
        if (active) {
            (this->*ops.start)();
            (this->*ops.append)(impl_.get()->*ops.name, impl_.get()->*ops.hex);
        }
        break;
    case tlClear:
        if (active) {
            (this->*ops.clear)();
        }
        break;
    case tlPause:
        if (current == tlOn) {
            (this->*ops.stop)();
        }
        break;
    }
}

void TApdCustomComPort::ResizeTraceLog(const TraceLogOps& ops, std::uint32_t size) {
    size = std::min(size, ops.maxSize);
    if (size == impl_.get()->*ops.size && !impl_->forceApply) {
        return;
    }
    impl_.get()->*ops.size = size;
    const TTraceLogState current = impl_.get()->*ops.state;
    if (PortIsOpen() && (current == tlOn || current == tlPause)) {
        // Restart with the new size. A paused one finds itself off and stays off.
        (this->*ops.abort)();
        ApplyTraceLogState(ops, current);
    }
}

void TApdCustomComPort::SetTracing(TTraceLogState state) {
    ApplyTraceLogState(TraceOps(), state);
}

void TApdCustomComPort::SetLogging(TTraceLogState state) {
    ApplyTraceLogState(LogOps(), state);
}

void TApdCustomComPort::SetTraceSize(std::uint32_t size) {
    ResizeTraceLog(TraceOps(), size);
}

void TApdCustomComPort::SetLogSize(std::uint32_t size) {
    ResizeTraceLog(LogOps(), size);
}

void TApdCustomComPort::InitTracing(std::uint32_t numEntries) {
    if (ShuttingDown()) {
        return;
    }
    auto& dispatcher = RequireDispatcher();
    if (numEntries != 0) {
        impl_->traceSize = std::min(numEntries, MaxTraceSize);
    }
    Check(dispatcher.InitTracing(numEntries));
    impl_->tracing = tlOn;
}

void TApdCustomComPort::DumpTrace(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().DumpTrace(fileName, inHex, impl_->traceAllHex));
    impl_->tracing = tlOff;
}

void TApdCustomComPort::AppendTrace(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().AppendTrace(fileName, inHex, impl_->traceAllHex));
    impl_->tracing = tlOff;
}

void TApdCustomComPort::ClearTracing() {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().ClearTracing());
}

void TApdCustomComPort::AbortTracing() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().AbortTracing();
    impl_->tracing = tlOff;
}

void TApdCustomComPort::StartTracing() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StartTracing();
    impl_->tracing = tlOn;
}

void TApdCustomComPort::StopTracing() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StopTracing();
    impl_->tracing = tlPause;
}

void TApdCustomComPort::InitLogging(std::uint32_t size) {
    if (ShuttingDown()) {
        return;
    }
    auto& dispatcher = RequireDispatcher();
    if (size != 0) {
        impl_->logSize = std::min(size, MaxLogSize);
    }
    dispatcher.InitLogging(impl_->logSize);
    impl_->logging = tlOn;
}

void TApdCustomComPort::DumpLog(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().DumpLog(fileName, inHex, impl_->logAllHex));
    impl_->logging = tlOff;
}

void TApdCustomComPort::AppendLog(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().AppendLog(fileName, inHex, impl_->logAllHex));
    impl_->logging = tlOff;
}

void TApdCustomComPort::ClearLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().ClearLogging();
}

void TApdCustomComPort::AbortLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().AbortLogging();
    impl_->logging = tlOff;
}

void TApdCustomComPort::StartLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StartLogging();
    impl_->logging = tlOn;
}

void TApdCustomComPort::StopLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StopLogging();
    impl_->logging = tlPause;
}

const TApdCustomComPort::TraceLogOps& TApdCustomComPort::TraceOps() {
    static const TApdCustomComPort::TraceLogOps ops{&Impl::tracing,
                                                    &Impl::traceSize,
                                                    MaxTraceSize,
                                                    &Impl::traceName,
                                                    &Impl::traceHex,
                                                    &TApdCustomComPort::InitTracing,
                                                    &TApdCustomComPort::AbortTracing,
                                                    &TApdCustomComPort::StartTracing,
                                                    &TApdCustomComPort::StopTracing,
                                                    &TApdCustomComPort::ClearTracing,
                                                    &TApdCustomComPort::DumpTrace,
                                                    &TApdCustomComPort::AppendTrace};
    return ops;
}

const TApdCustomComPort::TraceLogOps& TApdCustomComPort::LogOps() {
    static const TApdCustomComPort::TraceLogOps ops{&Impl::logging,
                                                    &Impl::logSize,
                                                    MaxLogSize,
                                                    &Impl::logName,
                                                    &Impl::logHex,
                                                    &TApdCustomComPort::InitLogging,
                                                    &TApdCustomComPort::AbortLogging,
                                                    &TApdCustomComPort::StartLogging,
                                                    &TApdCustomComPort::StopLogging,
                                                    &TApdCustomComPort::ClearLogging,
                                                    &TApdCustomComPort::DumpLog,
                                                    &TApdCustomComPort::AppendLog};
    return ops;
}

TTraceLogState TApdCustomComPort::Tracing() const {
    return impl_->tracing;
}

std::uint32_t TApdCustomComPort::TraceSize() const {
    return impl_->traceSize;
}

const std::string& TApdCustomComPort::TraceName() const {
    return impl_->traceName;
}

bool TApdCustomComPort::TraceHex() const {
    return impl_->traceHex;
}

bool TApdCustomComPort::TraceAllHex() const {
    return impl_->traceAllHex;
}

TTraceLogState TApdCustomComPort::Logging() const {
    return impl_->logging;
}

std::uint32_t TApdCustomComPort::LogSize() const {
    return impl_->logSize;
}

const std::string& TApdCustomComPort::LogName() const {
    return impl_->logName;
}

bool TApdCustomComPort::LogHex() const {
    return impl_->logHex;
}

bool TApdCustomComPort::LogAllHex() const {
    return impl_->logAllHex;
}

} // namespace apd
