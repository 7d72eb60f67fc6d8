#pragma once
// Helpers of the trace and log tests: a scratch folder (tests/support/files), whole-file
// reads, the golden files, and a sink that collects a dump's text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "comm/dispatch/DumpText.h"
#include "tests/support/files/ScratchFolder.h"

namespace apd::testing {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string Golden(const std::string& name) {
    const std::string path = std::string(APD_TRACELOG_GOLDEN_DIR) + "/" + name;
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    return ReadWholeFile(path);
}

class StringSink : public TextSink {
public:
    void Write(std::string_view text) override { text_.append(text); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

inline std::string BytesText(std::initializer_list<int> bytes) {
    std::string text;
    for (const int b : bytes) {
        text.push_back(static_cast<char>(b));
    }
    return text;
}

} // namespace apd::testing
