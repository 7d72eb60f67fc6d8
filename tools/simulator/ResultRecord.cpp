#include "tools/simulator/ResultRecord.h"

#include <algorithm>
#include <cctype>

namespace vorsilan::sim {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<unsigned> ParseDecimal(std::string_view digits, unsigned largest) {
    if (digits.empty() || digits.size() > 9) {
        return std::nullopt;
    }
    unsigned n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > largest) {
        return std::nullopt;
    }
    return n;
}

} // namespace

ResultRecord EncodeRawResultRecord(const RawResultFields& fields) {
    ResultRecord record{};
    record.fill(fields.filler);
    record[0] = kHeaderFirst;
    record[1] = kHeaderSecond;
    record[kNumberOffset] = static_cast<std::uint8_t>(fields.number & 0xFF);
    record[kNumberOffset + 1] = static_cast<std::uint8_t>(fields.number >> 8);
    record[kValueLowOffset] = fields.valueLow;
    record[kValueHighOffset] = fields.valueHigh;
    record[kKindOffset] = fields.kind;
    return record;
}

std::uint8_t PackedBcd(unsigned twoDigits) {
    return static_cast<std::uint8_t>(((twoDigits / 10 % 10) << 4) | (twoDigits % 10));
}

std::optional<ResultRecord> EncodeResultRecord(std::uint16_t number, unsigned value,
                                               SampleKind kind) {
    if (value > kLargestValue) {
        return std::nullopt;
    }
    RawResultFields fields;
    fields.number = number;
    fields.valueLow = PackedBcd(value % 100);
    fields.valueHigh = PackedBcd(value / 100);
    fields.kind = static_cast<std::uint8_t>(kind);
    return EncodeRawResultRecord(fields);
}

unsigned DecimalsOf(std::uint8_t kindCode) {
    return kindCode == static_cast<std::uint8_t>(SampleKind::Urine) ? 1 : 2;
}

std::optional<std::uint8_t> ParseSampleKind(std::string_view text) {
    const std::string word = Lower(text);
    if (word == "serum") {
        return static_cast<std::uint8_t>(SampleKind::Serum);
    }
    if (word == "blood" || word == "whole-blood") {
        return static_cast<std::uint8_t>(SampleKind::WholeBlood);
    }
    if (word == "urine") {
        return static_cast<std::uint8_t>(SampleKind::Urine);
    }
    if (const auto code = ParseDecimal(word, 255)) {
        return static_cast<std::uint8_t>(*code);
    }
    return std::nullopt;
}

std::string SampleKindName(std::uint8_t kindCode) {
    switch (kindCode) {
    case static_cast<std::uint8_t>(SampleKind::Serum):
        return "serum";
    case static_cast<std::uint8_t>(SampleKind::WholeBlood):
        return "blood";
    case static_cast<std::uint8_t>(SampleKind::Urine):
        return "urine";
    default:
        return "kind " + std::to_string(kindCode);
    }
}

std::optional<unsigned> ParseMeasuredValue(std::string_view text, std::uint8_t kindCode) {
    const unsigned decimals = DecimalsOf(kindCode);
    const std::size_t separator = text.find_first_of(".,");
    const std::string_view whole = text.substr(0, separator);
    std::string_view fraction;
    if (separator != std::string_view::npos) {
        fraction = text.substr(separator + 1);
        if (fraction.empty() || fraction.size() > decimals) {
            return std::nullopt;
        }
    }
    const auto wholePart = ParseDecimal(whole, kLargestValue);
    if (!wholePart) {
        return std::nullopt;
    }
    unsigned fractionPart = 0;
    if (!fraction.empty()) {
        const auto parsed = ParseDecimal(fraction, 99);
        if (!parsed) {
            return std::nullopt;
        }
        fractionPart = *parsed;
        for (std::size_t i = fraction.size(); i < decimals; ++i) {
            fractionPart *= 10;
        }
    }
    const unsigned scale = decimals == 1 ? 10 : 100;
    const unsigned long long units =
        static_cast<unsigned long long>(*wholePart) * scale + fractionPart;
    if (units > kLargestValue) {
        return std::nullopt;
    }
    return static_cast<unsigned>(units);
}

std::string FormatMeasuredValue(unsigned value, std::uint8_t kindCode) {
    const unsigned decimals = DecimalsOf(kindCode);
    const unsigned scale = decimals == 1 ? 10 : 100;
    std::string fraction = std::to_string(value % scale);
    fraction.insert(0, decimals - fraction.size(), '0');
    return std::to_string(value / scale) + "." + fraction;
}

DecodedResult DecodeResultRecord(const ResultRecord& record) {
    auto bcd = [](std::uint8_t b) { return 10u * (b >> 4) + (b & 0x0Fu); };
    DecodedResult result{};
    result.number =
        static_cast<std::uint16_t>(record[kNumberOffset] | (record[kNumberOffset + 1] << 8));
    result.value = bcd(record[kValueLowOffset]) + 100u * bcd(record[kValueHighOffset]);
    result.kind = record[kKindOffset];
    return result;
}

} // namespace vorsilan::sim
