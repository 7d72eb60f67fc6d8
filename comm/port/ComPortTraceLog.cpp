// The trace and the dispatch log: their state machines, sizes and operations.

#include "comm/port/CustomComPort.h"

#include <algorithm>

namespace apd {

// What differs between the trace and the log.
struct TApdCustomComPort::TraceLogOps {
    TTraceLogState TApdCustomComPort::*state;
    std::uint32_t TApdCustomComPort::*size;
    std::uint32_t maxSize;
    std::string TApdCustomComPort::*name;
    bool TApdCustomComPort::*hex;
    void (TApdCustomComPort::*init)(std::uint32_t);
    void (TApdCustomComPort::*abort)();
    void (TApdCustomComPort::*start)();
    void (TApdCustomComPort::*stop)();
    void (TApdCustomComPort::*clear)();
    void (TApdCustomComPort::*dump)(const std::string&, bool);
    void (TApdCustomComPort::*append)(const std::string&, bool);
};

void TApdCustomComPort::ApplyTraceLogState(const TraceLogOps& ops, TTraceLogState state) {
    TTraceLogState& current = this->*ops.state;
    if (state == current && !forceApply_) {
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
            (this->*ops.init)(this->*ops.size);
        }
        break;
    case tlDump:
        if (active) {
            (this->*ops.start)();
            (this->*ops.dump)(this->*ops.name, this->*ops.hex);
        }
        break;
    case tlAppend:
        if (active) {
            (this->*ops.start)();
            (this->*ops.append)(this->*ops.name, this->*ops.hex);
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
    if (size == this->*ops.size && !forceApply_) {
        return;
    }
    this->*ops.size = size;
    const TTraceLogState current = this->*ops.state;
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
        traceSize_ = std::min(numEntries, MaxTraceSize);
    }
    Check(dispatcher.InitTracing(numEntries));
    tracing_ = tlOn;
}

void TApdCustomComPort::DumpTrace(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().DumpTrace(fileName, inHex, traceAllHex_));
    tracing_ = tlOff;
}

void TApdCustomComPort::AppendTrace(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().AppendTrace(fileName, inHex, traceAllHex_));
    tracing_ = tlOff;
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
    tracing_ = tlOff;
}

void TApdCustomComPort::StartTracing() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StartTracing();
    tracing_ = tlOn;
}

void TApdCustomComPort::StopTracing() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StopTracing();
    tracing_ = tlPause;
}

void TApdCustomComPort::InitLogging(std::uint32_t size) {
    if (ShuttingDown()) {
        return;
    }
    auto& dispatcher = RequireDispatcher();
    if (size != 0) {
        logSize_ = std::min(size, MaxLogSize);
    }
    dispatcher.InitLogging(logSize_);
    logging_ = tlOn;
}

void TApdCustomComPort::DumpLog(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().DumpLog(fileName, inHex, logAllHex_));
    logging_ = tlOff;
}

void TApdCustomComPort::AppendLog(const std::string& fileName, bool inHex) {
    if (ShuttingDown()) {
        return;
    }
    Check(RequireDispatcher().AppendLog(fileName, inHex, logAllHex_));
    logging_ = tlOff;
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
    logging_ = tlOff;
}

void TApdCustomComPort::StartLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StartLogging();
    logging_ = tlOn;
}

void TApdCustomComPort::StopLogging() {
    if (ShuttingDown()) {
        return;
    }
    RequireDispatcher().StopLogging();
    logging_ = tlPause;
}

const TApdCustomComPort::TraceLogOps& TApdCustomComPort::TraceOps() {
    static const TApdCustomComPort::TraceLogOps ops{&TApdCustomComPort::tracing_,
                                                    &TApdCustomComPort::traceSize_,
                                                    MaxTraceSize,
                                                    &TApdCustomComPort::traceName_,
                                                    &TApdCustomComPort::traceHex_,
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
    static const TApdCustomComPort::TraceLogOps ops{&TApdCustomComPort::logging_,
                                                    &TApdCustomComPort::logSize_,
                                                    MaxLogSize,
                                                    &TApdCustomComPort::logName_,
                                                    &TApdCustomComPort::logHex_,
                                                    &TApdCustomComPort::InitLogging,
                                                    &TApdCustomComPort::AbortLogging,
                                                    &TApdCustomComPort::StartLogging,
                                                    &TApdCustomComPort::StopLogging,
                                                    &TApdCustomComPort::ClearLogging,
                                                    &TApdCustomComPort::DumpLog,
                                                    &TApdCustomComPort::AppendLog};
    return ops;
}

} // namespace apd
