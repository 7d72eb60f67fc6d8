// Opens arbitrary bytes as a string table and looks up ids: those of its index, their
// neighbours and the extremes. A table must either be refused or answer every lookup
// with valid UTF-8, without reading outside the input.

#include "comm/errors/StringResource.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (lead < 0x80) {
            extra = 0;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (text.size() - i - 1 < extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

void LookUp(const apd::TAdStringResource& reader, std::int32_t id) {
    try {
        if (!IsValidUtf8(reader.GetString(id))) {
            std::abort();
        }
    } catch (const apd::ETpsStringResourceError&) {
        // "String not found" while the reader raises for missing ids.
    }
}

std::int32_t Int32At(const std::uint8_t* data, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, data + at, sizeof value); // the build machines are little-endian
    return static_cast<std::int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    apd::TResourceModule module;
    const auto* bytes = reinterpret_cast<const std::byte*>(data);
    module.Add("FUZZ", std::vector<std::byte>(bytes, bytes + size));
    try {
        apd::TAdStringResource reader(&module, "FUZZ");
        // Half of the inputs (by their last byte) also exercise the raising lookup.
        reader.SetRaiseIfMissing(size > 0 && (data[size - 1] & 1) != 0);
        constexpr std::size_t maxIds = 256;
        for (std::size_t at = 8; at + 4 <= size && at < 8 + 12 * maxIds; at += 12) {
            const std::int32_t id = Int32At(data, at);
            LookUp(reader, id);
            if (id != std::numeric_limits<std::int32_t>::min()) {
                LookUp(reader, id - 1);
            }
            if (id != std::numeric_limits<std::int32_t>::max()) {
                LookUp(reader, id + 1);
            }
        }
        for (const std::int32_t id : {std::numeric_limits<std::int32_t>::min(), -1, 0, 1,
                                      std::numeric_limits<std::int32_t>::max()}) {
            LookUp(reader, id);
        }
    } catch (const apd::ETpsStringResourceError&) {
        // Refused: not a consistent table.
    }
    return 0;
}
