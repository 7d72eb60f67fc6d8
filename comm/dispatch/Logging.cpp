// The dispatch log of device and trigger activity, and its dump.

#include <algorithm>
#include <new>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DumpFile.h"
#include "comm/dispatch/LogDump.h"
#include "comm/dispatch/OsVersion.h"
#include "comm/errors/ErrorMessageText.h"
#include "comm/errors/MillisecondClock.h"

namespace apd {

void TApdBaseDispatcher::InitLogging(std::uint32_t size) {
    LockHold data(DataLock);
    if (Log.Exists()) {
        Log.Clear();
    } else {
        std::uint32_t outSize = 0;
        {
            LockHold output(OutputLock);
            outSize = OutQueueSize;
        }
        try {
            Log.Allocate(size, std::max(InQueueSize, outSize));
        } catch (const std::bad_alloc&) {
            Log.Free();
            return;
        }
    }
    LoggingOn = true;
}

void TApdBaseDispatcher::ClearLogging() {
    LockHold data(DataLock);
    Log.Clear();
}

void TApdBaseDispatcher::AbortLogging() {
    LockHold data(DataLock);
    LoggingOn = false;
    Log.Free();
}

void TApdBaseDispatcher::StartLogging() {
    LockHold data(DataLock);
    if (Log.Exists()) {
        LoggingOn = true;
    }
}

void TApdBaseDispatcher::StopLogging() {
    LockHold data(DataLock);
    LoggingOn = false;
}

void TApdBaseDispatcher::AddLogEntry(std::uint8_t type, std::uint8_t subType, std::uint32_t value,
                                     const std::uint8_t* data, std::uint32_t length) {
    LockHold hold(DataLock);
    // Tested again under the lock: a dump or an abort may have freed the log since the
    // caller looked.
    if (!LoggingOn || !Log.Exists()) {
        return;
    }
    LogEntryHeader header;
    header.Type = type;
    header.SubType = subType;
    header.Time = MillisecondClock() - LogStartTime;
    header.Data = value;
    header.Length = length;
    Log.Add(header, data);
}

ErrorCode TApdBaseDispatcher::DumpLog(const std::string& fileName, bool inHex, bool allHex) {
    return WriteLog(fileName, false, inHex, allHex);
}

ErrorCode TApdBaseDispatcher::AppendLog(const std::string& fileName, bool inHex, bool allHex) {
    return WriteLog(fileName, true, inHex, allHex);
}

ErrorCode TApdBaseDispatcher::WriteLog(const std::string& fileName, bool append, bool inHex,
                                       bool allHex) {
    LockHold data(DataLock);
    if (!Log.Exists() || Log.Empty()) {
        AbortLogging();
        return ecOK;
    }
    LoggingOn = false;
    DumpFile file;
    if (const ErrorCode opened = file.Open(fileName, append); opened != ecOK) {
        return opened;
    }
    DumpLineWriter out(file);
    if (file.HadContent()) {
        // The text already there ends without a line end; the log starts a line of its own.
        out.EndLine();
    }
    WriteLogText(Log, inHex, allHex, OsVersionText(), LogLabelLookup(ErrorMessageText), out);
    const ErrorCode closed = file.Close();
    AbortLogging();
    return closed;
}

} // namespace apd
