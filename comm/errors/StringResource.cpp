#include "comm/errors/StringResource.h"

#include "comm/errors/NarrowText.h"

#include <cstring>
#include <span>

namespace apd {

namespace {

// Ids of the reader's own messages in "ADSRMGR_STRINGS".
constexpr std::int32_t textStringNotFound = 1;
constexpr std::int32_t textCannotLock = 2;
constexpr std::int32_t textResourceNotFound = 3;
constexpr std::int32_t textInvalidResource = 5;

constexpr std::size_t maxNameLength = 255;
constexpr std::size_t headerSize = 8;
constexpr std::size_t entrySize = 12;
constexpr char magic[4] = {'S', 'T', 'R', '0'};

std::uint32_t ReadUint32(std::span<const std::byte> bytes, std::size_t at) {
    return std::to_integer<std::uint32_t>(bytes[at]) |
           std::to_integer<std::uint32_t>(bytes[at + 1]) << 8 |
           std::to_integer<std::uint32_t>(bytes[at + 2]) << 16 |
           std::to_integer<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t ReadInt32(std::span<const std::byte> bytes, std::size_t at) {
    return static_cast<std::int32_t>(ReadUint32(bytes, at));
}

// The reader's message id with its one argument put in place of the first "%s" or "%d".
std::string ManagerText(std::int32_t id, std::string_view argument = {}) {
    std::string text = ManagerStrings().GetString(id);
    for (std::size_t at = text.find('%'); at != std::string::npos && at + 1 < text.size();
         at = text.find('%', at + 1)) {
        if (text[at + 1] == 's' || text[at + 1] == 'd') {
            text.replace(at, 2, argument);
            break;
        }
    }
    return text;
}

// Whether the table's header, index and texts all lie within bytes and its ids ascend
// strictly (the binary search relies on it).
bool IsConsistentTable(std::span<const std::byte> bytes) {
    if (bytes.size() < headerSize || std::memcmp(bytes.data(), magic, sizeof magic) != 0) {
        return false;
    }
    const std::int32_t count = ReadInt32(bytes, 4);
    if (count < 0 || static_cast<std::uint64_t>(count) > (bytes.size() - headerSize) / entrySize) {
        return false;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const std::size_t at = headerSize + i * entrySize;
        const std::uint64_t offset = ReadUint32(bytes, at + 4);
        const std::uint64_t length = ReadUint32(bytes, at + 8);
        if (offset > bytes.size() || 2 * length > bytes.size() - offset) {
            return false;
        }
        if (i > 0 && ReadInt32(bytes, at - entrySize) >= ReadInt32(bytes, at)) {
            return false;
        }
    }
    return true;
}

} // namespace

TAdStringResource::TAdStringResource(const TResourceModule* instance, std::string_view name)
    : instance_(instance) {
    OpenResource(name);
}

// The resource goes with its member; closing it first would only reset it twice.
TAdStringResource::~TAdStringResource() = default;

void TAdStringResource::OpenResource(std::string_view name) {
    CloseResource();
    const std::string_view lookupName = name.substr(0, maxNameLength);
    std::optional<TLoadedResource> found;
    if (instance_ != nullptr) {
        found = instance_->Find(lookupName);
    }
    if (!found) {
        found = ProgramModule().Find(lookupName);
    }
    if (!found) {
        throw ETpsStringResourceError(ManagerText(textResourceNotFound, name));
    }
    if (!IsConsistentTable(found->Bytes())) {
        throw ETpsStringResourceError(ManagerText(textInvalidResource));
    }
    count_ = ReadInt32(found->Bytes(), 4);
    resource_ = std::move(found);
}

void TAdStringResource::CloseResource() {
    resource_.reset();
    count_ = 0;
}

std::optional<TAdStringResource::Entry> TAdStringResource::FindEntry(std::int32_t id) const {
    const std::span<const std::byte> bytes = resource_->Bytes();
    std::int32_t low = 0;
    std::int32_t high = count_ - 1;
    while (high >= low) {
        // Unsigned halving: low + high cannot overflow into a negative middle.
        const auto mid = static_cast<std::int32_t>(
            (static_cast<std::uint32_t>(low) + static_cast<std::uint32_t>(high)) / 2);
        const std::size_t at = headerSize + static_cast<std::size_t>(mid) * entrySize;
        const std::int32_t midId = ReadInt32(bytes, at);
        if (midId == id) {
            return Entry{ReadUint32(bytes, at + 4), ReadUint32(bytes, at + 8)};
        }
        if (midId < id) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    if (RaiseIfMissing()) {
        throw ETpsStringResourceError(ManagerText(textStringNotFound, std::to_string(id)));
    }
    return std::nullopt;
}

std::string TAdStringResource::GetString(std::int32_t id) const {
    if (!resource_) {
        throw ETpsStringResourceError(ManagerText(textCannotLock));
    }
    const std::optional<Entry> entry = FindEntry(id);
    if (!entry) {
        return {};
    }
    return NarrowFromUtf16Le(
        resource_->Bytes().subspan(entry->offset, 2 * std::size_t{entry->length}));
}

const TAdStringResource& ManagerStrings() {
    static const TAdStringResource strings(nullptr, "ADSRMGR_STRINGS");
    return strings;
}

} // namespace apd
