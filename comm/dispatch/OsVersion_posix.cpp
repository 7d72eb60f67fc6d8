#include <charconv>
#include <string_view>
#include <sys/utsname.h>

#include "comm/dispatch/OsVersion.h"

namespace apd {

namespace {

// The leading decimal number of text, 0 when there is none; text moves past it.
unsigned TakeNumber(std::string_view& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) {
        return 0;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

} // namespace

std::string OsVersionText() {
    utsname name{};
    if (::uname(&name) != 0) {
        return "Unknown";
    }
    // The release reads "6.1.0-18-amd64" and the like.
    std::string_view release = name.release;
    const unsigned major = TakeNumber(release);
    unsigned minor = 0;
    if (!release.empty() && release.front() == '.') {
        release.remove_prefix(1);
        minor = TakeNumber(release);
    }
    std::string text = name.sysname;
    text += ' ';
    text += std::to_string(major);
    text += '.';
    text += std::to_string(minor);
    text += ' ';
    text += name.version;
    return text;
}

} // namespace apd
