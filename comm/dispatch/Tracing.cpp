// The trace of the bytes read and written, and its dump.

#include <new>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DumpFile.h"
#include "comm/dispatch/TraceDump.h"

namespace apd {

ErrorCode TApdBaseDispatcher::InitTracing(std::uint32_t numEntries) {
    LockHold data(DataLock);
    if (Trace.Exists()) {
        Trace.Clear();
    } else {
        if (numEntries > MaxTraceEntries) {
            return ecBadArgument;
        }
        try {
            Trace.Allocate(numEntries);
        } catch (const std::bad_alloc&) {
            return ecOutOfMemory;
        }
    }
    TracingOn = Trace.Exists();
    return ecOK;
}

ErrorCode TApdBaseDispatcher::ClearTracing() {
    LockHold data(DataLock);
    Trace.Clear();
    return ecOK;
}

void TApdBaseDispatcher::AbortTracing() {
    LockHold data(DataLock);
    TracingOn = false;
    Trace.Free();
}

void TApdBaseDispatcher::StartTracing() {
    LockHold data(DataLock);
    if (Trace.Exists()) {
        TracingOn = true;
    }
}

void TApdBaseDispatcher::StopTracing() {
    LockHold data(DataLock);
    TracingOn = false;
}

void TApdBaseDispatcher::AddTraceEntry(char kind, std::uint8_t byte) {
    LockHold data(DataLock);
    // Tested again under the lock: the trace may have been paused or freed since the
    // caller looked.
    if (TracingOn) {
        Trace.Add(kind, byte);
    }
}

ErrorCode TApdBaseDispatcher::DumpTrace(const std::string& fileName, bool inHex, bool allHex) {
    return WriteTrace(fileName, false, inHex, allHex);
}

ErrorCode TApdBaseDispatcher::AppendTrace(const std::string& fileName, bool inHex, bool allHex) {
    return WriteTrace(fileName, true, inHex, allHex);
}

ErrorCode TApdBaseDispatcher::WriteTrace(const std::string& fileName, bool append, bool inHex,
                                         bool allHex) {
    LockHold data(DataLock);
    if (!Trace.Exists()) {
        return ecOK;
    }
    TracingOn = false;
    if (Trace.Count() == 0) {
        AbortTracing();
        return ecOK;
    }
    DumpFile file;
    if (const ErrorCode opened = file.Open(fileName, append); opened != ecOK) {
        AbortTracing();
        return opened;
    }
    DumpLineWriter out(file);
    if (file.HadContent()) {
        // The text already there ends without a line end; the trace starts a line of its own.
        out.EndLine();
    }
    WriteTraceText(Trace, inHex, allHex, out);
    const ErrorCode closed = file.Close();
    AbortTracing();
    return closed;
}

} // namespace apd
