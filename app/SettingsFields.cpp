#include "app/SettingsFields.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

namespace vorsilan::app {

namespace {

const char* const InformationEncoding = "windows-1251";

std::uint8_t LowByte(std::int64_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) & 0xFF);
}

} // namespace

SecMin GetSecMin(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value % 60), static_cast<std::uint8_t>((value / 60) % 256)};
}

HCL GetHCL(std::int32_t value) {
    // 64-bit arithmetic: the rule's intermediate values stay in range for every input.
    const std::int64_t v = value;
    const std::uint8_t high = LowByte(v / 65536);
    const std::uint8_t middle = LowByte((v - 65536 * std::int64_t{high}) / 256);
    return {high, middle, LowByte(v)};
}

std::uint32_t Counter(const SettingsBlock& block, std::size_t offset) {
    return block[offset] + 256u * block[offset + 1] + 65536u * block[offset + 2];
}

std::uint32_t TotalSeconds(const SettingsBlock& block, std::size_t offset) {
    return block[offset] + 60u * block[offset + 1];
}

std::uint32_t Word(const SettingsBlock& block, std::size_t offset) {
    return block[offset] + 256u * block[offset + 1];
}

QString InformationText(const SettingsBlock& block) {
    QByteArray bytes;
    for (std::size_t i = InformationOffset; i < SettingsBlockSize; ++i) {
        if (block[i] != 0) {
            bytes.append(static_cast<char>(block[i]));
        }
    }
    QStringDecoder decoder(InformationEncoding);
    return decoder.decode(bytes);
}

InformationFault StoreInformationText(SettingsBlock& block, const QString& text) {
    QString fitted = text;
    while (fitted.size() > qsizetype(InformationSize) && fitted.endsWith(QLatin1Char(' '))) {
        fitted.chop(1);
    }
    if (fitted.size() > qsizetype(InformationSize)) {
        return InformationFault::TooLong;
    }
    QStringEncoder encoder(InformationEncoding);
    if (!encoder.isValid()) {
        return InformationFault::NotRepresentable;
    }
    const QByteArray bytes = encoder.encode(fitted);
    // The encoder puts '?' for a character it cannot map; the round trip finds those too
    // where it does not flag them.
    QStringDecoder decoder(InformationEncoding);
    if (encoder.hasError() || bytes.size() > qsizetype(InformationSize) ||
        decoder.decode(bytes) != fitted) {
        return InformationFault::NotRepresentable;
    }
    std::size_t offset = InformationOffset;
    for (const char c : bytes) {
        block[offset++] = static_cast<std::uint8_t>(c);
    }
    for (; offset < SettingsBlockSize; ++offset) {
        block[offset] = 0x20;
    }
    return InformationFault::None;
}

} // namespace vorsilan::app
