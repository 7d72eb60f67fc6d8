#include <windows.h>

#include "comm/dispatch/DumpFile.h"

namespace apd::dumpfile {

OpenResult OpenForWriting(const std::string& name, bool append) {
    OpenResult result;
    const HANDLE file =
        CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error = static_cast<std::int32_t>(GetLastError());
        return result;
    }
    if (append) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size)) {
            result.hadContent = size.QuadPart > 0;
        }
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) {
            result.error = static_cast<std::int32_t>(GetLastError());
            CloseHandle(file);
            return result;
        }
    }
    result.handle = reinterpret_cast<std::intptr_t>(file);
    return result;
}

std::int32_t WriteAll(std::intptr_t handle, const char* data, std::size_t size) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    while (size != 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) {
            return static_cast<std::int32_t>(GetLastError());
        }
        data += written;
        size -= written;
    }
    return 0;
}

std::int32_t CloseFile(std::intptr_t handle) {
    return CloseHandle(reinterpret_cast<HANDLE>(handle))
               ? 0
               : static_cast<std::int32_t>(GetLastError());
}

} // namespace apd::dumpfile
