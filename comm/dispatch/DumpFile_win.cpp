#include <windows.h>

#include "comm/dispatch/DumpFile.h"

namespace apd::dumpfile {

namespace {
ErrorCode LastError() {
    return -static_cast<ErrorCode>(GetLastError());
}
} // namespace

OpenResult OpenForWriting(const std::string& name, bool append) {
    OpenResult result;
    const HANDLE file =
        CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error = LastError();
        return result;
    }
    if (append) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size)) {
            result.hadContent = size.QuadPart > 0;
        }
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) {
            result.error = LastError();
            CloseHandle(file);
            return result;
        }
    }
    result.handle = reinterpret_cast<std::intptr_t>(file);
    return result;
}

ErrorCode WriteAll(std::intptr_t handle, const char* data, std::size_t size) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    while (size != 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) {
            return LastError();
        }
        data += written;
        size -= written;
    }
    return ecOK;
}

ErrorCode CloseFile(std::intptr_t handle) {
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? ecOK : LastError();
}

} // namespace apd::dumpfile
