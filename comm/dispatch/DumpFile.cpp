#include "comm/dispatch/DumpFile.h"

namespace apd {

namespace {
constexpr std::size_t FlushSize = std::size_t{64} * 1024;
}

DumpFile::~DumpFile() {
    if (handle_ != -1) {
        Close();
    }
}

ErrorCode DumpFile::Open(const std::string& name, bool append) {
    const dumpfile::OpenResult opened = dumpfile::OpenForWriting(name, append);
    if (opened.error != ecOK) {
        return opened.error;
    }
    handle_ = opened.handle;
    hadContent_ = opened.hadContent;
    error_ = ecOK;
    buffer_.clear();
    buffer_.reserve(FlushSize);
    return ecOK;
}

void DumpFile::Write(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= FlushSize) {
        Flush();
    }
}

void DumpFile::Flush() {
    if (error_ == ecOK && !buffer_.empty()) {
        if (const ErrorCode failed = dumpfile::WriteAll(handle_, buffer_.data(), buffer_.size());
            failed != ecOK) {
            error_ = failed;
        }
    }
    buffer_.clear();
}

ErrorCode DumpFile::Close() {
    if (handle_ == -1) {
        return error_;
    }
    Flush();
    if (const ErrorCode failed = dumpfile::CloseFile(handle_); failed != ecOK && error_ == ecOK) {
        error_ = failed;
    }
    handle_ = -1;
    return error_;
}

} // namespace apd
