#include "tools/simulator/ArgumentText.h"

namespace vorsilan::sim {
namespace {

constexpr long long kLongestDurationMs = 24LL * 3600 * 1000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<unsigned long> ParseCount(std::string_view text, unsigned long largest) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    unsigned long long n = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > largest) {
        return std::nullopt;
    }
    return static_cast<unsigned long>(n);
}

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
    long long scale = 1000; // a bare number is seconds
    if (text.ends_with("ms")) {
        scale = 1;
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        text.remove_suffix(1);
    } else if (text.ends_with("m")) {
        scale = 60'000;
        text.remove_suffix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() || (point != std::string_view::npos && fraction.empty()) ||
        fraction.size() > 3) {
        return std::nullopt;
    }
    const auto wholePart = ParseCount(whole, 100'000'000);
    const auto fractionPart =
        fraction.empty() ? std::optional<unsigned long>(0) : ParseCount(fraction, 999);
    if (!wholePart || !fractionPart) {
        return std::nullopt;
    }
    long long thousandths = static_cast<long long>(*fractionPart);
    for (std::size_t i = fraction.size(); i < 3; ++i) {
        thousandths *= 10;
    }
    const long long ms = static_cast<long long>(*wholePart) * scale + thousandths * scale / 1000;
    if (ms > kLongestDurationMs) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(ms);
}

std::optional<std::uint8_t> ParseHexByte(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace vorsilan::sim
