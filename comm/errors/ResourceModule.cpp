#include "comm/errors/ResourceModule.h"

#include "comm/errors/EmbeddedStringTables.h"

#include <utility>

namespace apd {

TLoadedResource TLoadedResource::Static(std::span<const std::byte> bytes) {
    TLoadedResource resource;
    resource.bytes_ = bytes;
    return resource;
}

TLoadedResource TLoadedResource::Owned(std::vector<std::byte> bytes) {
    TLoadedResource resource;
    resource.storage_ = std::make_shared<const std::vector<std::byte>>(std::move(bytes));
    resource.bytes_ = *resource.storage_;
    return resource;
}

bool TResourceModule::Add(std::string_view name, std::vector<std::byte> bytes) {
    auto resource = TLoadedResource::Owned(std::move(bytes));
    const std::lock_guard guard(lock_);
    const auto found = entries_.find(name);
    if (found == entries_.end()) {
        entries_.emplace(std::string(name), Entry{std::move(resource), false});
        return true;
    }
    if (found->second.builtIn) {
        return false;
    }
    found->second.resource = std::move(resource);
    return true;
}

bool TResourceModule::Remove(std::string_view name) {
    const std::lock_guard guard(lock_);
    const auto found = entries_.find(name);
    if (found == entries_.end() || found->second.builtIn) {
        return false;
    }
    entries_.erase(found);
    return true;
}

std::optional<TLoadedResource> TResourceModule::Find(std::string_view name) const {
    const std::lock_guard guard(lock_);
    const auto found = entries_.find(name);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    return found->second.resource;
}

void TResourceModule::AddBuiltIn(std::string_view name, std::span<const std::byte> bytes) {
    const std::lock_guard guard(lock_);
    entries_.insert_or_assign(std::string(name), Entry{TLoadedResource::Static(bytes), true});
}

namespace {

class TProgramModule : public TResourceModule {
public:
    TProgramModule() {
        AddBuiltIn("ADSRMGR_STRINGS", ManagerStringsTable());
        AddBuiltIn("ZURI_ERROR_STRINGS_ENGLISH", ErrorStringsTable());
    }
};

} // namespace

TResourceModule& ProgramModule() {
    static TProgramModule module;
    return module;
}

} // namespace apd
