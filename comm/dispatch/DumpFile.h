#pragma once
// The text file a dump writes, created anew or opened for appending, written through a
// buffer. Failures are the operating system's error in the library's code (ErrorCodes.h).

#include <cstdint>
#include <string>
#include <string_view>

#include "comm/dispatch/DumpText.h"
#include "comm/errors/ErrorCodes.h"

namespace apd {

class DumpFile final : public TextSink {
public:
    DumpFile() = default;
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;
    // Closes a file that is still open; its result is lost.
    ~DumpFile() override;

    // Creates or overwrites the file, or with append opens it at its end (creating it when
    // it does not exist). 0 or the failure's code.
    ErrorCode Open(const std::string& name, bool append);
    // The file was opened for appending and already held text.
    bool HadContent() const { return hadContent_; }

    void Write(std::string_view text) override;
    // Writes what is buffered and closes the file: 0, or the code of the first write or
    // close that failed.
    ErrorCode Close();

private:
    void Flush();

    std::intptr_t handle_ = -1;
    bool hadContent_ = false;
    std::string buffer_;
    ErrorCode error_ = ecOK;
};

// What the platform offers a dump file; each result is 0 or the failure's code: minus the
// Windows error code there, the errno value's SystemErrorCode on POSIX (a file's errno has
// no Windows id of the same meaning to stand for it).
namespace dumpfile {
struct OpenResult {
    std::intptr_t handle = -1;
    bool hadContent = false;
    ErrorCode error = ecOK;
};
OpenResult OpenForWriting(const std::string& name, bool append);
ErrorCode WriteAll(std::intptr_t handle, const char* data, std::size_t size);
ErrorCode CloseFile(std::intptr_t handle);
} // namespace dumpfile

} // namespace apd
