#pragma once
// Named raw-data resources, standing in for the resources the platform keeps inside a
// program or library file. A module maps names to byte blocks; ProgramModule() is the
// program's own module and holds the library's embedded string tables.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace apd {

// A resource as found in a module. Its bytes stay valid for as long as this object (or a
// copy) exists, even when the resource is removed from its module meanwhile.
class TLoadedResource {
public:
    TLoadedResource() = default;
    // Bytes that live for the whole run (data embedded in the program).
    static TLoadedResource Static(std::span<const std::byte> bytes);
    // Bytes owned jointly by the module and every loaded copy.
    static TLoadedResource Owned(std::vector<std::byte> bytes);

    std::span<const std::byte> Bytes() const { return bytes_; }

private:
    std::shared_ptr<const std::vector<std::byte>> storage_;
    std::span<const std::byte> bytes_;
};

class TResourceModule {
public:
    TResourceModule() = default;
    TResourceModule(const TResourceModule&) = delete;
    TResourceModule& operator=(const TResourceModule&) = delete;

    // Adds a resource under name, or replaces one added earlier. A module's built-in
    // resources cannot be replaced: then the result is false.
    bool Add(std::string_view name, std::vector<std::byte> bytes);
    // Removes a resource added with Add; false when there is none (or it is built in).
    bool Remove(std::string_view name);
    // The resource of that name; names compare exactly.
    std::optional<TLoadedResource> Find(std::string_view name) const;

protected:
    // For a module's fixed contents, such as the program's embedded tables.
    void AddBuiltIn(std::string_view name, std::span<const std::byte> bytes);

private:
    struct Entry {
        TLoadedResource resource;
        bool builtIn = false;
    };
    mutable std::mutex lock_; // guards entries_
    std::map<std::string, Entry, std::less<>> entries_;
};

// The program's own module: holds "ADSRMGR_STRINGS" and "ZURI_ERROR_STRINGS_ENGLISH";
// more resources can be added to it and removed again. Thread-safe.
TResourceModule& ProgramModule();

} // namespace apd
